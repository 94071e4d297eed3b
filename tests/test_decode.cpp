// The character decoder: newline rules, Shift JIS and EUC-JP pairs, UTF-8
// input, and which font, code and vertical flag each character gets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ledtick.h"
#include "ltio.h"

namespace {

struct Drawn {
    int font; // 1 for the ANK font, 2 for the Kanji font
    int code;
    int vert;
    bool operator==(const Drawn &o) const { return font == o.font && code == o.code && vert == o.vert; }
};

std::ostream &operator<<(std::ostream &os, const Drawn &d)
{
    return os << "{font" << d.font << " 0x" << std::hex << d.code << std::dec << " v" << d.vert << "}";
}

// Stand-ins for the two fonts: only their addresses are compared.
char ank_font_tag, kanji_font_tag;
GuFont *const ank_font = reinterpret_cast<GuFont *>(&ank_font_tag);
GuFont *const kanji_font = reinterpret_cast<GuFont *>(&kanji_font_tag);

std::vector<Drawn> drawn;

void record_putchar(lcont_t *, GuFont *font, int c, int bVert)
{
    drawn.push_back({font == ank_font ? 1 : font == kanji_font ? 2 : 0, c, bVert});
}

Drawn ank(int code) { return {1, code, 0}; }
Drawn kanji(int code) { return {2, code, 0}; }
const Drawn no_glyph = {2, lt_default_char_code, 0};

class Decoder : public testing::Test {
protected:
    void SetUp() override
    {
        lcont_init(&lcont);
        lcont.font1 = ank_font;
        lcont.font2 = kanji_font;
        lt_putchar_sink = record_putchar;
        lt_set_newline_state(0);
        drawn.clear();
    }
    void TearDown() override { lt_putchar_sink = lt_putchar; }

    std::vector<Drawn> feed(const std::string &bytes, encoding_t enc)
    {
        lcont.encoding = enc;
        for (unsigned char b : bytes)
            lt_putc(&lcont, b);
        return drawn;
    }

