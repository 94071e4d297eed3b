// Display output: decoding the input bytes into characters, and the display
// run that sends each character's column words to the board with flow
// control.
#include "ltio.h"

#include <iconv.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "nabort.h"
#include "sio.h"

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

// ---------------------------------------------------------------------------
// Character decoding

void (*lt_putchar_sink)(lcont_t *lcont, GuFont *font, int c, int bVert) = lt_putchar;

// Set by a line feed, cleared by any byte but CR and LF. It belongs to the
// process: a line end at the end of one text carries into the next.
static int nl = 0;

int lt_newline_state()
{
    return nl;
}

void lt_set_newline_state(int state)
{
    nl = state;
}

void lt_reset_char(lcont_t *lcont)
{
    lcont->char0 = 0;
    lcont->utf8_len = 0;
    lcont->utf8_need = 0;
}

void sjis2euc(int c1, int c2, int *pE1, int *pE2)
{
    int e1, e2;
    if (c1 >= 0xA1 && c1 <= 0xDF) {
        e1 = 0x8E;
        e2 = c1;
    } else if (c2 >= 0x9F) {
        e1 = c1 <= 0xDF ? 2 * c1 - 0x60 : 2 * c1 - 0xE0;
        e2 = c2 + 2;
    } else {
        e1 = c1 <= 0xDF ? 2 * c1 - 0x61 : 2 * c1 - 0xE1;
        e2 = c2 <= 0x7E ? c2 + 0x61 : c2 + 0x60;
    }
    *pE1 = e1;
    *pE2 = e2;
}

// The EUC-JP stage: `c` is a byte, char0 the pending lead byte or 0x8E.
static void lt_euc_stage(lcont_t *lcont, int c)
{
    if (lcont->char0 == 0x8E) {
        lt_putchar_sink(lcont, lcont->font1, c, lcont->b_vertical_ank);
        lcont->char0 = 0;
    } else if (lcont->char0 == 0) {
        if (c <= 0x7F)
            lt_putchar_sink(lcont, lcont->font1, c & 0x7F, lcont->b_vertical_ank);
        else
            lcont->char0 = c;
    } else {
        int code = (lcont->char0 & 0x7F) * 256 + (c & 0x7F);
        lt_putchar_sink(lcont, lcont->font2, code, lcont->b_vertical);
        lcont->char0 = 0;
    }
}

static void lt_draw_default_char(lcont_t *lcont)
{
    lt_putchar_sink(lcont, lcont->font2, lt_default_char_code, lcont->b_vertical);
}

// The length of a UTF-8 sequence from its first byte; 0 for a byte that
// cannot start one (a continuation byte, C0, C1, F5 to FF).
static int utf8_sequence_length(int c)
{
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        return 2;
    if (c >= 0xE0 && c <= 0xEF)
        return 3;
    if (c >= 0xF0 && c <= 0xF4)
        return 4;
    return 0;
}

// Converts one complete UTF-8 sequence to EUC-JP and draws it as the EUC-JP
// stage does; a character without a JIS X 0208 or JIS X 0201 form (iconv
// refuses it, or gives a three-byte JIS X 0212 code) and an overlong or
// surrogate sequence draw the Kanji font's default character.
static void lt_utf8_draw(lcont_t *lcont, const unsigned char *seq, int len)
{
    static iconv_t cd = reinterpret_cast<iconv_t>(-1);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        cd = iconv_open("EUC-JP", "UTF-8");
        if (cd == reinterpret_cast<iconv_t>(-1))
            nabort("cannot convert UTF-8 to EUC-JP: %s", strerror(errno));
    }
    char in[4];
    char out[8];
    memcpy(in, seq, len);
    char *inp = in;
    char *outp = out;
    size_t inleft = len;
    size_t outleft = sizeof out;
    size_t r = iconv(cd, &inp, &inleft, &outp, &outleft);
    iconv(cd, nullptr, nullptr, nullptr, nullptr); // back to the initial state
    int n = static_cast<int>(outp - out);
    if (r == static_cast<size_t>(-1) || inleft != 0 || n < 1 || n > 2) {
        lt_draw_default_char(lcont);
        return;
    }
    lcont->char0 = 0;
    for (int i = 0; i < n; i++)
        lt_euc_stage(lcont, static_cast<unsigned char>(out[i]));
    lcont->char0 = 0;
}

// The UTF-8 stage: collects the bytes of one sequence in the context record.
// A byte that breaks off a sequence draws one default character for the
// broken part and then starts afresh.
static void lt_utf8_stage(lcont_t *lcont, int c)
{
    if (lcont->utf8_len > 0) {
        if (c >= 0x80 && c <= 0xBF) {
            lcont->utf8_seq[lcont->utf8_len++] = static_cast<unsigned char>(c);
            if (lcont->utf8_len == lcont->utf8_need) {
                int len = lcont->utf8_len;
                lcont->utf8_len = 0;
                lt_utf8_draw(lcont, lcont->utf8_seq, len);
            }
            return;
        }
        lcont->utf8_len = 0;
        lt_draw_default_char(lcont);
    }
    if (c < 0x80) {
        lt_putchar_sink(lcont, lcont->font1, c, lcont->b_vertical_ank);
        return;
    }
    int need = utf8_sequence_length(c);
    if (need == 0) {
        lt_draw_default_char(lcont);
        return;
    }
    lcont->utf8_seq[0] = static_cast<unsigned char>(c);
    lcont->utf8_len = 1;
    lcont->utf8_need = need;
}

