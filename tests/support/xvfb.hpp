// A private X server (Xvfb) on a free display number, and a window manager
// on it, for tests and benchmarks that need a display. Each process is
// stopped when its owner is destroyed, and killed with the test process if
// that dies first. POSIX only: the X protocol is left to the user.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace test_support {

// True when `program` is an executable file in one of PATH's directories.
inline bool program_installed(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = dirs.find(':', start);
        const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return false;
}

// A child process: started with its output silenced except on `keep_fd`,
// stopped with SIGTERM (then SIGKILL) by stop() or the destructor.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { stop(); }

    // `display` non-empty: the child's DISPLAY. False when fork fails.
    bool start(const std::vector<std::string>& argv, const std::string& display = "", int keep_fd = -1) {
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ < 0) return false;
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) ::_exit(127);
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            for (int fd = 3; fd < 1024; ++fd) {
                if (fd != keep_fd) ::close(fd);
            }
            if (!display.empty()) ::setenv("DISPLAY", display.c_str(), 1);
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
        return true;
    }

    bool running() const { return pid_ > 0; }

    void stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            ::usleep(2000);
        }
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

struct XvfbOptions {
    int width = 1024, height = 768, depth = 24;
    bool shared_memory = true;  // false: the server lacks MIT-SHM, as a remote one would
};

// Starts Xvfb on a display number it picks itself (-displayfd), so parallel
// test programs never collide. The root window shows the grey weave, so a
// window that does not cover what it should is seen.
class Xvfb {
public:
    static bool installed() { return program_installed("Xvfb"); }

    explicit Xvfb(const XvfbOptions& options = {}) {
        int fds[2];
        if (::pipe(fds) != 0) {
            error_ = "pipe failed";
            return;
        }
        std::vector<std::string> argv = {"Xvfb",   "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                         std::to_string(options.width) + "x" + std::to_string(options.height) + "x" +
                                             std::to_string(options.depth),
                                         "-nolisten", "tcp", "-noreset", "-retro"};
        if (!options.shared_memory) {
            argv.push_back("-extension");
            argv.push_back("MIT-SHM");
        }
        const bool started = server_.start(argv, "", fds[1]);
        ::close(fds[1]);
        if (!started) {
            ::close(fds[0]);
            error_ = "cannot start Xvfb";
            return;
        }
        std::string number;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{fds[0], POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char c = 0;
            if (::read(fds[0], &c, 1) != 1) break;
            if (c == '\n') break;
            number += c;
        }
        ::close(fds[0]);
        if (number.empty()) {
            error_ = "Xvfb did not report a display number";
            server_.stop();
            return;
        }
        display_ = ":" + number;
    }

    bool ok() const { return !display_.empty(); }
    const std::string& display() const { return display_; }
    const std::string& error() const { return error_; }

    // Starts a window manager on this server; the caller waits until it
    // has taken the screen (it sets _NET_SUPPORTING_WM_CHECK on the root).
    bool start_window_manager() {
        if (!program_installed("matchbox-window-manager")) return false;
        return window_manager_.start({"matchbox-window-manager", "-use_titlebar", "no"}, display_);
    }
    void stop_window_manager() { window_manager_.stop(); }

    ~Xvfb() {
        window_manager_.stop();
        server_.stop();
    }

private:
    ChildProcess server_;
    ChildProcess window_manager_;
    std::string display_;
    std::string error_;
};

}  // namespace test_support
