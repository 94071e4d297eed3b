// PCF bitmap fonts: loading a font file whole and looking up glyphs.
#pragma once

#include <cstdint>

typedef int32_t int32;
typedef int16_t int16;
typedef uint32_t uint32;
typedef uint16_t uint16;
typedef uint8_t uint8;
typedef unsigned char uchar;
typedef uint8_t byte8;

// One glyph's metrics as a font stores them.
struct FontMetric {
    int16 lbear;
    int16 rbear;
    int16 width;
    int16 ascent;
    int16 descent;
    int16 attributes;
};

// One glyph: metrics, bytes per bitmap row, and the bitmap inside the font's
// buffer (leftmost dot of each byte in bit 0, top row first).
struct GuGlyph {
    int rbear;
    int lbear;
    int ascent;
    int descent;
    int width;
    int bpl;
    const byte8 *bitmap;
};

struct GuFont;

GuFont *guFontNew(const char *dirName, const char *filename);
void guFontOpen(GuFont *font);
void guFontClose(GuFont *font);

int guFontEncode(GuFont *font, uint32 code);
void guFontMetric(GuFont *font, int n, FontMetric *pFm);
void guFontBitmap(GuFont *font, int idx, const byte8 **pData);
void guFontGlyph(GuFont *font, uint32 code, GuGlyph *glyph);
void guFontDump(GuFont *font, uint32 code);
void guGlyphDump(const GuGlyph *glyph);
