// libFuzzer target: loads a PCF font (gzip-compressed or not) from the fuzz
// input and turns every glyph that its encodings reach into column words
// both ways. A fatal font error is an expected outcome: nabort throws here
// instead of ending the process, and the font's buffers are released.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "guFont.h"
#include "ltio.h"
#include "nabort.h"

namespace {
struct FontError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
} // namespace

// Replacements for every routine of the nabort module, so that its object
// file is never linked in.
void nabort(const char *fmt, ...)
{
    throw FontError(fmt);
}

void *ntMalloc(int size)
{
    void *p = malloc(size > 0 ? static_cast<size_t>(size) : 1);
    if (p == nullptr)
        throw FontError("out of memory");
    return p;
}

char *ntStringNew(const char *str)
{
    char *copy = static_cast<char *>(ntMalloc(static_cast<int>(strlen(str)) + 1));
    strcpy(copy, str);
    return copy;
}

void ntFree(void *block)
{
    free(block);
}

int ntScanInt(const char *str, int *value)
{
    return sscanf(str, "%d", value) == 1;
}

// The glyph for `code` through the same lookup that the program uses.
static void convertCode(GuFont *font, uint32 code)
{
    GuGlyph g;
    uint16_t words[32];
    try {
        guFontGlyph(font, code, &g);
    } catch (const FontError &) {
        return; // a code whose glyph index is out of range
    }
    lt_get_glyph_bitmap(&g, words, 32);
    lt_get_glyph_bitmap_vertical(&g, words, 32);
}

// Glyph `index` with the metrics and bitmap that guFontGlyph would give it.
static void convertIndex(GuFont *font, int index)
{
    FontMetric fm;
    GuGlyph g;
    guFontMetric(font, index, &fm);
    g.lbear = fm.lbear;
    g.rbear = fm.rbear;
    g.width = fm.width;
    g.ascent = fm.ascent;
    g.descent = fm.descent;
    int bytes = (fm.rbear - fm.lbear + 7) / 8;
    g.bpl = (bytes + font->lineAlign - 1) / font->lineAlign * font->lineAlign;
    guFontBitmap(font, index, &g.bitmap);
    uint16_t words[32];
    lt_get_glyph_bitmap(&g, words, 32);
    lt_get_glyph_bitmap_vertical(&g, words, 32);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    GuFont *font = guFontNew(nullptr, "fuzz.pcf");
    uchar *buf = static_cast<uchar *>(malloc(size ? size : 1));
    memcpy(buf, data, size);
    try {
        guFontLoadBuffer(font, buf, size);
    } catch (const FontError &) {
        free(font->map);
        free(font->bitmapCopy);
        free(font->filename);
        free(font);
        return 0;
    }
    // Every code of the table is looked up (an index outside the metrics
    // is reported by the later lookups, not here); every glyph must convert
    // without leaving its bytes.
    const Pcf_Encodings *enc = font->encode;
    int count = font->metric ? font->metric->nMetrics : font->cmetric->nMetrics;
    for (int row = enc->firstRow; row <= enc->lastRow; row++)
        for (int col = enc->firstCol; col <= enc->lastCol; col++) {
            if (guFontEncode(font, static_cast<uint32>(row) << 8 | static_cast<uint32>(col & 0xff)) < -1)
                abort();
        }
    for (int i = 0; i < count; i++)
        convertIndex(font, i);
    convertCode(font, 0x41);
    convertCode(font, 0xffffffffu);
    guFontClose(font);
    free(font->filename);
    free(font);
    return 0;
}