    lcont_t lcont;
};

std::vector<Drawn> ascii(const std::string &text)
{
    std::vector<Drawn> v;
    for (unsigned char c : text)
        v.push_back(ank(c));
    return v;
}

TEST_F(Decoder, NewlineRules)
{
    struct Case {
        std::string in, shown;
    } cases[] = {
        {"a\nb", "ab"},         {"a\r\nb", "ab"},       {"a\n\nb", "a b"},
        {"a\r\n\r\nb", "a b"},  {"a\n\n\nb", "a  b"},   {"\na", "a"},
        {"a\rb\r\r", "ab"},     {"\r\n\r\n", " "},
    };
    for (encoding_t enc : {Enc_SJIS, Enc_EUC, Enc_UTF8}) {
        for (const Case &c : cases) {
            SetUp();
            EXPECT_EQ(feed(c.in, enc), ascii(c.shown)) << "input " << testing::PrintToString(c.in) << " encoding " << enc;
        }
    }
}

TEST_F(Decoder, NewlineFlagCarriesIntoTheNextText)
{
    feed("x\n", Enc_SJIS);
    lt_reset_char(&lcont);
    feed("\ny", Enc_SJIS);
    EXPECT_EQ(drawn, ascii("x y"));
    EXPECT_EQ(lt_newline_state(), 0);
    feed("\n", Enc_SJIS);
    EXPECT_EQ(lt_newline_state(), 1);
}

TEST(Sjis2Euc, WorkedPairs)
{
    struct Case {
        int s1, s2, e1, e2;
    } cases[] = {
        {0x82, 0xA0, 0xA4, 0xA2}, {0x83, 0x7E, 0xA5, 0xDF}, {0x81, 0x40, 0xA1, 0xA1},
        {0x81, 0x80, 0xA1, 0xE0}, {0x88, 0x9F, 0xB0, 0xA1}, {0xE0, 0x40, 0xDF, 0xA1},
        {0xEA, 0xA4, 0xF4, 0xA6}, {0xB1, 0x00, 0x8E, 0xB1}, {0xF0, 0x40, 0xFF, 0xA1},
    };
    for (const Case &c : cases) {
        int e1 = -1, e2 = -1;
        sjis2euc(c.s1, c.s2, &e1, &e2);
        EXPECT_EQ(e1, c.e1) << std::hex << c.s1 << " " << c.s2;
        EXPECT_EQ(e2, c.e2) << std::hex << c.s1 << " " << c.s2;
    }
}

TEST_F(Decoder, ShiftJisCharacters)
{
    struct Case {
        std::string in;
        std::vector<Drawn> out;
    } cases[] = {
        {"\x82\xA0", {kanji(0x2422)}},
        {"\x83\x7E", {kanji(0x255F)}},
        {"\x81\x40\x81\x80", {kanji(0x2121), kanji(0x2160)}},
        {"\x88\x9F\xE0\x40\xEA\xA4", {kanji(0x3021), kanji(0x5F21), kanji(0x7426)}},
        {"\xB1", {ank(0xB1)}},                                // half-width katakana
        {"\xA0\xFD\xFE\xFF", {ank(0xA0), ank(0xFD), ank(0xFE), ank(0xFF)}},
        {"\x80", {}},                                          // held as a lead byte
        {"\x88\x20", {kanji(0x2F01)}},                         // any second byte forms a pair
        {"\xF0\x40", {kanji(0x7F21)}},                         // outside JIS X 0208: low 7 bits
        {"\x82\r\xA0", {kanji(0x2422)}},                       // CR inside a pair is dropped
        {"\x82\n\xA0", {kanji(0x2422)}},                       // so is a first LF
        {"\t", {ank(0x09)}},
    };
    for (const Case &c : cases) {
        SetUp();
        EXPECT_EQ(feed(c.in, Enc_SJIS), c.out) << testing::PrintToString(c.in);
    }
}

TEST_F(Decoder, SecondLineFeedInsideAPairBecomesItsSecondByte)
{
    // The lead byte clears the flag, so the first LF is dropped and the
    // second becomes a blank that pairs with 82; A0 then stands alone.
    EXPECT_EQ(feed("\x82\n\n\xA0", Enc_SJIS), (std::vector<Drawn>{kanji(0x2301), ank(0xA0)}));
}

TEST_F(Decoder, EucJpCharacters)
{
    struct Case {
        std::string in;
        std::vector<Drawn> out;
    } cases[] = {
        {"\xA4\xA2", {kanji(0x2422)}},
        {"\x8E\xB1", {ank(0xB1)}},
        {"\x8E\x41", {ank(0x41)}},
        {"\x8F\xA1\x41", {kanji(0x0F21), ank(0x41)}}, // no single shift 3
        {"\xA4\x41", {kanji(0x2441)}},
        {"\xA4\r\xA2", {kanji(0x2422)}},
        {"\x7F\x01", {ank(0x7F), ank(0x01)}},
    };
    for (const Case &c : cases) {
        SetUp();
        EXPECT_EQ(feed(c.in, Enc_EUC), c.out) << testing::PrintToString(c.in);
    }
}

TEST_F(Decoder, VerticalFlagsFollowTheFont)
{
    lcont.b_vertical = 1;
    lcont.b_vertical_ank = 0;
    EXPECT_EQ(feed("a\xA4\xA2\x8E\xB1", Enc_EUC), (std::vector<Drawn>{{1, 'a', 0}, {2, 0x2422, 1}, {1, 0xB1, 0}}));
    SetUp();
    lcont.b_vertical = 1;
    lcont.b_vertical_ank = 1;
    EXPECT_EQ(feed("a\xA4\xA2", Enc_EUC), (std::vector<Drawn>{{1, 'a', 1}, {2, 0x2422, 1}}));
}

TEST_F(Decoder, PutsTakesSignedBytesAndDropsAPendingLeadByte)
{
    lcont.encoding = Enc_SJIS;
    lt_puts(&lcont, "\x82\xA0" "a");
    lt_puts(&lcont, "\x82");  // a word that ends in a lead byte loses it
    lt_puts(&lcont, "b");
    EXPECT_EQ(drawn, (std::vector<Drawn>{kanji(0x2422), ank('a'), ank('b')}));
}

// "a", half-width katakana a, hiragana ko, the kanji for "kan", two line
// ends, "Z": the same text in the three encodings.
const std::string mixed_sjis = "a\xB1\x82\xB1\x8A\xBF\r\n\r\nZ";
const std::string mixed_euc = "a\x8E\xB1\xA4\xB3\xB4\xC1\r\n\r\nZ";
const std::string mixed_utf8 = "a\xEF\xBD\xB1\xE3\x81\x93\xE6\xBC\xA2\r\n\r\nZ";

TEST_F(Decoder, SameTextInEveryEncodingDrawsTheSameCharacters)
{
    const std::vector<Drawn> expected = {ank('a'), ank(0xB1), kanji(0x2433), kanji(0x3441), ank(' '), ank('Z')};
    EXPECT_EQ(feed(mixed_sjis, Enc_SJIS), expected);
    SetUp();
    EXPECT_EQ(feed(mixed_euc, Enc_EUC), expected);
    SetUp();
    EXPECT_EQ(feed(mixed_utf8, Enc_UTF8), expected);
}

TEST_F(Decoder, Utf8CharactersWithoutAGlyphAndMalformedSequences)
{
    struct Case {
        const char *what;
        std::string in;
        std::vector<Drawn> out;
    } cases[] = {
        {"emoji", "\xF0\x9F\x98\x80" "a", {no_glyph, ank('a')}},
        {"JIS X 0212 only", "\xE4\xB8\x82", {no_glyph}},
        {"yen sign, JIS X 0201", "\xC2\xA5", {ank(0x5C)}},
        {"stray continuation bytes", "\x80\xBF" "a", {no_glyph, no_glyph, ank('a')}},
        {"truncated sequence", "\xE3\x81" "a", {no_glyph, ank('a')}},
        {"truncated before a lead byte", "\xE3\xE3\x81\x93", {no_glyph, kanji(0x2433)}},
        {"overlong", "\xE0\x80\xAF", {no_glyph}},
        {"surrogate", "\xED\xA0\x80", {no_glyph}},
        {"bytes that never start a sequence", "\xC0\xF8\xFF", {no_glyph, no_glyph, no_glyph}},
        {"CR inside a sequence", "\xE3\r\x81\x93", {kanji(0x2433)}},
        {"first LF inside a sequence", "\xE3\x81\n\x93", {kanji(0x2433)}},
    };
    for (const Case &c : cases) {
        SetUp();
        EXPECT_EQ(feed(c.in, Enc_UTF8), c.out) << c.what;
    }
}

TEST_F(Decoder, Utf8SequenceCutByASecondLineFeed)
{
    EXPECT_EQ(feed("\xE3\x81\n\n", Enc_UTF8), (std::vector<Drawn>{no_glyph, ank(' ')}));
}

TEST_F(Decoder, ResetDropsAPartialUtf8Sequence)
{
    feed("\xE3\x81", Enc_UTF8);
    lt_reset_char(&lcont);
    EXPECT_EQ(feed("a", Enc_UTF8), (std::vector<Drawn>{ank('a')}));
    SetUp();
    lcont.encoding = Enc_UTF8;
    lt_puts(&lcont, "\xE3\x81");
    lt_puts(&lcont, "\x93");
    EXPECT_EQ(drawn, (std::vector<Drawn>{no_glyph}));
}

} // namespace
