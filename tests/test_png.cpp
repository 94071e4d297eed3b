// ledsim's pictures: the strip drawn by the picture module, and the files
// that --png and --png-eeprom write at the end of a run, read back with
// libpng and compared with the column words ledsim received.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ledsim_harness.h"
#include "picture.h"
#include "png_read.h"

using testutil::LedSim;
using testutil::png_columns;
using testutil::read_png;
using testutil::ScratchDir;
using testutil::SimClient;

namespace {

std::string hex_words(const std::vector<uint16_t> &words)
{
    std::string s;
    char buf[8];
    for (uint16_t w : words) {
        snprintf(buf, sizeof buf, "%s%x", s.empty() ? "" : " ", w);
        s += buf;
    }
    return s;
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l))
        lines.push_back(l);
    return lines;
}

// Every bit position once, the corners, and a pattern that is different
// upside down and mirrored, so a flipped or shifted strip shows.
const std::vector<uint16_t> sample = {0x8000, 0x4000, 0x0001, 0xffff, 0x0000, 0x1234, 0xf00f, 0x00ff, 0xaaaa, 0x5555};

} // namespace

TEST(Picture, StripShowsEveryDotOfTheColumnWords)
{
    ScratchDir dir;
    struct Case {
        int scale;
        bool reverse;
        std::vector<uint16_t> columns;
        int blank_width;
    } cases[] = {
        {1, false, sample, 32}, {2, false, sample, 32}, {4, false, sample, 32}, {7, true, sample, 32},
        // Nothing shown: a dark strip as wide as the display.
        {4, false, {}, 64},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("scale " + std::to_string(c.scale) + (c.reverse ? " reverse" : ""));
        std::string path = dir.file("strip.png");
        std::string err;
        ASSERT_TRUE(png_write_strip(path, {c.columns, c.blank_width, c.scale, c.reverse}, &err)) << err;
        testutil::PngImage img = read_png(path);
        ASSERT_TRUE(img.ok) << img.error;
        size_t n = c.columns.empty() ? (size_t)c.blank_width : c.columns.size();
        EXPECT_EQ(img.width, (int)n * c.scale);
        EXPECT_EQ(img.height, 16 * c.scale);
        std::vector<uint16_t> want = c.columns.empty() ? std::vector<uint16_t>(n, 0) : c.columns;
        if (c.reverse)
            for (uint16_t &w : want)
                w = (uint16_t)~w;
        EXPECT_EQ(hex_words(png_columns(img, c.scale)), hex_words(want));
        if (c.scale >= 4) {
            // Round LEDs: the corners of every dot are black.
            const uint8_t *corner = img.at(0, 0), *last = img.at(img.width - 1, img.height - 1);
            EXPECT_EQ(corner[0] + corner[1] + corner[2], 0);
            EXPECT_EQ(last[0] + last[1] + last[2], 0);
        }
    }
}

TEST(Picture, UnwritablePathIsReported)
{
    ScratchDir dir;
    std::string err;
    EXPECT_FALSE(png_write_strip(dir.file("no/such/dir/x.png"), {sample, 32, 4, false}, &err));
    EXPECT_NE(err.find("no/such/dir/x.png"), std::string::npos) << err;
}

