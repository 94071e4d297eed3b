// The PCF loader and glyph lookup against fonts made by a real PCF producer
// (bdftopcf) in every format it writes, against Debian's own fonts, and
// against FreeType reading the same files.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cctype>
#include <cstring>
#include <functional>

#include "font_oracle.h"
#include "guFont.h"
#include "testutil.h"

using fonttest::Dots;
using fonttest::FreeTypeFont;
using fonttest::glyph_dots;
using fonttest::make_pcf;
using fonttest::read_bdf;
using testutil::ScratchDir;

namespace {

const char *const kDebianAnk = "/usr/share/fonts/X11/misc/8x16rk.pcf.gz";
const char *const kDebianKanji = "/usr/share/fonts/X11/misc/jiskan16.pcf.gz";

// A font opened for one test and closed after it.
struct OpenFont {
    GuFont *font;
    explicit OpenFont(const std::string &path) : font(guFontNew(nullptr, path.c_str())) { guFontOpen(font); }
    ~OpenFont()
    {
        if (font->bOpened)
            guFontClose(font);
    }
    GuGlyph glyph(unsigned code) const
    {
        GuGlyph g;
        guFontGlyph(font, code, &g);
        return g;
    }
    Dots dots(unsigned code) const { return glyph_dots(glyph(code)); }
};

std::string gunzip_file(const std::string &path)
{
    gzFile f = gzopen(path.c_str(), "rb");
    std::string out;
    char buf[65536];
    int n;
    while ((n = gzread(f, buf, sizeof buf)) > 0)
        out.append(buf, static_cast<size_t>(n));
    gzclose(f);
    return out;
}

std::string gzip_string(const std::string &data)
{
    z_stream zs{};
    deflateInit2(&zs, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&zs, data.size()), '\0');
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef *>(&out[0]);
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

TEST(GuFontNew, JoinsDirectoryAndName)
{
    struct Case {
        const char *dir;
        const char *expected;
    } cases[] = {
        {"fonts", "fonts/8x16rk.pcf"},
        {"fonts/", "fonts//8x16rk.pcf"},
        {nullptr, "8x16rk.pcf"},
        {"", "/8x16rk.pcf"},
    };
    for (const Case &c : cases) {
        GuFont *font = guFontNew(c.dir, "8x16rk.pcf");
        EXPECT_STREQ(font->filename, c.expected);
        EXPECT_EQ(font->bOpened, 0);
        EXPECT_EQ(font->map, nullptr);
    }
}

// Every combination of bit order, byte order, row padding and scan unit that
// bdftopcf writes reads to the dots of the BDF source, and FreeType agrees.
// bdftopcf's -p8 files declare 1-byte rows but hold other data (FreeType
// reads them as garbled as we do), so 8-byte rows are left out here.
TEST(GuFontFormats, EveryProducerFormatReadsToTheSameDots)
{
    ScratchDir dir;
    for (const char *bdf : {"ank.bdf", "kanji.bdf"}) {
        std::map<unsigned, Dots> expected = read_bdf(std::string(TESTS_DIR) + "/fonts/" + bdf);
        ASSERT_GE(expected.size(), 5u);
        for (const char *bit : {"-m", "-l"})
            for (const char *byte : {"-M", "-L"})
                for (int pad : {1, 2, 4}) // bdftopcf's -p8 output is broken: see below
                    for (int unit : {1, 2, 4}) {
                        std::string flags = std::string(bit) + byte + " -p" + std::to_string(pad) + " -u" +
                                            std::to_string(unit);
                        SCOPED_TRACE(std::string(bdf) + " " + flags);
                        std::string path = make_pcf(dir, bdf,
                                                    {bit, byte, "-p" + std::to_string(pad), "-u" + std::to_string(unit)},
                                                    "fixture.pcf");
                        OpenFont font(path);
                        FreeTypeFont ft(path);
                        EXPECT_EQ(font.font->lineAlign, pad);
                        EXPECT_EQ(font.font->bMsbFirst, bit[1] == 'm');
                        EXPECT_EQ(font.font->bBigEndian, byte[1] == 'M');
                        for (const auto &kv : expected) {
                            SCOPED_TRACE("code " + std::to_string(kv.first));
                            GuGlyph g = font.glyph(kv.first);
                            int inkBytes = (g.rbear - g.lbear + 7) / 8;
                            EXPECT_EQ(g.bpl, (inkBytes + pad - 1) / pad * pad);
                            EXPECT_EQ(glyph_dots(g), ft.dots(kv.first));
                            // When a glyph's bytes are not a whole number of scan
                            // units and byte and bit order differ, bdftopcf swaps
                            // a unit that straddles into the next glyph; readers
                            // (FreeType and we) swap whole units of each glyph
                            // only, so there only agreement with FreeType holds.
                            bool straddles = bit[1] != std::tolower(byte[1]) &&
                                             (g.bpl * (g.ascent + g.descent)) % unit != 0;
                            if (!straddles) {
                                EXPECT_EQ(glyph_dots(g), kv.second);
                            }
                        }
                    }
    }
}

TEST(GuFontFormats, RowBytesFollowInkWidthAndAlignment)
{
    // Glyphs of the fixtures by ink width; the row alignment is set on the
    // loaded font, since bdftopcf cannot write 8-byte rows.
    struct Case {
        bool kanji;
        unsigned code;
        int ink, align, bpl;
    } cases[] = {
        {false, 0x41, 8, 1, 1},  {false, 0x41, 8, 4, 4},  {true, 0x2124, 9, 1, 2}, {true, 0x2422, 16, 2, 2},
        {true, 0x2122, 17, 4, 4}, {true, 0x2521, 33, 8, 8}, {false, 0xa0, 0, 1, 0},  {false, 0xa0, 0, 8, 0},
    };
    ScratchDir dir;
    OpenFont ank(make_pcf(dir, "ank.bdf", {"-p1"}, "a.pcf"));
    OpenFont kanji(make_pcf(dir, "kanji.bdf", {"-p1"}, "k.pcf"));
    for (const Case &c : cases) {
        SCOPED_TRACE("code " + std::to_string(c.code) + " align " + std::to_string(c.align));
        const OpenFont &font = c.kanji ? kanji : ank;
        font.font->lineAlign = static_cast<uint8>(c.align);
        GuGlyph g = font.glyph(c.code);
        EXPECT_EQ(g.rbear - g.lbear, c.ink);
        EXPECT_EQ(g.bpl, c.bpl);
    }
}

// Debian's fonts are stored most significant byte and bit first and
// gzip-compressed; every code of their tables must give FreeType's glyph.
TEST(GuFontDebian, BothFontsAgreeWithFreeTypeForEveryCode)
{
    for (const char *path : {kDebianAnk, kDebianKanji}) {
        SCOPED_TRACE(path);
        OpenFont font(path);
        FreeTypeFont ft(path);
        const Pcf_Encodings *enc = font.font->encode;
        ASSERT_NE(enc, nullptr);
        int glyphs = 0;
        for (int row = enc->firstRow; row <= enc->lastRow; row++)
            for (int col = enc->firstCol; col <= enc->lastCol; col++) {
                unsigned code = static_cast<unsigned>(row << 8 | col);
                Dots ours = font.dots(code);
                Dots theirs = ft.dots(code);
                ASSERT_EQ(ours, theirs) << "code 0x" << std::hex << code;
                glyphs++;
            }
        EXPECT_GT(glyphs, 200);
    }
}

TEST(GuFontDebian, PlainAndCompressedFilesGiveTheSameGlyphs)
{
    ScratchDir dir;
    std::string plain = dir.write("jiskan16.pcf", gunzip_file(kDebianKanji));
    OpenFont gz(kDebianKanji), raw(plain);
    EXPECT_EQ(gz.font->filesize + 0, static_cast<int64_t>(testutil::read_file(kDebianKanji).size()));
    EXPECT_EQ(raw.font->filesize, static_cast<int64_t>(raw.font->mapSize));
    EXPECT_EQ(gz.font->mapSize, raw.font->mapSize);
    EXPECT_EQ(raw.font->bitmaps->nBitmaps, 6877);
    for (unsigned code : {0x2121u, 0x3021u, 0x4f53u, 0x7426u})
        EXPECT_EQ(gz.dots(code), raw.dots(code));
}

// The default character is a code: codes outside the ranges and codes
// without a glyph draw its glyph.
TEST(GuFontEncode, KanjiTableLookupsAndTheDefaultCharacter)
{
    ScratchDir dir;
    OpenFont font(make_pcf(dir, "kanji.bdf", {"-l", "-L"}, "k.pcf"));
    const Pcf_Encodings *enc = font.font->encode;
    EXPECT_EQ(enc->firstRow, 0x21);
    EXPECT_EQ(enc->lastRow, 0x7e);
    EXPECT_EQ(enc->firstCol, 0x21);
    EXPECT_EQ(enc->lastCol, 0x7e);
    EXPECT_EQ(enc->defaultCh, 0x2121);

    int blank = guFontEncode(font.font, 0x2121);
    int w16 = guFontEncode(font.font, 0x2422); // entry 3 x 94 + 1
    int far = guFontEncode(font.font, 0x7e7e); // the last entry
    EXPECT_NE(blank, w16);
    EXPECT_NE(far, blank);
    EXPECT_EQ(font.glyph(0x7e7e).width, 200);
    EXPECT_EQ(font.dots(0x2422).rows[0], ".........#......");
    for (unsigned code : {0x2120u, 0x217fu, 0x2123u, 0x12121u, 0x0041u})
        EXPECT_EQ(guFontEncode(font.font, code), blank) << std::hex << code;
}

TEST(GuFontEncode, AnkTableAndDebianDefaultCharacterIsBlank)
{
    ScratchDir dir;
    OpenFont font(make_pcf(dir, "ank.bdf", {}, "a.pcf"));
    EXPECT_EQ(font.font->encode->firstRow, 0);
    EXPECT_EQ(font.font->encode->lastRow, 0);
    EXPECT_EQ(guFontEncode(font.font, 0x141), guFontEncode(font.font, 0x20));
    EXPECT_NE(guFontEncode(font.font, 0x41), guFontEncode(font.font, 0x20));

    OpenFont ank(kDebianAnk);
    EXPECT_EQ(ank.font->encode->defaultCh, 0x20);
    Dots blank = ank.dots(0x20);
    EXPECT_EQ(ank.dots(0x141), blank);
    EXPECT_EQ(ank.dots(0xff), blank);
    OpenFont kanji(kDebianKanji);
    EXPECT_EQ(kanji.font->encode->defaultCh, 0x2121);
    EXPECT_EQ(kanji.dots(0x7f7f), kanji.dots(0x2121));
    EXPECT_EQ(kanji.dots(0x41), kanji.dots(0x2121));
}

TEST(GuFontMetric, CompressedAndUncompressedTables)
{
    ScratchDir dir;
    OpenFont ank(make_pcf(dir, "ank.bdf", {}, "a.pcf"));
    OpenFont kanji(make_pcf(dir, "kanji.bdf", {}, "k.pcf"));
    EXPECT_NE(ank.font->cmetric, nullptr);
    EXPECT_EQ(ank.font->metric, nullptr);
    EXPECT_NE(kanji.font->metric, nullptr);

    FontMetric fm;
    guFontMetric(ank.font, guFontEncode(ank.font, 0x42), &fm);
    EXPECT_EQ(fm.lbear, 1);
    EXPECT_EQ(fm.rbear, 6);
    EXPECT_EQ(fm.width, 6);
    EXPECT_EQ(fm.ascent, 7);
    EXPECT_EQ(fm.descent, 0);
    EXPECT_EQ(fm.attributes, 0);
    guFontMetric(kanji.font, guFontEncode(kanji.font, 0x2122), &fm);
    EXPECT_EQ(fm.lbear, -1);
    EXPECT_EQ(fm.rbear, 16);
    EXPECT_EQ(fm.width, 16);
    EXPECT_EQ(fm.ascent, 14);
    EXPECT_EQ(fm.descent, 2);

    // Compressed bytes hold value + 0x80.
    uchar *entry = const_cast<uchar *>(ank.font->cmetric->cmetrics) + 5 * guFontEncode(ank.font, 0x41);
    for (auto c : {std::make_pair(0x80, 0), std::make_pair(0x00, -128), std::make_pair(0xff, 127),
                   std::make_pair(0x88, 8)}) {
        entry[2] = static_cast<uchar>(c.first);
        guFontMetric(ank.font, guFontEncode(ank.font, 0x41), &fm);
        EXPECT_EQ(fm.width, c.second);
    }
}

using GuFontDeath = ::testing::Test;

TEST(GuFontDeath, IndexOutOfRangeMessages)
{
    ScratchDir dir;
    OpenFont ank(make_pcf(dir, "ank.bdf", {}, "a.pcf"));
    OpenFont kanji(make_pcf(dir, "kanji.bdf", {}, "k.pcf"));
    FontMetric fm;
    const byte8 *bitmap;
    int n = kanji.font->metric->nMetrics;
    guFontMetric(kanji.font, n - 1, &fm);
    EXPECT_EXIT(guFontMetric(kanji.font, n, &fm), ::testing::ExitedWithCode(1),
                "^index:6 out of range \\(max:6\\)\n");
    EXPECT_EXIT(guFontMetric(ank.font, -1, &fm), ::testing::ExitedWithCode(1),
                "^index:-1 out of range \\(max:6\\)\n");
    EXPECT_EXIT(guFontBitmap(kanji.font, 6, &bitmap), ::testing::ExitedWithCode(1),
                "^index:6 out of range. max:6\n");
    GuFont *unopened = guFontNew(nullptr, "none.pcf");
    EXPECT_EXIT(guFontMetric(unopened, 0, &fm), ::testing::ExitedWithCode(1), "^font has no metrics\n");

    // A default character without a glyph ends with the range message.
    const_cast<Pcf_Encodings *>(kanji.font->encode)->defaultCh = 0x2123;
    GuGlyph g;
    EXPECT_EXIT(guFontGlyph(kanji.font, 0x2123, &g), ::testing::ExitedWithCode(1),
                "^index:-1 out of range \\(max:6\\)\n");
}

TEST(GuFontDeath, OpenAndCloseOrder)
{
    ScratchDir dir;
    OpenFont font(make_pcf(dir, "ank.bdf", {}, "a.pcf"));
    EXPECT_EXIT(guFontOpen(font.font), ::testing::ExitedWithCode(1), "^already opened.\n");
    GuFont *created = guFontNew(dir.path().c_str(), "a.pcf");
    EXPECT_EXIT(guFontClose(created), ::testing::ExitedWithCode(1), "^not opened.\n");
    GuFont *missing = guFontNew(dir.path().c_str(), "missing.pcf");
    GuGlyph g;
    EXPECT_EXIT(guFontGlyph(missing, 0x41, &g), ::testing::ExitedWithCode(1),
                "^" + dir.path() + "/missing.pcf not found.\n");
}

TEST(GuFontGlyph, FirstRequestLoadsTheFileOnce)
{
    ScratchDir dir;
    std::string path = make_pcf(dir, "ank.bdf", {}, "a.pcf");
    GuFont *font = guFontNew(nullptr, path.c_str());
    GuGlyph g;
    guFontGlyph(font, 0x41, &g);
    EXPECT_EQ(font->bOpened, 1);
    ASSERT_EQ(remove(path.c_str()), 0);
    guFontGlyph(font, 0x42, &g);
    EXPECT_EQ(g.width, 6);
    guFontClose(font);
    EXPECT_EQ(font->bOpened, 0);
    EXPECT_EQ(font->encode, nullptr);
}

// Little-endian accessors for editing an LSB-first fixture.
uint32_t get32(const std::string &s, size_t at)
{
    return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 | uint32_t(uint8_t(s[at + 2])) << 16 |
           uint32_t(uint8_t(s[at + 3])) << 24;
}
void put32(std::string &s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        s[at + i] = static_cast<char>(v >> (8 * i));
}
void put16(std::string &s, size_t at, uint16_t v)
{
    s[at] = static_cast<char>(v);
    s[at + 1] = static_cast<char>(v >> 8);
}
// Table-of-contents entry of the first table of `type`.
size_t toc_entry(const std::string &s, uint32_t type)
{
    for (uint32_t i = 0; i < get32(s, 4); i++)
        if (get32(s, 8 + 16 * i) == type)
            return 8 + 16 * i;
    throw std::runtime_error("no such table");
}
size_t table(const std::string &s, uint32_t type)
{
    return get32(s, toc_entry(s, type) + 12);
}

// Malformed fonts, each a small edit of a fixture, and the message that
// ends the program for each. "FILE" stands for the font's path.
TEST(GuFontDeath, MalformedFontsEndWithAMessageNamingTheProblem)
{
    ScratchDir dir;
    // LSB-first, uncompressed metrics (kanji) and compressed ones (ank).
    const std::string kanji = testutil::read_file(make_pcf(dir, "kanji.bdf", {"-l", "-L", "-p4"}, "k.pcf"));
    const std::string ank = testutil::read_file(make_pcf(dir, "ank.bdf", {"-l", "-L", "-p1"}, "a.pcf"));
    struct Case {
        const char *name;
        std::function<std::string()> make;
        const char *message;
    } cases[] = {
        {"empty file", [] { return std::string(); }, "too small file."},
        {"three magic bytes", [] { return std::string("\x01" "fc", 3); }, "too small file."},
        {"BDF text", [] { return testutil::read_file(std::string(TESTS_DIR) + "/fonts/ank.bdf"); },
         "unknown file format: only pcf supported."},
        {"no tables", [&] { std::string s = kanji; put32(s, 4, 0); return s; }, "Encodings section not found in FILE"},
        {"no tables of any used type",
         [&] {
             std::string s = kanji;
             put32(s, toc_entry(s, 32), 64);
             put32(s, toc_entry(s, 4), 1);
             put32(s, toc_entry(s, 8), 2);
             return s;
         },
         "Encodings section not found in FILE"},
        {"no metrics", [&] { std::string s = kanji; put32(s, toc_entry(s, 4), 16 + 1024); return s; },
         "Metric section not found in FILE"},
        {"no bitmaps", [&] { std::string s = kanji; put32(s, toc_entry(s, 8), 2); return s; },
         "Bitmaps section not found in FILE"},
        {"table of contents past the end", [&] { std::string s = kanji; put32(s, 4, 0x10000000); return s; },
         "FILE: table of contents runs past the end of the file"},
        {"encodings table past the end",
         [&] { std::string s = kanji; put32(s, toc_entry(s, 32) + 12, uint32_t(s.size() - 4)); return s; },
         "FILE: encodings table runs past the end of the file"},
        {"encodings entries past the end",
         [&] { std::string s = kanji; put16(s, table(s, 32) + 10, 0x7fff); return s; },
         "FILE: encodings table runs past the end of the file"},
        {"empty encodings range",
         [&] { std::string s = kanji; put16(s, table(s, 32) + 6, 0x20); return s; },
         "FILE: encodings table has an empty range \\(columns 33-32, rows 33-126\\)"},
        {"metrics count past the end",
         [&] { std::string s = kanji; put32(s, table(s, 4) + 4, 0x01000000); return s; },
         "FILE: metrics table runs past the end of the file"},
        {"compressed metrics count past the end",
         [&] { std::string s = ank; put16(s, table(s, 4) + 4, 0x7fff); return s; },
         "FILE: metrics table runs past the end of the file"},
        {"bitmaps count past the end",
         [&] { std::string s = kanji; put32(s, table(s, 8) + 4, 0x40000000); return s; },
         "FILE: bitmaps table runs past the end of the file"},
        {"bitmap data past the end",
         [&] {
             std::string s = kanji;
             size_t t = table(s, 8);
             put32(s, t + 8 + 4 * get32(s, t + 4) + 8, 0x7fffffff); // the size for 4-byte rows
             return s;
         },
         "FILE: bitmap data runs past the end of the file"},
        {"glyph bitmap past the data",
         [&] { std::string s = kanji; put32(s, table(s, 8) + 8 + 4, 0x00100000); return s; },
         "FILE: bitmap of glyph 1 runs past the bitmap data"},
        {"bitmaps and metrics counts differ",
         [&] { std::string s = kanji; put32(s, table(s, 4) + 4, 5); return s; },
         "FILE: 6 bitmaps but 5 metrics"},
        {"rbear less than lbear",
         [&] { std::string s = kanji; put16(s, table(s, 4) + 8 + 12 + 2, uint16_t(-3)); return s; },
         "FILE: glyph 1 has rbear -3 less than lbear -1"},
        {"negative rows",
         [&] { std::string s = kanji; put16(s, table(s, 4) + 8 + 12 + 6, uint16_t(-20)); return s; },
         "FILE: glyph 1 has -18 rows"},
        {"file cut short", [&] { return kanji.substr(0, kanji.size() / 2); }, "FILE: .* runs past the end of the file"},
        {"truncated gzip stream", [&] { std::string z = gzip_string(kanji); return z.substr(0, z.size() / 2); },
         "FILE: compressed data is truncated"},
        {"corrupt gzip stream",
         [&] { std::string z = gzip_string(kanji); z[z.size() - 6] ^= 0x55; return z; },
         "FILE: compressed data is corrupt \\(incorrect data check\\)"},
        {"decompression bomb", [&] { return gzip_string(kanji + std::string(65u << 20, '\0')); },
         "FILE: inflated font is larger than 67108864 bytes"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir.write("bad.pcf", c.make());
        std::string message = c.message;
        size_t at = message.find("FILE");
        if (at != std::string::npos)
            message.replace(at, 4, path);
        GuFont *font = guFontNew(nullptr, path.c_str());
        EXPECT_EXIT(guFontOpen(font), ::testing::ExitedWithCode(1), "^" + message + "\n");
    }
}

// Tables that lookups do not use may be broken: Debian's accelerators
// tables declare sizes past the file end.
TEST(GuFontOpen, UnusedTablesMayRunPastTheEnd)
{
    ScratchDir dir;
    std::string s = testutil::read_file(make_pcf(dir, "kanji.bdf", {"-l", "-L"}, "k.pcf"));
    put32(s, toc_entry(s, 1) + 8, 0x7fffffff);
    put32(s, toc_entry(s, 2) + 12, 0x7fffffff);
    OpenFont font(dir.write("k2.pcf", s));
    EXPECT_EQ(font.glyph(0x2422).width, 16);
}

// The table of contents' format of a metrics table decides its kind: 0x100
// with any low byte is compressed, every other value uncompressed.
TEST(GuFontOpen, MetricsKindComesFromTheTableOfContents)
{
    ScratchDir dir;
    const std::string kanji = testutil::read_file(make_pcf(dir, "kanji.bdf", {"-l", "-L"}, "k.pcf"));
    const std::string ank = testutil::read_file(make_pcf(dir, "ank.bdf", {"-l", "-L"}, "a.pcf"));
    struct Case {
        const std::string *font;
        uint32_t format;
        bool compressed;
    } cases[] = {{&ank, 0x100, true}, {&ank, 0x1ff, true}, {&kanji, 0, false}, {&kanji, 0x200, false},
                 {&kanji, 0x300, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.format);
        std::string s = *c.font;
        put32(s, toc_entry(s, 4) + 4, c.format);
        OpenFont font(dir.write("m.pcf", s));
        EXPECT_EQ(font.font->cmetric != nullptr, c.compressed);
        EXPECT_EQ(font.font->metric != nullptr, !c.compressed);
    }
}

TEST(GuFontOpen, LaterBitmapsTableWinsWithItsOwnFormat)
{
    ScratchDir dir;
    std::string first = testutil::read_file(make_pcf(dir, "kanji.bdf", {"-l", "-L", "-p1"}, "k.pcf"));
    std::string second = testutil::read_file(make_pcf(dir, "kanji.bdf", {"-m", "-M", "-p4", "-u4"}, "k2.pcf"));
    // One more table-of-contents entry, so every table moves by 16 bytes;
    // the new entry names the bitmaps table of the second file, appended.
    uint32_t n = get32(first, 4);
    std::string s = first.substr(0, 8 + 16 * n) + std::string(16, '\0') + first.substr(8 + 16 * n);
    for (uint32_t i = 0; i < n; i++)
        put32(s, 8 + 16 * i + 12, get32(s, 8 + 16 * i + 12) + 16);
    size_t appended = s.size();
    s += second;
    size_t e = 8 + 16 * n;
    put32(s, 4, n + 1);
    put32(s, e, 8);
    put32(s, e + 4, get32(second, toc_entry(second, 8) + 4));
    put32(s, e + 12, uint32_t(appended + table(second, 8)));
    OpenFont font(dir.write("two.pcf", s));
    EXPECT_EQ(font.font->lineAlign, 4);
    EXPECT_EQ(font.font->bytePerData, 4);
    EXPECT_EQ(font.font->bMsbFirst, 1);
    EXPECT_EQ(font.font->bBigEndian, 1);
    std::map<unsigned, Dots> expected = read_bdf(std::string(TESTS_DIR) + "/fonts/kanji.bdf");
    for (const auto &kv : expected)
        EXPECT_EQ(font.dots(kv.first), kv.second);
}

TEST(GuFontDump, ExactTextForOneSmallGlyph)
{
    ScratchDir dir;
    OpenFont font(make_pcf(dir, "ank.bdf", {"-p2"}, "a.pcf"));
    testing::internal::CaptureStdout();
    guFontDump(font.font, 0x42);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "code:0x0042 -> 2\n"
                                                      "lbear     :   1\n"
                                                      "rbear     :   6\n"
                                                      "width     :   6\n"
                                                      "ascent    :   7\n"
                                                      "descent   :   0\n"
                                                      "attributes: 0000\n"
                                                      "bpl:   2 bytes\n"
                                                      "bpc:  14 bytes\n"
                                                      ".*.*............\n"
                                                      "****............\n"
                                                      "..*.............\n"
                                                      ".**.............\n"
                                                      "*.*.............\n"
                                                      "....*...........\n"
                                                      "...*............\n");
    GuGlyph g = font.glyph(0x42);
    testing::internal::CaptureStderr();
    guGlyphDump(&g);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "0a00\n0f00\n0400\n0600\n0500\n1000\n0800\n\n");
}

TEST(Pcfdump, PrintsEachCodeAndRejectsABadOne)
{
    ScratchDir dir;
    std::string path = make_pcf(dir, "ank.bdf", {}, "a.pcf");
    testutil::RunOptions opt;
    opt.cwd = dir.path();
    testutil::RunResult r = testutil::run_program(PCFDUMP_BIN, {path, "0x41", "42"}, opt);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("code:0x0041 -> "), std::string::npos);
    EXPECT_NE(r.out.find("code:0x0042 -> "), std::string::npos);
    EXPECT_LT(r.out.find("code:0x0041"), r.out.find("code:0x0042"));
    r = testutil::run_program(PCFDUMP_BIN, {path, "4g"}, opt);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "bad code \"4g\": give it in hexadecimal\n");
    r = testutil::run_program(PCFDUMP_BIN, {"nofont.pcf", "41"}, opt);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "nofont.pcf not found.\n");
}

} // namespace
