// The serial port contract (serial_port.h), run against both implementations: the test double
// that the window's tests are built on, and the QSerialPort adapter on a pseudo-terminal. What
// holds for one holds for the other, so the double cannot drift from the real thing.
#include "platform/serial/mock_serial_port.h"
#include "platform/serial/qt_serial_port.h"
#include "pty.h"
#include "qt_test.h"
#include "test_folder.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

using namespace zento;
using namespace zento_test;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes pattern(std::size_t n, std::uint8_t salt = 0) {
    Bytes v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = std::uint8_t(i * 7 + i / 251 + salt);
    return v;
}

// A port and the device behind it, as the test drives them.
class Rig {
  public:
    virtual ~Rig() = default;
    virtual SerialPort& port() = 0;
    virtual void arrive(const Bytes& bytes) = 0; // the device sends
    virtual Bytes sent() = 0;                    // what the device has received
    virtual void unplug() = 0;                   // the device goes away
    virtual std::size_t capacity() const = 0;    // the port's input bound
    virtual std::string device() const = 0;      // how messages name the device
    virtual std::size_t waiting() const = 0;     // bytes the port holds, not yet announced
};

class MockRig : public Rig {
  public:
    SerialPort& port() override { return port_; }
    void arrive(const Bytes& b) override { port_.feed(b); }
    Bytes sent() override { return port_.written; }
    void unplug() override { port_.unplug("Input/output error"); }
    std::size_t capacity() const override { return port_.input_capacity; }
    std::string device() const override { return "/dev/ttyMOCK0"; }
    std::size_t waiting() const override { return port_.waiting(); }

  private:
    MockSerialPort port_;
};

class PtyRig : public Rig {
  public:
    PtyRig() {
        std::filesystem::create_directories(dir_.path() / "ports");
        std::filesystem::create_symlink(pty_.slave(), dir_.path() / "ports" / "com1");
        port_ = std::make_unique<QtSerialPortControl>(QString::fromStdString(dir_.path().string()));
        port_->list_devices = [] { return std::vector<std::string>{}; };
    }
    SerialPort& port() override { return *port_; }
    void arrive(const Bytes& b) override { ASSERT_TRUE(pty_.write_all(b)); }
    Bytes sent() override {
        const Bytes some = pty_.read_some();
        got_.insert(got_.end(), some.begin(), some.end());
        return got_;
    }
    void unplug() override { pty_.close_master(); }
    std::size_t capacity() const override { return QtSerialPortControl::kInputCapacity; }
    std::string device() const override { return (dir_.path() / "ports" / "com1").string(); }
    std::size_t waiting() const override { return port_->waiting(); }

  private:
    TempDir dir_;
    Pty pty_;
    std::unique_ptr<QtSerialPortControl> port_;
    Bytes got_;
};

struct Kind {
    const char* name;
    std::unique_ptr<Rig> (*make)();
};
void PrintTo(const Kind& k, std::ostream* os) {
    *os << k.name;
}

class PortContract : public ::testing::TestWithParam<Kind> {
  protected:
    void SetUp() override {
        rig = GetParam().make();
        SerialPort& p = rig->port();
        // A handler that behaves like the receiver: threshold 0, take the event, threshold 1.
        p.OnComm = [this, &p] {
            ++depth;
            max_depth = std::max(max_depth, depth);
            p.setRThreshold(0);
            events.push_back(p.CommEvent());
            if (p.CommEvent() == kCommEventReceive) {
                const Bytes in = p.Input();
                received.insert(received.end(), in.begin(), in.end());
                if (inside) inside();
            } else if (p.CommEvent() == kCommEventRxOver) {
                p.setInBufferCount(0);
                p.setOutBufferCount(0);
            }
            p.setRThreshold(1);
            --depth;
        };
        p.OnFailure = [this](const std::string& reason) { failures.push_back(reason); };
        p.setCommPort(1);
        ASSERT_TRUE(p.setSettings("115200,n,8,1"));
    }
    SerialPort& port() { return rig->port(); }
    void open() { ASSERT_TRUE(port().setPortOpen(true)) << port().lastError(); }

    std::unique_ptr<Rig> rig;
    std::vector<int> events;
    Bytes received;
    std::vector<std::string> failures;
    std::function<void()> inside;
    int depth = 0, max_depth = 0;
};

} // namespace

