#include "platform/serial/device_lock.h"

#include "platform/files/regular_file.h"

#include <cerrno>
#include <cstdio>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/sysmacros.h>
#endif

namespace zento {

namespace {

#ifndef _WIN32

bool alive(long pid) {
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

// The live process, other than this one, that a lock file of the convention names; 0 if none.
long lock_file_holder(const std::vector<std::string>& dirs, const std::string& device) {
    for (const std::string& dir : dirs) {
        const FileContent c = read_regular_file(dir + "/" + lock_file_name(device), 4096);
        if (!c.bytes) continue;
        const long pid = lock_file_pid(*c.bytes);
        if (pid != long(::getpid()) && alive(pid)) return pid;
    }
    return 0;
}

// Why this user may not remove `file` from `dir`; "" when it may.
std::string cannot_remove(const std::string& dir, const std::string& file) {
    struct stat d {};
    struct stat f {};
    if (::stat(dir.c_str(), &d) != 0 || ::lstat(file.c_str(), &f) != 0) return {};
    if (::access(dir.c_str(), W_OK | X_OK) != 0) return system_reason(errno);
    const uid_t me = ::geteuid();
    if ((d.st_mode & S_ISVTX) && me != 0 && f.st_uid != me && d.st_uid != me)
        return "it belongs to another user";
    return {};
}

// A lock file of `device` left by a process that no longer exists, which this user may not
// remove (so nobody here can take it over), named with what to do; "" if none.
std::string left_behind(const std::vector<std::string>& dirs, const std::string& device) {
    for (const std::string& dir : dirs) {
        const std::string file = dir + "/" + lock_file_name(device);
        const FileContent c = read_regular_file(file, 4096);
        if (!c.bytes) continue;
        const long pid = lock_file_pid(*c.bytes);
        if (pid <= 0 || pid == long(::getpid()) || alive(pid)) continue;
        if (const std::string why = cannot_remove(dir, file); !why.empty())
            return "the lock file " + file + " was left by process " + std::to_string(pid) +
                   ", which no longer exists, and this user cannot remove it (" + why +
                   "): remove it (sudo rm " + file + ")";
    }
    return {};
}

#endif

#ifdef __linux__

std::string process_name(long pid) {
    const FileContent c = read_regular_file("/proc/" + std::to_string(pid) + "/comm", 256);
    if (!c.bytes) return {};
    std::string name = *c.bytes;
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
        name.pop_back();
    return name;
}

// The process that holds a flock on the file `st` describes, from the kernel's lock table;
// 0 when it does not say.
long flock_holder(const struct stat& st) {
    const FileContent c = read_regular_file("/proc/locks", std::uint64_t(16) << 20);
    if (!c.bytes) return 0;
    const std::string& t = *c.bytes;
    for (std::size_t pos = 0; pos < t.size();) {
        std::size_t end = t.find('\n', pos);
        if (end == std::string::npos) end = t.size();
        const std::string line = t.substr(pos, end - pos);
        pos = end + 1;
        // "1: FLOCK  ADVISORY  WRITE 4242 00:19:3 0 EOF"; waiters have "->" after the number.
        char kind[16] = {}, mode[16] = {}, access[16] = {};
        long pid = 0;
        unsigned maj = 0, min = 0;
        unsigned long long ino = 0;
        if (line.find("->") != std::string::npos) continue;
        if (std::sscanf(line.c_str(), "%*d: %15s %15s %15s %ld %x:%x:%llu", kind, mode, access,
                        &pid, &maj, &min, &ino) != 7)
            continue;
        if (std::string(kind) == "FLOCK" && maj == ::major(st.st_dev) &&
            min == ::minor(st.st_dev) && ino == st.st_ino && pid > 0)
            return pid;
    }
    return 0;
}

#else

std::string process_name(long) {
    return {};
}

#endif

std::string in_use(long pid) {
    std::string s = kPortInUse;
    if (pid <= 0) return s;
    const std::string name = process_name(pid);
    return s + " (" + (name.empty() ? std::string() : name + ", ") + "process " +
           std::to_string(pid) + ")";
}

} // namespace

std::string lock_file_name(const std::string& device) {
    std::string name = device.rfind("/dev/", 0) == 0 ? device.substr(5) : device;
    for (char& c : name)
        if (c == '/') c = '_';
    return "LCK.." + name;
}

long lock_file_pid(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    long pid = 0;
    for (int digits = 0; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        if (digits == 9) return 0; // more than a process id can be
        pid = pid * 10 + (text[i] - '0');
    }
    return pid;
}

DeviceLock::~DeviceLock() {
    release();
}

void DeviceLock::release() {
#ifndef _WIN32
    if (fd_ >= 0) ::close(fd_); // closing the descriptor drops its flock
#endif
    fd_ = -1;
}

std::string DeviceLock::lock_file_refusal([[maybe_unused]] const std::string& device) const {
#ifdef _WIN32
    return {};
#else
    const long pid = lock_file_holder(lock_dirs, device);
    return pid > 0 ? in_use(pid) : left_behind(lock_dirs, device);
#endif
}

bool DeviceLock::acquire([[maybe_unused]] const std::string& device,
                         [[maybe_unused]] std::string* why) {
    release();
#ifdef _WIN32
    return true;
#else
    const auto refuse = [why](long pid) {
        if (why) *why = in_use(pid);
        return false;
    };
    if (const long pid = lock_file_holder(lock_dirs, device)) return refuse(pid);
    if (std::string left = left_behind(lock_dirs, device); !left.empty()) {
        if (why) *why = std::move(left);
        return false;
    }
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno != EBUSY) return true; // opening the port says what is wrong
        // Held in the terminal's exclusive mode by another program.
        long holder = 0;
#ifdef __linux__
        struct stat st {};
        if (::stat(device.c_str(), &st) == 0) holder = flock_holder(st);
#endif
        return refuse(holder);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        long holder = 0;
#ifdef __linux__
        struct stat st {};
        if (err == EWOULDBLOCK && ::fstat(fd, &st) == 0) holder = flock_holder(st);
#endif
        ::close(fd);
        if (err == EWOULDBLOCK) return refuse(holder);
        return true; // no flock on this device: the lock file and exclusive mode remain
    }
    fd_ = fd;
    return true;
#endif
}

} // namespace zento
