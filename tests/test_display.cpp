// The display run against a scripted board: the commands of each kind of
// run, the data commands and their words, the reply rules, flow control,
// the wait for the end of the scroll, and glyphs whose words need more than
// one command.
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <mutex>
#include <memory>
#include <regex>
#include <sstream>

#include "guFont.h"
#include "ledtick.h"
#include "ltio.h"
#include "scripted_board.h"
#include "sio.h"
#include "testutil.h"

namespace {

const char *const misc_fonts = "/usr/share/fonts/X11/misc";

// The words that the conversion gives for a glyph, as " %x" text.
std::string words_text(GuFont *font, int code, bool vertical)
{
    GuGlyph glyph;
    guFontGlyph(font, code, &glyph);
    uint16_t words[32];
    int n = vertical ? lt_get_glyph_bitmap_vertical(&glyph, words, 32) : lt_get_glyph_bitmap(&glyph, words, 32);
    std::ostringstream s;
    for (int i = 0; i < n; i++)
        s << ' ' << std::hex << words[i];
    return s.str();
}

// A reply script: each command name has a queue of data lines; an empty
// queue answers with its last line again ("" answers no data line).
class Replies {
public:
    void set(const std::string &name, std::vector<std::string> lines)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queues_[name] = std::deque<std::string>(lines.begin(), lines.end());
    }
    std::string operator()(const std::string &cmd)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::string name = cmd.substr(0, cmd.find(' '));
        auto it = queues_.find(name);
        if (it == queues_.end() || it->second.empty())
            return "";
        std::string line = it->second.front();
        if (it->second.size() > 1)
            it->second.pop_front();
        return line;
    }

private:
    std::mutex mutex_;
    std::map<std::string, std::deque<std::string>> queues_;
};

class DisplayRun : public testing::Test {
protected:
    void SetUp() override
    {
        replies_ = std::make_shared<Replies>();
        auto replies = replies_;
        board_ = std::make_unique<testutil::ScriptedBoard>([replies](const std::string &cmd) { return (*replies)(cmd); });
        lcont_init(&lcont);
        lcont.scont.tty_name = board_->port().c_str();
        lcont.font1 = guFontNew(misc_fonts, "8x16rk.pcf.gz");
        lcont.font2 = guFontNew(misc_fonts, "jiskan16.pcf.gz");
        lcont.encoding = Enc_EUC;
        sio_open(&lcont.scont);
    }
    void TearDown() override { sio_close(&lcont.scont); }

    void reply(const std::string &name, std::vector<std::string> lines) { replies_->set(name, std::move(lines)); }
    std::vector<std::string> commands() { return board_->commands(); }

    lcont_t lcont;
    std::shared_ptr<Replies> replies_;
    std::unique_ptr<testutil::ScriptedBoard> board_;
};

TEST_F(DisplayRun, CommandsOfEachKindOfRun)
{
    const std::string a = "sc_data" + words_text(lcont.font1, 'A', false);
    const std::string a_rom = "rom_dwrite" + words_text(lcont.font1, 'A', false);
    struct Case {
        const char *what;
        int no_out, rom, no_scroll, buf_left;
        std::vector<std::string> cmds;
    } cases[] = {
        {"scroll", 0, 0, 0, 16, {"sc_clear", "sc_scroll", a, "sc_end"}},
        {"no scroll, no flow control", 0, 0, 1, 0, {"sc_clear", a, "sc_show"}},
        {"EEPROM", 0, 1, 0, 16,
         {"rom_format", a_rom, "rom_dclose", "rom_cwrite no comment", "rom_set speed 3", "rom_set bright 7",
          "rom_set led_reverse 1"}},
        {"EEPROM without scrolling, no flow control", 0, 1, 1, 0,
         {"rom_format", a_rom, "rom_dclose", "rom_cwrite no comment", "rom_set speed 3", "rom_set bright 7",
          "rom_set led_reverse 1"}},
        {"count only", 1, 1, 0, 0, {}},
    };
    for (const Case &c : cases) {
        board_->clear();
        reply("sc_data", {"D 100\r\n"});
        reply("rom_dwrite", {"D 100\r\n"});
        lcont.no_out = c.no_out;
        lcont.b_rom_write = c.rom;
        lcont.no_scroll = c.no_scroll;
        lcont.buf_left = c.buf_left;
        lcont.div = 3;
        lcont.bright = 7;
        lcont.b_led_reverse = 1;
        lt_open(&lcont);
        lt_putc(&lcont, 'A');
        lt_close(&lcont);
        EXPECT_EQ(commands(), c.cmds) << c.what;
        EXPECT_EQ(lcont.nol, 8) << c.what;
        EXPECT_EQ(lcont.buf_left, c.no_out ? c.buf_left : 100) << c.what;
    }
}

