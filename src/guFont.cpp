// PCF bitmap fonts: the loader reads a font file whole into one buffer,
// inflates it when it is gzip-compressed, checks every table that a lookup
// uses against the buffer, and brings the bitmaps into the layout that
// GuGlyph describes. Lookups are then index computations on the buffer.
#include "guFont.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "nabort.h"

namespace {

enum {
    PCF_METRICS = 4,
    PCF_BITMAPS = 8,
    PCF_BDF_ENCODINGS = 32,
};

const uchar pcfMagic[4] = {0x01, 0x66, 0x63, 0x70};

uint32 get32(const uchar *p, bool bigEndian)
{
    if (bigEndian)
        return uint32(p[0]) << 24 | uint32(p[1]) << 16 | uint32(p[2]) << 8 | p[3];
    return uint32(p[3]) << 24 | uint32(p[2]) << 16 | uint32(p[1]) << 8 | p[0];
}

uint16 get16(const uchar *p, bool bigEndian)
{
    return bigEndian ? uint16(p[0] << 8 | p[1]) : uint16(p[1] << 8 | p[0]);
}

bool isBigEndian(uint32 format)
{
    return (format & PCF_FORMAT_BYTE_MSB) != 0;
}

// Bytes of one bitmap row: the ink width in bytes, rounded up to the row
// alignment.
int rowBytes(int inkWidth, int lineAlign)
{
    int bytes = (inkWidth + 7) / 8;
    return (bytes + lineAlign - 1) / lineAlign * lineAlign;
}

// Ends the program unless `need` bytes from `offset` lie inside the buffer.
void requireInside(const GuFont *font, uint64_t offset, uint64_t need, const char *what)
{
    if (offset > font->mapSize || need > font->mapSize - offset)
        nabort("%s: %s runs past the end of the file", font->filename, what);
}

struct FreeDeleter {
    void operator()(uchar *p) const { free(p); }
};

struct InflateStream {
    z_stream zs{};
    bool live = false;
    ~InflateStream()
    {
        if (live)
            inflateEnd(&zs);
    }
};

// Replaces the gzip-compressed buffer by its inflated content, which may
// not exceed GU_FONT_MAX_SIZE bytes.
void inflateMap(GuFont *font)
{
    InflateStream s;
    if (inflateInit2(&s.zs, 16 + MAX_WBITS) != Z_OK)
        nabort("%s: cannot start decompression", font->filename);
    s.live = true;
    s.zs.next_in = font->map;
    s.zs.avail_in = static_cast<uInt>(font->mapSize);

    // The gzip trailer's last word is the inflated size modulo 2^32: a good
    // first guess, though an untrusted one.
    size_t hint = font->mapSize >= 18 ? get32(font->map + font->mapSize - 4, false) : 0;
    size_t capacity = std::min(std::max<size_t>(hint + 1, 4096), GU_FONT_MAX_SIZE);
    std::unique_ptr<uchar, FreeDeleter> out(static_cast<uchar *>(malloc(capacity)));
    if (!out)
        nabort("memory allocation failed (%ld bytes)", static_cast<long>(capacity));
    size_t used = 0;
    for (;;) {
        if (used == capacity) {
            if (capacity >= GU_FONT_MAX_SIZE)
                nabort("%s: inflated font is larger than %zu bytes", font->filename, GU_FONT_MAX_SIZE);
            size_t grown = std::min(capacity * 2, GU_FONT_MAX_SIZE);
            uchar *p = static_cast<uchar *>(realloc(out.get(), grown));
            if (!p)
                nabort("memory allocation failed (%ld bytes)", static_cast<long>(grown));
            out.release();
            out.reset(p);
            capacity = grown;
        }
        s.zs.next_out = out.get() + used;
        s.zs.avail_out = static_cast<uInt>(capacity - used);
        int ret = inflate(&s.zs, Z_NO_FLUSH);
        used = capacity - s.zs.avail_out;
        if (ret == Z_STREAM_END)
            break;
        if (ret == Z_OK)
            continue;
        if (ret == Z_BUF_ERROR && s.zs.avail_in == 0)
            nabort("%s: compressed data is truncated", font->filename);
        if (ret != Z_BUF_ERROR)
            nabort("%s: compressed data is corrupt (%s)", font->filename,
                   s.zs.msg ? s.zs.msg : "zlib error");
    }
    free(font->map);
    font->map = out.release();
    font->mapSize = used;
}

// Puts the leftmost dot of each byte into bit 0, in place, eight bytes at
// a time.
void reverseBitsInBytes(uchar *data, size_t size)
{
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t v;
        memcpy(&v, data + i, 8);
        v = (v & 0xf0f0f0f0f0f0f0f0u) >> 4 | (v & 0x0f0f0f0f0f0f0f0fu) << 4;
        v = (v & 0xccccccccccccccccu) >> 2 | (v & 0x3333333333333333u) << 2;
        v = (v & 0xaaaaaaaaaaaaaaaau) >> 1 | (v & 0x5555555555555555u) << 1;
        memcpy(data + i, &v, 8);
    }
    for (; i < size; i++) {
        unsigned b = data[i];
        b = (b & 0xf0) >> 4 | (b & 0x0f) << 4;
        b = (b & 0xcc) >> 2 | (b & 0x33) << 2;
        b = (b & 0xaa) >> 1 | (b & 0x55) << 1;
        data[i] = static_cast<uchar>(b);
    }
}

