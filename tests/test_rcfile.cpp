// Run-control files: the scanner and the keys in-process, the fatal
// messages through the real program.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "ledtick.h"
#include "testutil.h"

using testutil::ScratchDir;

namespace {

// Reads one file in-process from a scratch folder and keeps the result.
class RcFile : public testing::Test {
protected:
    ScratchDir dir;
    lcont_t l;

    void SetUp() override
    {
        f_v = 0;
        memset(&l, 0, sizeof l); // so that whole records compare, padding included
        lcont_init(&l);
    }
    void TearDown() override { f_v = 0; }

    int read(const std::string &content)
    {
        dir.write("t.rc", content);
        return read_rcfile(&l, dir.path().c_str(), "t.rc");
    }
};

TEST_F(RcFile, KeysSetTheirFields)
{
    ASSERT_EQ(read("font_dir = /usr/share/fonts/X11/misc\n"
                   "fonta = 8x16rk.pcf.gz\n"
                   "fontk = jiskan16.pcf.gz\n"
                   "encoding = euc\n"
                   "speed = 2\n"
                   "no_scroll = on\n"
                   "loop = true\n"
                   "vertical = yes\n"
                   "vertical_ank = 1\n"
                   "led_reverse = ON\n"
                   "cmodule = 4\n"
                   "bright = 6\n"
                   "tty = /dev/ttyUSB0\n"),
              1);
    EXPECT_STREQ(l.font_dir, "/usr/share/fonts/X11/misc");
    EXPECT_STREQ(l.font1_name, "8x16rk.pcf.gz");
    EXPECT_STREQ(l.font2_name, "jiskan16.pcf.gz");
    EXPECT_EQ(l.encoding, Enc_EUC);
    EXPECT_EQ(l.div, 2);
    EXPECT_EQ(l.no_scroll, 1);
    EXPECT_EQ(l.b_loop, 1);
    EXPECT_EQ(l.b_vertical, 1);
    EXPECT_EQ(l.b_vertical_ank, 1);
    EXPECT_EQ(l.b_led_reverse, 1);
    EXPECT_EQ(l.cmodule, 4);
    EXPECT_EQ(l.bright, 6);
    EXPECT_STREQ(l.scont.tty_name, "/dev/ttyUSB0");
}

TEST_F(RcFile, ValuesAndTheirSurroundings)
{
    read("speed   =   4   # four\n");
    EXPECT_EQ(l.div, 4);
    read("speed=5#five\n");
    EXPECT_EQ(l.div, 5) << "the number scan stops at the '#'";
    read("tty = /dev/x#y\n");
    EXPECT_STREQ(l.scont.tty_name, "/dev/x#y") << "a string value runs to the next blank";
    read("fonta =\n");
    EXPECT_STREQ(l.font1_name, "");
    read("font_dir = /caf\xc3\xa9/fonts\r\n");
    EXPECT_STREQ(l.font_dir, "/caf\xc3\xa9/fonts") << "bytes above 0x7f belong to the value";
    read("bright = 1\r\nbright = 9\r\n");
    EXPECT_EQ(l.bright, 9) << "the later line wins; CR is whitespace";
    read("cmodule = -3 modules\n");
    EXPECT_EQ(l.cmodule, -3);
}

TEST_F(RcFile, BooleanAndEncodingSpellings)
{
    struct {
        const char *value;
        int flag;
    } booleans[] = {{"1", 1}, {"YES", 1}, {"On", 1}, {"tRUE", 1}, {"0", 0}, {"No", 0}, {"OFF", 0}, {"false", 0}};
    for (const auto &b : booleans) {
        l.b_loop = !b.flag;
        read(std::string("loop = ") + b.value + "\n");
        EXPECT_EQ(l.b_loop, b.flag) << b.value;
    }
    struct {
        const char *value;
        encoding_t enc;
    } encodings[] = {{"EUC", Enc_EUC}, {"Shift_JIS", Enc_SJIS}, {"sjis", Enc_SJIS}, {"UTF8", Enc_UTF8},
                     {"utf-8", Enc_UTF8}};
    for (const auto &e : encodings) {
        read(std::string("encoding = ") + e.value + "\n");
        EXPECT_EQ(l.encoding, e.enc) << e.value;
    }
}

TEST_F(RcFile, BlankAndCommentLinesChangeNothing)
{
    lcont_t fresh;
    memset(&fresh, 0, sizeof fresh);
    lcont_init(&fresh);
    EXPECT_EQ(read(""), 1);
    EXPECT_EQ(read("\n   \n\t# comment\r\n#speed = 1\n\f\v\n"), 1);
    EXPECT_EQ(memcmp(&l, &fresh, sizeof l), 0);
}

TEST_F(RcFile, MissingFileIsNoErrorAndTracedOnlyWhenVerbose)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_rcfile(&l, dir.path().c_str(), "none.rc"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    dir.write("here.rc", "");
    for (int level : {1, -1}) {
        f_v = level;
        testing::internal::CaptureStderr();
        read_rcfile(&l, dir.path().c_str(), "none.rc");
        read_rcfile(&l, (dir.path() + "/").c_str(), "here.rc");
        read_rcfile(&l, "ignored", (dir.path() + "/here.rc").c_str());
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  dir.path() + "/none.rc not exist\n" + "read " + dir.path() + "//here.rc\n" + "read " +
                      dir.path() + "/here.rc\n");
    }
}

