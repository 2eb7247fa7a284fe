#include "platform/serial/mock_serial_port.h"

#include "platform/serial/line_settings.h"

#include <algorithm>

namespace zento {

MockSerialPort::MockSerialPort() = default;

void MockSerialPort::setInputLen(std::int16_t len) {
    calls.push_back("InputLen=" + std::to_string(len));
}

void MockSerialPort::setInputMode(std::int32_t mode) {
    calls.push_back("InputMode=" + std::to_string(mode));
}

void MockSerialPort::setInBufferCount(std::int16_t count) {
    calls.push_back("InBufferCount=" + std::to_string(count));
    if (count == 0) {
        input_.clear();
        overflow_ = false;
    }
}

void MockSerialPort::setOutBufferCount(std::int16_t count) {
    calls.push_back("OutBufferCount=" + std::to_string(count));
}

void MockSerialPort::setRThreshold(std::int16_t threshold) {
    calls.push_back("RThreshold=" + std::to_string(threshold));
    rthreshold_ = threshold;
    if (threshold >= 1 && (!input_.empty() || overflow_)) raise();
}

void MockSerialPort::setCommPort(std::int16_t port) {
    calls.push_back("CommPort=" + std::to_string(port));
    if (!open_) comm_port_ = port; // the number of an open port never changes
}

bool MockSerialPort::setSettings(const std::string& settings) {
    calls.push_back("Settings=" + settings);
    const LineSettingsParse p = parse_line_settings(settings);
    if (!p.settings || open_) return false;
    settings_ = p.settings->text();
    return true;
}

std::string MockSerialPort::deviceFor(std::int16_t port) const {
    if (unmapped(port)) return {};
    return "ttyMOCK" + std::to_string(port - 1);
}

std::string MockSerialPort::device_text() const {
    const std::string dev = deviceFor(comm_port_);
    return "Com" + std::to_string(comm_port_) + (dev.empty() ? "" : " (/dev/" + dev + ")");
}

bool MockSerialPort::setPortOpen(bool open) {
    calls.push_back(open ? "PortOpen=true" : "PortOpen=false");
    if (!open) {
        open_ = false;
        input_.clear();
        overflow_ = false;
        return true;
    }
    if (open_) return true;
    ++open_attempts;
    absent_ = unmapped(comm_port_) || unplugged_;
    if (unmapped(comm_port_)) {
        last_error_ = device_text() + ": no serial device has this port number";
        return false;
    }
    if (unplugged_) {
        last_error_ = device_text() + ": No such file or directory";
        return false;
    }
    if (!open_failure_.empty()) {
        last_error_ = device_text() + ": " + open_failure_;
        return false;
    }
    open_ = true;
    ++opens;
    last_error_.clear();
    return true;
}

std::string MockSerialPort::openDevice() const {
    return open_ ? "Com" + std::to_string(comm_port_) + " is /dev/" + deviceFor(comm_port_) : "";
}

bool MockSerialPort::Output(std::span<const std::uint8_t> bytes) {
    if (!open_) {
        last_error_ = device_text() + ": the port is not open";
        return false;
    }
    if (!write_failure_.empty()) {
        last_error_ = device_text() + ": " + write_failure_;
        return false;
    }
    written.insert(written.end(), bytes.begin(), bytes.end());
    writes.emplace_back(bytes.begin(), bytes.end());
    return true;
}

std::vector<std::uint8_t> MockSerialPort::Input() {
    std::vector<std::uint8_t> out;
    out.swap(input_);
    taken_time_ = input_time_;
    return out;
}

bool MockSerialPort::feed(std::span<const std::uint8_t> bytes) {
    if (!open_) return false;
    const std::size_t room = input_capacity - std::min(input_capacity, input_.size());
    const std::size_t take = std::min(room, bytes.size());
    input_.insert(input_.end(), bytes.begin(), bytes.begin() + std::ptrdiff_t(take));
    if (take > 0) input_time_ = clock();
    if (take < bytes.size()) overflow_ = true;
    raise();
    return true;
}

void MockSerialPort::inject_overflow() {
    if (!open_) return;
    overflow_ = true;
    raise();
}

void MockSerialPort::unplug(std::string reason) {
    unplugged_ = true;
    if (!open_) return;
    open_ = false;
    input_.clear();
    overflow_ = false;
    const std::string what = device_text() + ": " + reason;
    last_error_ = what;
    if (OnFailure) OnFailure(what);
}

void MockSerialPort::raise() {
    if (depth_ > 0) { // inside the handler: raise again once it has returned
        pending_ = true;
        return;
    }
    do {
        pending_ = false;
        if (!open_ || rthreshold_ < 1 || !OnComm) return;
        if (overflow_) {
            overflow_ = false;
            comm_event_ = kCommEventRxOver;
        } else if (!input_.empty()) {
            comm_event_ = kCommEventReceive;
        } else {
            return;
        }
        ++on_comm_raised;
        ++depth_;
        max_on_comm_depth = std::max(max_on_comm_depth, depth_);
        OnComm();
        --depth_;
    } while (pending_);
}

} // namespace zento
