// A scripted peer on a pseudo-terminal: the test plays the board on the
// master side while the code under test opens the slave as its port.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace testutil {

class PtyPeer {
public:
    PtyPeer()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            throw std::runtime_error("no pseudo-terminal");
        slave_ = ptsname(master_);
        struct termios tio;
        tcgetattr(master_, &tio);
        cfmakeraw(&tio);
        tcsetattr(master_, TCSANOW, &tio);
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPeer()
    {
        join();
        hang_up();
    }
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    const std::string &slave() const { return slave_; }
    int master() const { return master_; }

    // The board vanishes: the host's next read or write fails.
    void hang_up()
    {
        if (master_ >= 0)
            close(master_);
        master_ = -1;
    }

    void send(const std::string &bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += (size_t)n;
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                throw std::runtime_error("peer write failed");
        }
    }

    // Everything the host has sent so far (waits `settle_ms` for stragglers).
    std::string received(int settle_ms = 20)
    {
        std::string got;
        for (;;) {
            struct pollfd p = {master_, POLLIN, 0};
            if (poll(&p, 1, settle_ms) <= 0 || !(p.revents & POLLIN))
                return got;
            char buf[4096];
            ssize_t n = read(master_, buf, sizeof buf);
            if (n <= 0)
                return got;
            got.append(buf, (size_t)n);
        }
    }

    // Sends each piece after its delay, from a thread, while the test
    // thread waits inside the code under test.
    void send_later(std::vector<std::pair<int, std::string>> script)
    {
        join();
        worker_ = std::thread([this, script] {
            for (const auto &step : script) {
                std::this_thread::sleep_for(std::chrono::milliseconds(step.first));
                send(step.second);
            }
        });
    }

    void join()
    {
        if (worker_.joinable())
            worker_.join();
    }

private:
    int master_ = -1;
    std::string slave_;
    std::thread worker_;
};

inline double seconds_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace testutil
