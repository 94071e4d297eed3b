// Fatal errors, memory routines, number scanning and the context defaults.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <climits>
#include <cstring>

#include "ledtick.h"
#include "nabort.h"

TEST(Nabort, WritesMessageAndOneLineEndThenExitsOne)
{
    EXPECT_EXIT(nabort("%s not found", "x"), testing::ExitedWithCode(1), "^x not found\n$");
}

TEST(Nabort, MessageEndingInLineEndIsFollowedByAnEmptyLine)
{
    EXPECT_EXIT(nabort("Memory allocation failed. size=%d byte\n", 100), testing::ExitedWithCode(1),
                "^Memory allocation failed. size=100 byte\n\n$");
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LEDTICK_ASAN 1
#endif
#endif
#if !defined(__SANITIZE_ADDRESS__) && !defined(LEDTICK_ASAN)
TEST(NtMalloc, FailureIsFatalWithTheSize)
{
    auto starve_and_allocate = [] {
        struct rlimit lim = {256u << 20, 256u << 20};
        setrlimit(RLIMIT_AS, &lim);
        ntMalloc(1 << 30);
    };
    EXPECT_EXIT(starve_and_allocate(), testing::ExitedWithCode(1),
                "^Memory allocation failed. size=1073741824 byte\n\n$");
}
#endif

TEST(NtStringNew, CopiesIncludingTheEmptyString)
{
    char *empty = ntStringNew("");
    EXPECT_STREQ(empty, "");
    ntFree(empty);
    const char *src = "jiskan16.pcf";
    char *copy = ntStringNew(src);
    EXPECT_STREQ(copy, src);
    EXPECT_NE(copy, src);
    ntFree(copy);
}

TEST(NtScanInt, ReadsLikeAPercentDScanAndRefusesOverflow)
{
    struct Case {
        const char *text;
        int ok;
        int value;
    } cases[] = {
        {"4", 1, 4},          {"  12", 1, 12},        {"-5", 1, -5},        {"+7", 1, 7},
        {"3x", 1, 3},         {"4#comment", 1, 4},    {"\t\n 9 z", 1, 9},   {"2147483647", 1, INT_MAX},
        {"-2147483648", 1, INT_MIN},                  {"x3", 0, 0},         {"", 0, 0},
        {"-", 0, 0},          {"+ 1", 0, 0},          {"2147483648", 0, 0}, {"-2147483649", 0, 0},
        {"99999999999999999999", 0, 0},
    };
    for (const auto &c : cases) {
        int v = 0;
        EXPECT_EQ(ntScanInt(c.text, &v), c.ok) << '"' << c.text << '"';
        if (c.ok) {
            EXPECT_EQ(v, c.value) << '"' << c.text << '"';
        }
    }
}

TEST(LcontInit, Defaults)
{
    lcont_t l;
    memset(&l, 0x55, sizeof l);
    lcont_init(&l);
    EXPECT_EQ(l.cmdline_message_mode, 0);
    EXPECT_EQ(l.args, nullptr);
    EXPECT_STREQ(l.scont.tty_name, "COM1");
    EXPECT_EQ(l.scont.tty_baud, 19200);
    EXPECT_EQ(l.scont.comHandle, -1);
    EXPECT_EQ(l.scont.f_v, 0);
    EXPECT_EQ(l.char0, 0);
    EXPECT_EQ(l.no_out, 0);
    EXPECT_EQ(l.nol, 0);
    EXPECT_EQ(l.buf_left, 16);
    EXPECT_EQ(l.font_dir, nullptr);
    EXPECT_STREQ(l.font1_name, "8x16rk.pcf");
    EXPECT_STREQ(l.font2_name, "jiskan16.pcf");
    EXPECT_EQ(l.encoding, Enc_SJIS);
    EXPECT_EQ(l.div, 4);
    EXPECT_EQ(l.cmodule, 1);
    EXPECT_EQ(l.bright, 10);
    for (int flag : {l.no_scroll, l.b_stdin, l.b_loop, l.b_rom_write, l.b_no_rcfile, l.b_vertical,
                     l.b_vertical_ank, l.b_led_reverse})
        EXPECT_EQ(flag, 0);
}
