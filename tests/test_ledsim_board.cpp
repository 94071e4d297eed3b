// ledsim's board model driven directly, with a clock the test sets: every
// command's reply, the free-space accounting, and the scroll over time.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "board.h"
#include "faults.h"
#include "rom_store.h"
#include "testutil.h"

namespace {

std::string reply(Board *b, const std::string &cmd, int64_t t_ms = 0)
{
    std::string out;
    for (const std::string &l : board_command(b, cmd, t_ms * 1000))
        out += l + "|";
    return out;
}

Board make_board(BoardConfig cfg = BoardConfig())
{
    Board b;
    board_init(&b, cfg);
    return b;
}

} // namespace

TEST(LedsimBoard, EveryCommandAndItsReply)
{
    Board b = make_board();
    // In order, on one board: each reply depends on what came before.
    struct Step {
        const char *cmd;
        const char *reply; // a regular expression; lines joined by "|"
    } steps[] = {
        {"sync", "D SYNC\\|Ok\\|"},
        {"", "Ok\\|"},
        {"echo 0", "Ok\\|"},
        {"echo 2", "E .*\\|Ok\\|"},
        {"set scmode_div 2", "Ok\\|"},
        {"set scmode_div 0", "E .*\\|Ok\\|"},
        {"set cmodule 2", "Ok\\|"},
        {"set cmodule", "E .*\\|Ok\\|"},
        {"set led_reverse 1", "Ok\\|"},
        {"set colour 3", "E .*\\|Ok\\|"},
        {"lm_bright 5", "Ok\\|"},
        {"lm_bright 5x", "E .*\\|Ok\\|"},
        {"frobnicate 1", "E unknown command: frobnicate\\|Ok\\|"},
        // Still picture: the display is 2 modules of 32 columns.
        {"sc_clear", "Ok\\|"},
        {"sc_data", "D 64\\|Ok\\|"},
        {"sc_data 1 2 3", "D 61\\|Ok\\|"},
        {"sc_show", "Ok\\|"},
        {"sc_mode", "D 0\\|Ok\\|"},
        // Scroll.
        {"sc_clear", "Ok\\|"},
        {"sc_scroll", "Ok\\|"},
        {"sc_data", "D 256\\|Ok\\|"},
        {"sc_data 0 12 FfFf", "D 253\\|Ok\\|"},
        {"sc_data 1 12345", "E bad column word: 12345\\|D 253\\|Ok\\|"},
        {"sc_data 1 -2", "E bad column word: -2\\|D 253\\|Ok\\|"},
        {"sc_mode", "D 2\\|Ok\\|"},
        {"sc_end", "Ok\\|"},
        // EEPROM.
        {"rom_check", "D exist:1 size:256\\|Ok\\|"},
        {"rom_format", "Ok\\|"},
        {"rom_dwrite 1 2", "D 254\\|Ok\\|"},
        {"rom_dwrite", "D 254\\|Ok\\|"},
        {"rom_dclose", "Ok\\|"},
        {"rom_cwrite no comment", "Ok\\|"},
        {"rom_set speed 3", "Ok\\|"},
        {"rom_set bright 11", "E .*\\|Ok\\|"},
        {"rom_set bright 7", "Ok\\|"},
        {"rom_set led_reverse 1", "Ok\\|"},
        {"rom_set volume 1", "E .*\\|Ok\\|"},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.cmd);
        EXPECT_TRUE(std::regex_match(reply(&b, s.cmd), std::regex(s.reply))) << reply(&b, "sc_mode");
    }
    EXPECT_FALSE(b.echo);
    EXPECT_EQ(b.div, 2);
    EXPECT_EQ(b.led_reverse, 1);
    EXPECT_EQ(b.bright, 5);
    EXPECT_EQ(b.rom.data, (std::vector<uint16_t>{1, 2}));
    EXPECT_EQ(b.rom.comment, "no comment");
    EXPECT_EQ(b.rom.speed, 3);
    EXPECT_EQ(b.rom.bright, 7);
    EXPECT_EQ(b.rom.led_reverse, 1);
    EXPECT_EQ(b.count.commands, (long)(sizeof steps / sizeof steps[0]));
    // The refused "sc_data 1 12345" and "1 -2" count as received and dropped.
    EXPECT_EQ(b.count.words_received, 3 + 3 + 2 + 2 + 2);
    EXPECT_EQ(b.count.words_dropped, 4);
    // One line a run: the still picture, the scroll, the EEPROM write.
    ASSERT_EQ(b.runs.size(), 3u);
    EXPECT_EQ(b.runs[1], (std::vector<uint16_t>{0, 0x12, 0xffff}));
}

