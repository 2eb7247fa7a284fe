#pragma once
// Test double of the serial port control. No device, no threads: bytes are fed by the test and
// OnComm is raised synchronously, with the same rules as the real adapter:
//  - raised with CommEvent 2 while the port is open and RThreshold is 1 and bytes wait;
//  - never re-entered: bytes fed (or RThreshold set back to 1) inside OnComm raise it again
//    right after the running handler returns;
//  - the input buffer is bounded (input_capacity); the excess is dropped and CommEvent 1008
//    reported.
// It records every property write and every byte written, and can fail opens and writes with
// a reason and simulate an unplugged device.
#include "platform/serial/serial_port.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace zento {

class MockSerialPort : public SerialPort {
  public:
    MockSerialPort();

    // --- SerialPort ---
    void setInputLen(std::int16_t len) override;
    void setInputMode(std::int32_t mode) override;
    void setInBufferCount(std::int16_t count) override;
    void setOutBufferCount(std::int16_t count) override;
    void setRThreshold(std::int16_t threshold) override;
    std::int16_t RThreshold() const override { return rthreshold_; }
    void setCommPort(std::int16_t port) override;
    std::int16_t CommPort() const override { return comm_port_; }
    bool setSettings(const std::string& settings) override;
    std::string Settings() const override { return settings_; }
    bool PortOpen() const override { return open_; }
    bool setPortOpen(bool open) override;
    std::string lastError() const override { return last_error_; }
    std::string deviceFor(std::int16_t port) const override;
    bool deviceReturned() override { return !unplugged_ && !unmapped(comm_port_); }
    bool deviceAbsent() const override { return absent_; }
    std::string openDevice() const override;
    bool Output(std::span<const std::uint8_t> bytes) override;
    std::vector<std::uint8_t> Input() override;
    std::int64_t InputTime() const override { return taken_time_; }
    std::int64_t TimeNow() const override { return clock(); }
    int CommEvent() const override { return comm_event_; }

    // --- test controls ---
    // The source's time (link/link_time.h); feed() stamps its bytes with it.
    std::function<std::int64_t()> clock = link_clock_ns;
    // Bytes arrive from the device. Dropped (returns false) while the port is closed.
    bool feed(std::span<const std::uint8_t> bytes);
    // The receive buffer overflowed: CommEvent 1008 is raised (when open).
    void inject_overflow();
    // Every open fails with this reason until cleared with "".
    void fail_opens(std::string reason) { open_failure_ = std::move(reason); }
    // Every write fails with this reason until cleared with "".
    void fail_writes(std::string reason) { write_failure_ = std::move(reason); }
    // The device goes away: an open port is closed and OnFailure raised once; opens fail until
    // plug().
    void unplug(std::string reason = "Input/output error");
    void plug() { unplugged_ = false; }
    bool unplugged() const { return unplugged_; }
    // Ports that lead to no device (deviceFor gives "", opens fail).
    std::function<bool(std::int16_t)> unmapped = [](std::int16_t) { return false; };

    std::size_t waiting() const { return input_.size(); }
    std::size_t input_capacity = std::size_t(1) << 20;

    std::vector<std::uint8_t> written;             // every byte written, in order
    std::vector<std::vector<std::uint8_t>> writes; // one entry per successful Output call
    std::vector<std::string>
        calls;     // property writes in order, e.g. "RThreshold=1", "PortOpen=true"
    int opens = 0; // successful opens
    int open_attempts = 0;
    int on_comm_raised = 0;
    int max_on_comm_depth = 0; // deepest nesting of OnComm seen (1 = never re-entered)

  private:
    void raise();
    std::string device_text() const;

    std::int16_t rthreshold_ = 0;
    std::int16_t comm_port_ = 1;
    std::string settings_ = "9600,n,8,1";
    bool open_ = false;
    bool unplugged_ = false;
    bool absent_ = false;
    bool overflow_ = false;
    int comm_event_ = 0;
    int depth_ = 0;
    bool pending_ = false;
    std::string last_error_, open_failure_, write_failure_;
    std::vector<std::uint8_t> input_;
    std::int64_t input_time_ = 0, taken_time_ = 0;
};

} // namespace zento
