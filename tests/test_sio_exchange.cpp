// The command exchange against a scripted peer on a pseudo-terminal, and
// the handshake against ledsim. The receive buffer of sio_gets lives for
// the whole process, so every test leaves it empty (drain()); tests that
// end the process run in a forked child.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "ledsim_harness.h"
#include "pty_peer.h"
#include "sio.h"

using testutil::PtyPeer;
using testutil::seconds_since;

namespace {

class Exchange : public testing::Test {
protected:
    void SetUp() override
    {
        sio_init(&link);
        link.tty_name = peer.slave().c_str();
        sio_open(&link);
    }
    void TearDown() override
    {
        if (peer.master() >= 0)
            drain();
        sio_close(&link);
    }

    // Empties the module-wide receive buffer: whatever it holds comes out in
    // front of a marker line.
    void drain()
    {
        peer.send("#drained\n");
        char line[128];
        std::string got;
        while (sio_gets(&link, line, sizeof line) != nullptr) {
            got = line;
            if (got.size() >= 9 && got.compare(got.size() - 9, 9, "#drained\n") == 0)
                return;
        }
        ADD_FAILURE() << "receive buffer did not drain";
    }

    std::string gets(int buflen = 128)
    {
        std::vector<char> buf((size_t)buflen);
        char *r = sio_gets(&link, buf.data(), buflen);
        return r == nullptr ? "<null>" : std::string(r);
    }

    PtyPeer peer;
    sio_t link;
};

} // namespace

