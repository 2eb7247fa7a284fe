#pragma once
// The port connection: the connect switch, opening and closing, the port check, an unplugged
// device, and the port settings window ("ComPort").
//
// The port state is the serial control's PortOpen alone. Each use of the switch opens or closes
// the port; the real state is shown by the port check 200 ms later (Timer4, restarted by each
// use, so two uses in quick succession give one report). A port that fails while open (device
// unplugged) is closed by the serial control and reported at once.
//
// A port that comes back: after an unplug, while "Reconnect automatically" is on (kept in the
// settings file, on unless switched off), the device is looked for every 500 ms, at its old path
// or under a new name (serial control: deviceReturned), and opened again as the switch would,
// with a log line each way. A port whose device is not there when the switch opens it (the
// board not plugged in yet, `zento --connect` before it is) is waited for the same way. Using
// the switch or the settings window ends the wait: the user has taken over (a use of the switch
// that finds no device waits again).
//
// The port check names the device opened (SerialPort::openDevice) before its described lines.
#include "platform/timing/clock.h"
#include "settings/settings_location.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

class QWidget;

namespace zento {

class CommSet;
class SerialPort;
class SwitchLed;

class PortConnection : public QObject {
    Q_OBJECT
  public:
    // `ini_file`: the settings file that start-up reads and the settings window writes.
    // `clock`: what the port check and the watch for a device's return run on.
    PortConnection(SerialPort& port, SwitchLed* portSwitch, SettingsFile ini_file, QWidget* window,
                   Clock& clock);
    ~PortConnection() override;

    // Start-up: the serial control prepared for event-driven binary reception, port closed.
    void prepare_port();
    // Start-up: the port number and settings from the settings file (or Com1 115200,n,8,1);
    // returns the line to report when something in the file was not usable ("" otherwise).
    QString apply_settings_file();

    // The command line's port number and settings, for this run only (Zento.ini unchanged).
    void use_for_this_run(std::optional<std::int16_t> port, std::optional<std::string> settings);

    // "Reconnect automatically": on or off, kept in the settings file.
    void setAutoReconnect(bool on);
    bool autoReconnect() const { return auto_reconnect_; }
    // Whether an unplugged device is being waited for.
    bool waitingForDevice() const;

    void Toggle_port();        // the connect switch
    void Check_port();         // the port check
    void Show_port_settings(); // "ComPort"
    // The serial control closed a port that failed while open.
    void Port_failed(const std::string& reason);
    // Closes the port (the exit items).
    void close();
    // Closes the port as the switch does ("Disconnect ...", the port check 200 ms later), when
    // it is open: a recording is played instead of the board.
    void disconnect_port();

    SerialPort& port() const { return port_; }
    const SettingsFile& ini_file() const { return ini_file_; }
    Timer* check_timer() const { return check_timer_; }
    Timer* watch_timer() const { return watch_timer_; }
    CommSet* settings_window() const { return settings_; } // nullptr until first shown

  signals:
    void message(const QString& text);
    // After each use of the switch: the byte stream starts afresh.
    void switched();
    // The port was opened (by the switch or on the device's return), or closed (by the
    // switch, the settings window, the exit, or because it failed).
    void opened();
    void closed();

  private:
    bool open_port();
    void close_port();
    void stop_waiting();
    void start_waiting(bool first_time);
    void watch_tick();

    SerialPort& port_;
    SwitchLed* switch_;
    SettingsFile ini_file_;
    QWidget* window_;
    Timer* check_timer_;
    Timer* watch_timer_;
    bool auto_reconnect_ = true;
    bool return_failed_ = false; // the returned device refused an open (said once)
    bool first_time_ = false;    // waiting for a device that was not there at the open
    CommSet* settings_ = nullptr;
};

} // namespace zento