TEST(LedsimBoard, WithoutEepromTheRomCommandsSaySo)
{
    BoardConfig cfg;
    cfg.eeprom_kbit = 0;
    Board b = make_board(cfg);
    EXPECT_EQ(reply(&b, "rom_check"), "D exist:0|Ok|");
    EXPECT_EQ(reply(&b, "rom_format"), "E no eeprom|Ok|");
    EXPECT_EQ(reply(&b, "rom_dwrite 1 2"), "E no eeprom|D 256|Ok|");
    EXPECT_EQ(b.count.words_dropped, 2);
}

TEST(LedsimBoard, WordsBeyondTheFreeSpaceAreDroppedCountedAndReported)
{
    BoardConfig cfg;
    cfg.buffer_cols = 8;
    cfg.module_width = 4;
    cfg.eeprom_kbit = 1; // 64 words
    Board b = make_board(cfg);
    struct Step {
        const char *cmd;
        const char *reply;
        long dropped; // in total after the step
    } steps[] = {
        // Still picture: room for the display's 4 columns.
        {"sc_clear", "Ok|", 0},
        {"sc_data 1 2 3", "D 1|Ok|", 0},
        {"sc_data 4 5", "E buffer overflow|D 0|Ok|", 1},
        {"sc_data", "D 0|Ok|", 1},
        // Scroll buffer of 8; nothing moves while the clock stands still.
        {"sc_clear", "Ok|", 1},
        {"sc_scroll", "Ok|", 1},
        {"sc_data 1 2 3 4 5 6", "D 2|Ok|", 1},
        {"sc_data 7 8 9", "E buffer overflow|D 0|Ok|", 2},
        // EEPROM: 64 words, through a write buffer of 8.
        {"rom_format", "Ok|", 2},
        {"rom_dwrite 1 2 3 4 5 6 7 8 9 a", "E buffer overflow|D 0|Ok|", 4},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.cmd);
        EXPECT_EQ(reply(&b, s.cmd), s.reply);
        EXPECT_EQ(b.count.words_dropped, s.dropped);
    }
    EXPECT_EQ(b.count.words_received, 3 + 2 + 6 + 3 + 10);
    // The EEPROM fills: 8 words a call, drained a page at a time.
    int64_t t = 0;
    for (int i = 0; i < 7; i++) {
        t += 100;
        EXPECT_EQ(reply(&b, "rom_dwrite 1 2 3 4 5 6 7 8", t), "D 0|Ok|");
    }
    t += 100;
    EXPECT_EQ(reply(&b, "rom_dwrite 1", t), "E eeprom full|D 8|Ok|");
    EXPECT_EQ(reply(&b, "rom_dclose", t), "Ok|");
    EXPECT_EQ(b.rom.data.size(), 64u);
}

TEST(LedsimBoard, ScrollRunsAtDivTimesColumnMsAndEndsWhenTheLastColumnHasLeft)
{
    BoardConfig cfg;
    cfg.module_width = 4;
    cfg.column_ms = 5;
    Board b = make_board(cfg);
    reply(&b, "set scmode_div 2"); // a column every 10 ms
    reply(&b, "sc_clear");
    reply(&b, "sc_scroll", 0);
    EXPECT_EQ(reply(&b, "sc_data 1 2 3 4 5 6", 0), "D 250|Ok|");
    EXPECT_EQ(reply(&b, "sc_data", 35), "D 253|Ok|"); // 3 columns in after 35 ms
    EXPECT_EQ(std::vector<uint16_t>(b.display.begin(), b.display.end()), (std::vector<uint16_t>{0, 1, 2, 3}));
    EXPECT_EQ(reply(&b, "sc_mode", 100), "D 2|Ok|");
    // Without sc_end the scroll waits for more data; the last column stays.
    EXPECT_EQ(reply(&b, "sc_mode", 500), "D 2|Ok|");
    EXPECT_EQ(b.display.back(), 6);
    reply(&b, "sc_data 7", 500);
    EXPECT_EQ(reply(&b, "sc_end", 500), "Ok|");
    // 7 comes in at 510; then 4 steps move it off the display, the last at 550.
    EXPECT_EQ(reply(&b, "sc_mode", 545), "D 2|Ok|");
    EXPECT_EQ(reply(&b, "sc_mode", 551), "D 1|Ok|");
    EXPECT_EQ(std::vector<uint16_t>(b.display.begin(), b.display.end()), (std::vector<uint16_t>{0, 0, 0, 0}));
    EXPECT_EQ(board_next_event(b), -1);
    EXPECT_EQ(reply(&b, "sc_clear", 600), "Ok|");
    EXPECT_EQ(reply(&b, "sc_mode", 600), "D 0|Ok|");
}

