// Pictures of the sign: a strip of column words drawn as round red LEDs on
// black, written as a PNG file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PngStrip {
    std::vector<uint16_t> columns; // leftmost first
    int blank_width = 32;          // columns of the picture when `columns` is empty
    int scale = 4;                 // pixels per dot, each way
    bool reverse = false;          // the board's LED reverse: unlit dots light up
};

// The dot colours, and the black between the dots.
struct PngRgb {
    uint8_t r, g, b;
};
extern const PngRgb png_lit, png_unlit, png_background;

// Writes the strip to `path`; on failure removes what was written and says
// why in *err.
bool png_write_strip(const std::string &path, const PngStrip &strip, std::string *err);
