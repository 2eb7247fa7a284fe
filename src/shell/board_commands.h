#pragma once
// The two commands to the board and what the user sees of them.
//
// "Marked bias" shows the confirmation dialog (modeless; "Start!" sends the gyroscope bias
// command and hides it, "Canceled" hides it; one dialog, kept between showings). "Height Zero"
// sends the altitude-zero command at once. A command frame written lights the TXD lamp for
// 200 ms and is logged ("Sent: collect gyroscope bias", "Sent: zero the height"); a write the
// port refused is reported (`message`) and leaves the lamp dark; nothing
// happens while the port is closed.
#include <QByteArray>
#include <QDialog>
#include <QObject>
#include <QString>

#include <cstdint>

class QAbstractButton;
class QLabel;
class QPushButton;

namespace zento {

class Clock;
class Lamp;
class PulseLamp;
class SerialPort;

// "Gyroscope initialization": the user confirms that the board lies still.
class BiasConfirmDialog : public QDialog {
    Q_OBJECT
  public:
    explicit BiasConfirmDialog(QWidget* parent);

    QLabel* stillNote;         // Label1
    QPushButton* startButton;  // OKButton "Start!"
    QPushButton* cancelButton; // CancelButton "Canceled"

  signals:
    void start();
};

class BoardCommands : public QObject {
    Q_OBJECT
  public:
    BoardCommands(SerialPort& port, QAbstractButton* markBias, QAbstractButton* heightZero,
                  Lamp* txdLamp, QWidget* window, Clock& clock);

    void Send_gyro();
    void Send_high();
    // "Marked bias": shows the confirmation dialog.
    void Show_bias_dialog();

    BiasConfirmDialog* dialog() const { return dialog_; } // nullptr until first shown
    PulseLamp& lamp() const { return *txd_; }

    // Enabled or not (a playback is not a board: nothing can be sent to it).
    void setEnabled(bool on);

  signals:
    void message(const QString& text);
    // A command frame went to the port whole (`type`: 0xE0 gyroscope bias, 0xE2 height zero).
    void sent(std::uint8_t type, QByteArray frame);

  private:
    void Send_command(std::uint8_t type);

    SerialPort& port_;
    QWidget* window_;
    QAbstractButton* mark_bias_;
    QAbstractButton* height_zero_;
    PulseLamp* txd_;
    BiasConfirmDialog* dialog_ = nullptr;
};

} // namespace zento