void loadBitmaps(GuFont *font, uint32 offset)
{
    Pcf_Bitmaps_Sec *bm = &font->bitmapsSec;
    const uchar *p = font->map + offset;
    requireInside(font, offset, 8, "bitmaps table");
    bm->format = get32(p, false);
    bool big = isBigEndian(bm->format);
    bm->nBitmaps = static_cast<int32>(get32(p + 4, big));
    if (bm->nBitmaps < 0)
        nabort("%s: bitmaps table has a negative count %d", font->filename, bm->nBitmaps);
    uint64_t headerSize = 8 + 4 * uint64_t(bm->nBitmaps) + 16;
    requireInside(font, offset, headerSize, "bitmaps table");
    bm->bitmapOffsets = p + 8;
    bm->dataSize = get32(p + 8 + 4 * uint64_t(bm->nBitmaps) + 4 * (bm->format & PCF_FORMAT_PAD_MASK), big);
    requireInside(font, offset + headerSize, bm->dataSize, "bitmap data");

    font->bitmaps = bm;
    font->bitmap_base = font->map + offset + headerSize;
    font->lineAlign = static_cast<uint8>(1 << (bm->format & PCF_FORMAT_PAD_MASK));
    font->bytePerData = static_cast<uint8>(1 << ((bm->format >> PCF_FORMAT_UNIT_SHIFT) & 3));
    font->bMsbFirst = (bm->format & PCF_FORMAT_BIT_MSB) != 0;
    font->bBigEndian = big;
    // Bit order is a property of each byte, so the whole data is converted
    // in place; scan units are swapped per glyph later, once the glyphs'
    // extents are known.
    if (font->bMsbFirst)
        reverseBitsInBytes(font->bitmap_base, bm->dataSize);
}

