// A device that went away and comes back: found again at its old path or, renamed by the
// system, by its USB serial number or vendor and product; the adapter reopens it. And the
// advice when the system refuses a device for lack of permission.
#include "platform/serial/device_access.h"
#include "platform/serial/port_order.h"
#include "platform/serial/qt_serial_port.h"
#include "pty.h"
#include "qt_test.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zento;
using namespace zento_test;

TEST(DeviceReturn, FoundByPathThenSerialNumberThenTheOneMatchingVendorAndProduct) {
    const SerialDeviceId ftdi{"/dev/ttyUSB0", "A6008isP", 0x0403, 0x6001, "FT232R USB UART"};
    const SerialDeviceId other_ftdi{"/dev/ttyUSB2", "B7119jtQ", 0x0403, 0x6001, {}};
    const SerialDeviceId ch340{"/dev/ttyUSB0", "", 0x1a86, 0x7523, {}};
    const SerialDeviceId acm{"/dev/ttyACM0", "", -1, -1, {}};
    const auto renamed = [](SerialDeviceId d, const char* path) {
        d.path = path;
        return d;
    };
    struct Case {
        const char* what;
        SerialDeviceId was;
        std::vector<SerialDeviceId> now;
        std::optional<std::string> found;
    } cases[] = {
        {"not back", ftdi, {other_ftdi}, std::nullopt},
        {"same path", ftdi, {other_ftdi, ftdi}, "/dev/ttyUSB0"},
        {"renamed, same serial", ftdi, {other_ftdi, renamed(ftdi, "/dev/ttyUSB1")}, "/dev/ttyUSB1"},
        {"no serial: the one device of its kind",
         ch340,
         {renamed(ch340, "/dev/ttyUSB3"), acm},
         "/dev/ttyUSB3"},
        {"no serial and two of its kind: not guessed",
         ch340,
         {renamed(ch340, "/dev/ttyUSB3"), renamed(ch340, "/dev/ttyUSB4")},
         std::nullopt},
        {"not USB: only its path", acm, {renamed(acm, "/dev/ttyACM1")}, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(find_returned_device(c.was, c.now), c.found) << c.what;
    // The device opened, as the log names it.
    EXPECT_EQ(describe_opened_device(1, "/dev/ttyUSB0", ftdi),
              "Com1 is /dev/ttyUSB0 (USB 0403:6001 \"FT232R USB UART\", serial A6008isP)");
    EXPECT_EQ(describe_opened_device(3, "/dev/ttyUSB0", ch340),
              "Com3 is /dev/ttyUSB0 (USB 1a86:7523, no serial number)");
}

TEST(DeviceReturn, TheAdapterOpensTheDeviceAgainOnceItsLinkLeadsToADeviceAgain) {
    // The simulated board restarted on the same link: a new terminal behind the same name.
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "ports");
    const auto link = dir.path() / "ports" / "com1";
    auto board = std::make_unique<Pty>();
    std::filesystem::create_symlink(board->slave(), link);
    QtSerialPortControl port(QString::fromStdString(dir.path().string()));
    port.list_devices = [] { return std::vector<std::string>{}; };
    port.list_device_ids = [] { return std::vector<SerialDeviceId>{}; };
    int failures = 0;
    port.OnFailure = [&](const std::string&) { ++failures; };
    EXPECT_FALSE(port.deviceReturned()) << "nothing went away";
    ASSERT_TRUE(port.setPortOpen(true)) << port.lastError();

    board.reset(); // the board stops: its terminal goes away
    ASSERT_TRUE(wait_for([&] { return failures == 1; }));
    EXPECT_FALSE(port.deviceReturned()) << "the link leads nowhere";
    board = std::make_unique<Pty>();
    std::filesystem::remove(link);
    std::filesystem::create_symlink(board->slave(), link);
    EXPECT_TRUE(port.deviceReturned());
    ASSERT_TRUE(port.setPortOpen(true)) << port.lastError();
    EXPECT_FALSE(port.deviceReturned()) << "open again";
}

TEST(DevicePermission, TheAdviceNamesTheGroupAndTheCommand) {
    EXPECT_EQ(permission_advice("dialout"),
              "only members of the group dialout may use it: add yourself with sudo usermod -aG "
              "dialout $USER, then log in again");
    EXPECT_EQ(permission_advice("root"),
              "you may not use this device; ask for read and write access to it");
    EXPECT_EQ(device_permission_advice("/nonexistent/ttyUSB9"), "") << "missing, not forbidden";
}

TEST(DevicePermission, ADeviceTheUserMayNotOpenGetsTheAdviceForItsGroup) {
    // A stand-in device: a file no one may use (its owner neither). As root (who may use
    // anything) the check runs in a child that has become an ordinary user.
    TempDir dir;
    const std::string device = dir.put("ttyFAKE0", "");
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(device.c_str(), 0), 0);
    // As root the file can belong to a serial devices' group, as /dev/ttyUSB0 does.
    const struct group* dialout = ::getuid() == 0 ? ::getgrnam("dialout") : nullptr;
    ASSERT_TRUE(dialout == nullptr || ::chown(device.c_str(), 0, dialout->gr_gid) == 0);
    struct stat st {};
    ASSERT_EQ(::stat(device.c_str(), &st), 0);
    const struct group* owner = ::getgrgid(st.st_gid);
    const std::string expected = permission_advice(owner ? owner->gr_name : "");
    const std::string advice =
        zento_test::as_ordinary_user([&] { return device_permission_advice(device); });
    EXPECT_EQ(advice, expected);
}
