#pragma once
// The serial port control over QSerialPort.
//
// "Com n" is COMn on Windows. Elsewhere it is, in this order, the link (or device) "com<n>" in
// the folder "ports" of the program's folder, or the n-th device that QSerialPortInfo reports,
// ordered by order_serial_devices (platform/serial/port_order.h).
//
// Reception: QSerialPort::readyRead moves every waiting byte into the adapter's own input
// buffer (bounded: kInputCapacity; the excess is dropped and CommEvent 1008 reported), then
// raises OnComm on the UI thread while RThreshold is 1. OnComm is never re-entered: bytes that
// arrive while it runs are announced again after it returns, and setting RThreshold back to 1
// with bytes waiting raises it again from the event loop.
//
// Pacing: OnComm for arriving bytes is raised at most once per minEventInterval() (default
// kMinEventIntervalMs). Bytes that arrive sooner after the previous event wait for the rest of
// the interval and are announced together. Each event can repaint the whole window, so on a fast
// line this bounds the UI's work per second, at the cost of at most that much delay; at the
// board's own rate (a tick every 50 ms) every tick is announced the moment it arrives.
//
// A port that fails while open (device unplugged, I/O error) is closed and OnFailure raised
// once with the device and the system's reason; nothing is retried here. deviceReturned() then
// tells when it is back: at the path "Com n" led to, or, for a USB device renamed by the
// system, as the device with its serial number (or its vendor and product); the next open
// takes it there. After an open that found no device (deviceAbsent: nothing plugged in yet),
// deviceReturned() tells when "Com n" leads to one.
//
// An open port names its device for the log (openDevice): the path, a link with its target,
// and for a USB device its vendor and product, its product name and serial number.
//
// An open the system refuses for lack of permission says what to do about it (the device's
// group: platform/serial/device_access.h).
//
// One program per device: the device behind "Com n" is resolved (links followed) and taken
// with a DeviceLock (platform/serial/device_lock.h) before it is opened, and QSerialPort opens
// the resolved path, so its own lock file carries the device's name whichever link led there.
// A device held by another program is refused with "the port is in use by another program"
// and, where the system tells it, the process's name and id.
#include "platform/serial/device_lock.h"
#include "platform/serial/port_order.h"
#include "platform/serial/serial_port.h"
#include "platform/timing/clock.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zento {

class QtSerialPortControl : public QObject, public SerialPort {
    Q_OBJECT
  public:
    static constexpr std::size_t kInputCapacity = std::size_t(1) << 20;
    static constexpr int kMinEventIntervalMs = 16; // one frame of a 60 Hz screen

    // `program_dir`: the program's folder, whose "ports" folder may hold com<n> links.
    // `clock`: what the pacing runs on.
    explicit QtSerialPortControl(QString program_dir, QObject* parent = nullptr,
                                 Clock& clock = system_clock());
    ~QtSerialPortControl() override;

    // Input() always takes every waiting byte as binary data: read length 0 in binary mode,
    // which is what start-up asks for; nothing else is ever asked.
    void setInputLen(std::int16_t) override {}
    void setInputMode(std::int32_t) override {}
    void setInBufferCount(std::int16_t count) override;
    void setOutBufferCount(std::int16_t count) override;
    void setRThreshold(std::int16_t threshold) override;
    std::int16_t RThreshold() const override { return rthreshold_; }
    void setCommPort(std::int16_t port) override;
    std::int16_t CommPort() const override { return comm_port_; }
    bool setSettings(const std::string& settings) override;
    std::string Settings() const override { return settings_; }
    bool PortOpen() const override { return serial_.isOpen(); }
    bool setPortOpen(bool open) override;
    std::string lastError() const override { return last_error_; }
    bool deviceAbsent() const override { return absent_; }
    std::string openDevice() const override { return serial_.isOpen() ? open_line_ : ""; }
    std::string deviceFor(std::int16_t port) const override;
    bool Output(std::span<const std::uint8_t> bytes) override;
    std::vector<std::uint8_t> Input() override;
    // When the batch's last bytes were read from the device.
    std::int64_t InputTime() const override { return taken_time_; }
    int CommEvent() const override { return comm_event_; }

    // Where "Com n" leads now: `path` to open ("" when nowhere), `shown` for messages.
    struct Target {
        QString path;
        QString shown; // e.g. "/dev/ttyUSB0" or "/x/ports/com1 -> /dev/pts/3"
        QString brief; // e.g. "ttyUSB0" or "pts/3"
    };
    Target resolve(int port) const;

    // A device named by its path (a tool's --port /dev/ttyUSB0): "Com n" leads there instead,
    // and messages name the path. "" goes back to "Com n".
    void setDevicePath(const QString& path) { device_path_ = path; }

    // 0: every arrival is announced at once.
    void setMinEventInterval(int ms) { min_event_interval_ms_ = std::max(0, ms); }
    int minEventInterval() const { return min_event_interval_ms_; }

    // The underlying port, for inspection.
    const QSerialPort& device() const { return serial_; }
    // Bytes waiting in the adapter's input buffer.
    std::size_t waiting() const { return input_.size(); }

    // The system's serial devices (paths); QSerialPortInfo by default, replaceable for tests.
    std::function<std::vector<std::string>()> list_devices;
    // The same with what identifies each (USB serial number, vendor, product).
    std::function<std::vector<SerialDeviceId>()> list_device_ids;

    bool deviceReturned() override;
    // The device lock (its lock-file folders can be changed for tests).
    DeviceLock& deviceLock() { return lock_; }

  private:
    void on_ready_read();
    void on_error(QSerialPort::SerialPortError error);
    void schedule_delivery();
    void deliver();
    void deliver_paced();
    void discard(std::size_t n); // reads and drops n bytes the port holds
    void fail(const QString& reason, unsigned generation);

    void close_port();

    QSerialPort serial_;
    DeviceLock lock_;
    QString program_dir_;
    QString device_path_;
    std::int16_t rthreshold_ = 0;
    std::int16_t comm_port_ = 1;
    std::string settings_ = "9600,n,8,1";
    std::string last_error_;
    std::string open_description_; // "Com1 (/dev/ttyUSB0)" of the open port
    std::string open_line_;        // openDevice() of the open port
    bool absent_ = false;          // the last open found no device
    QString open_path_;
    SerialDeviceId opened_id_;           // the device open now (or last)
    std::optional<SerialDeviceId> gone_; // the device that failed while open, until reopened
    QString reopen_path_;                // where it is back under a new name
    int comm_event_ = 0;
    std::vector<std::uint8_t> input_;
    std::int64_t input_time_ = 0; // when bytes last came into input_
    std::int64_t taken_time_ = 0; // input_time_ as the last Input() took it
    bool overflow_ = false;
    bool in_handler_ = false;
    bool delivery_queued_ = false;
    bool failing_ = false;
    int min_event_interval_ms_ = kMinEventIntervalMs;
    Clock& clock_;
    std::int64_t event_ms_ = -1; // the clock's time at the last OnComm (-1 none yet)
    Timer* pace_timer_ = nullptr;
    unsigned generation_ = 0; // counts opens, so a late failure never closes a newer opening
};

} // namespace zento
