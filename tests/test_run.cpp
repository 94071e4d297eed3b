// The whole program against ledsim (and, where a board must misbehave in a
// way ledsim does not, against a scripted board): set-up, the four run
// modes, the column words of real fonts, flow control, no-scroll stop
// rules, EEPROM writes and the loop.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <map>
#include <regex>
#include <sstream>

#include "font_oracle.h"
#include "guFont.h"
#include "ledsim_harness.h"
#include "ltio.h"
#include "scripted_board.h"
#include "testutil.h"

namespace {

using testutil::LedSim;
using testutil::RunOptions;
using testutil::RunResult;
using testutil::ScratchDir;

const std::string misc_fonts = "/usr/share/fonts/X11/misc";

// In a sanitizer build the leak checker of every ledtick run would add its
// list of suppressions (the blocks kept until exit) to standard error.
const bool quiet_leak_checker = [] {
    const char *old = getenv("LSAN_OPTIONS");
    std::string opts = old != nullptr ? std::string(old) + ":" : std::string();
    setenv("LSAN_OPTIONS", (opts + "print_suppressions=0").c_str(), 1);
    return true;
}();
// The set-up commands, up to their numbers.
const std::vector<std::string> setup_cmds = {"echo 0", "set scmode_div ", "lm_bright ", "set cmodule ",
                                             "set led_reverse "};

std::vector<std::string> split_words(const std::string &line)
{
    std::istringstream in(line);
    std::vector<std::string> v;
    std::string w;
    while (in >> w)
        v.push_back(w);
    return v;
}

// The commands that the board received, in order, from ledsim's log.
std::vector<std::string> logged_commands(const std::string &log)
{
    std::vector<std::string> cmds;
    static const std::regex cmd_line("^ *[0-9]+ < (.*)$");
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        std::smatch m;
        if (std::regex_match(line, m, cmd_line))
            cmds.push_back(m[1]);
    }
    return cmds;
}

std::vector<std::string> without_setup(std::vector<std::string> cmds)
{
    bool ok = cmds.size() >= setup_cmds.size();
    for (size_t i = 0; ok && i < setup_cmds.size(); i++)
        ok = cmds[i].rfind(setup_cmds[i], 0) == 0;
    if (!ok) {
        ADD_FAILURE() << "the set-up commands are missing";
        return cmds;
    }
    cmds.erase(cmds.begin(), cmds.begin() + setup_cmds.size());
    return cmds;
}

// One line of ledsim's column file per run.
std::vector<std::string> column_runs(const std::string &columns)
{
    std::vector<std::string> runs;
    std::istringstream in(columns);
    std::string line;
    while (std::getline(in, line))
        runs.push_back(line);
    return runs;
}

// The words of one character as the fonts give them, the expected payload.
struct Oracle {
    GuFont *ank = guFontNew(misc_fonts.c_str(), "8x16rk.pcf.gz");
    GuFont *kanji = guFontNew(misc_fonts.c_str(), "jiskan16.pcf.gz");

    std::vector<std::string> words(GuFont *font, int code, bool vertical) const
    {
        GuGlyph glyph;
        guFontGlyph(font, code, &glyph);
        uint16_t w[32];
        int n = vertical ? lt_get_glyph_bitmap_vertical(&glyph, w, 32) : lt_get_glyph_bitmap(&glyph, w, 32);
        std::vector<std::string> v;
        for (int i = 0; i < n; i++) {
            std::ostringstream s;
            s << std::hex << w[i];
            v.push_back(s.str());
        }
        return v;
    }
    std::vector<std::string> text(const std::string &ascii, bool vertical = false) const
    {
        std::vector<std::string> v;
        for (unsigned char c : ascii) {
            auto w = words(ank, c, vertical);
            v.insert(v.end(), w.begin(), w.end());
        }
        return v;
    }
};

const Oracle &oracle()
{
    static Oracle o;
    return o;
}

