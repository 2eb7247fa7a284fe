#pragma once
// The port settings window: port number, baud rate, data bits and stop bits (parity is always
// "n"). Shown modeless; its buttons hide it, so it keeps its list positions between showings.
// "OK" applies the choice to the serial port control and writes it to the settings file; the
// port stays closed until the user connects again.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include "settings/settings_location.h"

#include <functional>

namespace zento {

class Panel;
class SerialPort;

class CommSet : public QWidget {
    Q_OBJECT
  public:
    // `ini_file`: the settings file that "OK" writes. `parent`: the main window (the settings
    // window is a window of its own, owned by it).
    CommSet(SerialPort& port, SettingsFile ini_file, QWidget* parent = nullptr);

    // Reports to the message log.
    std::function<void(const QString&)> show_msg;
    // Closes an open port and has its state reported (used by "OK" while the port is open).
    std::function<void()> close_port;

    // Shows the window: the first time it loads (caption, port position, fixed list
    // positions); every time the port list shows which device each "Com n" opens now.
    void Show_window();
    bool loaded() const { return loaded_; }

    void Form_Load();
    void Com_set_O_Click();  // "OK"
    void Comm_set_C_Click(); // "Canceled"
    void Command1_Click();   // "Default"

    // "Current Setting [ Com<port> <settings> ]"
    QString current_setting_caption() const;
    // Refreshes the "Com n  (device)" texts of the port list.
    void Refresh_ports();

    // Controls, named for their role; each objectName is its designer id.
    Panel* panel = nullptr;               // iPanelX1 "Port Setting"
    QComboBox* portList = nullptr;        // Combo1 "Com 1" .. "Com 14"
    QComboBox* baudList = nullptr;        // Combo2
    QComboBox* dataBitsList = nullptr;    // Combo3
    QComboBox* stopBitsList = nullptr;    // Combo4
    QLabel* portCaption = nullptr;        // Label_port
    QLabel* baudCaption = nullptr;        // Label_baud
    QLabel* dataBitsCaption = nullptr;    // Label_data
    QLabel* stopBitsCaption = nullptr;    // Label_stop
    QLabel* hint = nullptr;               // Label_hint
    QPushButton* okButton = nullptr;      // Com_set_O "OK"
    QPushButton* cancelButton = nullptr;  // Comm_set_C "Canceled"
    QPushButton* defaultButton = nullptr; // Command1 "Default"

    static constexpr int kPorts = 14;

  private:
    SerialPort& port_;
    SettingsFile ini_file_;
    bool loaded_ = false;
};

} // namespace zento
