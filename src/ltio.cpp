// Display output.
#include "ltio.h"

#include <algorithm>
#include <cstdint>

// ---- Glyph column words --------------------------------------------------
// A glyph's dots become 16-bit column words: dot (x, y) is bit x mod 8 of
// byte x div 8 of row y. Dots beyond a row's bpl bytes count as unlit and
// are never read.

namespace {

// Byte c of spreadBits[v] holds bit c of v in its bit 0, so that shifting a
// 64-bit value left by one and or-ing in the next row's spread byte builds
// eight column words of up to 8 rows at once, one in each byte.
struct SpreadTable {
    uint64_t v[256];
    constexpr SpreadTable() : v()
    {
        for (int b = 0; b < 256; b++)
            for (int c = 0; c < 8; c++)
                v[b] |= static_cast<uint64_t>((b >> c) & 1) << (8 * c);
    }
};
constexpr SpreadTable spreadBits;

} // namespace

int lt_get_glyph_bitmap(const GuGlyph *glyph, uint16_t *buf, int buflen)
{
    int h = std::max(0, std::min(glyph->ascent + glyph->descent, 16));
    int w = std::max(0, std::min(glyph->width, buflen));
    for (int x0 = 0; x0 < w; x0 += 8) {
        // Rows above the last 8 go to the high byte of each word.
        uint64_t high = 0, low = 0;
        int byteIndex = x0 / 8;
        if (byteIndex < glyph->bpl) {
            const byte8 *p = glyph->bitmap + byteIndex;
            int y = 0;
            for (; y < h - 8; y++, p += glyph->bpl)
                high = high << 1 | spreadBits.v[*p];
            for (; y < h; y++, p += glyph->bpl)
                low = low << 1 | spreadBits.v[*p];
        }
        int columns = std::min(8, w - x0);
        for (int c = 0; c < columns; c++)
            buf[x0 + c] = static_cast<uint16_t>((high >> (8 * c) & 0xff) << 8 | (low >> (8 * c) & 0xff));
    }
    return w;
}

int lt_get_glyph_bitmap_vertical(const GuGlyph *glyph, uint16_t *buf, int buflen)
{
    int w = std::min(glyph->width, 16);
    int h = std::max(0, std::min(glyph->ascent + glyph->descent, buflen));
    int last = std::max(0, (w - 1) / 8);
    for (int y = 0; y < h; y++) {
        const byte8 *row = glyph->bitmap + y * glyph->bpl;
        uint16_t d = 0;
        for (int b = last; b >= 0; b--)
            d = static_cast<uint16_t>(d << 8 | (b < glyph->bpl ? row[b] : 0));
        buf[y] = d;
    }
    return h;
}

// ---- End of glyph column words --------------------------------------------