// The column words of one character from FreeType's reading of the font
// file: the dots of column x (from the left edge of the ink) top to bottom,
// the top row in bit h - 1; in vertical mode the dots of row y, dot x in
// bit x, up to 16 dots.
std::vector<std::string> freetype_words(const fonttest::FreeTypeFont &font, unsigned code, bool vertical)
{
    fonttest::Dots d = font.dots(code);
    auto lit = [&](int x, int y) {
        return y < (int)d.rows.size() && x < (int)d.rows[y].size() && d.rows[y][x] == '#';
    };
    int rows = d.ascent + d.descent;
    std::vector<std::string> v;
    auto hex = [](unsigned w) {
        std::ostringstream s;
        s << std::hex << w;
        return s.str();
    };
    if (!vertical) {
        int h = std::min(rows, 16);
        for (int x = 0; x < std::min(d.width, 32); x++) {
            unsigned w = 0;
            for (int y = 0; y < h; y++)
                w = w << 1 | (lit(x, y) ? 1 : 0);
            v.push_back(hex(w));
        }
    } else {
        int dots = std::min(d.width, 16) > 8 ? 16 : 8;
        for (int y = 0; y < std::min(rows, 32); y++) {
            unsigned w = 0;
            for (int x = 0; x < dots; x++)
                w |= (lit(x, y) ? 1u : 0u) << x;
            v.push_back(hex(w));
        }
    }
    return v;
}

std::vector<std::string> cat(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> v;
    for (const auto &p : parts)
        v.insert(v.end(), p.begin(), p.end());
    return v;
}

struct Outcome {
    RunResult run;
    std::vector<std::string> cmds; // without the set-up commands
    std::vector<std::string> runs; // column words, one run a line
    testutil::LedSimSummary summary;
    std::string eeprom;
};

// ledtick with Debian's fonts and the fastest scroll, against ledsim.
class Program : public testing::Test {
protected:
    Outcome run(const std::vector<std::string> &args, std::vector<std::string> sim_opts = {},
                const std::string &stdin_data = "", bool check_setup = true)
    {
        sim_opts.insert(sim_opts.end(), {"--column-ms", "1"});
        bool has_eeprom = true;
        for (size_t i = 0; i + 1 < sim_opts.size(); i++)
            if (sim_opts[i] == "--eeprom-kbit" && sim_opts[i + 1] == "0")
                has_eeprom = false;
        if (has_eeprom)
            sim_opts.insert(sim_opts.end(), {"--eeprom", dir.file("eeprom.txt")});
        LedSim sim(sim_opts);
        // The fonts by their whole paths, so that a test can name another.
        std::vector<std::string> full = {"-Q", "-t", sim.link(), "-a", misc_fonts + "/8x16rk.pcf.gz",
                                         "-k", misc_fonts + "/jiskan16.pcf.gz", "-d", "1"};
        full.insert(full.end(), args.begin(), args.end());
        RunOptions opt;
        opt.cwd = dir.path();
        opt.stdin_data = stdin_data;
        Outcome o;
        o.run = testutil::run_program(LEDTICK_BIN, full, opt);
        EXPECT_EQ(sim.stop(), 0);
        o.cmds = logged_commands(sim.log());
        if (check_setup)
            o.cmds = without_setup(o.cmds);
        o.runs = column_runs(sim.columns());
        o.summary = sim.summary();
        o.eeprom = testutil::read_file(dir.file("eeprom.txt"));
        return o;
    }
    std::string file(const std::string &name, const std::string &content) { return dir.write(name, content); }
    std::string wide_font()
    {
        RunOptions opt;
        opt.cwd = dir.path();
        auto r = testutil::run_program("/usr/bin/bdftopcf",
                                       {"-o", dir.file("wide32.pcf"), std::string(TESTS_DIR) + "/fonts/wide32.bdf"}, opt);
        EXPECT_EQ(r.status, 0) << r.err;
        return dir.file("wide32.pcf");
    }

