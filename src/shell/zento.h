#pragma once
// The main window "Tavro AHRS DEMO": connect switch, link lamps, telemetry frame, message log,
// menu, and the timers that drive them.
//
// Start-up (constructor, in this order): serial control prepared (InputLen 0, binary, both
// buffers emptied, RThreshold 1), scale choosers at 1, 1/100, 1/100, 1/5, divisor table filled,
// log emptied, port number and settings from Zento.ini (or Com1 115200,n,8,1), greeting, the
// attitude indicator drawn level. The port stays closed; 200 ms later the port check reports it.
//
// The port state is the serial control's PortOpen alone. Each use of the switch opens or closes
// the port; the real state is shown by the port check 200 ms later (Timer4, restarted by each
// use, so two uses in quick succession give one report). A port that fails while open (device
// unplugged) is closed by the serial control and reported at once.
//
// Everything runs on the UI thread: the receive event, the timers and the handlers never overlap.
#include "link/receiver.h"
#include "telemetry/latest_values.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace zento {

class AttitudeIndicator;
class Big3D;
class CommSet;
class Compass;
class Dialog2;
class LedBar;
class LedDiamond;
class LedRectangle;
class Panel;
class SerialPort;
class StripChart;
class SwitchLed;
class TextLabel;
class Thermometer;

class Zento : public QMainWindow, public ReceiverEvents {
    Q_OBJECT
  public:
    // `port`: the serial port control (outlives the window). `program_dir`: the program's
    // folder, which holds Zento.ini.
    Zento(SerialPort& port, QString program_dir, QWidget* parent = nullptr);
    ~Zento() override;

    // ---- procedures --------------------------------------------------------------------------
    // Appends one line to the message log and flashes Msg_Led for 400 ms. Never fails.
    void Show_msg(std::string_view text) override; // UTF-8
    void Show_msg(const QString& text);
    void Show_msg(const char* text) { Show_msg(std::string_view(text)); }
    void Rec_LedON() override;
    void Send_LedON();
    // Attitude and status frame (0xA1): labels, gauges, heartbeat, horizon, compass, chart
    // channels 0-2, the latest-values record, frame_count. Each of its thirteen steps runs on
    // its own: one that fails is skipped and the others, and the count, still run.
    void Rec_attitude(std::span<const std::uint8_t> rx_frame) override;
    // Raw sensor frame (0xA2): for AX..HZ in turn the label, the record's text and the chart
    // channel 3..11 (value / the group's divisor). A failing output is skipped likewise.
    void Rec_sensor(std::span<const std::uint8_t> rx_frame) override;
    void Send_gyro();
    void Send_high();
    void MSComm_OnComm();

    // ---- event handlers ----------------------------------------------------------------------
    void Timer1_Timer();   // update rate
    void Timer2_Timer();   // RXD lamp out
    void Timer3_Timer();   // TXD lamp out
    void Timer4_Timer();   // port check
    void LED_Time_Timer(); // message lamp out
    void iSwitchLedX1_Click();
    void com_set_Click();  // "ComPort"
    void Exit_Click();     // "Eixt" under "Setting"
    void ExitC_Click();    // "Eixt" under "Eixt"
    void Command1_Click(); // "Marked bias"
    void Command3_Click(); // "Clear"
    void Command4_Click(); // "Height Zero"
    void Command5_Click(); // "3D Show"
    void Command6_Click(); // "Follow the latest"
    void Check1_Click();
    void Check2_Click();
    void Check3_Click();
    void Check4_Click();
    // The serial control noticed that the open port failed and closed it.
    void MSComm_OnFailure(const std::string& reason);

    // ---- the message log ---------------------------------------------------------------------
    // The log's whole text, lines separated by CR LF.
    QString msg_text() const;
    // Oldest lines are dropped beyond this many (the log otherwise only grows until "Clear").
    static constexpr int kLogMaxLines = 10000;

    // ---- secondary windows (nullptr until first shown) ---------------------------------------
    CommSet* comm_set_window() const { return comm_set_; }
    Dialog2* dialog2() const { return dialog2_; }
    Big3D* big3D = nullptr; // the 3D window

    // Ends the program at once (the exit items, after the port is closed). Replaceable so tests
    // can observe it; by default the event loops end and nothing more runs.
    std::function<void()> exit_program;

    // Test hooks, called before each step of the decoders (Rec_attitude: step 1..13; Rec_sensor:
    // reading 0..8 (AX..HZ), part 2 label, 3 record text, 4 chart point). Whatever they throw
    // makes that step fail, as a failing widget would.
    std::function<void(int step)> attitude_step_hook;
    std::function<void(int reading, int part)> sensor_step_hook;

