// The serial test double keeps the contract of the real adapter, so tests built on it mean
// something: receive events only while open and RThreshold is 1, never re-entered, a bounded
// buffer with event 1008, failures with reasons.
#include "platform/serial/mock_serial_port.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace zento;

namespace {

// A handler that behaves like the receiver: threshold 0, take the event, threshold 1.
struct Sink {
    explicit Sink(MockSerialPort& p) : port(p) {
        port.OnComm = [this] {
            port.setRThreshold(0);
            events.push_back(port.CommEvent());
            if (port.CommEvent() == kCommEventReceive) {
                const auto in = port.Input();
                bytes.insert(bytes.end(), in.begin(), in.end());
                if (inside) inside();
            } else if (port.CommEvent() == kCommEventRxOver) {
                port.setInBufferCount(0);
            }
            port.setRThreshold(1);
        };
    }
    MockSerialPort& port;
    std::vector<int> events;
    std::vector<std::uint8_t> bytes;
    std::function<void()> inside;
};

std::vector<std::uint8_t> seq(std::size_t n, std::uint8_t first = 0) {
    std::vector<std::uint8_t> v(n);
    std::iota(v.begin(), v.end(), first);
    return v;
}

} // namespace

TEST(MockSerialPort, ReceivesOnlyWhileOpenAndThresholdIsOne) {
    MockSerialPort port;
    Sink sink(port);
    EXPECT_FALSE(port.feed(seq(3))) << "a closed port receives nothing";
    ASSERT_TRUE(port.setPortOpen(true));
    EXPECT_TRUE(port.feed(seq(3)));
    EXPECT_TRUE(sink.events.empty()) << "RThreshold is 0 until set";
    port.setRThreshold(1); // bytes waiting: raised now
    EXPECT_EQ(sink.events, std::vector<int>{kCommEventReceive});
    EXPECT_EQ(sink.bytes, seq(3));
    port.feed(seq(2, 3));
    EXPECT_EQ(sink.bytes, seq(5));
    port.setPortOpen(false);
    EXPECT_FALSE(port.feed(seq(1)));
    EXPECT_EQ(sink.events.size(), 2u);
}

TEST(MockSerialPort, NeverReEnteredBytesArrivingInsideAreDeliveredAfter) {
    MockSerialPort port;
    Sink sink(port);
    port.setPortOpen(true);
    port.setRThreshold(1);
    int rounds = 0;
    sink.inside = [&] {
        if (++rounds < 4) port.feed(seq(2, std::uint8_t(10 * rounds)));
    };
    port.feed(seq(2));
    EXPECT_EQ(port.max_on_comm_depth, 1);
    EXPECT_EQ(sink.bytes, (std::vector<std::uint8_t>{0, 1, 10, 11, 20, 21, 30, 31}));
    EXPECT_EQ(port.on_comm_raised, 4);
}

TEST(MockSerialPort, BoundedBufferReportsOverflowAndDropsTheExcess) {
    MockSerialPort port;
    Sink sink(port);
    port.input_capacity = 10;
    port.setPortOpen(true);
    port.feed(seq(15)); // RThreshold still 0: waits, 5 bytes dropped
    EXPECT_EQ(port.waiting(), 10u);
    port.setRThreshold(1);
    EXPECT_EQ(sink.events, std::vector<int>{kCommEventRxOver});
    EXPECT_EQ(port.waiting(), 0u) << "the handler emptied the buffer";
    port.feed(seq(4));
    EXPECT_EQ(sink.events, (std::vector<int>{kCommEventRxOver, kCommEventReceive}));
    EXPECT_EQ(sink.bytes, seq(4));
    port.inject_overflow();
    EXPECT_EQ(sink.events.back(), kCommEventRxOver);
}