    ScratchDir dir;
};

std::vector<std::string> names(const std::vector<std::string> &cmds)
{
    std::vector<std::string> v;
    for (const auto &c : cmds)
        v.push_back(c.substr(0, c.find(' ')));
    return v;
}

// Drops the end-of-scroll polls, whose number depends on the scroll's pace.
std::vector<std::string> without_mode_polls(std::vector<std::string> v)
{
    v.erase(std::remove(v.begin(), v.end(), "sc_mode"), v.end());
    return v;
}

TEST_F(Program, MessageWordsJoinedByOneBlank)
{
    Outcome o = run({"-c", "ab", "c d", "", "e"});
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    EXPECT_EQ(o.run.out, "");
    EXPECT_EQ(o.run.err, "");
    auto n = names(o.cmds);
    EXPECT_EQ(without_mode_polls(n), (std::vector<std::string>{"sc_clear", "sc_scroll", "sc_data", "sc_data", "sc_data",
                                                             "sc_data", "sc_data", "sc_data", "sc_data", "sc_data",
                                                             "sc_data", "sc_end"}));
    EXPECT_EQ(n.back(), "sc_mode");
    ASSERT_EQ(o.runs.size(), 1u);
    EXPECT_EQ(split_words(o.runs[0]), oracle().text("ab c d  e"));
    EXPECT_EQ(o.summary.dropped, 0);
}

TEST_F(Program, SetupBytesOnTheLine)
{
    testutil::ScriptedBoard board([](const std::string &cmd) { return cmd == "sc_mode" ? "D 0\r\n" : ""; });
    RunOptions opt;
    opt.cwd = dir.path();
    auto r = testutil::run_program(LEDTICK_BIN, {"-Q", "-t", board.port(), "-M", "3", "-R", "-b", "7", "-d", "2",
                                                 "-c", ""}, opt);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(board.raw(), "echo 0\rset scmode_div 2\rlm_bright 7\rset cmodule 3\n\rset led_reverse 1\n\r"
                           "sc_clear\rsc_scroll\rsc_end\rsc_mode\r");
}

TEST_F(Program, StandardInputIgnoresOperands)
{
    Outcome o = run({"-s", "no-such-file.txt"}, {}, "hi\r\n");
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    EXPECT_EQ(o.run.err, "");
    ASSERT_EQ(o.runs.size(), 1u);
    EXPECT_EQ(split_words(o.runs[0]), oracle().text("hi"));
}

TEST_F(Program, TextFilesWithOneMissing)
{
    // The first file ends in a Shift JIS lead byte, which the next file
    // does not complete.
    std::string a = file("a.txt", "ab\x82");
    std::string c = file("c.txt", "c\n");
    Outcome o = run({a, "missing.txt", c});
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    EXPECT_EQ(o.run.err, "file \"missing.txt\" not found.\n");
    ASSERT_EQ(o.runs.size(), 1u);
    EXPECT_EQ(split_words(o.runs[0]), oracle().text("abc"));
}