TEST(LedsimPng, PictureShowsTheLastDisplayRunAsTheBoardTookIt)
{
    std::string half1 = hex_words({sample.begin(), sample.begin() + 4});
    std::string half2 = hex_words({sample.begin() + 4, sample.end()});
    std::vector<uint16_t> forty;
    for (int i = 0; i < 40; i++)
        forty.push_back((uint16_t)(0x0101u << (i % 8)));
    std::vector<uint16_t> reversed;
    for (uint16_t w : sample)
        reversed.push_back((uint16_t)~w);
    struct Case {
        const char *name;
        std::vector<std::string> commands;
        std::vector<uint16_t> want;  // the dots of the picture
        bool as_received;            // ... which are the last line of --columns
    } cases[] = {
        {"scroll, words in two commands",
         {"sc_clear", "sc_scroll", "sc_data " + half1, "sc_data " + half2, "sc_end"}, sample, true},
        {"only the last run",
         {"sc_clear", "sc_data ffff ffff ffff", "sc_show", "sc_clear", "sc_data " + hex_words(sample), "sc_show"},
         sample, true},
        // 40 words for a still picture 32 columns wide: 8 are dropped and
        // were never on the LEDs.
        {"dropped words are not shown",
         {"sc_clear", "sc_data " + hex_words({forty.begin(), forty.begin() + 20}),
          "sc_data " + hex_words({forty.begin() + 20, forty.end()}), "sc_show"},
         {forty.begin(), forty.begin() + 32}, false},
        {"LED reverse", {"set led_reverse 1", "sc_clear", "sc_data " + hex_words(sample), "sc_show"}, reversed, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir out;
        LedSim sim({"--png", out.file("run.png"), "--png-scale", "3", "--column-ms", "1"});
        {
            SimClient client(sim.link());
            client.exchange("echo 0");
            for (const std::string &cmd : c.commands)
                ASSERT_NE(client.exchange(cmd), "") << cmd;
            // A scroll runs to its end before the board is switched off.
            for (int i = 0; i < 500 && client.exchange("sc_mode") == "D 2\r\nOk\r\n"; i++)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_EQ(sim.stop(), 0) << sim.err();
        testutil::PngImage img = read_png(out.file("run.png"));
        ASSERT_TRUE(img.ok) << img.error;
        EXPECT_EQ(img.height, 48);
        std::string shown = hex_words(png_columns(img, 3));
        EXPECT_EQ(shown, hex_words(c.want));
        std::vector<std::string> runs = lines_of(sim.columns());
        ASSERT_FALSE(runs.empty());
        if (c.as_received) {
            EXPECT_EQ(shown, runs.back());
        }
    }
}

TEST(LedsimPng, PictureOfTheEepromShowsItsContentAlsoAfterARestart)
{
    ScratchDir out;
    std::string rom = out.file("rom.txt");
    {
        LedSim sim({"--eeprom", rom, "--png-eeprom", out.file("first.png")});
        SimClient client(sim.link());
        client.exchange("echo 0");
        for (std::string cmd : {std::string("rom_format"), "rom_dwrite " + hex_words(sample), std::string("rom_dclose")})
            client.exchange(cmd);
        // A display run afterwards changes nothing in the EEPROM.
        client.exchange("sc_clear");
        client.exchange("sc_data 1 2 3");
        client.close_port();
        ASSERT_EQ(sim.stop(), 0) << sim.err();
        EXPECT_EQ(lines_of(sim.columns()).front(), hex_words(sample));
    }
    testutil::PngImage first = read_png(out.file("first.png"));
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_EQ(hex_words(png_columns(first, 4)), hex_words(sample));

    LedSim again({"--eeprom", rom, "--png-eeprom", out.file("again.png"), "--png-scale", "2"});
    ASSERT_EQ(again.stop(), 0) << again.err();
    testutil::PngImage img = read_png(out.file("again.png"));
    ASSERT_TRUE(img.ok) << img.error;
    EXPECT_EQ(hex_words(png_columns(img, 2)), hex_words(sample));
}

TEST(LedsimPng, PictureThatCannotBeWrittenEndsWithStatusOne)
{
    ScratchDir out;
    LedSim sim({"--png", out.file("missing/run.png")});
    EXPECT_EQ(sim.stop(), 1);
    EXPECT_NE(sim.err().find("cannot write \"" + out.file("missing/run.png") + "\""), std::string::npos) << sim.err();
    // The other outputs are still written.
    EXPECT_NE(sim.err().find("0 commands, 0 column words received"), std::string::npos) << sim.err();

    testutil::RunOptions opt;
    opt.cwd = out.path();
    testutil::RunResult r = testutil::run_program(LEDSIM_BIN, {"--png-scale", "0"}, opt);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--png-scale needs a number from 1 to 32"), std::string::npos) << r.err;
}
