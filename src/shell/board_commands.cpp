#include "shell/board_commands.h"

#include "link/command_sender.h"
#include "link/envelope.h"
#include "shell/pulse_lamp.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>

#include <string>

namespace zento {

BiasConfirmDialog::BiasConfirmDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Dialog2"));
    setWindowTitle(QStringLiteral("Gyroscope initialization"));
    setModal(false);
    setFixedSize(402, 80);

    stillNote = new QLabel(
        QStringLiteral("Keep the module is placed static in order to collect the gyro bias"), this);
    stillNote->setObjectName(QStringLiteral("Label1"));
    stillNote->setGeometry(16, 8, 281, 57);
    stillNote->setWordWrap(true);
    stillNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    startButton = new QPushButton(QStringLiteral("Start!"), this);
    startButton->setObjectName(QStringLiteral("OKButton"));
    startButton->setGeometry(312, 8, 81, 25);
    startButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("Canceled"), this);
    cancelButton->setObjectName(QStringLiteral("CancelButton"));
    cancelButton->setGeometry(312, 40, 81, 25);

    connect(startButton, &QPushButton::clicked, this, [this] {
        emit start();
        hide();
    });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::hide);
}

BoardCommands::BoardCommands(SerialPort& port, QAbstractButton* markBias,
                             QAbstractButton* heightZero, Lamp* txdLamp, QWidget* window,
                             Clock& clock)
    : QObject(window), port_(port), window_(window), mark_bias_(markBias), height_zero_(heightZero),
      txd_(new PulseLamp(txdLamp, 200, "Timer3", this, clock)) {
    connect(markBias, &QAbstractButton::clicked, this, &BoardCommands::Show_bias_dialog);
    connect(heightZero, &QAbstractButton::clicked, this, &BoardCommands::Send_high);
}

void BoardCommands::Send_command(std::uint8_t type) {
    std::string error;
    switch (send_command(port_, type, &error)) {
    case SendOutcome::Sent: {
        txd_->pulse();
        emit message(type == kTypeGyroBias ? QStringLiteral("Sent: collect gyroscope bias")
                                           : QStringLiteral("Sent: zero the height"));
        const auto frame = command_frame(type);
        emit sent(type,
                  QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size())));
        break;
    }
    case SendOutcome::Failed:
        emit message(QString::fromStdString(error));
        break;
    case SendOutcome::PortClosed:
        break;
    }
}

void BoardCommands::setEnabled(bool on) {
    mark_bias_->setEnabled(on);
    height_zero_->setEnabled(on);
    if (!on && dialog_) dialog_->hide();
}

void BoardCommands::Send_gyro() {
    Send_command(kTypeGyroBias);
}

void BoardCommands::Send_high() {
    Send_command(kTypeHeightZero);
}

void BoardCommands::Show_bias_dialog() {
    if (!dialog_) {
        dialog_ = new BiasConfirmDialog(window_);
        connect(dialog_, &BiasConfirmDialog::start, this, &BoardCommands::Send_gyro);
    }
    dialog_->show();
    dialog_->raise();
    dialog_->activateWindow();
}

} // namespace zento
