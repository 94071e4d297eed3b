// Runs ledsim, the board simulator, for a test: on a pseudo-terminal of its
// own, with its link, log and column file in a scratch folder.
//
//     LedSim sim({"--buffer", "64"});
//     run ledtick with "-t", sim.link() ...
//     sim.stop();                       // SIGTERM; waits, so the files are written
//     sim.log(); sim.columns(); sim.summary().dropped;
//
// SimClient is a raw client of the port for tests that want the exact bytes.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "testutil.h"

#ifndef LEDSIM_BIN
#error "LEDSIM_BIN must name the ledsim program"
#endif

namespace testutil {

struct LedSimSummary {
    long commands = -1;
    long received = -1;
    long dropped = -1;
    long unanswered = -1;
};

class LedSim {
public:
    // Starts ledsim with `options` and waits until its port is ready. The
    // link, log and column file go into dir() unless `options` names them.
    explicit LedSim(std::vector<std::string> options = {}) : options_(std::move(options))
    {
        link_ = option_value("--link", dir_.file("port"));
        log_ = option_value("--log", dir_.file("ledsim.log"));
        columns_ = option_value("--columns", dir_.file("columns.txt"));
        start();
    }
    ~LedSim()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    LedSim(const LedSim &) = delete;
    LedSim &operator=(const LedSim &) = delete;

    // The symlink to the board's port: the name to give ledtick's -t.
    const std::string &link() const { return link_; }
    // The pseudo-terminal itself, from the "ledsim: board on" line.
    const std::string &port() const { return port_; }
    const ScratchDir &dir() const { return dir_; }
    pid_t pid() const { return pid_; }

    bool running()
    {
        if (pid_ <= 0)
            return false;
        int st;
        if (waitpid(pid_, &st, WNOHANG) == pid_) {
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            pid_ = -1;
            return false;
        }
        return true;
    }

    // Ends ledsim with SIGTERM (it writes its files first) and returns its
    // exit status; -1 when it did not end within `timeout_s`.
    int stop(double timeout_s = 10)
    {
        if (pid_ > 0)
            kill(pid_, SIGTERM);
        return wait(timeout_s);
    }

    // Waits for ledsim to end on its own (--once); -1 on time-out.
    int wait(double timeout_s = 10)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_s);
        while (running()) {
            if (std::chrono::steady_clock::now() > deadline)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return status_;
    }

    std::string log() const { return read_file(log_); }
    std::string columns() const { return read_file(columns_); }
    std::string err() const { return read_file(err_path_); }
    const std::string &log_path() const { return log_; }

    // The counts of ledsim's summary line on standard error (after stop()).
    LedSimSummary summary() const
    {
        LedSimSummary s;
        std::smatch m;
        std::string e = err();
        static const std::regex re("(\\d+) commands, (\\d+) column words received, (\\d+) words dropped, "
                                   "(\\d+) commands not answered");
        if (std::regex_search(e, m, re)) {
            s.commands = std::stol(m[1]);
            s.received = std::stol(m[2]);
            s.dropped = std::stol(m[3]);
            s.unanswered = std::stol(m[4]);
        }
        return s;
    }

private:
    std::string option_value(const std::string &name, const std::string &fallback)
    {
        for (size_t i = 0; i + 1 < options_.size(); i++)
            if (options_[i] == name)
                return options_[i + 1];
        options_.push_back(name);
        options_.push_back(fallback);
        return fallback;
    }

    void start()
    {
        err_path_ = dir_.file("ledsim.err");
        pid_ = fork();
        if (pid_ < 0)
            throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            int in = open("/dev/null", O_RDONLY);
            int err = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (in < 0 || err < 0 || chdir(dir_.path().c_str()) != 0)
                _exit(127);
            dup2(in, 0);
            dup2(err, 1);
            dup2(err, 2);
            setenv("HOME", dir_.path().c_str(), 1);
            std::vector<char *> argv;
            argv.push_back(const_cast<char *>(LEDSIM_BIN));
            for (auto &a : options_)
                argv.push_back(const_cast<char *>(a.c_str()));
            argv.push_back(nullptr);
            execv(LEDSIM_BIN, argv.data());
            _exit(127);
        }
        static const std::regex ready("ledsim: board on (\\S+)\n");
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            std::smatch m;
            std::string e = err();
            struct stat st;
            if (std::regex_search(e, m, ready) && lstat(link_.c_str(), &st) == 0) {
                port_ = m[1];
                return;
            }
            if (!running() || std::chrono::steady_clock::now() > deadline)
                throw std::runtime_error("ledsim did not start: " + err());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    ScratchDir dir_;
    std::vector<std::string> options_;
    std::string link_, log_, columns_, err_path_, port_;
    pid_t pid_ = -1;
    int status_ = -1;
};

// A raw client of a port: sends commands and reads replies byte for byte.
class SimClient {
public:
    explicit SimClient(const std::string &port)
    {
        fd_ = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0)
            throw std::runtime_error("cannot open " + port);
        struct termios tio;
        tcgetattr(fd_, &tio);
        cfmakeraw(&tio);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        tcsetattr(fd_, TCSANOW, &tio);
        tcflush(fd_, TCIFLUSH);
    }
    ~SimClient() { close_port(); }
    SimClient(const SimClient &) = delete;
    SimClient &operator=(const SimClient &) = delete;

    void close_port()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    void send(const std::string &bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += (size_t)n;
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                throw std::runtime_error("write to the port failed");
        }
    }

    // Reads until the bytes end with `end` or `timeout_s` has passed; returns
    // what came.
    std::string read_until(const std::string &end, double timeout_s = 5)
    {
        std::string got;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_s);
        while (got.size() < end.size() || got.compare(got.size() - end.size(), end.size(), end) != 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0)
                break;
            struct pollfd p = {fd_, POLLIN, 0};
            poll(&p, 1, (int)left);
            char buf[4096];
            ssize_t n = read(fd_, buf, sizeof buf);
            if (n > 0)
                got.append(buf, (size_t)n);
        }
        return got;
    }

    // One command: its text and a carriage return out, the reply up to and
    // including its "Ok" line back (empty or partial on time-out).
    std::string exchange(const std::string &cmd, double timeout_s = 5)
    {
        send(cmd + "\r");
        return read_until("Ok\r\n", timeout_s);
    }

private:
    int fd_ = -1;
};

} // namespace testutil