void lt_putc(lcont_t *lcont, int c)
{
    if (c == 0x0D)
        return;
    if (c == 0x0A) {
        if (nl == 0) {
            nl = 1;
            return;
        }
        c = 0x20;
    } else {
        nl = 0;
    }
    c &= 0xFF;

    if (lcont->encoding == Enc_UTF8) {
        lt_utf8_stage(lcont, c);
        return;
    }
    if (lcont->encoding == Enc_SJIS) {
        if (lcont->char0 > 0) {
            sjis2euc(lcont->char0, c, &lcont->char0, &c);
        } else if ((c >= 0x80 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
            lcont->char0 = c;
            return;
        } else if (c > 0x80) {
            lcont->char0 = 0x8E;
        }
    }
    lt_euc_stage(lcont, c);
}

void lt_puts(lcont_t *lcont, const char *str)
{
    lt_reset_char(lcont);
    for (const char *p = str; *p != '\0'; p++)
        lt_putc(lcont, static_cast<signed char>(*p));
}

// ---------------------------------------------------------------------------
// Display run

// The longest command text that the board takes (its 128-byte buffer with
// the terminating NUL).
static const int lt_cmd_max = 127;

// Reads the free space from the data line of a reply ("D %d"). Returns 1
// with the number, 0 when text that is no number follows the "D", and -1
// when the reply is empty or holds only blanks after the "D".
static int lt_scan_reply(const char *res, int *value)
{
    if (res[0] != 'D')
        return res[0] == '\0' ? -1 : 0;
    const char *p = res + 1;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        p++;
    if (*p == '\0')
        return -1;
    return ntScanInt(p, value) ? 1 : 0;
}

void lt_open(lcont_t *lcont)
{
    lcont->nol = 0;
    if (lcont->no_out)
        return;
    if (lcont->b_rom_write) {
        sio_cmd(&lcont->scont, "rom_format");
    } else if (lcont->no_scroll) {
        sio_cmd(&lcont->scont, "sc_clear");
    } else {
        sio_cmd(&lcont->scont, "sc_clear");
        sio_cmd(&lcont->scont, "sc_scroll");
    }
}

void lt_waitH8(lcont_t *lcont, int length)
{
    while (lcont->buf_left < length) {
        usleep(100 * 1000);
        int value;
        if (lt_scan_reply(sio_cmd(&lcont->scont, "sc_data"), &value) == 1)
            lcont->buf_left = value;
        if (f_v > 1)
            fprintf(stderr, "buf_left = %d\n", lcont->buf_left);
    }
}

// Sends words[0..n-1] in as many data commands as their text needs, each
// after the flow-control wait for its own words. A glyph without words still
// sends one command, whose reply gives the free space.
static void lt_send_words(lcont_t *lcont, const uint16_t *words, int n)
{
    const char *head = lcont->b_rom_write ? "rom_dwrite" : "sc_data";
    const int head_len = static_cast<int>(strlen(head));
    int i = 0;
    do {
        char cmd[lt_cmd_max + 1];
        memcpy(cmd, head, head_len + 1);
        int len = head_len;
        int first = i;
        while (i < n) {
            char word[8];
            int wlen = snprintf(word, sizeof word, " %x", static_cast<unsigned>(words[i]));
            if (len + wlen > lt_cmd_max)
                break;
            memcpy(cmd + len, word, wlen + 1);
            len += wlen;
            i++;
        }
        if (!lcont->no_scroll)
            lt_waitH8(lcont, i - first);
        int value;
        int scanned = lt_scan_reply(sio_cmd(&lcont->scont, "%s", cmd), &value);
        if (scanned == 1)
            lcont->buf_left = value;
        else if (scanned == 0)
            lcont->buf_left = 0;
    } while (i < n);
}

void lt_putchar(lcont_t *lcont, GuFont *font, int c, int bVert)
{
    GuGlyph glyph;
    guFontGlyph(font, static_cast<uint32>(c), &glyph);
    uint16_t words[32];
    int n = bVert ? lt_get_glyph_bitmap_vertical(&glyph, words, 32)
                  : lt_get_glyph_bitmap(&glyph, words, 32);
    if (!lcont->no_out)
        lt_send_words(lcont, words, n);
    lcont->nol += n;
}

void lt_close(lcont_t *lcont)
{
    if (lcont->no_out)
        return;
    if (lcont->b_rom_write) {
        sio_cmd(&lcont->scont, "rom_dclose");
        sio_cmd(&lcont->scont, "rom_cwrite no comment");
        sio_cmd(&lcont->scont, "rom_set speed %d", lcont->div);
        sio_cmd(&lcont->scont, "rom_set bright %d", lcont->bright);
        sio_cmd(&lcont->scont, "rom_set led_reverse %d", lcont->b_led_reverse);
    } else if (lcont->no_scroll) {
        sio_cmd(&lcont->scont, "sc_show");
    } else {
        sio_cmd(&lcont->scont, "sc_end");
    }
}

void lt_wait_scroll_end(lcont_t *lcont)
{
    for (int poll = 0; poll < 100; poll++) {
        const char *res = sio_cmd(&lcont->scont, "sc_mode");
        if (f_v > 1)
            fprintf(stderr, "sc_mode:%s", res);
        int mode;
        if (lt_scan_reply(res, &mode) == 1 && (mode == 0 || mode == 1))
            return;
        usleep(100 * 1000);
    }
}