TEST_F(Program, ModeCombinations)
{
    std::string t = file("t.txt", "x");
    struct Case {
        const char *what;
        std::vector<std::string> args;
        std::string in;
        std::vector<std::string> cmds; // names, without end-of-scroll polls
        std::string err;
    } cases[] = {
        {"-c -s without words: an empty run", {"-c", "-s"}, "", {"sc_clear", "sc_scroll", "sc_end"}, ""},
        {"-c wins over -s", {"-c", "-s", "m"}, "s", {"sc_clear", "sc_scroll", "sc_data", "sc_end"}, ""},
        {"-w -c: one EEPROM run without the check",
         {"-w", "-c", "m"},
         "",
         {"rom_format", "rom_dwrite", "rom_dclose", "rom_cwrite", "rom_set", "rom_set", "rom_set"},
         ""},
        {"-w -s", {"-w", "-s"}, "s",
         {"rom_format", "rom_dwrite", "rom_dclose", "rom_cwrite", "rom_set", "rom_set", "rom_set"}, ""},
        {"-l -w: one write",
         {"-l", "-w", t},
         "",
         {"sc_clear", "rom_check", "rom_format", "rom_dwrite", "rom_dclose", "rom_cwrite", "rom_set", "rom_set",
          "rom_set"},
         "256 Kbit eeprom found.\n"},
        {"no file opens", {"m1.txt", "m2.txt"}, "", {"sc_clear", "sc_scroll", "sc_end"},
         "file \"m1.txt\" not found.\nfile \"m2.txt\" not found.\n"},
    };
    for (const Case &c : cases) {
        Outcome o = run(c.args, {}, c.in);
        EXPECT_EQ(o.run.status, 0) << c.what << ": " << o.run.err;
        EXPECT_EQ(without_mode_polls(names(o.cmds)), c.cmds) << c.what;
        EXPECT_EQ(o.run.err, c.err) << c.what;
    }
}

TEST_F(Program, FontFilesAreOpenedOnlyForTheFirstCharacter)
{
    // No character to draw: the missing fonts are never looked at.
    Outcome empty = run({"-a", "none.pcf", "-k", "none.pcf", "-c", ""});
    EXPECT_EQ(empty.run.status, 0) << empty.run.err;
    // A character: the missing font is reported after the set-up commands.
    Outcome o = run({"-a", "none.pcf", "-c", "A"});
    EXPECT_EQ(o.run.status, 1);
    EXPECT_NE(o.run.err.find("none.pcf"), std::string::npos) << o.run.err;
    EXPECT_EQ(o.cmds, (std::vector<std::string>{"sc_clear", "sc_scroll"}));
}

TEST_F(Program, ColumnsOfMixedTextEqualTheFontGlyphs)
{
    // "A", half-width katakana a, the kanji "kan", hiragana ko.
    const std::map<encoding_t, std::pair<const char *, std::string>> texts = {
        {Enc_SJIS, {"sjis", "A\xB1\x8A\xBF\x82\xB1"}},
        {Enc_EUC, {"euc", "A\x8E\xB1\xB4\xC1\xA4\xB3"}},
        {Enc_UTF8, {"utf8", "A\xEF\xBD\xB1\xE6\xBC\xA2\xE3\x81\x93"}},
    };
    // FreeType reads the same font files, independently of our loader.
    fonttest::FreeTypeFont ank(misc_fonts + "/8x16rk.pcf.gz");
    fonttest::FreeTypeFont kanji(misc_fonts + "/jiskan16.pcf.gz");
    for (int vertical : {0, 1, 2}) {
        bool vk = vertical >= 1, va = vertical == 2;
        auto expected = cat({freetype_words(ank, 'A', va), freetype_words(ank, 0xB1, va),
                             freetype_words(kanji, 0x3441, vk), freetype_words(kanji, 0x2433, vk)});
        for (const auto &t : texts) {
            Outcome o = run({"-e", t.second.first, "-T", std::to_string(vertical), "-c", t.second.second});
            ASSERT_EQ(o.run.status, 0) << o.run.err;
            ASSERT_EQ(o.runs.size(), 1u);
            EXPECT_EQ(split_words(o.runs[0]), expected) << t.second.first << " -T " << vertical;
        }
    }
}

TEST_F(Program, Utf8CharacterWithoutAGlyphDrawsTheDefaultCharacter)
{
    const Oracle &f = oracle();
    Outcome o = run({"-e", "utf8", "-c", "A\xF0\x9F\x98\x80\xE3\x81" "B"});
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    auto gap = f.words(f.kanji, lt_default_char_code, false);
    ASSERT_EQ(o.runs.size(), 1u);
    EXPECT_EQ(split_words(o.runs[0]), cat({f.text("A"), gap, gap, f.text("B")}));
}

