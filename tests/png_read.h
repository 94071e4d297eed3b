// Reads a PNG strip of ledsim back with libpng and turns it into the
// column words it shows, by the colour at the centre of each dot.
#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

struct PngImage {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb; // width x height x 3
    bool ok = false;
    std::string error;

    const uint8_t *at(int x, int y) const { return &rgb[((size_t)y * (size_t)width + (size_t)x) * 3]; }
};

inline PngImage read_png(const std::string &path)
{
    PngImage img;
    png_image pi{};
    pi.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&pi, path.c_str())) {
        img.error = pi.message;
        return img;
    }
    pi.format = PNG_FORMAT_RGB;
    img.width = (int)pi.width;
    img.height = (int)pi.height;
    img.rgb.resize(PNG_IMAGE_SIZE(pi));
    img.ok = png_image_finish_read(&pi, nullptr, img.rgb.data(), 0, nullptr) != 0;
    if (!img.ok)
        img.error = pi.message;
    return img;
}

// A dot is lit when the pixel at its centre is bright red.
inline std::vector<uint16_t> png_columns(const PngImage &img, int scale)
{
    std::vector<uint16_t> words;
    for (int x = 0; x < img.width / scale; x++) {
        uint16_t w = 0;
        for (int row = 0; row < 16; row++) {
            const uint8_t *p = img.at(x * scale + scale / 2, row * scale + scale / 2);
            if (p[0] > 200 && p[1] < 100 && p[2] < 100)
                w |= (uint16_t)(1u << (15 - row));
        }
        words.push_back(w);
    }
    return words;
}

} // namespace testutil
