// The command line: option effects (in-process) and every way the program
// exits while parsing (as a subprocess, with HOME and cwd in a scratch folder).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ledtick.h"
#include "testutil.h"

using testutil::RunResult;
using testutil::ScratchDir;

namespace {

const char kUsage[] =
    "Usage1: ledtick [options] text_file ...\n"
    "Usage2: ledtick [options] -c message ...\n"
    "Usage3: ledtick [options] -s                # input from stdin\n"
    "Usage4: ledtick [options] -w text_file ...  # write into eeprom\n"
    "  options\n"
    "    -a ank_font       set ANK font file(pcf)\n"
    "    -b bright         set LED brightness (0-10)\n"
    "    -d speed          set scroll speed (1=fastest)\n"
    "    -e sjis|euc       input kanji code\n"
    "    -f rcfile         read rc file\n"
    "    -F fontdir        set font direcotry\n"
    "    -h                show this\n"
    "    -k kanji_font     set Kanji font file(pcf)\n"
    "    -l                loop message\n"
    "    -n                no scroll\n"
    "    -M number         set number of LED module\n"
    "    -q                quit mode\n"
    "    -Q                do not read rcfile \n"
    "    -R                set LED reverse\n"
    "    -t tty            set tty device\n"
    "    -T 0|1|2          vertical mode (0:none 1:kanji 2:kanji+ank)\n"
    "    -v                verbose mode\n"
    "    -V                show version and exit\n"
    "\n";

const char kVersionLine[] = "ledtick Ver. 0.01-00 2005/08/02(Tue)\n";

// Parses `args` in-process; the argument strings live as long as the parse,
// since some fields point into the argument vector.
struct Parsed {
    std::vector<std::string> words;
    std::vector<char *> argv;
    lcont_t l;

