// Helpers shared by the test suites: scratch folders and running a program
// as a subprocess with its HOME and working directory under our control.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testutil {

// A fresh folder under the temporary directory, removed with its content.
class ScratchDir {
public:
    ScratchDir()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "ledtick-test-XXXXXX").string();
        if (mkdtemp(tmpl.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

    // Writes `content` to `name` inside the folder and returns its path.
    std::string write(const std::string &name, const std::string &content) const
    {
        std::string p = file(name);
        std::filesystem::create_directories(std::filesystem::path(p).parent_path());
        std::ofstream out(p, std::ios::binary);
        out << content;
        return p;
    }

private:
    std::string path_;
};

inline std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct RunResult {
    int status = -1;        // exit status, or 128 + signal
    bool timed_out = false; // killed after the time limit
    std::string out;        // standard output
    std::string err;        // standard error
};

struct RunOptions {
    std::string cwd;                 // working directory (required)
    std::string home;                // HOME; empty with unset_home false means cwd
    bool unset_home = false;         // run without HOME
    bool empty_home = false;         // HOME set to the empty string
    std::string stdin_data;          // bytes on standard input
    std::string stdin_path;          // or a file to read standard input from
    double timeout_s = 60;           // killed after this
    std::vector<std::pair<std::string, std::string>> env; // extra variables
};

// Runs `path` with `args`; standard output and error go to files in the
// working directory's parent scratch area and are read back afterwards.
inline RunResult run_program(const std::string &path, const std::vector<std::string> &args,
                             const RunOptions &opt)
{
    ScratchDir io;
    std::string in_path = opt.stdin_path.empty() ? io.write("stdin", opt.stdin_data) : opt.stdin_path;
    std::string out_path = io.file("stdout");
    std::string err_path = io.file("stderr");

    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        int in = open(in_path.c_str(), O_RDONLY);
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || chdir(opt.cwd.c_str()) != 0)
            _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (opt.unset_home)
            unsetenv("HOME");
        else if (opt.empty_home)
            setenv("HOME", "", 1);
        else
            setenv("HOME", (opt.home.empty() ? opt.cwd : opt.home).c_str(), 1);
        for (const auto &kv : opt.env)
            setenv(kv.first.c_str(), kv.second.c_str(), 1);
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(path.c_str()));
        for (const auto &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }

    RunResult r;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(opt.timeout_s);
    int wstatus = 0;
    while (waitpid(pid, &wstatus, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &wstatus, 0);
            r.timed_out = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    r.out = read_file(out_path);
    r.err = read_file(err_path);
    return r;
}

} // namespace testutil
