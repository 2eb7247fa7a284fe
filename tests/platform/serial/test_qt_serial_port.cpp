// What the QSerialPort adapter adds to the port contract (test_port_contract.cpp, which also
// runs it on a pseudo-terminal: every byte in order, one report of a device gone), over a real
// pseudo-terminal: "Com n" through the ports folder or the system's list, coalesced receive
// events, line settings, the words of its messages, a device that comes back, and one program
// per device.
#include "driven_clock.h"
#include "platform/serial/qt_serial_port.h"
#include "pty.h"
#include "test_folder.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <termios.h>
#include <unistd.h>

using namespace zento;
namespace fs = std::filesystem;

namespace {

class QtSerialTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir / "ports");
        ASSERT_TRUE(pty.ok()) << "no pseudo-terminal: " << std::strerror(errno);
    }
    QtSerialPortControl& make(Clock& clock = system_clock()) {
        port = std::make_unique<QtSerialPortControl>(QString::fromStdString(dir.string()), nullptr,
                                                     clock);
        port->list_devices = [] { return std::vector<std::string>{}; };
        port->OnComm = [this] {
            port->setRThreshold(0);
            events.push_back(port->CommEvent());
            if (port->CommEvent() == kCommEventReceive) {
                const auto in = port->Input();
                received.insert(received.end(), in.begin(), in.end());
            }
            port->setRThreshold(1);
        };
        port->OnFailure = [this](const std::string& r) { failures.push_back(r); };
        return *port;
    }
    void link_com(int n, const std::string& target) {
        fs::remove(dir / "ports" / ("com" + std::to_string(n)));
        fs::create_symlink(target, dir / "ports" / ("com" + std::to_string(n)));
    }
    static bool wait_for(const std::function<bool()>& done) { return QTest::qWaitFor(done, 10000); }

    zento_test::TempDir tmp;
    const fs::path dir = tmp.path();
    zento_test::Pty pty;
    zento_test::DrivenClock clock; // outlives the port
    std::unique_ptr<QtSerialPortControl> port;
    std::vector<int> events;
    std::vector<std::uint8_t> received;
    std::vector<std::string> failures;
};

std::vector<std::uint8_t> pattern(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = std::uint8_t(i * 7 + i / 251);
    return v;
}

} // namespace

TEST_F(QtSerialTest, LineSettingsReachTheDevice) {
    link_com(1, pty.slave());
    // Held open before the adapter takes the port exclusively; shares the line settings.
    const int probe = ::open(pty.slave().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(probe, 0);
    QtSerialPortControl& p = make();
    ASSERT_TRUE(p.setSettings("9600,e,7,2"));
    const SerialDeviceId usb{pty.slave(), "01", 0x10c4, 0xea60, "CP2102"}; // as if it were one
    p.list_device_ids = [&] { return std::vector<SerialDeviceId>{usb}; };
    ASSERT_TRUE(p.setPortOpen(true)) << p.lastError();
    EXPECT_EQ(p.openDevice(), "Com1 is " + (dir / "ports" / "com1").string() + " -> " +
                                  pty.slave() + " (USB 10c4:ea60 \"CP2102\", serial 01)");
    termios t{};
    ASSERT_EQ(::tcgetattr(probe, &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), speed_t(B9600));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_lflag & ICANON) << "raw mode";
    // A pseudo-terminal forces 8 data bits and no parity; the port was asked for them.
    EXPECT_EQ(p.device().dataBits(), QSerialPort::Data7);
    EXPECT_EQ(p.device().parity(), QSerialPort::EvenParity);
    EXPECT_EQ(p.device().stopBits(), QSerialPort::TwoStop);
    EXPECT_EQ(p.device().baudRate(), 9600);
    EXPECT_FALSE(p.setSettings("115200,n,8,1")) << "an open port keeps its settings";
    p.setCommPort(4);
    EXPECT_EQ(p.CommPort(), 1);
    EXPECT_EQ(p.Settings(), "9600,e,7,2");
    ::close(probe);
}

TEST_F(QtSerialTest, DeviceGoneIsNamedAndOnceBackItOpensAgain) {
    link_com(1, pty.slave());
    QtSerialPortControl& p = make();
    p.setRThreshold(1);
    ASSERT_TRUE(p.setPortOpen(true)) << p.lastError();
    pty.close_master(); // the far end disappears
    ASSERT_TRUE(wait_for([&] { return !failures.empty(); }));
    EXPECT_EQ(failures[0].rfind("Com1 (" + (dir / "ports" / "com1").string() + " -> ", 0), 0u)
        << failures[0];
    EXPECT_NE(failures[0].find("): the device is gone"), std::string::npos) << failures[0];

    // Back again (a new terminal behind the same link): connecting works.
    zento_test::Pty again;
    ASSERT_TRUE(again.ok());
    link_com(1, again.slave());
    ASSERT_TRUE(p.setPortOpen(true)) << p.lastError();
    ASSERT_TRUE(again.write_all({0x42}));
    ASSERT_TRUE(wait_for([&] { return !received.empty(); }));
    EXPECT_EQ(received.back(), 0x42);
}

