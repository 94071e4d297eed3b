// Display output.
#include "ltio.h"

#include <algorithm>

// ---- Glyph column words --------------------------------------------------
// A glyph's dots become 16-bit column words: dot (x, y) is bit x mod 8 of
// byte x div 8 of row y. Dots beyond a row's bpl bytes count as unlit and
// are never read.

int lt_get_glyph_bitmap(const GuGlyph *glyph, uint16_t *buf, int buflen)
{
    int h = std::max(0, std::min(glyph->ascent + glyph->descent, 16));
    int w = std::max(0, std::min(glyph->width, buflen));
    for (int x = 0; x < w; x++) {
        uint16_t d = 0;
        int byteIndex = x / 8;
        if (byteIndex < glyph->bpl) {
            const byte8 *p = glyph->bitmap + byteIndex;
            int bit = 1 << (x % 8);
            for (int y = 0; y < h; y++, p += glyph->bpl)
                d = static_cast<uint16_t>(d << 1 | ((*p & bit) ? 1 : 0));
        }
        buf[x] = d;
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
