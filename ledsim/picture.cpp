// The PNG pictures, written row by row with libpng so that a long EEPROM
// content at a large scale needs only one row of memory.
#include "picture.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "board.h"

const PngRgb png_lit = {255, 40, 24};
const PngRgb png_unlit = {56, 18, 16};
const PngRgb png_background = {0, 0, 0};

namespace {

// Wider pictures need a row buffer of more than 48 MB.
const uint64_t max_width = 1u << 24;

// Pixels of one dot: inside a circle of 0.42 x scale around the dot's
// centre, tested at the pixel centres, so that a scale of 1 or 2 fills the
// dot and larger scales show round LEDs with black between them.
std::vector<bool> dot_mask(int scale)
{
    std::vector<bool> mask((size_t)scale * scale);
    double c = scale / 2.0, r = 0.42 * scale;
    if (r < 0.75)
        r = 0.75;
    for (int y = 0; y < scale; y++)
        for (int x = 0; x < scale; x++) {
            double dx = x + 0.5 - c, dy = y + 0.5 - c;
            mask[(size_t)y * scale + x] = dx * dx + dy * dy <= r * r;
        }
    return mask;
}

void fill_row(const PngStrip &strip, const std::vector<uint16_t> &cols, const std::vector<bool> &mask,
              int pixel_row, std::vector<png_byte> *row)
{
    int s = strip.scale;
    int dot_row = pixel_row / s, in_y = pixel_row % s;
    size_t at = 0;
    for (uint16_t word : cols) {
        bool lit = board_dot(word, dot_row) != strip.reverse;
        for (int in_x = 0; in_x < s; in_x++) {
            const PngRgb &c = !mask[(size_t)in_y * s + in_x] ? png_background : lit ? png_lit : png_unlit;
            (*row)[at++] = c.r;
            (*row)[at++] = c.g;
            (*row)[at++] = c.b;
        }
    }
}

void on_png_error(png_structp png, png_const_charp msg)
{
    auto *err = static_cast<std::string *>(png_get_error_ptr(png));
    *err = msg;
    png_longjmp(png, 1);
}

void on_png_warning(png_structp, png_const_charp) {}

// libpng reports errors by a long jump back here; nothing of ours is
// changed between the two, so nothing is lost on the way.
bool write_rows(png_structp png, png_infop info, FILE *f, const PngStrip &strip, const std::vector<uint16_t> &cols,
                const std::vector<bool> &mask, std::vector<png_byte> *row)
{
    if (setjmp(png_jmpbuf(png)) != 0)
        return false;
    png_init_io(png, f);
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    png_set_IHDR(png, info, (png_uint_32)(cols.size() * (size_t)strip.scale), (png_uint_32)(board_rows * strip.scale),
                 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < board_rows * strip.scale; y++) {
        fill_row(strip, cols, mask, y, row);
        png_write_row(png, row->data());
    }
    png_write_end(png, info);
    return true;
}

} // namespace

bool png_write_strip(const std::string &path, const PngStrip &strip, std::string *err)
{
    std::vector<uint16_t> blank((size_t)(strip.blank_width > 0 ? strip.blank_width : 1), 0);
    const std::vector<uint16_t> &cols = strip.columns.empty() ? blank : strip.columns;
    if (strip.scale < 1 || (uint64_t)cols.size() * (uint64_t)strip.scale > max_width) {
        *err = "cannot write \"" + path + "\": the picture would be too wide";
        return false;
    }
    std::vector<bool> mask = dot_mask(strip.scale);
    std::vector<png_byte> row(cols.size() * (size_t)strip.scale * 3);

    FILE *f = fopen(path.c_str(), "wb");
    if (f == nullptr) {
        *err = "cannot write \"" + path + "\": " + strerror(errno);
        return false;
    }
    std::string png_err;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &png_err, on_png_error, on_png_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png != nullptr && info != nullptr;
    if (!ok)
        png_err = "out of memory";
    else
        ok = write_rows(png, info, f, strip, cols, mask, &row); // else the error handler said why
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    if (fclose(f) != 0 && ok) {
        ok = false;
        png_err = strerror(errno);
    }
    if (!ok) {
        remove(path.c_str());
        *err = "cannot write \"" + path + "\": " + png_err;
    }
    return ok;
}
