#pragma once
// A pseudo-terminal pair for tests of the serial adapter: the test holds the master side (the
// device), the adapter opens the slave like a serial device.
#include <QCoreApplication>

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace zento_test {

class Pty {
  public:
    Pty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        slave_ = ::ptsname(master_);
    }
    ~Pty() { close_master(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return master_ >= 0 && !slave_.empty(); }
    const std::string& slave() const { return slave_; }
    // The device goes away: the slave side hangs up.
    void close_master() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    // Writes everything, letting the event loop run while the terminal's buffer is full.
    bool write_all(const std::vector<std::uint8_t>& bytes) {
        std::size_t done = 0;
        for (int stalls = 0; done < bytes.size() && stalls < 5000;) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += std::size_t(n);
                stalls = 0;
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            } else {
                ++stalls;
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            }
        }
        return done == bytes.size();
    }
    // What the adapter wrote, as far as it has arrived.
    std::vector<std::uint8_t> read_some() {
        std::vector<std::uint8_t> out(4096);
        const ssize_t n = ::read(master_, out.data(), out.size());
        out.resize(n > 0 ? std::size_t(n) : 0);
        return out;
    }

  private:
    int master_ = -1;
    std::string slave_;
};

} // namespace zento_test
