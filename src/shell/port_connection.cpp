#include "shell/port_connection.h"

#include "platform/serial/serial_port.h"
#include "platform/widgets/widgets.h"
#include "settings/comm_set.h"
#include "settings/port_config.h"

#include <QTimer>

namespace zento {

PortConnection::PortConnection(SerialPort& port, SwitchLed* portSwitch,
                               std::filesystem::path ini_file, QWidget* window)
    : QObject(window), port_(port), switch_(portSwitch), ini_file_(std::move(ini_file)),
      window_(window), check_timer_(new QTimer(this)) {
    check_timer_->setObjectName(QStringLiteral("Timer4"));
    check_timer_->setSingleShot(true);
    check_timer_->setInterval(200);
    connect(check_timer_, &QTimer::timeout, this, &PortConnection::Timer4_Timer);
    connect(switch_, &SwitchLed::clicked, this, &PortConnection::iSwitchLedX1_Click);
    port_.OnFailure = [this](const std::string& reason) { MSComm_OnFailure(reason); };
    check_timer_->start(); // the first port check, 200 ms after start-up
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

void PortConnection::iSwitchLedX1_Click() {
    if (!port_.PortOpen()) {
        const bool opened = port_.setPortOpen(true);
        emit message(QStringLiteral("Try to open Com Port ..."));
        if (!opened) emit message(QString::fromStdString(port_.lastError()));
    } else {
        emit message(QStringLiteral("Disconnect ..."));
        port_.setPortOpen(false);
    }
    check_timer_->start();
    emit switched();
}

void PortConnection::Timer4_Timer() {
    check_timer_->stop();
    if (port_.PortOpen()) {
        switch_->setCaption(QStringLiteral("Connected"));
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

void PortConnection::MSComm_OnFailure(const std::string& reason) {
    emit message(QString::fromStdString(reason));
    Timer4_Timer(); // the port is already closed: report it now
}

void PortConnection::com_set_Click() {
    emit message(QString::fromStdString(port_.Settings()));
    if (!settings_) {
        settings_ = new CommSet(port_, ini_file_, window_);
        settings_->show_msg = [this](const QString& t) { emit message(t); };
        settings_->close_port = [this] {
            port_.setPortOpen(false);
            check_timer_->start();
        };
    }
    settings_->Show_window();
    if (port_.PortOpen()) port_.setPortOpen(false);
    check_timer_->start();
}

void PortConnection::close() {
    port_.setPortOpen(false);
}

} // namespace zento
