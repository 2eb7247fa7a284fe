#pragma once
// Test helpers: run the real zento-board (from ZENTO_BIN_DIR) and talk to its port.
#include "test_paths.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <span>
#include <spawn.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace board_test {

using zento_test::bin_dir;

inline std::string board_path() {
    return bin_dir() + "/zento-board";
}

using zento_test::read_bytes;
using zento_test::TempDir;
using zento_test::write_file;

inline bool exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// A child process with its standard output and error on pipes; killed if still running when
// the object goes away, so no test leaves a process behind.
class Child {
  public:
    explicit Child(const std::vector<std::string>& args) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_adddup2(&fa, err[1], 2);
        // The child starts with no signal blocked and default dispositions.
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &all);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid_, argv[0], &fa, &attr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        posix_spawnattr_destroy(&attr);
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
        if (rc != 0) {
            pid_ = -1;
            throw std::runtime_error(std::string("cannot start ") + args[0] + ": " +
                                     std::strerror(rc));
        }
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            int st = 0;
            waitpid(pid_, &st, 0);
        }
        ::close(out_);
        ::close(err_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }

    // The first line of standard output (without the newline), or nothing within the timeout.
    std::optional<std::string> first_line(int timeout_ms = 20000) {
        std::string line;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char c;
            const ssize_t n = ::read(out_, &c, 1);
            if (n <= 0) return std::nullopt;
            if (c == '\n') return line;
            line += c;
        }
        return std::nullopt;
    }

    // Everything on standard output until it closes (the child ends).
    std::string all_stdout(int timeout_ms = 60000) { return drain(out_, timeout_ms); }

    void signal(int sig) { ::kill(pid_, sig); }

    // Exit status, or -1 if it did not end in time (then it is killed) or ended by a signal.
    int wait(int timeout_ms = 20000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            err_text_ += drain(err_, 0);
            int st = 0;
            const pid_t r = waitpid(pid_, &st, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                err_text_ += drain(err_, 1000);
                return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
            }
            if (std::chrono::steady_clock::now() > end) {
                ::kill(pid_, SIGKILL);
                waitpid(pid_, &st, 0);
                pid_ = -1;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    // Standard error so far (complete after wait()).
    const std::string& stderr_text() {
        err_text_ += drain(err_, 0);
        return err_text_;
    }

    // Waits until standard error shows `text`; false if it does not within the timeout.
    bool stderr_shows(const std::string& text, int timeout_ms = 30000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (err_text_.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > end) return false;
            err_text_ += drain(err_, 100);
        }
        return true;
    }

  private:
    static std::string drain(int fd, int timeout_ms) {
        std::string s;
        char buf[4096];
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, int(std::max<long>(0, left.count()))) <= 0) break;
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) break;
            s.append(buf, std::size_t(n));
        }
        return s;
    }

    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    std::string err_text_;
};

// Runs a command to its end; returns the exit status and fills its outputs.
inline int run(const std::vector<std::string>& args, std::string* out = nullptr,
               std::string* err = nullptr) {
    Child c(args);
    const std::string o = c.all_stdout();
    const int rc = c.wait(60000);
    if (out) *out = o;
    if (err) *err = c.stderr_text();
    return rc;
}

// The program side of the virtual port: opened like a serial device, raw, non-blocking.
class PortClient {
  public:
    explicit PortClient(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return;
        termios tio{};
        tcgetattr(fd_, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd_, TCSANOW, &tio);
    }
    ~PortClient() {
        if (fd_ >= 0) ::close(fd_);
    }
    PortClient(const PortClient&) = delete;
    PortClient& operator=(const PortClient&) = delete;

    bool ok() const { return fd_ >= 0; }

    // Waits up to timeout_ms for bytes and appends what arrived; false when nothing came.
    bool read_into(std::vector<std::uint8_t>& into, int timeout_ms) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, timeout_ms) <= 0) return false;
        std::uint8_t buf[4096];
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0) return false;
        into.insert(into.end(), buf, buf + n);
        return true;
    }

    bool send(std::span<const std::uint8_t> bytes) {
        return ::write(fd_, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    }

    // Bytes waiting to be read.
    int waiting() const {
        int n = 0;
        ioctl(fd_, FIONREAD, &n);
        return n;
    }

  private:
    int fd_ = -1;
};

} // namespace board_test
