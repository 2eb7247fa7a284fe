#pragma once
// A serial port control for long runs: bytes handed to feed() arrive as from a device and raise
// OnComm like the real adapter (while open and RThreshold is 1, never re-entered). Unlike the
// test double it records nothing, so its own memory stays flat over millions of batches.
#include "platform/serial/serial_port.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zento::perf {

class FeedPort : public SerialPort {
  public:
    void setInputLen(std::int16_t) override {}
    void setInputMode(std::int32_t) override {}
    void setInBufferCount(std::int16_t count) override {
        if (count == 0) input_.clear();
    }
    void setOutBufferCount(std::int16_t) override {}
    void setRThreshold(std::int16_t threshold) override { rthreshold_ = threshold; }
    std::int16_t RThreshold() const override { return rthreshold_; }
    void setCommPort(std::int16_t port) override { port_ = port; }
    std::int16_t CommPort() const override { return port_; }
    bool setSettings(const std::string& settings) override {
        settings_ = settings;
        return true;
    }
    std::string Settings() const override { return settings_; }
    bool PortOpen() const override { return open_; }
    bool setPortOpen(bool open) override {
        open_ = open;
        input_.clear();
        return true;
    }
    std::string lastError() const override { return {}; }
    bool Output(std::span<const std::uint8_t> bytes) override {
        written_ += bytes.size();
        return open_;
    }
    std::vector<std::uint8_t> Input() override {
        std::vector<std::uint8_t> out;
        out.swap(input_);
        return out;
    }
    int CommEvent() const override { return kCommEventReceive; }
    // The time of the bytes fed (link/link_time.h); the tool sets it to its board time.
    std::int64_t InputTime() const override { return time_ns; }
    std::int64_t TimeNow() const override { return time_ns; }
    std::int64_t time_ns = 1'765'000'000'000'000'000;

    // Bytes from the device; dropped while the port is closed.
    void feed(std::span<const std::uint8_t> bytes) {
        if (!open_) return;
        input_.insert(input_.end(), bytes.begin(), bytes.end());
        if (in_handler_ || rthreshold_ < 1 || !OnComm) return;
        in_handler_ = true;
        while (!input_.empty() && open_ && rthreshold_ >= 1)
            OnComm();
        in_handler_ = false;
    }

    std::size_t written() const { return written_; }

  private:
    std::vector<std::uint8_t> input_;
    std::int16_t rthreshold_ = 0, port_ = 1;
    std::string settings_ = "115200,n,8,1";
    bool open_ = false, in_handler_ = false;
    std::size_t written_ = 0;
};

} // namespace zento::perf