TEST_F(Exchange, GetsDeliversLinesAndPiecesAsTheyAreHeld)
{
    std::string x299(299, 'x');
    std::string y254(254, 'y');
    struct Case {
        const char *what;
        std::string bytes;
        int buflen;
        std::vector<std::string> pieces;
    } cases[] = {
        {"two lines in one read", "D 5\r\nOk\r\n", 128, {"D 5\r\n", "Ok\r\n"}},
        {"300-byte line", x299 + "\n", 128, {std::string(127, 'x'), std::string(127, 'x'), std::string(45, 'x') + "\n"}},
        {"254 bytes, no line feed", y254, 128, {std::string(127, 'y'), std::string(127, 'y')}},
        {"small buffer", "abcdef\n", 4, {"abc", "def", "\n"}},
        {"empty line", "\nOk\n", 128, {"\n", "Ok\n"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        peer.send(c.bytes);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        for (const std::string &p : c.pieces)
            EXPECT_EQ(gets(c.buflen), p);
    }
}

TEST_F(Exchange, HeldLinesAndFullPiecesAreServedWithoutARead)
{
    // After the first delivery the peer hangs up: any further read would
    // fail, so what follows can only come from the held bytes.
    struct Case {
        const char *what;
        std::string bytes;
        std::vector<std::string> pieces;
    } cases[] = {
        {"held lines", "D 1\r\nD 2\r\nOk\r\n", {"D 1\r\n", "D 2\r\n", "Ok\r\n"}},
        {"127 held bytes", std::string(254, 'z'), {std::string(127, 'z'), std::string(127, 'z')}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        auto run = [&] {
            peer.send(c.bytes);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            bool ok = gets() == c.pieces[0];
            peer.hang_up();
            for (size_t i = 1; i < c.pieces.size(); i++)
                ok = ok && gets() == c.pieces[i];
            exit(ok ? 0 : 2);
        };
        EXPECT_EXIT(run(), testing::ExitedWithCode(0), "");
    }
}

TEST_F(Exchange, CmdReturnsTheLastDataLineOfTheReply)
{
    struct Case {
        const char *what;
        std::string reply;
        std::string result;
    } cases[] = {
        {"data line", "D 120\r\nOk\r\n", "D 120\r\n"},
        {"second of two", "D 1\r\nD 2\r\nOk\r\n", "D 2\r\n"},
        {"none", "Ok\r\n", ""},
        {"D without blank", "D\r\nDX 4\r\nOk\r\n", ""},
        {"Ok with more text ends", "D 7\r\nOkay\r\n", "D 7\r\n"},
        {"E and V never end", "E Ok\r\nVOk\r\nD 3\r\nOk\r\n", "D 3\r\n"},
        {"echo, blanks and pieces ignored", "sc_mode\r\n Ok\r\n" + std::string(200, 'q') + "\nD 0\r\nOk\r\n", "D 0\r\n"},
        {"reply with CR only line ends", "D 5\r\r\nOk\n", "D 5\r\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        peer.send(c.reply);
        EXPECT_EQ(std::string(sio_cmd(&link, "sc_mode")), c.result);
        EXPECT_EQ(peer.received(), "sc_mode\r");
    }
}

TEST_F(Exchange, CmdSendsTheFormattedTextAndACarriageReturn)
{
    peer.send("Ok\r\nOk\r\n");
    sio_cmd(&link, "set cmodule %d\n", 4);
    EXPECT_EQ(peer.received(), "set cmodule 4\n\r");
    sio_cmd(&link, "sc_data 0 12 ffff");
    EXPECT_EQ(peer.received(), "sc_data 0 12 ffff\r");
}

TEST_F(Exchange, ALineLeftAfterOkBelongsToTheNextExchange)
{
    peer.send("D 5\r\nOk\r\nD 9\r\n");
    EXPECT_EQ(std::string(sio_cmd(&link, "sc_data")), "D 5\r\n");
    peer.send("Ok\r\n");
    EXPECT_EQ(std::string(sio_cmd(&link, "sc_mode")), "D 9\r\n");
    // ... unless a later data line of that reply replaces it.
    peer.send("Ok\r\nD 1\r\n");
    sio_cmd(&link, "sc_end");
    peer.send("D 2\r\nOk\r\n");
    EXPECT_EQ(std::string(sio_cmd(&link, "sc_mode")), "D 2\r\n");
}

TEST_F(Exchange, ReplyArrivingInDribsIsAssembled)
{
    peer.send_later({{30, "D 1"}, {30, "6\r"}, {300, "\n"}, {30, "O"}, {30, "k\r\n"}});
    EXPECT_EQ(std::string(sio_cmd(&link, "sc_data")), "D 16\r\n");
    peer.join();
}

TEST_F(Exchange, TraceShowsCommandsAndBoardMessagesAtLevelTwo)
{
    auto run = [this](int level) {
        link.f_v = level;
        peer.send("E buffer overflow\r\nV PIXMON\r\nD 0\r\nOk\r\n");
        sio_cmd(&link, "sc_data %x", 0x12);
        exit(0);
    };
    EXPECT_EXIT(run(2), testing::ExitedWithCode(0),
                "^cmd:sc_data 12\nH8 mes:E buffer overflow\r\nH8 mes:V PIXMON\r\n$");
    EXPECT_EXIT(run(1), testing::ExitedWithCode(0), "^$");
    peer.received(); // the children's commands
}

TEST_F(Exchange, SilentPeerTimesOutAfterAboutASecond)
{
    // A 150-character command goes out cut to 127; the message shows those.
    std::string long_cmd(150, 'c');
    std::string sent(127, 'c');
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EXIT(sio_cmd(&link, "%s", long_cmd.c_str()), testing::ExitedWithCode(1),
                "^response timeout to \"" + sent + "\"\n\n$");
    double took = seconds_since(t0);
    EXPECT_GT(took, 0.8);
    EXPECT_LT(took, 5.0);
    EXPECT_EQ(peer.received(), sent + "\r");
}

TEST_F(Exchange, TimeoutAlsoAfterSomeReplyLines)
{
    peer.send("D 3\r\nE busy\r\n");
    EXPECT_EXIT(sio_cmd(&link, "sc_mode"), testing::ExitedWithCode(1), "^response timeout to \"sc_mode\"\n\n$");
    peer.received();
}

TEST_F(Exchange, ABoardThatKeepsSendingHoldsTheWaitOpen)
{
    // Bytes every 300 ms, a line only after 1.5 s: each arrival restarts the
    // one-second idle count.
    peer.send_later({{300, "D"}, {300, " "}, {300, "4"}, {300, "\r"}, {300, "\n"}, {10, "Ok\n"}});
    EXPECT_EQ(gets(), "D 4\r\n");
    EXPECT_EQ(gets(), "Ok\n");
    peer.join();
}

TEST_F(Exchange, VanishedPeerIsAnIoError)
{
    peer.hang_up();
    EXPECT_EXIT(sio_cmd(&link, "sc_mode"), testing::ExitedWithCode(1), "^sio_gets: .+\nio error\n\n$");
    EXPECT_EXIT(sio_input_purge(&link), testing::ExitedWithCode(1), "^sio_input_purge:Error In sio_read\n$");
    unsigned char c;
    EXPECT_EXIT(sio_getc0(&link, &c), testing::ExitedWithCode(1), "^sio_getc0: error in sio_read\n\n$");
    EXPECT_EXIT(sio_putc(&link, 'x'), testing::ExitedWithCode(1), "^sio_putc: .+\nio error\n$");
}

TEST_F(Exchange, PurgeEndsAfterAQuietTenthOfASecondAndKeepsHeldBytes)
{
    peer.send("D 1\r\nD 2\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(gets(), "D 1\r\n"); // "D 2" is now held

    auto t0 = std::chrono::steady_clock::now();
    sio_input_purge(&link);
    double quiet = seconds_since(t0);
    EXPECT_GT(quiet, 0.08);
    EXPECT_LT(quiet, 2.0);

    // Noise every 50 ms for 400 ms keeps the purge going until it stops.
    peer.send_later({{0, "a"}, {50, "b"}, {50, "c"}, {50, "d"}, {50, "e"}, {50, "f"}, {50, "g"}, {50, "h"},
                     {50, "i"}});
    t0 = std::chrono::steady_clock::now();
    sio_input_purge(&link);
    double noisy = seconds_since(t0);
    peer.join();
    EXPECT_GT(noisy, 0.45);
    EXPECT_LT(noisy, 3.0);

    // The noise is gone; the held line is not.
    peer.send("Ok\r\n");
    EXPECT_EQ(gets(), "D 2\r\n");
    EXPECT_EQ(gets(), "Ok\r\n");
}

TEST_F(Exchange, SingleByteRoutines)
{
    unsigned char c = 0;
    EXPECT_EQ(sio_getc0(&link, &c), 0);
    peer.send("xyz");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(sio_getc0(&link, &c), 1);
    EXPECT_EQ(c, 'x'); // the rest of that read is dropped
    EXPECT_EQ(sio_getc0(&link, &c), 0);

    peer.send("\xe9");
    EXPECT_EQ(sio_getc(&link), 0xe9);
    EXPECT_EXIT(sio_getc(&link), testing::ExitedWithCode(1), "^sio_getc: timeout\n\n$");

    sio_putc(&link, 0x141);
    EXPECT_EQ(peer.received(), "A");
    peer.send("B");
    EXPECT_EXIT(sio_putc_e(&link, 'A'), testing::ExitedWithCode(1), "^sio_putc_e: transmit 41, recieve 42\n\n$");
    peer.received();
}

TEST_F(Exchange, SyncFailures)
{
    struct Case {
        const char *what;
        std::string reply;
        std::string message;
    } cases[] = {
        {"silent", "", "^connection with PIXMON failed.\n$"},
        {"sync line but no Ok", "E what\r\nD SYNTAX\r\n", "^PIXMON bad response.\n$"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        auto run = [&] {
            // The reply comes after the purge, as the board's would.
            peer.send_later({{300, c.reply}});
            sio_sync(&link);
        };
        EXPECT_EXIT(run(), testing::ExitedWithCode(1), c.message);
        peer.received();
    }
}

TEST(ExchangeWithLedsim, SyncAndEchoTest)
{
    testutil::LedSim sim;
    sio_t link;
    sio_init(&link);
    link.tty_name = sim.link().c_str();
    sio_open(&link);
    sio_putc_e(&link, 's'); // echo is on at power-up
    sio_putc(&link, '\r');
    sio_sync(&link);
    EXPECT_EQ(std::string(sio_cmd(&link, "sc_data 1 2")), "D 30\r\n");
    sio_close(&link);
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_NE(sim.log().find("< echo 0"), std::string::npos);
    EXPECT_NE(sim.log().find("> D SYNC"), std::string::npos);
}
