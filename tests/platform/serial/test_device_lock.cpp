// One program per serial device: the lock file of the convention and an exclusive flock on the
// device, with the holding process named. Run on pseudo-terminals.
#include "platform/serial/device_lock.h"

#include "test_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zento;

namespace {

std::string comm_of(long pid) {
    std::string s = zento_test::read_text("/proc/" + std::to_string(pid) + "/comm");
    while (!s.empty() && s.back() == '\n')
        s.pop_back();
    return s;
}

std::string in_use_by(long pid) {
    return std::string(kPortInUse) + " (" + comm_of(pid) + ", process " + std::to_string(pid) + ")";
}

struct Pty {
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            slave = ::ptsname(master);
    }
    ~Pty() {
        if (master >= 0) ::close(master);
    }
    int master = -1;
    std::string slave;
};

// A lock that finds no lock files but those of the test's own folder.
struct Lock : DeviceLock {
    explicit Lock(const zento_test::TempDir& dir) { lock_dirs = {dir.path().string()}; }
};

} // namespace

TEST(DeviceLock, LockFileNamesAndProcessIds) {
    EXPECT_EQ(lock_file_name("/dev/ttyUSB0"), "LCK..ttyUSB0");
    EXPECT_EQ(lock_file_name("/dev/pts/3"), "LCK..pts_3");
    EXPECT_EQ(lock_file_name("/home/x/ttyV0"), "LCK.._home_x_ttyV0");
    const std::pair<const char*, long> pids[] = {
        {"      4242\n", 4242},        // the convention's ten columns
        {"4242\nzento\nhost\n", 4242}, // a Qt lock file: id, program, host
        {"\t17", 17},
        {"", 0},
        {"abc\n", 0},
        {"-5\n", 0},
        {"12345678901\n", 0}, // longer than a process id
    };
    for (const auto& [text, pid] : pids)
        EXPECT_EQ(lock_file_pid(text), pid) << text;
}

TEST(DeviceLock, ASecondTakerIsRefusedWithTheHolderNamedUntilItLetsGo) {
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    zento_test::TempDir dir;
    Lock first(dir), second(dir);
    std::string why;
    ASSERT_TRUE(first.acquire(pty.slave, &why)) << why;
    EXPECT_TRUE(first.held());
    // The same process through another descriptor: a flock excludes it as it excludes others.
    EXPECT_FALSE(second.acquire(pty.slave, &why));
    EXPECT_EQ(why, in_use_by(::getpid()));
    first.release();
    EXPECT_TRUE(second.acquire(pty.slave, &why)) << why;
}

TEST(DeviceLock, AnotherProcessHoldingTheDeviceIsNamed) {
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    zento_test::TempDir dir;
    int ready[2], done[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(done), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) { // another program: holds a flock on the device until told to end
        ::close(done[1]);
        const int fd = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY);
        const char ok = (fd >= 0 && ::flock(fd, LOCK_EX) == 0) ? 'y' : 'n';
        (void)!::write(ready[1], &ok, 1);
        char c;
        (void)!::read(done[0], &c, 1);
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    Lock lock(dir);
    std::string why;
    EXPECT_FALSE(lock.acquire(pty.slave, &why));
    EXPECT_EQ(why, in_use_by(child));
    ::close(done[1]); // the other program ends and its lock goes with it
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(lock.acquire(pty.slave, &why)) << why;
    for (int fd : {ready[0], ready[1], done[0]})
        ::close(fd);
}

TEST(DeviceLock, ALockFileOfALiveProcessRefusesAStaleOneDoesNot) {
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    zento_test::TempDir dir;
    const std::string lock_file = lock_file_name(pty.slave);
    Lock lock(dir);
    std::string why;

    const long parent = long(::getppid()); // alive while this test runs
    dir.put(lock_file, "      " + std::to_string(parent) + "\n");
    EXPECT_FALSE(lock.acquire(pty.slave, &why));
    EXPECT_EQ(why, in_use_by(parent));
    EXPECT_EQ(lock.lock_file_refusal(pty.slave), why);
    EXPECT_FALSE(lock.held());

    // A process that has ended, or this very process: the lock file does not refuse.
    const pid_t gone = ::fork();
    ASSERT_GE(gone, 0);
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    for (const long pid : {long(gone), long(::getpid())}) {
        dir.put(lock_file, std::to_string(pid) + "\n");
        EXPECT_TRUE(lock.acquire(pty.slave, &why)) << why;
        EXPECT_EQ(lock.lock_file_refusal(pty.slave), "");
        lock.release();
    }
}

// A lock file left by a process that no longer exists, which this user may not remove (tried
// as an ordinary user: root may remove it): the device is refused, the file named to remove.
TEST(DeviceLock, ALockFileLeftBehindThatCannotBeTakenOverIsNamed) {
    zento_test::TempDir dir;
    const std::string device = "/dev/ttyZENTO7",
                      file = dir.put(lock_file_name(device), "99999999\n");
    std::filesystem::permissions(dir.path(), std::filesystem::perms(0555));
    const std::string seen = zento_test::as_ordinary_user([&] {
        Lock lock(dir);
        std::string why;
        return lock.acquire(device, &why) ? "taken" : why + "|" + lock.lock_file_refusal(device);
    });
    const std::string named = "the lock file " + file + " was left by process 99999999, which " +
                              "no longer exists, and this user cannot remove it (Permission " +
                              "denied): remove it (sudo rm " + file + ")";
    EXPECT_EQ(seen, named + "|" + named);
}

TEST(DeviceLock, ADeviceThatCannotBeOpenedIsLeftToThePortToReport) {
    zento_test::TempDir dir;
    Lock lock(dir);
    std::string why;
    EXPECT_TRUE(lock.acquire((dir.path() / "no-such-device").string(), &why));
    EXPECT_FALSE(lock.held());
    EXPECT_EQ(why, "");
}