TEST_F(Program, FlowControlWithASmallBoardBufferLosesNothing)
{
    std::string text = "flow control!";
    Outcome o = run({"-c", text}, {"--buffer", "20"});
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    EXPECT_EQ(o.summary.dropped, 0);
    ASSERT_EQ(o.runs.size(), 1u);
    EXPECT_EQ(split_words(o.runs[0]), oracle().text(text));
    EXPECT_GT(std::count(o.cmds.begin(), o.cmds.end(), "sc_data"), 0) << "no flow-control poll";
}

TEST_F(Program, WideGlyphIsSplitOverSeveralDataCommands)
{
    std::string font = wide_font();
    Outcome o = run({"-a", font, "-c", "AiA"});
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    std::vector<std::string> block(32, "ffff");
    ASSERT_EQ(o.runs.size(), 1u);
    EXPECT_EQ(split_words(o.runs[0]), cat({block, {"ffff"}, block}));
    for (const auto &c : o.cmds)
        EXPECT_LE(c.size(), 127u) << c;
    EXPECT_EQ(o.summary.dropped, 0);
}

TEST_F(Program, NoScrollStopRuleForTextFiles)
{
    // Two modules, 64 columns. The first file stops once 15 columns or fewer
    // are left (after X: 8), the second then gives its first byte only.
    std::string f1 = file("f1.txt", "ABCDEFXYZ");
    std::string f2 = file("f2.txt", "GH");
    Outcome o = run({"-n", "-M", "2", f1, f2});
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    EXPECT_EQ(without_mode_polls(names(o.cmds)).back(), "sc_show");
    ASSERT_EQ(o.runs.size(), 1u);
    EXPECT_EQ(split_words(o.runs[0]), oracle().text("ABCDEFXG"));
    EXPECT_EQ(o.summary.dropped, 0);
}

TEST_F(Program, NoScrollStopRuleForStandardInput)
{
    // One module, 32 columns: reading stops after the byte that fills it.
    Outcome o = run({"-n", "-s"}, {}, "ABCDEFGH");
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    ASSERT_EQ(o.runs.size(), 1u);
    EXPECT_EQ(split_words(o.runs[0]), oracle().text("ABCD"));
    EXPECT_EQ(o.summary.dropped, 0);
}

// The words of ledsim's EEPROM file.
std::vector<std::string> eeprom_words(const std::string &content)
{
    size_t at = content.find("\nwords ");
    if (at == std::string::npos)
        return {"(no words line)"};
    size_t line_end = content.find('\n', at + 1);
    return split_words(content.substr(line_end + 1));
}

TEST_F(Program, EepromWrite)
{
    std::string t = file("t.txt", "AB");
    Outcome o = run({"-w", "-R", "-b", "6", t, "missing.txt"});
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    EXPECT_EQ(o.run.err, "256 Kbit eeprom found.\n"
                         "file \"missing.txt\" not found.\n"
                         "file \"missing.txt\" not found.\n");
    const Oracle &f = oracle();
    auto a = f.words(f.ank, 'A', false), b = f.words(f.ank, 'B', false);
    auto join = [](const std::vector<std::string> &w) {
        std::string s;
        for (const auto &x : w)
            s += " " + x;
        return s;
    };
    EXPECT_EQ(o.cmds, (std::vector<std::string>{"sc_clear", "rom_check", "rom_format", "rom_dwrite" + join(a),
                                                "rom_dwrite" + join(b), "rom_dclose", "rom_cwrite no comment",
                                                "rom_set speed 1", "rom_set bright 6", "rom_set led_reverse 1"}));
    EXPECT_EQ(eeprom_words(o.eeprom), cat({a, b}));
    EXPECT_NE(o.eeprom.find("speed 1\nbright 6\nled_reverse 1\ncomment no comment\n"), std::string::npos) << o.eeprom;
}