// A font whose byte order differs from its bit order stores the bytes of
// each scan unit reversed. They are swapped back glyph by glyph, counting
// units from each glyph's first byte as X and FreeType do, into a copy, so
// that glyphs sharing bytes are each converted from the file's data.
void swapScanUnits(GuFont *font)
{
    size_t unit = font->bytePerData;
    if (unit == 1 || font->bMsbFirst == font->bBigEndian)
        return;
    const Pcf_Bitmaps_Sec *bm = font->bitmaps;
    font->bitmapCopy = static_cast<byte8 *>(calloc(std::max<size_t>(bm->dataSize, 1), 1));
    if (font->bitmapCopy == nullptr)
        nabort("memory allocation failed (%ld bytes)", static_cast<long>(bm->dataSize));
    bool big = isBigEndian(bm->format);
    for (int i = 0; i < bm->nBitmaps; i++) {
        FontMetric fm;
        guFontMetric(font, i, &fm);
        size_t extent = size_t(rowBytes(fm.rbear - fm.lbear, font->lineAlign)) * size_t(fm.ascent + fm.descent);
        uint32 start = get32(bm->bitmapOffsets + 4 * size_t(i), big);
        byte8 *to = font->bitmapCopy + start;
        memcpy(to, font->bitmap_base + start, extent);
        for (size_t at = 0; at + unit <= extent; at += unit)
            std::reverse(to + at, to + at + unit);
    }
    font->bitmap_base = font->bitmapCopy;
}

void loadEncodings(GuFont *font, uint32 offset)
{
    Pcf_Encodings *enc = &font->encodeSec;
    const uchar *p = font->map + offset;
    requireInside(font, offset, 14, "encodings table");
    enc->format = get32(p, false);
    bool big = isBigEndian(enc->format);
    enc->firstCol = static_cast<int16>(get16(p + 4, big));
    enc->lastCol = static_cast<int16>(get16(p + 6, big));
    enc->firstRow = static_cast<int16>(get16(p + 8, big));
    enc->lastRow = static_cast<int16>(get16(p + 10, big));
    enc->defaultCh = static_cast<int16>(get16(p + 12, big));
    if (enc->lastCol < enc->firstCol || enc->lastRow < enc->firstRow)
        nabort("%s: encodings table has an empty range (columns %d-%d, rows %d-%d)", font->filename,
               enc->firstCol, enc->lastCol, enc->firstRow, enc->lastRow);
    uint64_t entries = uint64_t(enc->lastCol - enc->firstCol + 1) * uint64_t(enc->lastRow - enc->firstRow + 1);
    requireInside(font, offset, 14 + 2 * entries, "encodings table");
    enc->encodings = p + 14;
    font->encode = enc;
}

void loadMetrics(GuFont *font, uint32 offset)
{
    Pcf_Metric_Sec *m = &font->metricSec;
    const uchar *p = font->map + offset;
    requireInside(font, offset, 8, "metrics table");
    m->format = get32(p, false);
    m->nMetrics = static_cast<int32>(get32(p + 4, isBigEndian(m->format)));
    if (m->nMetrics < 0)
        nabort("%s: metrics table has a negative count %d", font->filename, m->nMetrics);
    requireInside(font, offset, 8 + 12 * uint64_t(m->nMetrics), "metrics table");
    m->metrics = p + 8;
    font->metric = m;
}

void loadCMetrics(GuFont *font, uint32 offset)
{
    Pcf_CMetric_Sec *m = &font->cmetricSec;
    const uchar *p = font->map + offset;
    requireInside(font, offset, 6, "metrics table");
    m->format = get32(p, false);
    m->nMetrics = static_cast<int16>(get16(p + 4, isBigEndian(m->format)));
    if (m->nMetrics < 0)
        nabort("%s: metrics table has a negative count %d", font->filename, m->nMetrics);
    requireInside(font, offset, 6 + 5 * uint64_t(m->nMetrics), "metrics table");
    m->cmetrics = p + 6;
    font->cmetric = m;
}

// Every glyph that a lookup can reach must have sane metrics and a bitmap
// inside the bitmap data, so that no later read leaves the buffer.
void checkGlyphs(GuFont *font)
{
    int count = font->metric ? font->metric->nMetrics : font->cmetric->nMetrics;
    if (count != font->bitmaps->nBitmaps)
        nabort("%s: %d bitmaps but %d metrics", font->filename, font->bitmaps->nBitmaps, count);
    bool big = isBigEndian(font->bitmaps->format);
    for (int i = 0; i < count; i++) {
        FontMetric fm;
        guFontMetric(font, i, &fm);
        if (fm.rbear < fm.lbear)
            nabort("%s: glyph %d has rbear %d less than lbear %d", font->filename, i, fm.rbear, fm.lbear);
        int rows = fm.ascent + fm.descent;
        if (rows < 0)
            nabort("%s: glyph %d has %d rows", font->filename, i, rows);
        uint64_t extent = uint64_t(rowBytes(fm.rbear - fm.lbear, font->lineAlign)) * uint64_t(rows);
        uint32 start = get32(font->bitmaps->bitmapOffsets + 4 * size_t(i), big);
        if (start > font->bitmaps->dataSize || extent > font->bitmaps->dataSize - start)
            nabort("%s: bitmap of glyph %d runs past the bitmap data", font->filename, i);
    }
}

// Finds the three tables in the buffer that guFontOpen or guFontLoadBuffer
// filled and makes the font ready for lookups.
void loadTables(GuFont *font)
{
    if (font->mapSize >= 2 && font->map[0] == 0x1f && font->map[1] == 0x8b)
        inflateMap(font);
    if (font->mapSize < 4)
        nabort("too small file.");
    if (memcmp(font->map, pcfMagic, 4) != 0)
        nabort("unknown file format: only pcf supported.");

    requireInside(font, 4, 4, "table of contents");
    font->tocSec.nTables = get32(font->map + 4, false);
    font->tocSec.tables = font->map + 8;
    requireInside(font, 8, 16 * uint64_t(font->tocSec.nTables), "table of contents");
    font->pcf_toc = &font->tocSec;

    // A later table of a type replaces an earlier one. Only the tables that
    // lookups use are checked: other tables (the accelerators of many
    // distributed fonts among them) may declare sizes past the file end.
    uint32 encOffset = 0, metOffset = 0, cmetOffset = 0, bmOffset = 0;
    bool hasEnc = false, hasMet = false, hasCmet = false, hasBm = false;
    for (uint32 i = 0; i < font->tocSec.nTables; i++) {
        const uchar *entry = font->tocSec.tables + 16 * size_t(i);
        uint32 type = get32(entry, false);
        uint32 format = get32(entry + 4, false);
        uint32 offset = get32(entry + 12, false);
        if (type == PCF_BDF_ENCODINGS) {
            encOffset = offset;
            hasEnc = true;
        } else if (type == PCF_METRICS && (format & ~0xffu) == PCF_FORMAT_COMPRESSED_METRICS) {
            cmetOffset = offset;
            hasCmet = true;
        } else if (type == PCF_METRICS) {
            metOffset = offset;
            hasMet = true;
        } else if (type == PCF_BITMAPS) {
            bmOffset = offset;
            hasBm = true;
        }
    }
    if (!hasEnc)
        nabort("Encodings section not found in %s", font->filename);
    if (!hasMet && !hasCmet)
        nabort("Metric section not found in %s", font->filename);
    if (!hasBm)
        nabort("Bitmaps section not found in %s", font->filename);

    // The bitmaps' bit order is converted first, so that every table is
    // checked in its final state even if a malformed font lets tables
    // overlap.
    loadBitmaps(font, bmOffset);
    loadEncodings(font, encOffset);
    if (hasMet)
        loadMetrics(font, metOffset); // the uncompressed table wins
    else
        loadCMetrics(font, cmetOffset);
    checkGlyphs(font);
    swapScanUnits(font);
    font->bOpened = 1;
}

void readWhole(GuFont *font)
{
    int fd = open(font->filename, O_RDONLY);
    if (fd < 0)
        nabort("%s cannot be read", font->filename);
    size_t done = 0;
    while (done < font->mapSize) {
        ssize_t n = read(fd, font->map + done, font->mapSize - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            nabort("%s: read failed after %zu of %zu bytes: %s", font->filename, done, font->mapSize,
                   strerror(errno));
        if (n == 0)
            nabort("%s: file ended after %zu of %zu bytes", font->filename, done, font->mapSize);
        done += static_cast<size_t>(n);
    }
    close(fd);
}

} // namespace

GuFont *guFontNew(const char *dirName, const char *filename)
{
    GuFont *font = static_cast<GuFont *>(ntMalloc(sizeof(GuFont)));
    memset(font, 0, sizeof *font);
    if (dirName != nullptr) {
        size_t len = strlen(dirName) + strlen(filename) + 2;
        font->filename = static_cast<char *>(ntMalloc(static_cast<int>(len)));
        snprintf(font->filename, len, "%s/%s", dirName, filename);
    } else {
        font->filename = ntStringNew(filename);
    }
    return font;
}

void guFontOpen(GuFont *font)
{
    if (font->bOpened)
        nabort("already opened.");
    font->fontFd = open(font->filename, O_RDONLY);
    if (font->fontFd < 0)
        nabort("%s not found.", font->filename);
    struct stat st;
    if (fstat(font->fontFd, &st) < 0)
        nabort("fstat failed.");
    font->filesize = st.st_size;
    if (font->filesize <= 3)
        nabort("too small file.");
    if (static_cast<uint64_t>(font->filesize) > GU_FONT_MAX_SIZE)
        nabort("%s: file of %lld bytes is too large for a font", font->filename,
               static_cast<long long>(font->filesize));
    font->mapSize = static_cast<size_t>(font->filesize);
    font->map = static_cast<uchar *>(malloc(font->mapSize));
    if (font->map == nullptr)
        nabort("memory allocation failed (%ld bytes)", static_cast<long>(font->mapSize));
    readWhole(font);
    loadTables(font);
}

void guFontLoadBuffer(GuFont *font, uchar *buf, size_t size)
{
    if (font->bOpened)
        nabort("already opened.");
    font->fontFd = -1;
    font->map = buf;
    font->mapSize = size;
    font->filesize = static_cast<int64_t>(size);
    loadTables(font);
}

void guFontClose(GuFont *font)
{
    if (!font->bOpened)
        nabort("not opened.");
    free(font->map);
    free(font->bitmapCopy);
    if (font->fontFd >= 0)
        close(font->fontFd);
    char *filename = font->filename;
    memset(font, 0, sizeof *font);
    font->filename = filename;
}

namespace {

// The glyph index of `code`, or -1 when the code lies outside the table or
// has no glyph.
int lookupCode(const Pcf_Encodings *enc, uint32 code)
{
    long col = code & 0xff;
    long row = code >> 8;
    if (col < enc->firstCol || col > enc->lastCol || row < enc->firstRow || row > enc->lastRow)
        return -1;
    size_t entry = size_t(row - enc->firstRow) * size_t(enc->lastCol - enc->firstCol + 1) + size_t(col - enc->firstCol);
    uint16 index = get16(enc->encodings + 2 * entry, isBigEndian(enc->format));
    return index == 0xffff ? -1 : index;
}

} // namespace

int guFontEncode(GuFont *font, uint32 code)
{
    const Pcf_Encodings *enc = font->encode;
    if (enc == nullptr) {
        fprintf(stderr, "guFont.cpp:156: guFontEncode: Assertion `enc != NULL' failed.\n");
        abort();
    }
    int index = lookupCode(enc, code);
    if (index < 0) // the default character is a code, looked up like any other
        index = lookupCode(enc, static_cast<uint16>(enc->defaultCh));
    return index;
}