TEST_F(DisplayRun, WordsAreLowerCaseHexWithoutLeadingZeros)
{
    reply("sc_data", {"D 200\r\n"});
    lcont.buf_left = 200;
    lt_open(&lcont);
    lt_puts(&lcont, "g\xB4\xC1"); // an ASCII letter and a kanji
    lt_close(&lcont);
    auto cmds = commands();
    ASSERT_EQ(cmds.size(), 5u);
    EXPECT_EQ(cmds[2], "sc_data" + words_text(lcont.font1, 'g', false));
    EXPECT_EQ(cmds[3], "sc_data" + words_text(lcont.font2, 0x3441, false));
    static const std::regex word_list("sc_data( (0|[1-9a-f][0-9a-f]{0,3}))+");
    for (int i : {2, 3})
        EXPECT_TRUE(std::regex_match(cmds[i], word_list)) << cmds[i];
    EXPECT_EQ(lcont.nol, 8 + 16);
}

TEST_F(DisplayRun, ReplyRulesOfADataCommand)
{
    struct Case {
        std::string line;
        int buf_left;
    } cases[] = {
        {"D 120\r\n", 120}, {"D 0\r\n", 0},  {"D 1\r\n", 1},
        {"D none\r\n", 0},  {"D   \r\n", 50}, {"", 50},
    };
    lcont.no_scroll = 1; // no flow control: one data command per character
    for (const Case &c : cases) {
        reply("sc_data", {c.line});
        lcont.buf_left = 50;
        lt_putc(&lcont, 'A');
        EXPECT_EQ(lcont.buf_left, c.buf_left) << testing::PrintToString(c.line);
    }
}

TEST_F(DisplayRun, FlowControlPollsUntilTheBoardHasRoom)
{
    // Polls that give no number leave the free space as it was.
    reply("sc_data", {"D none\r\n", "D  \r\n", "", "D 7\r\n", "D 8\r\n", "D 60\r\n"});
    lcont.buf_left = 0;
    lcont.scont.f_v = 0;
    f_v = 2;
    testing::internal::CaptureStderr();
    lt_putc(&lcont, 'A');
    std::string err = testing::internal::GetCapturedStderr();
    f_v = 0;
    auto cmds = commands();
    ASSERT_EQ(cmds.size(), 6u);
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(cmds[i], "sc_data") << i;
    EXPECT_EQ(cmds[5], "sc_data" + words_text(lcont.font1, 'A', false));
    EXPECT_EQ(lcont.buf_left, 60);
    EXPECT_EQ(err, "buf_left = 0\nbuf_left = 0\nbuf_left = 0\nbuf_left = 7\nbuf_left = 8\n");
}

TEST_F(DisplayRun, ACharacterThatFitsIsSentWithoutAPoll)
{
    reply("sc_data", {"D 8\r\n"});
    lcont.buf_left = 16; // as at program start
    lt_putc(&lcont, 'A');
    lt_putc(&lcont, 'B');
    EXPECT_EQ(commands().size(), 2u);
    EXPECT_EQ(lcont.buf_left, 8);
}