    explicit Parsed(std::vector<std::string> args) : words(std::move(args))
    {
        words.insert(words.begin(), "ledtick");
        for (auto &w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        optind = 0; // full re-initialisation of getopt for every parse
        f_v = 0;
        lcont_init(&l);
        process_command_line(&l, static_cast<int>(words.size()), argv.data());
    }
};

TEST(Options, EachOptionSetsItsField)
{
    EXPECT_STREQ(Parsed({"-a", "ank.pcf", "f"}).l.font1_name, "ank.pcf");
    EXPECT_STREQ(Parsed({"-k", "kan.pcf", "f"}).l.font2_name, "kan.pcf");
    EXPECT_STREQ(Parsed({"-t", "/dev/ttyUSB0", "f"}).l.scont.tty_name, "/dev/ttyUSB0");
    EXPECT_EQ(Parsed({"-b", "7", "f"}).l.bright, 7);
    EXPECT_EQ(Parsed({"-b3", "f"}).l.bright, 3);
    EXPECT_EQ(Parsed({"-d", " -2", "f"}).l.div, -2);
    EXPECT_EQ(Parsed({"-M", "3x", "f"}).l.cmodule, 3);
    EXPECT_EQ(Parsed({"-c", "f"}).l.cmdline_message_mode, 1);
    EXPECT_EQ(Parsed({"-l", "f"}).l.b_loop, 1);
    EXPECT_EQ(Parsed({"-n", "f"}).l.no_scroll, 1);
    EXPECT_EQ(Parsed({"-R", "f"}).l.b_led_reverse, 1);
    EXPECT_EQ(Parsed({"-s"}).l.b_stdin, 1);
    EXPECT_EQ(Parsed({"-w", "f"}).l.b_rom_write, 1);

    Parsed fontdir({"-F", "/usr/share/fonts", "f"});
    EXPECT_STREQ(fontdir.l.font_dir, "/usr/share/fonts");
    EXPECT_NE(fontdir.l.font_dir, fontdir.argv[2]) << "-F keeps a copy";
    Parsed font({"-a", "x", "f"});
    EXPECT_EQ(font.l.font1_name, font.argv[2]) << "-a points at the argument itself";
}

TEST(Options, EncodingIgnoresCase)
{
    struct {
        const char *arg;
        encoding_t enc;
    } cases[] = {{"sjis", Enc_SJIS}, {"SJIS", Enc_SJIS}, {"euc", Enc_EUC}, {"Euc", Enc_EUC},
                 {"utf8", Enc_UTF8}, {"UTF-8", Enc_UTF8}, {"Utf-8", Enc_UTF8}};
    for (const auto &c : cases)
        EXPECT_EQ(Parsed({"-e", c.arg, "f"}).l.encoding, c.enc) << c.arg;
}

TEST(Options, VerticalModes)
{
    struct {
        const char *arg;
        int kanji, ank;
    } cases[] = {{"0", 0, 0}, {"1", 1, 0}, {"2", 1, 1}};
    for (const auto &c : cases) {
        Parsed p({"-T", "2", "-T", c.arg, "f"});
        EXPECT_EQ(p.l.b_vertical, c.kanji) << c.arg;
        EXPECT_EQ(p.l.b_vertical_ank, c.ank) << c.arg;
    }
}

TEST(Options, LastRepeatedOptionWinsAndVerbosityCounts)
{
    EXPECT_EQ(Parsed({"-d", "2", "-d", "5", "f"}).l.div, 5);
    EXPECT_STREQ(Parsed({"-a", "x", "-a", "y", "f"}).l.font1_name, "y");

    struct {
        std::vector<std::string> args;
        int global, link;
    } cases[] = {
        {{"f"}, 0, 0},
        {{"-v", "f"}, 1, 1},
        {{"-v", "-v", "f"}, 2, 2},
        {{"-q", "f"}, -1, 0},
        {{"-v", "-q", "f"}, 0, 1},
        {{"-q", "-q", "-v", "f"}, -1, 1},
    };
    for (const auto &c : cases) {
        Parsed p(c.args);
        EXPECT_EQ(f_v, c.global);
        EXPECT_EQ(p.l.scont.f_v, c.link);
    }
    f_v = 0;
}

TEST(Options, OperandsStartAfterTheOptions)
{
    Parsed files({"-d", "1", "a.txt", "b.txt"});
    ASSERT_NE(files.l.args, nullptr);
    EXPECT_STREQ(files.l.args[0], "a.txt");
    EXPECT_STREQ(files.l.args[1], "b.txt");
    EXPECT_EQ(files.l.args[2], nullptr);

    Parsed none({"-s"});
    ASSERT_NE(none.l.args, nullptr);
    EXPECT_EQ(none.l.args[0], nullptr);
}

TEST(Options, RcFileAppliesAtItsPlaceAmongTheOptions)
{
    ScratchDir dir;
    dir.write("opts.rc", "speed = 3\n");
    auto old = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    int before = Parsed({"-d", "1", "-f", "opts.rc", "f"}).l.div;
    int after = Parsed({"-f", "opts.rc", "-d", "1", "f"}).l.div;
    std::filesystem::current_path(old);
    EXPECT_EQ(before, 3);
    EXPECT_EQ(after, 1);
}

// Runs the real program with HOME and the working directory in separate
// scratch folders.
class Cli : public testing::Test {
protected:
    ScratchDir dir;
    std::string home = dir.file("home");
    std::string work = dir.file("work");

    void SetUp() override
    {
        std::filesystem::create_directories(home);
        std::filesystem::create_directories(work);
    }

