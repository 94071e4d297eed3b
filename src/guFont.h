// PCF bitmap fonts: loading a font file whole and looking up glyphs.
#pragma once

#include <cstddef>
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

// PCF tables are stored in the byte order that each table's own format word
// declares, so they cannot be laid over the buffer as C records. The loader
// checks each table against the buffer once and keeps its header fields here,
// decoded, with a pointer to the table's entries, which stay in the buffer.

// The file header: magic, table count, then 16-byte entries (type, format,
// size, offset), always least significant byte first.
struct Pcf_Toc {
    uint32 nTables;
    const uchar *tables;
};

// Table format word bits that the loader decodes.
enum {
    PCF_FORMAT_PAD_MASK = 0x3,      // rows padded to 1 << p bytes
    PCF_FORMAT_BYTE_MSB = 0x4,      // multi-byte values most significant byte first
    PCF_FORMAT_BIT_MSB = 0x8,       // leftmost dot in the highest bit of a byte
    PCF_FORMAT_UNIT_SHIFT = 4,      // scan unit 1 << u bytes in bits 4-5
    PCF_FORMAT_COMPRESSED_METRICS = 0x100,
};

// BDF encodings table (type 32): glyph index of each code.
struct Pcf_Encodings {
    uint32 format;
    int16 firstCol;
    int16 lastCol;
    int16 firstRow;
    int16 lastRow;
    int16 defaultCh;
    const uchar *encodings; // int16 entries, row after row
};

// Uncompressed metrics table (type 4): 12-byte FontMetric entries.
struct Pcf_Metric_Sec {
    uint32 format;
    int32 nMetrics;
    const uchar *metrics;
};

// Compressed metrics table (type 4, format 0x100): 5-byte entries, each
// value stored plus 0x80.
struct Pcf_CMetric_Sec {
    uint32 format;
    int16 nMetrics;
    const uchar *cmetrics;
};

// Bitmaps table (type 8).
struct Pcf_Bitmaps_Sec {
    uint32 format;
    int32 nBitmaps;
    const uchar *bitmapOffsets; // uint32 entries
    uint32 dataSize;            // bytes of bitmap data for the table's padding
};

// One PCF font. guFontNew fills only the file name; the file is read at the
// first glyph request. Table pointers point at the records below (null when
// the font has no such table), whose entries point into `map`.
struct GuFont {
    char *filename;
    int bOpened;
    int fontFd;
    uchar *map;      // the whole font, inflated when the file is gzip-compressed
    int64_t filesize; // size of the file as stored
    size_t mapSize;  // bytes in map
    Pcf_Toc *pcf_toc;
    Pcf_Encodings *encode;
    Pcf_Metric_Sec *metric;
    Pcf_CMetric_Sec *cmetric;
    Pcf_Bitmaps_Sec *bitmaps;
    byte8 *bitmap_base; // bitmap data, brought into GuGlyph's layout at load
    byte8 *bitmapCopy;  // malloc'd copy of the data when scan units had to be swapped
    uint8 bytePerData;
    uint8 lineAlign;
    uint8 bMsbFirst;
    uint8 bBigEndian;
    Pcf_Toc tocSec;
    Pcf_Encodings encodeSec;
    Pcf_Metric_Sec metricSec;
    Pcf_CMetric_Sec cmetricSec;
    Pcf_Bitmaps_Sec bitmapsSec;
};

// Largest font the loader accepts, as stored and after inflating.
constexpr size_t GU_FONT_MAX_SIZE = 64u << 20;

GuFont *guFontNew(const char *dirName, const char *filename);
void guFontOpen(GuFont *font);
void guFontClose(GuFont *font);
// Loads the font from `buf` (`size` bytes from malloc, gzip-compressed or
// not), which the font then owns, as guFontOpen does after reading the file.
void guFontLoadBuffer(GuFont *font, uchar *buf, size_t size);

int guFontEncode(GuFont *font, uint32 code);
void guFontMetric(GuFont *font, int n, FontMetric *pFm);
void guFontBitmap(GuFont *font, int idx, const byte8 **pData);
void guFontGlyph(GuFont *font, uint32 code, GuGlyph *glyph);
void guFontDump(GuFont *font, uint32 code);
void guGlyphDump(const GuGlyph *glyph);
