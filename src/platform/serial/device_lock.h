#pragma once
// Exclusive use of a serial device by one program.
//
// Two instances (or another terminal program) reading one device would each get part of the
// byte stream. Before the port is opened, DeviceLock takes the device itself, by its resolved
// path (symbolic links followed, as the system's serial lock convention names devices):
//   1. a lock file of the convention (LCK..<device name> in /run/lock or /var/lock, first line
//      the holder's process id) whose process is alive refuses the device;
//   2. the device is opened (without blocking, not as the controlling terminal) and locked with
//      an exclusive flock on that descriptor, held while the port is open. A flock holds for
//      root too (the terminal's own exclusive mode does not).
// A refusal says that the port is in use by another program and names the process where the
// system tells it: the process id from the lock file or from the kernel's lock table, and the
// process's name (Linux: /proc/PID/comm).
//
// A lock file whose process no longer exists (a program killed, a crash) is taken over by the
// port's own locking when this user may remove it; when it may not (another user's file in the
// sticky lock folder), the device is refused with the file named as left behind, to be removed.
//
// On Windows a serial port is opened exclusively by the system: the lock does nothing there.
#include <string>
#include <vector>

namespace zento {

inline constexpr char kPortInUse[] = "the port is in use by another program";

class DeviceLock {
  public:
    DeviceLock() = default;
    ~DeviceLock();
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

    // Takes `device` (a resolved path). Returns false with `why` set ("the port is in use by
    // another program (zento, process 4242)") when another program holds it. A device that
    // cannot be opened here is not refused: opening the port reports that itself.
    bool acquire(const std::string& device, std::string* why);
    void release();
    bool held() const { return fd_ >= 0; }

    // Folders searched for lock files of the convention.
    std::vector<std::string> lock_dirs{"/run/lock", "/var/lock"};

    // "the port is in use by another program (NAME, process PID)" when a lock file of `device`
    // names a live process other than this one; else the left-behind lock file this user cannot
    // remove, named as such; "" otherwise.
    std::string lock_file_refusal(const std::string& device) const;

  private:
    int fd_ = -1;
};

// The convention's lock file name of a device: "/dev/ttyUSB0" -> "LCK..ttyUSB0",
// "/dev/pts/3" -> "LCK..pts_3".
std::string lock_file_name(const std::string& device);

// The process id in a lock file's text (first line, blanks allowed before it), 0 when none.
long lock_file_pid(const std::string& text);

} // namespace zento