void guFontMetric(GuFont *font, int n, FontMetric *pFm)
{
    if (font->metric != nullptr) {
        const Pcf_Metric_Sec *m = font->metric;
        if (n < 0 || n >= m->nMetrics)
            nabort("index:%d out of range (max:%ld)", n, static_cast<long>(m->nMetrics));
        const uchar *p = m->metrics + 12 * size_t(n);
        bool big = isBigEndian(m->format);
        pFm->lbear = static_cast<int16>(get16(p, big));
        pFm->rbear = static_cast<int16>(get16(p + 2, big));
        pFm->width = static_cast<int16>(get16(p + 4, big));
        pFm->ascent = static_cast<int16>(get16(p + 6, big));
        pFm->descent = static_cast<int16>(get16(p + 8, big));
        pFm->attributes = static_cast<int16>(get16(p + 10, big));
    } else if (font->cmetric != nullptr) {
        const Pcf_CMetric_Sec *m = font->cmetric;
        if (n < 0 || n >= m->nMetrics)
            nabort("index:%d out of range (max:%d)", n, m->nMetrics);
        const uchar *p = m->cmetrics + 5 * size_t(n);
        pFm->lbear = static_cast<int16>(p[0] - 0x80);
        pFm->rbear = static_cast<int16>(p[1] - 0x80);
        pFm->width = static_cast<int16>(p[2] - 0x80);
        pFm->ascent = static_cast<int16>(p[3] - 0x80);
        pFm->descent = static_cast<int16>(p[4] - 0x80);
        pFm->attributes = 0;
    } else {
        nabort("font has no metrics");
    }
}

void guFontBitmap(GuFont *font, int idx, const byte8 **pData)
{
    const Pcf_Bitmaps_Sec *bm = font->bitmaps;
    if (bm == nullptr || idx < 0 || idx >= bm->nBitmaps)
        nabort("index:%d out of range. max:%ld", idx, static_cast<long>(bm ? bm->nBitmaps : 0));
    *pData = font->bitmap_base + get32(bm->bitmapOffsets + 4 * size_t(idx), isBigEndian(bm->format));
}

void guFontGlyph(GuFont *font, uint32 code, GuGlyph *glyph)
{
    if (!font->bOpened)
        guFontOpen(font);
    int n = guFontEncode(font, code);
    FontMetric fm;
    guFontMetric(font, n, &fm);
    glyph->lbear = fm.lbear;
    glyph->rbear = fm.rbear;
    glyph->width = fm.width;
    glyph->ascent = fm.ascent;
    glyph->descent = fm.descent;
    glyph->bpl = rowBytes(fm.rbear - fm.lbear, font->lineAlign);
    guFontBitmap(font, n, &glyph->bitmap);
}

void guFontDump(GuFont *font, uint32 code)
{
    if (!font->bOpened)
        guFontOpen(font);
    int n = guFontEncode(font, code);
    printf("code:0x%04lx -> %d\n", static_cast<unsigned long>(code), n);
    FontMetric fm;
    guFontMetric(font, n, &fm);
    printf("lbear     : %3d\n", fm.lbear);
    printf("rbear     : %3d\n", fm.rbear);
    printf("width     : %3d\n", fm.width);
    printf("ascent    : %3d\n", fm.ascent);
    printf("descent   : %3d\n", fm.descent);
    printf("attributes: %04x\n", static_cast<unsigned>(static_cast<int>(fm.attributes)));
    int bpl = rowBytes(fm.rbear - fm.lbear, font->lineAlign);
    int bpc = (fm.ascent + fm.descent) * bpl;
    printf("bpl: %3d bytes\n", bpl);
    printf("bpc: %3d bytes\n", bpc);
    const byte8 *bitmap;
    guFontBitmap(font, n, &bitmap);
    for (int s = 0; s < bpc; s += bpl) {
        for (int b = 0; b < bpl; b++)
            for (int bit = 0; bit < 8; bit++)
                putchar(bitmap[s + b] & (1 << bit) ? '*' : '.');
        putchar('\n');
    }
}

void guGlyphDump(const GuGlyph *glyph)
{
    int rows = glyph->ascent + glyph->descent;
    for (int y = 0; y < rows; y++) {
        for (int b = 0; b < glyph->bpl; b++)
            fprintf(stderr, "%02x", glyph->bitmap[y * glyph->bpl + b]);
        fprintf(stderr, "\n");
    }
    fprintf(stderr, "\n");
}
