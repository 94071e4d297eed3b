// The port layer: exclusive open, the line settings, reads that never wait,
// writes that complete, and the failures of a port that is not there.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <chrono>
#include <string>
#include <thread>

#include "pty_peer.h"
#include "sio.h"
#include "testutil.h"

using testutil::PtyPeer;
using testutil::ScratchDir;

namespace {

sio_t link_to(const std::string &name)
{
    sio_t s;
    sio_init(&s);
    s.tty_name = name.c_str();
    return s;
}

struct termios slave_settings(const PtyPeer &peer)
{
    int fd = open(peer.slave().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    struct termios tio = {};
    tcgetattr(fd, &tio);
    close(fd);
    return tio;
}

} // namespace

TEST(SioOpen, FailuresAreFatalWithTheirMessages)
{
    ScratchDir dir;
    std::string missing = dir.file("no-such-tty");
    std::string regular = dir.write("plain-file", "not a terminal");
    PtyPeer peer;
    sio_t holder = link_to(peer.slave());
    sio_open(&holder); // this process holds the port; the child's open must fail

    struct Case {
        std::string name;
        int baud;
        std::string message;
    } cases[] = {
        {missing, 19200, "^tty port \"" + missing + "\" not found.\n\n$"},
        {regular, 19200, "^error in GetCommState\n$"},
        {peer.slave(), 19200, "^tty port \"" + peer.slave() + "\" not found.\n\n$"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sio_t s = link_to(c.name);
        s.tty_baud = c.baud;
        EXPECT_EXIT(sio_open(&s), testing::ExitedWithCode(1), c.message);
    }
    sio_close(&holder);

    // Once the holder has let go, the port opens again; a speed that the
    // line cannot run at is refused.
    sio_t again = link_to(peer.slave());
    again.tty_baud = 12345;
    EXPECT_EXIT(sio_open(&again), testing::ExitedWithCode(1), "^error in SetCommState\n$");
    again.tty_baud = 19200;
    sio_open(&again);
    EXPECT_GE(again.comHandle, 0);
    sio_close(&again);
}

TEST(SioOpen, SetsRaw8N2AtTheLinkSpeedAndKeepsFlowControl)
{
    for (bool flow : {false, true}) {
        SCOPED_TRACE(flow ? "flow control on" : "flow control off");
        PtyPeer peer;
        // Start from a cooked line with the wrong framing.
        int fd = open(peer.slave().c_str(), O_RDWR | O_NOCTTY);
        struct termios pre = {};
        tcgetattr(fd, &pre);
        pre.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
        pre.c_iflag |= ICRNL | INLCR;
        pre.c_oflag |= OPOST | ONLCR;
        pre.c_cflag = (pre.c_cflag & ~(tcflag_t)(CSIZE | CSTOPB)) | CS7 | PARENB;
        pre.c_iflag = flow ? (pre.c_iflag | IXON | IXOFF) : (pre.c_iflag & ~(tcflag_t)(IXON | IXOFF));
        pre.c_cflag = flow ? (pre.c_cflag | CRTSCTS) : (pre.c_cflag & ~(tcflag_t)CRTSCTS);
        cfsetspeed(&pre, B9600);
        tcsetattr(fd, TCSANOW, &pre);

        sio_t s = link_to(peer.slave());
        sio_open(&s);
        close(fd);
        struct termios tio = slave_settings(peer);
        EXPECT_EQ(cfgetispeed(&tio), (speed_t)B19200);
        EXPECT_EQ(cfgetospeed(&tio), (speed_t)B19200);
        EXPECT_EQ(tio.c_cflag & CSIZE, (tcflag_t)CS8);
        EXPECT_TRUE(tio.c_cflag & CSTOPB);
        EXPECT_FALSE(tio.c_cflag & PARENB);
        EXPECT_TRUE((tio.c_cflag & (CREAD | CLOCAL)) == (CREAD | CLOCAL));
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
        EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(tio.c_cc[VMIN], 0);
        EXPECT_EQ(tio.c_cc[VTIME], 0);
        EXPECT_EQ((tio.c_iflag & (IXON | IXOFF)) != 0, flow);
        EXPECT_EQ((tio.c_cflag & CRTSCTS) != 0, flow);

        // Bytes cross unchanged both ways: no CR/LF translation, no signals.
        const std::string out = "set cmodule 2\n\r";
        ASSERT_EQ(sio_write(&s, out.data(), (int)out.size()), (int)out.size());
        EXPECT_EQ(peer.received(), out);
        const std::string in = "D 5\r\n\x03\x1a\x7f";
        peer.send(in);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        char buf[64];
        int n = sio_read(&s, buf, sizeof buf);
        EXPECT_EQ(std::string(buf, n > 0 ? (size_t)n : 0), in);
        sio_close(&s);
    }
}

TEST(SioOpen, DropsWhatAnEarlierUserOfThePortLeftUnread)
{
    PtyPeer peer;
    int fd = open(peer.slave().c_str(), O_RDWR | O_NOCTTY);
    peer.send("Ok\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    sio_t s = link_to(peer.slave());
    sio_open(&s);
    close(fd);
    char buf[16];
    EXPECT_EQ(sio_read(&s, buf, sizeof buf), 0);
    sio_close(&s);
}

TEST(SioRead, ReturnsZeroAtOnceAndMinusOneAfterAHangUp)
{
    PtyPeer peer;
    sio_t s = link_to(peer.slave());
    sio_open(&s);
    char buf[16];
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 50; i++)
        ASSERT_EQ(sio_read(&s, buf, sizeof buf), 0);
    EXPECT_LT(testutil::seconds_since(t0), 0.5); // 50 reads, not 50 waits

    peer.hang_up();
    EXPECT_EQ(sio_read(&s, buf, sizeof buf), -1);
    EXPECT_EQ(sio_write(&s, "x", 1), -1);
    sio_close(&s);
}

TEST(SioWrite, CompletesABlockLargerThanTheDeviceBuffers)
{
    PtyPeer peer;
    sio_t s = link_to(peer.slave());
    sio_open(&s);
    std::string block;
    for (int i = 0; i < 200000; i++)
        block += (char)('a' + i % 26);
    std::string got;
    std::thread reader([&] {
        while (got.size() < block.size()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            got += peer.received(50);
        }
    });
    EXPECT_EQ(sio_write(&s, block.data(), (int)block.size()), (int)block.size());
    reader.join();
    EXPECT_TRUE(got == block);
    sio_close(&s);
}

TEST(SioClose, ClosesOnceAndThenDoesNothing)
{
    sio_t never;
    sio_init(&never);
    sio_close(&never);
    EXPECT_EQ(never.comHandle, -1);

    PtyPeer peer;
    sio_t s = link_to(peer.slave());
    sio_open(&s);
    int fd = s.comHandle;
    // A pseudo-terminal has no modem lines: changing them is harmless.
    for (int v : {0, 1, 2, -1}) {
        sio_dtr_set(&s, v);
        sio_rts_set(&s, v);
    }
    sio_close(&s);
    EXPECT_EQ(s.comHandle, -1);
    EXPECT_EQ(fcntl(fd, F_GETFD), -1); // the descriptor is gone
    sio_close(&s);
    EXPECT_EQ(s.comHandle, -1);
}