    RunResult run(const std::vector<std::string> &args)
    {
        testutil::RunOptions opt;
        opt.cwd = work;
        opt.home = home;
        opt.timeout_s = 20;
        return testutil::run_program(LEDTICK_BIN, args, opt);
    }
};

TEST_F(Cli, UsageExits)
{
    struct {
        std::vector<std::string> args;
        const char *diagnostic; // getopt's own words before the usage text
    } cases[] = {
        {{}, ""},
        {{"-h"}, ""},
        {{"-h", "file"}, ""},
        {{"-c"}, ""},
        {{"-w"}, ""},
        {{"-d", "1"}, ""},
        {{"-Q"}, ""},
        {{"-x", "file"}, "invalid option -- 'x'"},
        {{"file", "-d"}, "option requires an argument -- 'd'"},
    };
    for (const auto &c : cases) {
        RunResult r = run(c.args);
        std::string what = c.args.empty() ? "(none)" : c.args[0];
        EXPECT_EQ(r.status, 1) << what;
        EXPECT_EQ(r.out, "") << what;
        ASSERT_GE(r.err.size(), sizeof kUsage - 1) << what;
        EXPECT_EQ(r.err.substr(r.err.size() - (sizeof kUsage - 1)), kUsage) << what;
        std::string before = r.err.substr(0, r.err.size() - (sizeof kUsage - 1));
        if (*c.diagnostic == '\0') {
            EXPECT_EQ(before, "") << what;
        } else {
            EXPECT_NE(before.find(c.diagnostic), std::string::npos) << before;
        }
    }
}

TEST_F(Cli, VersionGoesToStandardOutputWithStatusZero)
{
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"-V"}, {"-v", "-V"}, {"-V", "file"}, {"-d", "3", "-V"}}) {
        RunResult r = run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, kVersionLine);
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(Cli, FatalOptionArguments)
{
    struct {
        std::vector<std::string> args;
        const char *err;
    } cases[] = {
        {{"-M", "x3", "-V"}, "Bad number \"x3\"\n"},
        {{"-b", "", "-V"}, "Bad number \"\"\n"},
        {{"-d", "99999999999", "-V"}, "Bad number \"99999999999\"\n"},
        {{"-b", "-2147483649", "-V"}, "Bad number \"-2147483649\"\n"},
        {{"-e", "shift_jis", "-V"}, "bad -e argment \"shift_jis\", shoud be sjis or euc\n\n"},
        {{"-e", "jis", "-V"}, "bad -e argment \"jis\", shoud be sjis or euc\n\n"},
        {{"-T", "02", "-V"}, "vertical mode 02 not defined. it should be 0|1|2\n"},
        {{"-T", " 1", "-V"}, "vertical mode  1 not defined. it should be 0|1|2\n"},
        {{"-T", "3", "-V"}, "vertical mode 3 not defined. it should be 0|1|2\n"},
        {{"-f", "missing.rc", "-V"}, "missing.rc not found\n"},
        {{"-v", "-f", "missing.rc", "-V"}, "./missing.rc not exist\nmissing.rc not found\n"},
        {{"-q", "-f", "/nonexistent/x.rc", "-V"}, "/nonexistent/x.rc not exist\n/nonexistent/x.rc not found\n"},
    };
    for (const auto &c : cases) {
        RunResult r = run(c.args);
        EXPECT_EQ(r.status, 1) << c.args[1];
        EXPECT_EQ(r.err, c.err) << c.args[1];
        EXPECT_EQ(r.out, "") << c.args[1];
    }
}

TEST_F(Cli, RcFileTraceAfterVerboseOrLoneQuiet)
{
    std::string abs = dir.write("work/abs.rc", "speed = 2\n");
    dir.write("work/rel.rc", "# nothing\n");
    EXPECT_EQ(run({"-v", "-f", "rel.rc", "-V"}).err, "read ./rel.rc\n");
    EXPECT_EQ(run({"-q", "-f", abs, "-V"}).err, "read " + abs + "\n");
    EXPECT_EQ(run({"-f", "rel.rc", "-V"}).err, "") << "level 0 prints no trace";
    EXPECT_EQ(run({"-v", "-q", "-f", "rel.rc", "-V"}).err, "");
}

TEST_F(Cli, QuietFirstArgumentOnlySkipsRunControlFiles)
{
    dir.write("work/.ledtickrc", "bogus = 1\n");
    std::string path = std::filesystem::canonical(work).string() + "/.ledtickrc";
    std::string fatal = path + ":1 Unknown parameter \"bogus\" found.\n\n";

    RunResult first = run({"-Q", "-V"});
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.out, kVersionLine);

    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"-V"}, {"-s", "-Q", "-V"}, {"-sQ", "-V"}}) {
        RunResult r = run(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_EQ(r.err, fatal) << args[0];
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(Cli, VersionLineBeforeAnythingElseWhenVerbose)
{
    for (const char *flag : {"-v", "-q"}) {
        RunResult r = run({flag, "-t", "/nonexistent/tty", "file"});
        EXPECT_EQ(r.out.substr(0, sizeof kVersionLine - 1), kVersionLine) << flag;
    }
    EXPECT_EQ(run({"-v", "-q", "-t", "/nonexistent/tty", "file"}).out, "");
}

TEST_F(Cli, DefaultRunControlFilesHomeThenCurrentDirectory)
{
    // Both files set speed; a bad value in the current directory's file is
    // reported with its path, after the home file was read without complaint.
    dir.write("home/.ledtickrc", "speed = 2\n");
    dir.write("work/.ledtickrc", "\n# comment\nspeed = fast\n");
    std::string path = std::filesystem::canonical(work).string() + "/.ledtickrc";
    RunResult r = run({"-V"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, path + ":3 Bad speed value:\"fast\" found, it shoud be integer\n");

    dir.write("work/.ledtickrc", "speed = 2\n");
    dir.write("home/.ledtickrc", "loop = 2\n");
    r = run({"-V"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, home + "/.ledtickrc:1 Bad loop value:\"2\" found, it shoud be 0|1|on|off|true|false\n");
}

} // namespace