    SerialPort& port() const { return port_; }
    std::filesystem::path ini_file() const { return ini_file_; }

    // ---- fields ------------------------------------------------------------------------------
    std::int16_t frame_count = 0; // attitude frames since the last update-rate tick (wraps)
    std::int16_t msg_count = 0;   // Show_msg calls since start-up (wraps)
    std::array<float, 7> scale_div{};
    // The chart divisor that a scale chooser selects; 1 when it selects no entry of scale_div
    // (index -1 after text was typed into it), so the value is drawn undivided.
    double chart_divisor(const QComboBox* chooser) const;
    // The latest values that the 3D window shows; written whether or not it was ever opened.
    LatestValues latest_values;
    Receiver receiver{*this};

    // ---- controls (designer names) -----------------------------------------------------------
    SwitchLed* iSwitchLedX1 = nullptr;
    QGroupBox* Frame1 = nullptr;             // "串口状态"
    LedRectangle* iLedRectangleX1 = nullptr; // RXD
    LedRectangle* iLedRectangleX2 = nullptr; // TXD
    QLabel* Label24 = nullptr;
    QPushButton* Command5 = nullptr;
    QGroupBox* Fram_Zento = nullptr; // "Tavro AHRS Display"
    Thermometer* iThermometerX1 = nullptr;
    TextLabel* iLabelX1 = nullptr;
    LedBar* iLedBarX1 = nullptr;
    QLabel* Label3 = nullptr;
    StripChart* iPlotX1 = nullptr;
    QPushButton* Command6 = nullptr;
    Compass* iCompassX1 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label5 = nullptr;
    AttitudeIndicator* Piczitai = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label26 = nullptr;
    QLabel* Label22 = nullptr;
    LedRectangle* iLedRectangleX3 = nullptr; // heartbeat
    QGroupBox* Frame_IMU = nullptr;
    QGroupBox* Frame_Acceleration = nullptr;
    QGroupBox* Frame_Gyroscope = nullptr;
    QGroupBox* Frame_Magnetometer = nullptr;
    QGroupBox* Frame_Other = nullptr;
    QLabel* Label19 = nullptr; // IMU: Yaw, Pitch, Roll
    QLabel* Label20 = nullptr;
    QLabel* Label21 = nullptr;
    QLabel* Label7 = nullptr; // Acceleration X Y Z
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr; // Gyroscope X Y Z
    QLabel* Label11 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label13 = nullptr; // Magnetometer X Y Z
    QLabel* Label14 = nullptr;
    QLabel* Label15 = nullptr;
    QLabel* Label16 = nullptr; // Other: Height, Temp, Pressure
    QLabel* Label17 = nullptr;
    QLabel* Label18 = nullptr;
    std::array<QLabel*, 4> Label_scale{}; // "scale" in IMU, Acceleration, Gyroscope, Magnetometer
    QComboBox* Combo1 = nullptr;
    QComboBox* Combo2 = nullptr;
    QComboBox* Combo3 = nullptr;
    QComboBox* Combo4 = nullptr;
    QCheckBox* Check1 = nullptr;
    QCheckBox* Check2 = nullptr;
    QCheckBox* Check3 = nullptr;
    QCheckBox* Check4 = nullptr;
    QPushButton* Command1 = nullptr; // "Marked bias"
    QPushButton* Command4 = nullptr; // "Height Zero"
    Panel* iPanelX1 = nullptr;       // "信息显示"
    QPlainTextEdit* Text_msg = nullptr;
    LedDiamond* Msg_Led = nullptr;
    QPushButton* Command3 = nullptr; // "Clear"

    QMenu* File = nullptr; // "Setting"
    QAction* com_set = nullptr;
    QAction* Exit = nullptr;
    QMenu* Exit_E = nullptr; // "Eixt"
    QAction* ExitC = nullptr;

    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QTimer* Timer3 = nullptr;
    QTimer* Timer4 = nullptr;
    QTimer* LED_Time = nullptr;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void build_controls();
    void build_menu();
    void build_timers();
    void Form_Load();
    void Exit_program();
    void Check_Click(QCheckBox* box, int group);
    void Send_command(std::uint8_t type);

    SerialPort& port_;
    QString program_dir_;
    std::filesystem::path ini_file_;
    std::deque<QString> msg_lines_;
    CommSet* comm_set_ = nullptr;
    Dialog2* dialog2_ = nullptr;
};

} // namespace zento
