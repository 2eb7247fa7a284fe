#include "pty_port.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace zento::board {
namespace {

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

} // namespace

PtyPort::PtyPort() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) fail("cannot create a pseudo-terminal (posix_openpt)");
    try {
        if (grantpt(master_) != 0) fail("cannot create a pseudo-terminal (grantpt)");
        if (unlockpt(master_) != 0) fail("cannot create a pseudo-terminal (unlockpt)");
        char name[256];
        if (ptsname_r(master_, name, sizeof name) != 0)
            fail("cannot create a pseudo-terminal (ptsname)");
        path_ = name;
        slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave_ < 0) fail("cannot open " + path_);
        termios tio{};
        if (tcgetattr(slave_, &tio) != 0) fail("cannot read the settings of " + path_);
        cfmakeraw(&tio);
        cfsetispeed(&tio, B115200);
        cfsetospeed(&tio, B115200);
        if (tcsetattr(slave_, TCSANOW, &tio) != 0) fail("cannot set raw mode on " + path_);
        const int flags = fcntl(master_, F_GETFL);
        if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0)
            fail("cannot make the pseudo-terminal non-blocking");
    } catch (...) {
        if (slave_ >= 0) ::close(slave_);
        ::close(master_);
        throw;
    }
}

PtyPort::~PtyPort() {
    ::close(slave_);
    ::close(master_);
}

std::size_t PtyPort::backlog() const {
    int n = 0;
    if (ioctl(slave_, FIONREAD, &n) != 0 || n < 0) return 0;
    return std::size_t(n);
}

void PtyPort::discard_backlog() {
    tcflush(slave_, TCIFLUSH);
}

std::size_t PtyPort::write_some(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(master_, bytes.data(), bytes.size());
        if (n >= 0) return std::size_t(n);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        fail("cannot write to " + path_);
    }
    return 0;
}

std::size_t PtyPort::read_some(std::span<std::uint8_t> into) {
    for (;;) {
        const ssize_t n = ::read(master_, into.data(), into.size());
        if (n >= 0) return std::size_t(n);
        if (errno == EINTR) continue;
        // EAGAIN: nothing waiting; EIO: no reader (cannot happen while slave_ is open).
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EIO) return 0;
        fail("cannot read from " + path_);
    }
}

bool PortWriter::offer(std::span<const std::uint8_t> bytes) {
    if (port_.backlog() > limit_) {
        port_.discard_backlog();
        pending_.clear(); // its head went with the discarded bytes
        ++discards_;
    }
    if (!pending_.empty()) {
        const std::size_t n = port_.write_some(pending_);
        pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(n));
        if (!pending_.empty()) {
            ++dropped_;
            return false;
        }
    }
    const std::size_t n = port_.write_some(bytes);
    if (n == 0 && !bytes.empty()) {
        ++dropped_;
        return false;
    }
    pending_.assign(bytes.begin() + std::ptrdiff_t(n), bytes.end());
    return true;
}

PortLink::PortLink(std::string path, std::string target)
    : path_(std::move(path)), target_(std::move(target)) {
    struct stat st {};
    if (lstat(path_.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode))
            throw std::runtime_error("cannot make the link " + path_ +
                                     ": a file that is not a symbolic link is there; "
                                     "it is left as it is");
        replaced_ = true;
    } else if (errno != ENOENT) {
        fail("cannot make the link " + path_);
    }
    // Made beside the path, then renamed over it: the path never points nowhere.
    const std::string tmp = path_ + ".zento-board." + std::to_string(getpid());
    ::unlink(tmp.c_str());
    if (symlink(target_.c_str(), tmp.c_str()) != 0) fail("cannot make the link " + path_);
    if (lstat(path_.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        ::unlink(tmp.c_str());
        throw std::runtime_error("cannot make the link " + path_ +
                                 ": a file that is not a symbolic link is there; "
                                 "it is left as it is");
    }
    if (rename(tmp.c_str(), path_.c_str()) != 0) {
        const int e = errno;
        ::unlink(tmp.c_str());
        errno = e;
        fail("cannot make the link " + path_);
    }
}

PortLink::~PortLink() {
    // Only our own link: another board may have replaced it meanwhile.
    char buf[4096];
    const ssize_t n = readlink(path_.c_str(), buf, sizeof buf - 1);
    if (n < 0) return;
    buf[n] = '\0';
    if (target_ == buf) ::unlink(path_.c_str());
}

} // namespace zento::board