// read_rcfiles: HOME first, then the current directory.
TEST_F(RcFile, DefaultFilesFromHomeAndCurrentDirectory)
{
    std::string home = dir.file("home");
    std::string work = dir.file("work");
    std::filesystem::create_directories(home);
    std::filesystem::create_directories(work);
    dir.write("home/.ledtickrc", "speed = 2\nbright = 3\n");
    dir.write("work/.ledtickrc", "speed = 7\n");

    const char *saved = getenv("HOME");
    std::string saved_home = saved ? saved : "";
    auto old = std::filesystem::current_path();
    std::filesystem::current_path(work);
    std::string cwd = std::filesystem::current_path().string();

    setenv("HOME", home.c_str(), 1);
    read_rcfiles(&l);
    EXPECT_EQ(l.div, 7) << "the current directory's file comes second";
    EXPECT_EQ(l.bright, 3);

    f_v = 1;
    struct {
        const char *home; // null: unset
        std::string trace;
    } cases[] = {
        {home.c_str(), "read " + home + "/.ledtickrc\nread " + cwd + "/.ledtickrc\n"},
        {cwd.c_str(), "read " + cwd + "/.ledtickrc\nread " + cwd + "/.ledtickrc\n"},
        {nullptr, "read " + cwd + "/.ledtickrc\n"},
    };
    for (const auto &c : cases) {
        if (c.home)
            setenv("HOME", c.home, 1);
        else
            unsetenv("HOME");
        testing::internal::CaptureStderr();
        read_rcfiles(&l);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.trace);
    }
    if (access("/.ledtickrc", F_OK) != 0) {
        setenv("HOME", "", 1);
        testing::internal::CaptureStderr();
        read_rcfiles(&l);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "/.ledtickrc not exist\nread " + cwd + "/.ledtickrc\n");
    }

    std::filesystem::current_path(old);
    if (saved)
        setenv("HOME", saved_home.c_str(), 1);
    else
        unsetenv("HOME");
}

// Every fatal message of a run-control file, through the real program
// reading ./.ledtickrc at start-up; each message is checked whole.
TEST(RcFileFatal, MessagesWithPathAndLineNumber)
{
    const std::string long_comment = "#" + std::string(299, 'a') + "\n";
    struct {
        std::string content;
        std::string message; // with P for the path
    } cases[] = {
        {"speed 4\n", "Syntax error at P:1 4\n\n\n"},
        {"speed\n", "Syntax error at P:1 \n\n"},
        {"speed 4", "Syntax error at P:1 4\n\n"},
        {"# c\n\n  speed : 4\r\n", "Syntax error at P:3 : 4\r\n\n\n"},
        {"Speed = 4\n", "P:1 Unknown parameter \"Speed\" found.\n\n"},
        {" = 4\n", "P:1 Unknown parameter \"\" found.\n\n"},
        {"speed =\n", "P:1 Bad speed value:\"\" found, it shoud be integer\n"},
        {"bright = x3\n", "P:1 Bad bright value:\"x3\" found, it shoud be integer\n"},
        {"cmodule = 4294967297\n", "P:1 Bad cmodule value:\"4294967297\" found, it shoud be integer\n"},
        {"loop = 01\n", "P:1 Bad loop value:\"01\" found, it shoud be 0|1|on|off|true|false\n"},
        {"vertical = 2\n", "P:1 Bad vertical value:\"2\" found, it shoud be 0|1|on|off|true|false\n"},
        {"encoding = jis\n", "P:1 Unknown encoding value:\"jis\" found. it should be euc|sjis\n"},
        {"\r\n# c\r\nspeed = 1\r\nno_scroll = maybe\r\n",
         "P:4 Bad no_scroll value:\"maybe\" found, it shoud be 0|1|on|off|true|false\n"},
        // A 300-character line is read as 255 + 45 characters; the second
        // piece is a line of its own and shifts every later line number.
        {long_comment, "Syntax error at P:2 \n\n"},
        {"fonta = x" + std::string(246, ' ') + "speed = y\nbogus\n",
         "P:2 Bad speed value:\"y\" found, it shoud be integer\n"},
        // Exactly 255 characters: the line end alone is the next piece.
        {"# one\n" + long_comment.substr(0, 255) + "\nbogus = 1\n", "P:4 Unknown parameter \"bogus\" found.\n\n"},
    };
    for (const auto &c : cases) {
        ScratchDir dir;
        dir.write(".ledtickrc", c.content);
        std::string path = std::filesystem::canonical(dir.path()).string() + "/.ledtickrc";
        std::string expected = c.message;
        expected.replace(expected.find('P'), 1, path);

        testutil::RunOptions opt;
        opt.cwd = dir.path();
        opt.unset_home = true;
        testutil::RunResult r = testutil::run_program(LEDTICK_BIN, {"-V"}, opt);
        EXPECT_EQ(r.status, 1) << c.content.substr(0, 20);
        EXPECT_EQ(r.err, expected) << c.content.substr(0, 20);
        EXPECT_EQ(r.out, "");
    }
}

} // namespace
