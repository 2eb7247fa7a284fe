#pragma once
// The serial port control: the one interface through which the program reaches a port.
// Exactly the operations the program asks of it; implemented by the QSerialPort adapter
// (QtSerialPortControl) and by the test double (MockSerialPort).
//
// Contract:
//  - All calls come from the user-interface thread; OnComm is raised on it and never re-entered.
//  - While RThreshold is 1 and the port is open, OnComm is raised with CommEvent 2 once at least
//    one byte is waiting; with RThreshold 0 no receive event is raised.
//  - CommEvent 1008: the adapter's bounded input buffer overflowed (bytes were lost).
//  - Input() removes and returns every waiting byte (InputLen 0, binary mode); InputTime() is
//    then the batch's time (link/link_time.h): when its last byte was received, or in a
//    recording its record's time. TimeNow() is the source's time now on the same scale.
//  - setPortOpen(true) opens CommPort with Settings; on failure PortOpen stays false and
//    lastError() names the device and the system's reason.
//  - Output() writes the whole array in one piece.
//  - OnFailure is raised once when an open port fails (device unplugged); the port is then
//    closed and PortOpen reads false.
#include "link/link_time.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace zento {

inline constexpr int kCommEventReceive = 2;
inline constexpr int kCommEventRxOver = 1008;
inline constexpr int kInputModeBinary = 1;

class SerialPort {
  public:
    virtual ~SerialPort() = default;

    virtual void setInputLen(std::int16_t len) = 0;
    virtual void setInputMode(std::int32_t mode) = 0;
    virtual void setInBufferCount(std::int16_t count) = 0;  // 0 empties the input buffer
    virtual void setOutBufferCount(std::int16_t count) = 0; // 0 empties the output buffer
    virtual void setRThreshold(std::int16_t threshold) = 0;
    virtual std::int16_t RThreshold() const = 0;

    virtual void setCommPort(std::int16_t port) = 0;
    virtual std::int16_t CommPort() const = 0;
    // Returns false (and keeps the old text) when the text is not a usable setting.
    virtual bool setSettings(const std::string& settings) = 0;
    virtual std::string Settings() const = 0;

    virtual bool PortOpen() const = 0;
    // true opens CommPort with Settings, false closes. Returns false when it failed.
    virtual bool setPortOpen(bool open) = 0;
    virtual std::string lastError() const = 0;
    // The device that CommPort `port` opens now, as shown to the user ("ttyUSB0", "pts/3");
    // "" when that number leads to no device.
    virtual std::string deviceFor(std::int16_t /*port*/) const { return {}; }
    // After an open port failed (OnFailure, the device went away): whether the device is there
    // again, at the path it had or, for a USB device the system has named anew, as the device
    // with the same serial number (else the same vendor and product). The next
    // setPortOpen(true) opens it where it is now. After an open that failed for want of a
    // device (deviceAbsent): whether CommPort leads to one now.
    virtual bool deviceReturned() { return false; }
    // After setPortOpen(true) failed: whether no device was there (CommPort led nowhere, or to
    // a path that does not exist), as when the board is not plugged in yet.
    virtual bool deviceAbsent() const { return false; }
    // The device open now, for the log: "Com1 is /dev/ttyUSB0" and, for a USB device, its
    // product and serial number; "" while closed.
    virtual std::string openDevice() const { return {}; }

    virtual bool Output(std::span<const std::uint8_t> bytes) = 0;
    virtual std::vector<std::uint8_t> Input() = 0;
    // The time of the batch the last Input() returned. By default: when it was taken.
    virtual std::int64_t InputTime() const { return link_clock_ns(); }
    virtual std::int64_t TimeNow() const { return link_clock_ns(); }
    virtual int CommEvent() const = 0;

    std::function<void()> OnComm;
    std::function<void(const std::string& reason)> OnFailure;
};

} // namespace zento
