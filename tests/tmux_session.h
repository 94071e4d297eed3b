// A tmux server of a test's own, on a private socket in a scratch folder,
// so a test can run a program in a terminal of a given size without one of
// its own (CI has none) and read the screen back. The server is killed
// when the object goes.
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "testutil.h"

namespace testutil {

inline std::string find_program(const std::string &name)
{
    const char *path = getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string p = dirs.substr(start, end - start) + "/" + name;
        if (access(p.c_str(), X_OK) == 0)
            return p;
        start = end + 1;
    }
    return "";
}

class TmuxSession {
public:
    // Starts `command` (a shell command) in a detached session of
    // `cols` x `rows` cells.
    TmuxSession(const std::string &command, int cols, int rows) : tmux_(find_program("tmux"))
    {
        if (tmux_.empty())
            throw std::runtime_error("tmux is not installed");
        RunResult r = tmux({"new-session", "-d", "-x", std::to_string(cols), "-y", std::to_string(rows), command});
        if (r.status != 0)
            throw std::runtime_error("tmux did not start: " + r.err);
    }
    ~TmuxSession() { tmux({"kill-server"}); }
    TmuxSession(const TmuxSession &) = delete;
    TmuxSession &operator=(const TmuxSession &) = delete;

    RunResult tmux(const std::vector<std::string> &args)
    {
        std::vector<std::string> all = {"-u", "-f", "/dev/null", "-S", dir_.file("socket")};
        all.insert(all.end(), args.begin(), args.end());
        RunOptions opt;
        opt.cwd = dir_.path();
        opt.timeout_s = 20;
        opt.env = {{"LANG", "C.UTF-8"}, {"LC_ALL", "C.UTF-8"}, {"TERM", "xterm-256color"}};
        return run_program(tmux_, all, opt);
    }

    // The pane's text; with `escapes`, with its colours as SGR sequences.
    std::string capture(bool escapes = false)
    {
        std::vector<std::string> args = {"capture-pane", "-p"};
        if (escapes)
            args.push_back("-e");
        return tmux(args).out;
    }

    // A tmux format, such as "#{cursor_flag}", for the pane.
    std::string display(const std::string &format)
    {
        std::string out = tmux({"display-message", "-p", format}).out;
        while (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out;
    }

    // Waits until the pane's text contains `text`; returns the last capture.
    std::string wait_for(const std::string &text, double timeout_s = 10)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_s);
        std::string screen;
        do {
            screen = capture();
            if (screen.find(text) != std::string::npos)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } while (std::chrono::steady_clock::now() < deadline);
        return screen;
    }

    const ScratchDir &dir() const { return dir_; }

private:
    ScratchDir dir_;
    std::string tmux_;
};

} // namespace testutil