TEST_P(PortContract, BytesWaitForThresholdOneThenArriveWholeAndInOrder) {
    open();
    const Bytes first = pattern(3000);
    rig->arrive(first);
    ASSERT_TRUE(wait_for([&] { return rig->waiting() == first.size(); }));
    EXPECT_TRUE(events.empty()) << "no receive event while RThreshold is 0";
    port().setRThreshold(1); // bytes waiting: announced now
    ASSERT_TRUE(wait_for([&] { return received.size() >= first.size(); }));
    const Bytes second = pattern(50000, 3);
    rig->arrive(second);
    ASSERT_TRUE(wait_for([&] { return received.size() >= first.size() + second.size(); }));
    Bytes all = first;
    all.insert(all.end(), second.begin(), second.end());
    EXPECT_EQ(received, all);
    for (int e : events)
        EXPECT_EQ(e, kCommEventReceive);
    EXPECT_EQ(max_depth, 1) << "OnComm was re-entered";
    EXPECT_TRUE(failures.empty());
}

TEST_P(PortContract, BytesArrivingInsideTheHandlerAreAnnouncedAfterIt) {
    open();
    port().setRThreshold(1);
    int rounds = 0;
    inside = [&] {
        if (++rounds < 4) rig->arrive(pattern(2, std::uint8_t(10 * rounds)));
    };
    rig->arrive(pattern(2));
    ASSERT_TRUE(wait_for([&] { return received.size() == 8; }));
    Bytes expected;
    for (int r = 0; r < 4; ++r) {
        const Bytes p = pattern(2, std::uint8_t(10 * r));
        expected.insert(expected.end(), p.begin(), p.end());
    }
    EXPECT_EQ(received, expected);
    EXPECT_EQ(max_depth, 1);
}

TEST_P(PortContract, OverflowIsReportedAndTheBufferStaysBounded) {
    open(); // RThreshold 0: bytes wait
    // More excess than a terminal buffers: once all is written, the port has seen some of it.
    rig->arrive(pattern(rig->capacity() + 256 * 1024));
    ASSERT_TRUE(wait_for([&] { return rig->waiting() == rig->capacity(); }));
    port().setRThreshold(1);
    ASSERT_TRUE(wait_for([&] { return !events.empty(); }));
    EXPECT_EQ(events.front(), kCommEventRxOver);
    EXPECT_LE(received.size(), rig->capacity());
    // Afterwards bytes are announced as before (behind what a terminal still held).
    rig->arrive({9, 8, 7});
    ASSERT_TRUE(wait_for([&] {
        return received.size() >= 3 && Bytes(received.end() - 3, received.end()) == Bytes{9, 8, 7};
    }));
    EXPECT_EQ(std::count(events.begin(), events.end(), kCommEventRxOver), 1);
}

TEST_P(PortContract, OutputGoesOutWholeOnlyWhileOpen) {
    const Bytes frame{0xA5, 0x5A, 0x04, 0xE2, 0xE6, 0xAA};
    EXPECT_FALSE(port().Output(frame)) << "a closed port writes nothing";
    open();
    ASSERT_TRUE(port().Output(frame)) << port().lastError();
    ASSERT_TRUE(wait_for([&] { return rig->sent().size() >= frame.size(); }));
    EXPECT_EQ(rig->sent(), frame);
}

TEST_P(PortContract, ADeviceGoneWhileOpenClosesThePortAndIsReportedOnce) {
    open();
    port().setRThreshold(1);
    rig->unplug();
    ASSERT_TRUE(wait_for([&] { return !failures.empty(); }));
    EXPECT_FALSE(port().PortOpen());
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(failures.size(), 1u) << "one report, no stream of errors";
    EXPECT_NE(failures[0].find(rig->device()), std::string::npos) << failures[0];
    EXPECT_FALSE(port().setPortOpen(true)) << "opens fail while the device is away";
    EXPECT_FALSE(port().lastError().empty());
}

TEST_P(PortContract, UnusableSettingsAreRefusedAndTheOldOnesKept) {
    for (const char* bad : {"", "115200", "115200,x,8,1", "0,n,8,1", "115200,n,9,1"}) {
        EXPECT_FALSE(port().setSettings(bad)) << bad;
        EXPECT_EQ(port().Settings(), "115200,n,8,1") << bad;
    }
    EXPECT_TRUE(port().setSettings("9600,e,7,2"));
    EXPECT_EQ(port().Settings(), "9600,e,7,2");
}

INSTANTIATE_TEST_SUITE_P(
    BothPorts, PortContract,
    ::testing::Values(Kind{"TestDouble", [] { return std::unique_ptr<Rig>(new MockRig); }},
                      Kind{"QSerialPortOnPty", [] { return std::unique_ptr<Rig>(new PtyRig); }}),
    [](const ::testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });
