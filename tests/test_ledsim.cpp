// ledsim over its pseudo-terminal: the line protocol, the log and column
// files, the scroll in real time, the EEPROM file, pacing and faults.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "ledsim_harness.h"
#include "pty_peer.h"

using testutil::LedSim;
using testutil::SimClient;
using testutil::seconds_since;

namespace {

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(Ledsim, SpeaksTheLineProtocol)
{
    LedSim sim({"--buffer", "8"});
    {
        SimClient c(sim.link());
        struct Step {
            std::string sent; // a carriage return is added
            std::string reply;
        } steps[] = {
            // Echo is on at power-up; CR comes back as CR LF.
            {"sync", "sync\r\nD SYNC\r\nOk\r\n"},
            {"echo 0", "echo 0\r\nOk\r\n"},
            {"sync", "D SYNC\r\nOk\r\n"},
            // A line feed inside a command is ignored.
            {"set cmodule 2\n", "Ok\r\n"},
            {"set cm\nodule 1", "Ok\r\n"},
            {"sc_clear", "Ok\r\n"},
            {"sc_scroll", "Ok\r\n"},
            {"sc_data 1 2 3 4 5 6", "D 2\r\nOk\r\n"},
            {"sc_data 7 8 9", "E buffer overflow\r\nD 0\r\nOk\r\n"},
            {"sc_data " + std::string(125, '1'), "E command too long\r\nOk\r\n"},
            {"", "Ok\r\n"},
            {"rom_format", "Ok\r\n"},
            {"rom_dwrite a b", "D 6\r\nOk\r\n"},
        };
        for (const Step &s : steps) {
            SCOPED_TRACE(s.sent);
            EXPECT_EQ(c.exchange(s.sent), s.reply);
        }
    }
    // The port can be closed and opened again.
    SimClient again(sim.link());
    EXPECT_EQ(again.exchange("rom_check"), "D exist:1 size:256\r\nOk\r\n");
    again.close_port();
    ASSERT_EQ(sim.stop(), 0);

    testutil::LedSimSummary s = sim.summary();
    EXPECT_EQ(s.commands, 14);
    EXPECT_EQ(s.received, 11);
    EXPECT_EQ(s.dropped, 1);
    EXPECT_EQ(s.unanswered, 0);
    // Runs: the scroll, the EEPROM write.
    EXPECT_EQ(sim.columns(), "1 2 3 4 5 6 7 8 9\na b\n");
    std::string log = sim.log();
    EXPECT_TRUE(std::regex_search(log, std::regex("\n *[0-9]+ < sc_data 7 8 9\n *[0-9]+ > E buffer overflow\n"
                                                  " *[0-9]+ > D 0\n *[0-9]+ > Ok\n")))
        << log;
    EXPECT_TRUE(contains(log, "\nsummary: 14 commands, 11 column words received, 1 words dropped"));
    EXPECT_TRUE(contains(log, "client opened the port"));
}

TEST(Ledsim, ScrollStateFollowsTheClock)
{
    // A column every 2 x 20 ms; 6 columns and a 4-column display: about 400 ms.
    LedSim sim({"--column-ms", "20", "--module-width", "4"});
    SimClient c(sim.link());
    c.exchange("echo 0");
    c.exchange("set scmode_div 2");
    c.exchange("sc_clear");
    EXPECT_EQ(c.exchange("sc_mode"), "D 0\r\nOk\r\n");
    c.exchange("sc_scroll");
    EXPECT_EQ(c.exchange("sc_data 1 2 3 4 5 6"), "D 250\r\nOk\r\n");
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(c.exchange("sc_end"), "Ok\r\n");
    EXPECT_EQ(c.exchange("sc_mode"), "D 2\r\nOk\r\n");
    std::string mode;
    while (seconds_since(t0) < 5 && (mode = c.exchange("sc_mode")) == "D 2\r\nOk\r\n")
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    double took = seconds_since(t0);
    EXPECT_EQ(mode, "D 1\r\nOk\r\n");
    EXPECT_GT(took, 0.3);
    EXPECT_LT(took, 5.0);
    EXPECT_EQ(c.exchange("sc_data"), "D 256\r\nOk\r\n"); // the buffer has emptied
}

TEST(Ledsim, EepromContentSurvivesARestart)
{
    testutil::ScratchDir dir;
    std::string rom = dir.file("eeprom.txt");
    {
        LedSim sim({"--eeprom", rom, "--eeprom-kbit", "1"});
        SimClient c(sim.link());
        c.exchange("echo 0");
        c.exchange("rom_format");
        EXPECT_EQ(c.exchange("rom_dwrite 1 2 3"), "D 253\r\nOk\r\n");
        c.exchange("rom_dwrite ffff");
        c.exchange("rom_dclose");
        c.exchange("rom_cwrite no comment");
        c.exchange("rom_set speed 7");
        c.close_port();
        ASSERT_EQ(sim.stop(), 0);
    }
    {
        LedSim sim({"--eeprom", rom, "--eeprom-kbit", "1"});
        SimClient c(sim.link());
        c.exchange("echo 0");
        c.exchange("rom_set bright 3");
        // The stored words are still there: a write goes on after them.
        EXPECT_EQ(c.exchange("rom_dwrite 5"), "D 255\r\nOk\r\n");
        c.exchange("rom_dclose");
        c.close_port();
        ASSERT_EQ(sim.stop(), 0);
    }
    std::string text = testutil::read_file(rom);
    EXPECT_TRUE(contains(text, "speed 7\nbright 3\nled_reverse 0\ncomment no comment\nwords 5\n1 2 3 ffff 5\n"))
        << text;
}

TEST(Ledsim, EepromFillsUpLoudly)
{
    LedSim sim({"--eeprom-kbit", "1", "--buffer", "100"});
    SimClient c(sim.link());
    c.exchange("echo 0");
    c.exchange("rom_format");
    std::string words;
    for (int i = 0; i < 20; i++)
        words += " 1";
    for (int i = 0; i < 3; i++)
        EXPECT_TRUE(contains(c.exchange("rom_dwrite" + words), "D ")); // 60 words
    // 60 words stored or on their way, room for 4 more.
    std::string r = c.exchange("rom_dwrite 1 2 3 4 5");
    EXPECT_TRUE(std::regex_match(r, std::regex("E eeprom full\r\nD [0-9]+\r\nOk\r\n"))) << r;
    c.close_port();
    sim.stop();
    EXPECT_EQ(sim.summary().dropped, 1);
}

TEST(Ledsim, BaudPacesBothDirections)
{
    // 1200 bits/s at 11 bits a byte: 9.2 ms a byte. "sync\r" in and
    // "D SYNC\r\nOk\r\n" out are 17 bytes, about 155 ms an exchange.
    LedSim sim({"--baud", "1200"});
    SimClient c(sim.link());
    EXPECT_EQ(c.exchange("echo 0"), "echo 0\r\nOk\r\n");
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 4; i++)
        ASSERT_EQ(c.exchange("sync"), "D SYNC\r\nOk\r\n");
    double took = seconds_since(t0);
    EXPECT_GT(took, 0.45);
    EXPECT_LT(took, 5.0);
}

TEST(Ledsim, FaultsChangeTheAnswers)
{
    {
        LedSim sim({"--fault", "silent-after:2"});
        SimClient c(sim.link());
        EXPECT_EQ(c.exchange("echo 0"), "echo 0\r\nOk\r\n");
        EXPECT_EQ(c.exchange("sync"), "D SYNC\r\nOk\r\n");
        EXPECT_EQ(c.exchange("sync", 0.5), "");
        c.close_port();
        sim.stop();
        EXPECT_EQ(sim.summary().commands, 3);
        EXPECT_EQ(sim.summary().unanswered, 1);
        EXPECT_TRUE(contains(sim.log(), "< sync  (not answered: fault)"));
    }
    {
        LedSim sim({"--fault", "delay:300"});
        SimClient c(sim.link());
        c.send("echo 0\r");
        EXPECT_EQ(c.read_until("\r\n"), "echo 0\r\n"); // the echo is not late
        auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(c.read_until("Ok\r\n"), "Ok\r\n");
        EXPECT_GT(seconds_since(t0), 0.2);
    }
    {
        LedSim sim({"--fault", "split"});
        SimClient c(sim.link());
        c.exchange("echo 0");
        auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(c.exchange("rom_check"), "D exist:1 size:256\r\nOk\r\n");
        EXPECT_GT(seconds_since(t0), 0.015); // 24 bytes, 1 ms apart
    }
}

TEST(Ledsim, OnceEndsWhenTheFirstClientHasClosedThePort)
{
    LedSim sim({"--once"});
    EXPECT_TRUE(sim.running());
    {
        SimClient c(sim.link());
        EXPECT_EQ(c.exchange("sync"), "sync\r\nD SYNC\r\nOk\r\n");
    }
    EXPECT_EQ(sim.wait(5), 0);
    EXPECT_EQ(sim.summary().commands, 1);
    EXPECT_TRUE(contains(sim.log(), "client closed the port"));
    struct stat st;
    EXPECT_NE(lstat(sim.link().c_str(), &st), 0); // the link is gone
}

TEST(Ledsim, BadOptionsAndFilesEndWithAMessage)
{
    testutil::ScratchDir dir;
    std::string bad_rom = dir.write("bad-rom.txt", "something else\n");
    struct Case {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--buffer", "0"}, "--buffer needs a number"},
        {{"--baud", "fast"}, "--baud needs a number"},
        {{"--fault", "loud"}, "unknown fault \"loud\""},
        {{"--fault", "delay"}, "use delay:MS"},
        {{"--eeprom", bad_rom}, "eeprom file \"" + bad_rom + "\" line 1"},
        {{"--eeprom", bad_rom, "--eeprom-kbit", "0"}, "--eeprom needs an EEPROM"},
        {{"--log", dir.file("no/such/dir/log")}, "cannot write"},
        {{"extra"}, "unexpected argument \"extra\""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        testutil::RunOptions opt;
        opt.cwd = dir.path();
        opt.timeout_s = 10;
        testutil::RunResult r = testutil::run_program(LEDSIM_BIN, c.args, opt);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(contains(r.err, c.message)) << r.err;
    }
}