TEST_F(Program, EepromCapacity)
{
    // 3 Kbit hold 3 x 64 - 128 = 64 words: two 32-column blocks.
    std::string font = wide_font();
    std::string fits = file("fits.txt", "AA");
    Outcome ok = run({"-a", font, "-w", fits}, {"--eeprom-kbit", "3"});
    ASSERT_EQ(ok.run.status, 0) << ok.run.err;
    EXPECT_EQ(eeprom_words(ok.eeprom), std::vector<std::string>(64, "ffff"));

    std::string over = file("over.txt", "AAi");
    Outcome no = run({"-a", font, "-w", over}, {"--eeprom-kbit", "3"});
    EXPECT_EQ(no.run.status, 1);
    EXPECT_EQ(no.run.err, "3 Kbit eeprom found.\nToo long text (65 lines), capacity is 64 lines\n\n");
    EXPECT_EQ(no.cmds, (std::vector<std::string>{"sc_clear", "rom_check"}));
}

TEST_F(Program, BothEepromPassesStartFromTheSameNewlineState)
{
    // A text that starts and ends with a line feed: if the writing pass began
    // with the flag that the counting pass left, the first LF would add a
    // blank that the capacity check never saw.
    std::string font = wide_font();
    std::string t = file("t.txt", "\nAA\n");
    Outcome o = run({"-a", font, "-v", "-w", t}, {"--eeprom-kbit", "3"});
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    EXPECT_EQ(eeprom_words(o.eeprom), std::vector<std::string>(64, "ffff"));
    EXPECT_EQ(o.summary.dropped, 0);
    EXPECT_NE(o.run.err.find("\rpass2     64/    64 100% done\n"), std::string::npos) << o.run.err;
}

TEST_F(Program, EepromProgressLines)
{
    std::string t = file("t.txt", "A\r\nB");
    Outcome o = run({"-v", "-w", t});
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    EXPECT_EQ(o.run.out, "ledtick " + std::string(ver_str) + "\n");
    EXPECT_EQ(o.run.err, "256 Kbit eeprom found.\n"
                         "\rpass1      8 lines found\rpass1      8 lines found\rpass1      8 lines found"
                         "\rpass1     16 lines found\n"
                         "\rpass2      8/    16  50% done\rpass2      8/    16  50% done\rpass2      8/    16  50% done"
                         "\rpass2     16/    16 100% done\n"
                         "write_rom complete\n");
}

TEST_F(Program, EepromRefusals)
{
    std::string lf = file("lf.txt", "\r\n");
    struct Case {
        const char *what;
        std::vector<std::string> args, sim;
        std::string err;
    } cases[] = {
        {"a line end only", {"-w", lf}, {}, "256 Kbit eeprom found.\nNo data found.\n\n"},
        {"only missing files", {"-w", "m.txt"}, {}, "256 Kbit eeprom found.\nfile \"m.txt\" not found.\nNo data found.\n\n"},
        {"no EEPROM", {"-w", lf}, {"--eeprom-kbit", "0"}, "No eeprom found on H8 board.\n\n"},
    };
    for (const Case &c : cases) {
        Outcome o = run(c.args, c.sim);
        EXPECT_EQ(o.run.status, 1) << c.what;
        EXPECT_EQ(o.run.err, c.err) << c.what;
        EXPECT_EQ(std::count(o.cmds.begin(), o.cmds.end(), "rom_format"), 0) << c.what;
    }
}

