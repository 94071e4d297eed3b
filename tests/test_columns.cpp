// Glyph column words: the worked examples and the clipping cases.
#include <gtest/gtest.h>

#include <vector>

#include "ltio.h"

namespace {

struct Glyph {
    std::vector<byte8> bytes;
    GuGlyph g{};
    Glyph(int width, int bpl, int ascent, int descent)
    {
        bytes.assign(static_cast<size_t>(bpl * (ascent + descent)), 0);
        g.width = width;
        g.bpl = bpl;
        g.ascent = ascent;
        g.descent = descent;
        g.lbear = 0;
        g.rbear = width;
        g.bitmap = bytes.data();
    }
    void set(int row, int byte, byte8 v) { bytes[static_cast<size_t>(row * g.bpl + byte)] = v; }
};

std::vector<uint16_t> normal(const Glyph &gl, int buflen = 32)
{
    std::vector<uint16_t> buf(64, 0xdead);
    int n = lt_get_glyph_bitmap(&gl.g, buf.data(), buflen);
    EXPECT_EQ(buf[static_cast<size_t>(n)], 0xdead) << "wrote past its count";
    buf.resize(static_cast<size_t>(n));
    return buf;
}

std::vector<uint16_t> vertical(const Glyph &gl, int buflen = 32)
{
    std::vector<uint16_t> buf(64, 0xdead);
    int n = lt_get_glyph_bitmap_vertical(&gl.g, buf.data(), buflen);
    EXPECT_EQ(buf[static_cast<size_t>(n)], 0xdead) << "wrote past its count";
    buf.resize(static_cast<size_t>(n));
    return buf;
}

std::vector<uint16_t> words(size_t n, std::initializer_list<std::pair<size_t, uint16_t>> set)
{
    std::vector<uint16_t> w(n, 0);
    for (auto &kv : set)
        w[kv.first] = kv.second;
    return w;
}

TEST(ColumnWords, WorkedExamples)
{
    Glyph tall(8, 1, 14, 2);
    tall.set(0, 0, 0x01);
    tall.set(15, 0, 0x81);
    EXPECT_EQ(normal(tall), words(8, {{0, 0x8001}, {7, 0x0001}}));
    EXPECT_EQ(vertical(tall), words(16, {{0, 0x0001}, {15, 0x0081}}));

    Glyph shortGlyph(8, 1, 10, 2);
    shortGlyph.set(0, 0, 0x01);
    shortGlyph.set(11, 0, 0x81);
    EXPECT_EQ(normal(shortGlyph), words(8, {{0, 0x0801}, {7, 0x0001}}));
    EXPECT_EQ(vertical(shortGlyph), words(12, {{0, 0x0001}, {11, 0x0081}}));

    Glyph wide(16, 2, 14, 2);
    wide.set(0, 1, 0x02);
    EXPECT_EQ(normal(wide), words(16, {{9, 0x8000}}));
    EXPECT_EQ(vertical(wide), words(16, {{0, 0x0200}}));
}

TEST(ColumnWords, Clipping)
{
    Glyph empty(0, 1, 2, 1);
    empty.set(0, 0, 0x05);
    EXPECT_EQ(normal(empty).size(), 0u);
    EXPECT_EQ(vertical(empty), words(3, {{0, 0x05}}));

    Glyph noRows(6, 1, 0, 0);
    EXPECT_EQ(normal(noRows), words(6, {}));
    EXPECT_EQ(vertical(noRows).size(), 0u);

    Glyph wider(40, 5, 14, 2);
    wider.set(0, 4, 0x80); // dot 39
    wider.set(0, 2, 0x01); // dot 16
    EXPECT_EQ(normal(wider, 32).size(), 32u);
    EXPECT_EQ(normal(wider, 32)[16], 0x8000);
    EXPECT_EQ(vertical(wider)[0], 0x0000) << "dots right of the 16th are dropped";

    Glyph taller(8, 1, 18, 2); // 20 rows
    taller.set(0, 0, 0x01);
    taller.set(15, 0, 0x01);
    taller.set(19, 0, 0x01);
    EXPECT_EQ(normal(taller), words(8, {{0, 0x8001}}));
    EXPECT_EQ(vertical(taller).size(), 20u);
    EXPECT_EQ(vertical(taller, 10).size(), 10u);

    Glyph narrow(5, 1, 14, 2);
    narrow.set(3, 0, 0xe1); // dot 0 and fill bits 5-7
    EXPECT_EQ(normal(narrow), words(5, {{0, 1 << 12}}));
    EXPECT_EQ(vertical(narrow)[3], 0x00e1);
}

// Dots beyond a row's bytes are unlit and never read: the bitmap holds
// exactly bpl x rows bytes, so AddressSanitizer would catch a read past it.
TEST(ColumnWords, DotsBeyondTheRowBytesAreUnlit)
{
    Glyph g(16, 1, 14, 2);
    for (int y = 0; y < 16; y++)
        g.set(y, 0, 0xff);
    std::vector<uint16_t> n = normal(g);
    EXPECT_EQ(n, std::vector<uint16_t>({0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0, 0, 0,
                                        0, 0, 0, 0, 0}));
    EXPECT_EQ(vertical(g), std::vector<uint16_t>(16, 0x00ff));

    Glyph none(8, 0, 14, 2);
    none.g.bitmap = nullptr;
    EXPECT_EQ(normal(none), words(8, {}));
    EXPECT_EQ(vertical(none), words(16, {}));
}

} // namespace
