#include "recording/file_io.h"

#include <cerrno>
#include <cstdint>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zento {

ReadFile::~ReadFile() {
#ifdef _WIN32
    if (owned_ && fd_ >= 0) _close(fd_);
#else
    if (owned_ && fd_ >= 0) ::close(fd_);
#endif
}

std::string ReadFile::open(const std::filesystem::path& path) {
    RegularFile file = RegularFile::open(path);
    if (!file.ok()) return file.reason();
    size_ = file.size();
    fd_ = file.release();
    owned_ = true;
    return {};
}

void ReadFile::adopt(int fd) {
    fd_ = fd;
    owned_ = false;
}

std::ptrdiff_t ReadFile::read(std::uint8_t* into, std::size_t max) {
    for (;;) {
#ifdef _WIN32
        const int n = _read(fd_, into, unsigned(max > (1u << 30) ? (1u << 30) : max));
#else
        const ssize_t n = ::read(fd_, into, max);
#endif
        if (n >= 0) return std::ptrdiff_t(n);
        if (errno == EINTR) continue;
        error_ = system_reason(errno);
        return -1;
    }
}

bool ReadFile::seek(std::uint64_t offset) {
    if (offset > std::uint64_t(INT64_MAX)) return false;
#ifdef _WIN32
    return _lseeki64(fd_, static_cast<__int64>(offset), SEEK_SET) == static_cast<__int64>(offset);
#else
    return ::lseek(fd_, off_t(offset), SEEK_SET) == off_t(offset);
#endif
}

WriteFile::~WriteFile() {
    std::string ignored;
    close(ignored);
}

WriteFile::Create WriteFile::create_new(const std::filesystem::path& path, std::string& error) {
#ifdef _WIN32
    const int rc = _wsopen_s(&fd_, path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                             _SH_DENYWR, _S_IREAD | _S_IWRITE);
    if (rc != 0) fd_ = -1;
#else
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0644);
#endif
    if (fd_ >= 0) return Create::made;
    if (errno == EEXIST) return Create::exists;
    error = system_reason(errno);
    return Create::failed;
}

bool WriteFile::write_all(std::span<const std::uint8_t> bytes, std::size_t& written,
                          std::string& error) {
    written = 0;
    while (written < bytes.size()) {
        const std::size_t left = bytes.size() - written;
#ifdef _WIN32
        const int n =
            _write(fd_, bytes.data() + written, unsigned(left > (1u << 30) ? (1u << 30) : left));
#else
        const ssize_t n = ::write(fd_, bytes.data() + written, left);
#endif
        if (n < 0) {
            if (errno == EINTR) continue;
            error = system_reason(errno);
            return false;
        }
        if (n == 0) { // nothing taken and no reason given: treat as a full disk
            error = system_reason(ENOSPC);
            return false;
        }
        written += std::size_t(n);
    }
    return true;
}

bool WriteFile::sync(std::string& error) {
#ifdef _WIN32
    const bool ok = _commit(fd_) == 0;
#elif defined(__APPLE__)
    const bool ok = ::fsync(fd_) == 0;
#else
    const bool ok = ::fdatasync(fd_) == 0;
#endif
    if (!ok) error = system_reason(errno);
    return ok;
}

bool WriteFile::truncate(std::uint64_t size, std::string& error) {
#ifdef _WIN32
    const auto at = std::int64_t(size); // (__int64 is a macro with mingw-w64: no cast through it)
    const bool ok = _chsize_s(fd_, at) == 0 && _lseeki64(fd_, at, SEEK_SET) >= 0;
#else
    const bool ok = ::ftruncate(fd_, off_t(size)) == 0 && ::lseek(fd_, off_t(size), SEEK_SET) >= 0;
#endif
    if (!ok) error = system_reason(errno);
    return ok;
}

bool WriteFile::close(std::string& error) {
    if (fd_ < 0) return true;
#ifdef _WIN32
    const bool ok = _close(fd_) == 0;
#else
    const bool ok = ::close(fd_) == 0;
#endif
    if (!ok) error = system_reason(errno);
    fd_ = -1;
    return ok;
}

WriteFile::Place WriteFile::place(const std::filesystem::path& path,
                                  std::filesystem::path& now) const {
#ifdef _WIN32
    (void)path;
    (void)now;
    return Place::here;
#else
    struct stat open = {};
    struct stat named = {};
    if (fd_ < 0 || ::fstat(fd_, &open) != 0) return Place::here;
    if (open.st_nlink == 0) return Place::deleted;
    if (::stat(path.c_str(), &named) == 0) {
        if (named.st_dev == open.st_dev && named.st_ino == open.st_ino) return Place::here;
    } else if (errno != ENOENT && errno != ENOTDIR) {
        return Place::here; // e.g. a folder on the way made unsearchable: cannot tell
    }
#ifdef __linux__
    char link[4096];
    const std::string fd_link = "/proc/self/fd/" + std::to_string(fd_);
    const ssize_t n = ::readlink(fd_link.c_str(), link, sizeof link);
    if (n > 0 && std::size_t(n) < sizeof link && link[0] == '/')
        now = std::string(link, std::size_t(n));
#endif
    return Place::moved;
#endif
}

void ignore_file_size_signal() {
#ifndef _WIN32
    struct sigaction now {};
    if (::sigaction(SIGXFSZ, nullptr, &now) != 0 || now.sa_handler != SIG_DFL ||
        (now.sa_flags & SA_SIGINFO))
        return;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, nullptr);
#endif
}

} // namespace zento