TEST_F(QtSerialTest, OpenFailuresNameTheDeviceAndTheReason) {
    link_com(1, (dir / "gone").string()); // dangling link
    QtSerialPortControl& p = make();
    EXPECT_FALSE(p.setPortOpen(true));
    EXPECT_FALSE(p.PortOpen());
    EXPECT_NE(p.lastError().find("Com1 (" + (dir / "ports" / "com1").string() + " -> "),
              std::string::npos)
        << p.lastError();
    EXPECT_NE(p.lastError().find("No such file or directory"), std::string::npos) << p.lastError();

    p.setCommPort(3);
    EXPECT_FALSE(p.setPortOpen(true));
    EXPECT_EQ(p.lastError(), "Com3: no serial device has this port number");
    EXPECT_EQ(p.deviceFor(3), "");
}

// Two program folders whose ports/com1 links lead to one device, or two instances in one folder:
// the second is refused and told who holds the port, and the first gets the whole stream.
TEST_F(QtSerialTest, OneProgramPerDeviceWhicheverLinkLeadsThere) {
    link_com(1, pty.slave());
    QtSerialPortControl& p = make();
    p.setRThreshold(1);
    ASSERT_TRUE(p.setPortOpen(true)) << p.lastError();

    zento_test::TempDir other;
    fs::create_directories(other.path() / "ports");
    fs::create_symlink(pty.slave(), other.path() / "ports" / "com1");
    std::string me = zento_test::read_text("/proc/self/comm");
    me.pop_back();
    const std::string holder = "): the port is in use by another program (" + me + ", process " +
                               std::to_string(::getpid()) + ")";
    for (const fs::path& folder : {other.path(), dir}) {
        QtSerialPortControl second(QString::fromStdString(folder.string()));
        EXPECT_FALSE(second.setPortOpen(true));
        EXPECT_FALSE(second.PortOpen());
        EXPECT_EQ(second.lastError(),
                  "Com1 (" + (folder / "ports" / "com1").string() + " -> " + pty.slave() + holder);
    }

    const std::vector<std::uint8_t> data = pattern(20000);
    ASSERT_TRUE(pty.write_all(data));
    ASSERT_TRUE(wait_for([&] { return received.size() >= data.size(); }));
    EXPECT_EQ(received, data);

    // Once the first lets go, the other folder's instance opens it.
    p.setPortOpen(false);
    QtSerialPortControl second(QString::fromStdString(other.path().string()));
    EXPECT_TRUE(second.setPortOpen(true)) << second.lastError();
}

TEST_F(QtSerialTest, ComNumbersFollowTheSystemListAfterThePortsFolder) {
    QtSerialPortControl& p = make();
    p.list_devices = [] {
        return std::vector<std::string>{"/dev/ttyS0", "/dev/ttyACM0", "/dev/ttyUSB10",
                                        "/dev/ttyUSB2"};
    };
    EXPECT_EQ(p.deviceFor(1), "ttyUSB2");
    EXPECT_EQ(p.deviceFor(2), "ttyUSB10");
    EXPECT_EQ(p.deviceFor(3), "ttyACM0");
    EXPECT_EQ(p.deviceFor(4), "ttyS0");
    EXPECT_EQ(p.deviceFor(5), "");
    EXPECT_EQ(p.resolve(3).path, QStringLiteral("/dev/ttyACM0"));
    link_com(2, pty.slave()); // a link in the ports folder comes first
    EXPECT_EQ(p.deviceFor(2), pty.slave().substr(5));
    EXPECT_EQ(p.deviceFor(1), "ttyUSB2");
}

TEST_F(QtSerialTest, BytesArrivingSoonAfterAnEventWaitAndComeTogetherNoneLost) {
    link_com(1, pty.slave());
    QtSerialPortControl& p = make(clock); // the interval runs out when the test says so
    p.setMinEventInterval(50);
    p.setRThreshold(1);
    p.setCommPort(1);
    ASSERT_TRUE(p.setPortOpen(true)) << p.lastError();
    const std::vector<std::uint8_t> data = pattern(300);
    const auto part = [&](std::size_t from, std::size_t to) { // one byte comes in one read
        return std::vector<std::uint8_t>(data.begin() + long(from), data.begin() + long(to));
    };
    ASSERT_TRUE(pty.write_all(part(0, 1)));
    ASSERT_TRUE(wait_for([&] { return received.size() == 1; })); // the first: at once
    ASSERT_TRUE(pty.write_all(part(1, 150)));
    ASSERT_TRUE(wait_for([&] { return p.waiting() == 149; })); // read, held back
    clock.advance(49);
    EXPECT_EQ(events.size(), 1u);
    ASSERT_TRUE(pty.write_all(part(150, 300)));
    ASSERT_TRUE(wait_for([&] { return p.waiting() == 299; }));
    EXPECT_EQ(events.size(), 1u);
    clock.advance(1); // the interval is over: both parts in one event
    EXPECT_EQ(received, data);
    EXPECT_EQ(events, (std::vector<int>{kCommEventReceive, kCommEventReceive}));
}
