// A scripted board on a pseudo-terminal: a thread reads the host's commands
// (the bytes up to each carriage return), records them and answers each with
// the lines that the test's script gives, then "Ok".
#pragma once

#include <poll.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pty_peer.h"

namespace testutil {

class ScriptedBoard {
public:
    // `answer` gets each command text (without its carriage return, line
    // feeds kept) and returns the reply lines to send before "Ok\r\n".
    using Answer = std::function<std::string(const std::string &cmd)>;

    explicit ScriptedBoard(Answer answer = [](const std::string &) { return std::string(); })
        : answer_(std::move(answer))
    {
        worker_ = std::thread([this] { serve(); });
    }
    ~ScriptedBoard()
    {
        stop_ = true;
        worker_.join();
    }
    ScriptedBoard(const ScriptedBoard &) = delete;
    ScriptedBoard &operator=(const ScriptedBoard &) = delete;

    const std::string &port() const { return peer_.slave(); }

    void set_answer(Answer answer)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        answer_ = std::move(answer);
    }
    std::vector<std::string> commands()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return commands_;
    }
    // Every byte the host sent, carriage returns included.
    std::string raw()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return raw_;
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.clear();
        raw_.clear();
    }

private:
    void serve()
    {
        std::string pending;
        while (!stop_) {
            struct pollfd p = {peer_.master(), POLLIN, 0};
            if (poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN))
                continue;
            char buf[4096];
            ssize_t n = read(peer_.master(), buf, sizeof buf);
            if (n <= 0)
                continue;
            std::string reply;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                raw_.append(buf, (size_t)n);
                pending.append(buf, (size_t)n);
                size_t cr;
                while ((cr = pending.find('\r')) != std::string::npos) {
                    std::string cmd = pending.substr(0, cr);
                    pending.erase(0, cr + 1);
                    commands_.push_back(cmd);
                    reply += answer_(cmd) + "Ok\r\n";
                }
            }
            if (!reply.empty())
                peer_.send(reply);
        }
    }

    PtyPeer peer_;
    Answer answer_;
    std::mutex mutex_;
    std::vector<std::string> commands_;
    std::string raw_;
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

} // namespace testutil
