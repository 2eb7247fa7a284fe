#pragma once
// The virtual serial port: a pseudo-terminal whose slave side (the device path) is what a
// program opens as its serial port. POSIX only.
//
// The slave side stays open here too, so the pty never hangs up between readers and its raw
// settings survive every reconnect. Because of that, bytes nobody reads wait in the slave's
// input queue; PortWriter keeps that queue short so a new reader gets fresh frames.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zento::board {

class PtyPort {
  public:
    // Creates the pty in raw mode (no byte translated, no echo); throws std::runtime_error
    // naming the step that failed and the system's reason.
    PtyPort();
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    const std::string& path() const { return path_; }
    int master_fd() const { return master_; }

    // Bytes written that no reader has taken yet (as far as the line discipline has taken
    // them in: bytes written a moment ago may not count yet).
    std::size_t backlog() const;
    // Throws away the bytes no reader has taken.
    void discard_backlog();
    // Non-blocking write: the number of bytes taken (0 when the port is full).
    std::size_t write_some(std::span<const std::uint8_t> bytes);
    // Non-blocking read of what a reader wrote to the port (empty when nothing waits).
    std::size_t read_some(std::span<std::uint8_t> into);

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

// Sends one tick's bytes at a time: each tick goes out whole or is dropped whole. A tick that
// the port took only in part is completed before anything new is sent. When more than
// `backlog_limit` bytes wait unread (nobody reading, or a reader that stopped), the waiting
// bytes are discarded, so the next reader starts with the current frames.
class PortWriter {
  public:
    PortWriter(PtyPort& port, std::size_t backlog_limit) : port_(port), limit_(backlog_limit) {}

    // True when the bytes went out (in full, or their tail is pending), false when dropped.
    bool offer(std::span<const std::uint8_t> bytes);

    std::uint64_t dropped_ticks() const { return dropped_; }
    std::uint64_t discards() const { return discards_; }
    std::size_t pending() const { return pending_.size(); }

  private:
    PtyPort& port_;
    std::size_t limit_;
    std::vector<std::uint8_t> pending_;
    std::uint64_t dropped_ = 0;
    std::uint64_t discards_ = 0;
};

// A symbolic link to the device, removed when this object goes away (if it still points to
// the device). An existing symbolic link at the path is replaced (a stale one from an earlier
// run); any other existing file is refused and left as it is.
class PortLink {
  public:
    PortLink(std::string path, std::string target); // throws std::runtime_error
    ~PortLink();
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    const std::string& path() const { return path_; }
    bool replaced_stale() const { return replaced_; }

  private:
    std::string path_;
    std::string target_;
    bool replaced_ = false;
};

} // namespace zento::board