TEST(LedsimBoard, StillPictureShowsFromTheLeftEdge)
{
    BoardConfig cfg;
    cfg.module_width = 4;
    Board b = make_board(cfg);
    reply(&b, "sc_clear");
    reply(&b, "sc_data 8 9");
    reply(&b, "sc_show");
    EXPECT_EQ(std::vector<uint16_t>(b.display.begin(), b.display.end()), (std::vector<uint16_t>{8, 9, 0, 0}));
    EXPECT_EQ(reply(&b, "sc_mode"), "D 0|Ok|");
}

TEST(LedsimFaults, TableParsesEachKindAndRefusesBadValues)
{
    struct Case {
        const char *value;
        bool ok;
    } cases[] = {
        {"split", true},         {"split:1", false},   {"delay:20", true},   {"delay", false},
        {"delay:x", false},      {"delay:-5", false},  {"silent-after:0", true},
        {"silent-after:3", true}, {"silent-after:", false}, {"loud", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        Faults f;
        std::string err;
        EXPECT_EQ(fault_parse(&f, c.value, &err), c.ok);
        EXPECT_EQ(err.empty(), c.ok);
    }
    Faults f;
    std::string err;
    ASSERT_TRUE(fault_parse(&f, "silent-after:2", &err));
    EXPECT_FALSE(fault_swallows(f, 2));
    EXPECT_TRUE(fault_swallows(f, 3));
}

TEST(LedsimRomStore, SavesAndLoadsAndRefusesAFileThatIsNotOurs)
{
    testutil::ScratchDir dir;
    RomContent rom;
    for (int i = 0; i < 40; i++)
        rom.data.push_back((uint16_t)(i * 1000));
    rom.comment = "hello  there";
    rom.speed = 7;
    rom.bright = 2;
    rom.led_reverse = 1;
    std::string path = dir.file("rom.txt");
    std::string err;
    ASSERT_TRUE(rom_store_save(path, rom, &err)) << err;
    RomContent back;
    ASSERT_TRUE(rom_store_load(path, 64, &back, &err)) << err;
    EXPECT_EQ(back.data, rom.data);
    EXPECT_EQ(back.comment, rom.comment);
    EXPECT_EQ(back.speed, 7);
    EXPECT_EQ(back.bright, 2);
    EXPECT_EQ(back.led_reverse, 1);

    EXPECT_TRUE(rom_store_load(dir.file("missing"), 64, &back, &err)); // a blank EEPROM
    EXPECT_FALSE(rom_store_load(path, 32, &back, &err));                 // 40 words do not fit
    EXPECT_NE(err.find(path), std::string::npos);

    std::string good = testutil::read_file(path);
    struct Case {
        const char *what;
        std::string text;
    } bad[] = {
        {"other file", "hello\n"},
        {"bad word", good.substr(0, good.rfind('\n', good.size() - 2) + 1) + "1 2 3 4 5 6 7 zz\n"},
        {"short", good.substr(0, good.size() - 4)},
        {"bad setting", std::regex_replace(good, std::regex("speed 7"), "speed 700")},
    };
    for (const Case &c : bad) {
        SCOPED_TRACE(c.what);
        dir.write("bad.txt", c.text);
        err.clear();
        EXPECT_FALSE(rom_store_load(dir.file("bad.txt"), 64, &back, &err));
        EXPECT_NE(err.find("bad.txt\" line "), std::string::npos) << err;
    }
}
