#include "shell/port_connection.h"

#include "platform/serial/serial_port.h"
#include "instruments/lamps.h"
#include "dialogs/comm_set.h"
#include "settings/port_config.h"

#include <QTimer>

namespace zento {

namespace {
constexpr std::string_view kOptionsSection = "Options";
constexpr std::string_view kReconnectKey = "Reconnect";
} // namespace

PortConnection::PortConnection(SerialPort& port, SwitchLed* portSwitch, SettingsFile ini_file,
                               QWidget* window)
    : QObject(window), port_(port), switch_(portSwitch), ini_file_(std::move(ini_file)),
      window_(window), check_timer_(new QTimer(this)), watch_timer_(new QTimer(this)) {
    check_timer_->setObjectName(QStringLiteral("Timer4"));
    check_timer_->setSingleShot(true);
    check_timer_->setInterval(200);
    connect(check_timer_, &QTimer::timeout, this, &PortConnection::Timer4_Timer);
    connect(switch_, &SwitchLed::clicked, this, &PortConnection::iSwitchLedX1_Click);
    port_.OnFailure = [this](const std::string& reason) { MSComm_OnFailure(reason); };
    check_timer_->start(); // the first port check, 200 ms after start-up
    watch_timer_->setInterval(500);
    connect(watch_timer_, &QTimer::timeout, this, &PortConnection::watch_tick);
    auto_reconnect_ = read_setting(ini_file_, kOptionsSection, kReconnectKey) != "0";
}

PortConnection::~PortConnection() {
    port_.OnFailure = nullptr;
}

void PortConnection::prepare_port() {
    port_.setInputLen(0);
    port_.setInputMode(kInputModeBinary);
    port_.setInBufferCount(0);
    port_.setOutBufferCount(0);
    port_.setRThreshold(1);
}

QString PortConnection::apply_settings_file() {
    const PortConfig config = read_port_config(ini_file_);
    port_.setCommPort(config.port);
    port_.setSettings(config.settings);
    return QString::fromStdString(config.problem);
}

void PortConnection::use_for_this_run(std::optional<std::int16_t> port,
                                      std::optional<std::string> settings) {
    if (!port && !settings) return;
    if (port) port_.setCommPort(*port);
    if (settings) port_.setSettings(*settings);
    emit message(QStringLiteral("For this run: Com%1 %2 (from the command line; the settings file "
                                "is not changed)")
                     .arg(port_.CommPort())
                     .arg(QString::fromStdString(port_.Settings())));
}

void PortConnection::setAutoReconnect(bool on) {
    if (on == auto_reconnect_) return;
    auto_reconnect_ = on;
    if (!on) stop_waiting();
    const IniWriteResult r =
        save_setting(ini_file_, kOptionsSection, kReconnectKey, on ? "1" : "0");
    if (!r.ok)
        emit message(QStringLiteral("Zento.ini was not saved: ") + QString::fromStdString(r.error));
}

bool PortConnection::waitingForDevice() const {
    return watch_timer_->isActive();
}

void PortConnection::stop_waiting() {
    watch_timer_->stop();
    return_failed_ = false;
}

void PortConnection::start_waiting(bool first_time) {
    emit message(QStringLiteral("Waiting for Com%1 to %2 (Setting > Reconnect automatically) ...")
                     .arg(port_.CommPort())
                     .arg(first_time ? QStringLiteral("appear") : QStringLiteral("come back")));
    first_time_ = first_time;
    return_failed_ = false;
    watch_timer_->start();
}

void PortConnection::watch_tick() {
    if (port_.PortOpen()) return stop_waiting();
    if (!port_.deviceReturned()) {
        return_failed_ = false;
        return;
    }
    if (!open_port()) {
        // Back, but not usable yet (another program may hold it for a moment): said once.
        if (!return_failed_)
            emit message(QString::fromStdString(port_.lastError()) +
                         QStringLiteral(" (trying again)"));
        return_failed_ = true;
        return;
    }
    stop_waiting();
    emit message((first_time_ ? QStringLiteral("Com%1 appeared: connected")
                              : QStringLiteral("Com%1 is back: reconnected"))
                     .arg(port_.CommPort()));
    check_timer_->start();
    emit switched();
}

void PortConnection::iSwitchLedX1_Click() {
    stop_waiting();
    if (!port_.PortOpen()) {
        const bool opened = open_port();
        emit message(QStringLiteral("Try to open Com Port ..."));
        if (!opened) emit message(QString::fromStdString(port_.lastError()));
        if (!opened && auto_reconnect_ && port_.deviceAbsent()) start_waiting(true);
    } else {
        emit message(QStringLiteral("Disconnect ..."));
        close_port();
    }
    check_timer_->start();
    emit switched();
}

void PortConnection::Timer4_Timer() {
    check_timer_->stop();
    if (port_.PortOpen()) {
        switch_->setCaption(QStringLiteral("Connected"));
        if (const std::string device = port_.openDevice(); !device.empty())
            emit message(QString::fromStdString(device));
        emit message(QStringLiteral("COM%1--%2")
                         .arg(port_.CommPort())
                         .arg(QString::fromStdString(port_.Settings())));
        emit message(QStringLiteral("Open Com Port Success ..."));
        switch_->setActive(true);
    } else {
        switch_->setCaption(QStringLiteral("Port Close"));
        emit message(QStringLiteral("Com Port Closed ..."));
        switch_->setActive(false);
    }
}

bool PortConnection::open_port() {
    if (!port_.setPortOpen(true)) return false;
    emit opened();
    return true;
}

void PortConnection::close_port() {
    const bool was_open = port_.PortOpen();
    port_.setPortOpen(false);
    if (was_open) emit closed();
}

void PortConnection::MSComm_OnFailure(const std::string& reason) {
    emit closed();
    emit message(QString::fromStdString(reason));
    Timer4_Timer(); // the port is already closed: report it now
    if (auto_reconnect_) start_waiting(false);
}

void PortConnection::com_set_Click() {
    stop_waiting();
    emit message(QString::fromStdString(port_.Settings()));
    if (!settings_) {
        settings_ = new CommSet(port_, ini_file_, window_);
        settings_->show_msg = [this](const QString& t) { emit message(t); };
        settings_->close_port = [this] {
            close_port();
            check_timer_->start();
        };
    }
    settings_->Show_window();
    close_port();
    check_timer_->start();
}

void PortConnection::close() {
    stop_waiting();
    close_port();
}

void PortConnection::disconnect_port() {
    stop_waiting();
    if (!port_.PortOpen()) return;
    emit message(QStringLiteral("Disconnect ..."));
    close_port();
    check_timer_->start();
    emit switched();
}

} // namespace zento