TEST_F(Program, BadRomCheckReplies)
{
    std::string t = file("t.txt", "A");
    struct Case {
        std::string reply, err;
    } cases[] = {
        {"", "Bad rom_chek response:\n\n"},
        {"D what\r\n", "Bad rom_chek response:D what\r\n\n\n"},
        {"D exist:1\r\n", "Bad rom_chek size response:D exist:1\r\n\n\n"},
        {"D exist:1 size:0\r\n", "0 Kbit eeprom found.\nToo long text (8 lines), capacity is -128 lines\n\n"},
    };
    for (const Case &c : cases) {
        std::string reply = c.reply;
        testutil::ScriptedBoard board([reply](const std::string &cmd) { return cmd == "rom_check" ? reply : ""; });
        RunOptions opt;
        opt.cwd = dir.path();
        auto r = testutil::run_program(LEDTICK_BIN, {"-Q", "-t", board.port(), "-F", misc_fonts, "-a", "8x16rk.pcf.gz", "-w", t}, opt);
        EXPECT_EQ(r.status, 1) << c.reply;
        EXPECT_EQ(r.err, c.err);
        auto cmds = board.commands();
        EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "rom_format"), 0);
    }
}

TEST_F(Program, EmptyTextOnABoardOfSizeZeroIsTooLongFirst)
{
    std::string empty = file("empty.txt", "");
    testutil::ScriptedBoard board([](const std::string &cmd) { return cmd == "rom_check" ? "D exist:1 size:0\r\n" : ""; });
    RunOptions opt;
    opt.cwd = dir.path();
    auto r = testutil::run_program(LEDTICK_BIN, {"-Q", "-t", board.port(), "-w", empty}, opt);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "0 Kbit eeprom found.\nToo long text (0 lines), capacity is -128 lines\n\n");
}

// Starts ledtick with -l and `args` against ledsim, waits until the board
// has seen `runs` display runs end, stops ledtick, and returns the column
// words of every run.
std::vector<std::string> loop_runs(const ScratchDir &dir, const std::vector<std::string> &args,
                                   const std::string &stdin_path, long runs)
{
    LedSim sim({"--column-ms", "1"});
    std::vector<std::string> full = {LEDTICK_BIN, "-Q", "-t", sim.link(), "-a", misc_fonts + "/8x16rk.pcf.gz",
                                     "-d", "1", "-l"};
    full.insert(full.end(), args.begin(), args.end());
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        int in = open(stdin_path.c_str(), O_RDONLY);
        int devnull = open("/dev/null", O_WRONLY);
        dup2(in, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        if (chdir(dir.path().c_str()) != 0)
            _exit(127);
        setenv("HOME", dir.path().c_str(), 1);
        std::vector<char *> argv;
        for (auto &a : full)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(LEDTICK_BIN, argv.data());
        _exit(127);
    }
    auto runs_seen = [&] {
        auto cmds = logged_commands(sim.log());
        return std::count(cmds.begin(), cmds.end(), "sc_end");
    };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (runs_seen() < runs && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    int st = 0;
    bool still_running = waitpid(pid, &st, WNOHANG) == 0;
    kill(pid, SIGTERM);
    waitpid(pid, &st, 0);
    EXPECT_TRUE(still_running) << "ledtick -l ended on its own";
    EXPECT_GE(runs_seen(), runs);
    sim.stop();
    return column_runs(sim.columns());
}

TEST_F(Program, LoopRepeatsUntilStoppedFromOutside)
{
    auto runs = loop_runs(dir, {"-c", "A"}, "/dev/null", 3);
    ASSERT_GE(runs.size(), 3u);
    for (size_t i = 0; i + 1 < runs.size(); i++) // the last run may have been cut off
        EXPECT_EQ(split_words(runs[i]), oracle().text("A")) << "run " << i;
}

TEST_F(Program, LoopOnStandardInputGoesOnWhereTheInputEnded)
{
    auto runs = loop_runs(dir, {"-s"}, file("in.txt", "AB"), 3);
    ASSERT_GE(runs.size(), 3u);
    EXPECT_EQ(split_words(runs[0]), oracle().text("AB"));
    for (size_t i = 1; i < runs.size(); i++)
        EXPECT_EQ(runs[i], "") << "run " << i;
}

} // namespace
