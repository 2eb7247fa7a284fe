#include "platform/files/regular_file.h"

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zento {

std::string system_reason(int err) {
    return std::generic_category().message(err);
}

namespace {

#ifndef _WIN32
// Why a file of this type is not read; "" for a regular file.
std::string type_reason(mode_t mode) {
    if (S_ISREG(mode)) return {};
    if (S_ISDIR(mode)) return "it is a folder";
    if (S_ISFIFO(mode)) return "it is a named pipe (FIFO), not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a regular file";
    if (S_ISSOCK(mode)) return "it is a socket, not a regular file";
    return "it is not a regular file";
}
#endif

} // namespace

RegularFile::~RegularFile() {
    close();
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_), missing_(other.missing_),
      reason_(std::move(other.reason_)) {}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        size_ = other.size_;
        missing_ = other.missing_;
        reason_ = std::move(other.reason_);
    }
    return *this;
}

void RegularFile::close() {
    if (fd_ < 0) return;
#ifdef _WIN32
    ::_close(fd_);
#else
    ::close(fd_);
#endif
    fd_ = -1;
}

int RegularFile::release() {
    return std::exchange(fd_, -1);
}

#ifdef _WIN32

RegularFile RegularFile::open(const std::filesystem::path& path) {
    RegularFile f;
    std::error_code ec;
    const auto st = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(st)) {
        f.missing_ = true;
        f.reason_ = system_reason(ENOENT);
        return f;
    }
    if (std::filesystem::is_directory(st)) {
        f.reason_ = "it is a folder";
        return f;
    }
    if (!std::filesystem::is_regular_file(st)) {
        f.reason_ = "it is not a regular file";
        return f;
    }
    const int fd = ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        f.missing_ = errno == ENOENT;
        f.reason_ = system_reason(errno);
        return f;
    }
    struct _stat64 s {};
    if (::_fstat64(fd, &s) != 0 || (s.st_mode & _S_IFMT) != _S_IFREG) {
        ::_close(fd);
        f.reason_ = "it is not a regular file";
        return f;
    }
    f.fd_ = fd;
    f.size_ = std::uint64_t(s.st_size);
    return f;
}

std::ptrdiff_t RegularFile::read(void* buffer, std::size_t n) {
    if (fd_ < 0) return -1;
    const unsigned chunk = n > (1u << 30) ? (1u << 30) : unsigned(n);
    const int got = ::_read(fd_, buffer, chunk);
    if (got < 0) reason_ = system_reason(errno);
    return got;
}

#else

RegularFile RegularFile::open(const std::filesystem::path& path) {
    RegularFile f;
    // Looked at before opening: opening a device can act on it (a modem line, a tape).
    struct stat s {};
    if (::stat(path.c_str(), &s) != 0) {
        f.missing_ = errno == ENOENT;
        f.reason_ = system_reason(errno);
        return f;
    }
    if (std::string why = type_reason(s.st_mode); !why.empty()) {
        f.reason_ = std::move(why);
        return f;
    }
    // Without blocking, in case the path was replaced by a FIFO meanwhile; checked again on
    // the descriptor, which is what gets read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        f.missing_ = errno == ENOENT;
        f.reason_ = system_reason(errno);
        return f;
    }
    if (::fstat(fd, &s) != 0 || !S_ISREG(s.st_mode)) {
        const int err = errno;
        ::close(fd);
        f.reason_ = S_ISREG(s.st_mode) ? system_reason(err) : type_reason(s.st_mode);
        return f;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    f.fd_ = fd;
    f.size_ = std::uint64_t(s.st_size);
    return f;
}

std::ptrdiff_t RegularFile::read(void* buffer, std::size_t n) {
    if (fd_ < 0) return -1;
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, n);
        if (got >= 0) return got;
        if (errno == EINTR) continue;
        reason_ = system_reason(errno);
        return -1;
    }
}

#endif

FileContent read_regular_file(const std::filesystem::path& path, std::uint64_t limit) {
    FileContent c;
    RegularFile f = RegularFile::open(path);
    if (!f.ok()) {
        c.missing = f.missing();
        c.reason = f.reason();
        return c;
    }
    if (f.size() > limit) {
        c.reason = "it is larger than " + size_text(limit) + " (" + size_text(f.size()) + ")";
        return c;
    }
    // The size at opening is only a hint: the file may grow while it is read, and the limit
    // holds whatever happens.
    std::string bytes;
    bytes.reserve(std::size_t(f.size()));
    char buffer[65536];
    for (;;) {
        const std::ptrdiff_t n = f.read(buffer, sizeof buffer);
        if (n < 0) {
            c.reason = f.reason();
            return c;
        }
        if (n == 0) break;
        if (bytes.size() + std::size_t(n) > limit) {
            c.reason = "it is larger than " + size_text(limit);
            return c;
        }
        bytes.append(buffer, std::size_t(n));
    }
    c.bytes = std::move(bytes);
    return c;
}

std::string size_text(std::uint64_t bytes) {
    constexpr std::uint64_t kMiB = 1024 * 1024;
    char buf[48];
    if (bytes < 1024)
        std::snprintf(buf, sizeof buf, "%llu bytes", static_cast<unsigned long long>(bytes));
    else if (bytes < kMiB)
        std::snprintf(buf, sizeof buf, "%.1f KiB", double(bytes) / 1024);
    else if (bytes % kMiB == 0)
        std::snprintf(buf, sizeof buf, "%llu MiB", static_cast<unsigned long long>(bytes / kMiB));
    else
        std::snprintf(buf, sizeof buf, "%.1f MiB", double(bytes) / double(kMiB));
    return buf;
}

} // namespace zento