TEST_F(DisplayRun, WaitForTheEndOfTheScroll)
{
    struct Case {
        std::vector<std::string> lines;
        size_t polls;
    } cases[] = {
        {{"D 0\r\n"}, 1},
        {{"D 1\r\n"}, 1},
        {{"D 2\r\n", "D none\r\n", "", "D  \r\n", "D 1\r\n"}, 5},
    };
    for (const Case &c : cases) {
        board_->clear();
        reply("sc_mode", c.lines);
        lt_wait_scroll_end(&lcont);
        EXPECT_EQ(commands(), std::vector<std::string>(c.polls, "sc_mode"));
    }
}

TEST_F(DisplayRun, ScrollEndTrace)
{
    reply("sc_mode", {"D 2\r\n", "D 0\r\n"});
    f_v = 2;
    testing::internal::CaptureStderr();
    lt_wait_scroll_end(&lcont);
    std::string err = testing::internal::GetCapturedStderr();
    f_v = 0;
    EXPECT_EQ(err, "sc_mode:D 2\r\nsc_mode:D 0\r\n");
}

class WideGlyph : public DisplayRun {
protected:
    void SetUp() override
    {
        DisplayRun::SetUp();
        testutil::RunOptions opt;
        opt.cwd = dir.path();
        auto r = testutil::run_program("/usr/bin/bdftopcf",
                                       {"-o", dir.file("wide32.pcf"), std::string(TESTS_DIR) + "/fonts/wide32.bdf"}, opt);
        ASSERT_EQ(r.status, 0) << r.err;
        lcont.font1 = guFontNew(dir.path().c_str(), "wide32.pcf");
    }
    testutil::ScratchDir dir;
};

std::string repeat_words(const std::string &head, int n)
{
    std::string s = head;
    for (int i = 0; i < n; i++)
        s += " ffff";
    return s;
}

TEST_F(WideGlyph, WordsGoOutOverSeveralCommandsEachAfterItsOwnWait)
{
    // 32 columns of ffff: 24 fit after "sc_data", the other 8 follow. The
    // board has room for the second part only, so only the first one waits.
    reply("sc_data", {"D 30\r\n", "D 8\r\n"});
    lcont.buf_left = 0;
    lt_open(&lcont);
    lt_putc(&lcont, 'A');
    lt_close(&lcont);
    EXPECT_EQ(commands(), (std::vector<std::string>{"sc_clear", "sc_scroll", "sc_data", repeat_words("sc_data", 24),
                                                    repeat_words("sc_data", 8), "sc_end"}));
    EXPECT_EQ(lcont.nol, 32);
    EXPECT_EQ(lcont.buf_left, 8);
}

TEST_F(WideGlyph, EepromCommandsTakeFewerWords)
{
    reply("rom_dwrite", {"D 0\r\n"});
    reply("sc_data", {"D 100\r\n"});
    lcont.b_rom_write = 1;
    lcont.buf_left = 100;
    lt_putc(&lcont, 'A');
    // After the first part the board reports no room: the second part polls.
    EXPECT_EQ(commands(), (std::vector<std::string>{repeat_words("rom_dwrite", 23), "sc_data",
                                                    repeat_words("rom_dwrite", 9)}));
    for (const auto &cmd : commands())
        EXPECT_LE(cmd.size(), 127u);
}

TEST_F(WideGlyph, AGlyphWithoutColumnsStillAsksForTheFreeSpace)
{
    reply("sc_data", {"D 77\r\n"});
    lcont.buf_left = 5;
    lt_open(&lcont);
    lt_putc(&lcont, 'z');
    EXPECT_EQ(commands(), (std::vector<std::string>{"sc_clear", "sc_scroll", "sc_data"}));
    EXPECT_EQ(lcont.nol, 0);
    EXPECT_EQ(lcont.buf_left, 77);
}

} // namespace
