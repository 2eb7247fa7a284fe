#pragma once
// The main window's controls, built and laid out in one place, as a designer form would be:
// each member is named for its role; its objectName is the control's designer id ("Label16",
// "Command5", "Piczitai"), which is how automation and the tests' object lookups find it.
// Positions and sizes are pixels of the client area (1016 x 580); controls inside a frame are
// placed relative to it.
//
// The form holds no behaviour: the window's parts (message log, lamps, telemetry display, port
// connection, commands) are each given the controls they drive.
//
// The labels the stream writes are ValueLabels (instruments/value_label.h): QLabels that a
// new reading repaints only where its glyphs changed.
#include "instruments/value_label.h"

#include <array>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMainWindow;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QWidget;

namespace zento {

class AttitudeIndicator;
class Compass;
class LedBar;
class LedDiamond;
class LedRectangle;
class Panel;
class StripChart;
class SwitchLed;
class TextLabel;
class Thermometer;
class Clock;

struct MainForm {
    // The status bar's height: the window is the menu bar, the 1016 x 580 client area and it.
    static constexpr int kStatusBarHeight = 24;

    // Builds every control into `window` (caption, client area, menu bar); the chart's redraws
    // are paced on `clock`.
    void build(QMainWindow* window, Clock& clock);

    // ---- top row
    SwitchLed* portSwitch = nullptr;         // iSwitchLedX1 "Connect AHRS"
    QGroupBox* linkFrame = nullptr;          // Frame1 "串口状态"
    LedRectangle* rxdLamp = nullptr;         // iLedRectangleX1
    LedRectangle* txdLamp = nullptr;         // iLedRectangleX2
    ValueLabel* solutionRateLabel = nullptr; // Label24 "Estimate Speed"
    QPushButton* show3dButton = nullptr;     // Command5 "3D Show"

    // ---- telemetry frame
    QGroupBox* telemetryFrame = nullptr;     // Fram_Zento "Tavro AHRS Display"
    Thermometer* thermometer = nullptr;      // iThermometerX1
    TextLabel* thermometerLabel = nullptr;   // iLabelX1
    LedBar* altitudeBar = nullptr;           // iLedBarX1
    ValueLabel* altitudeBarLabel = nullptr;  // Label3
    StripChart* chart = nullptr;             // iPlotX1
    QPushButton* followButton = nullptr;     // Command6 "Follow the latest"
    Compass* compass = nullptr;              // iCompassX1
    ValueLabel* horizonPitchLabel = nullptr; // Label6
    ValueLabel* horizonRollLabel = nullptr;  // Label5
    AttitudeIndicator* horizon = nullptr;    // Piczitai
    QLabel* rateNote = nullptr;              // Label4
    QLabel* uploadCaption = nullptr;         // Label26 "Upload:"
    QLabel* updateRateLabel = nullptr;       // Label22 "FPS"
    LedRectangle* heartbeatLamp = nullptr;   // iLedRectangleX3

    // The four chart groups in chart order: IMU, Acceleration, Gyroscope, Magnetometer.
    std::array<QGroupBox*, 4> groupFrames{};   // Frame_IMU, Frame_Acceleration, ...
    std::array<ValueLabel*, 3> angleLabels{};  // Label19-21: yaw, pitch, roll
    std::array<ValueLabel*, 9> sensorLabels{}; // Label7-15: AX AY AZ GX GY GZ HX HY HZ
    std::array<QLabel*, 4> scaleCaptions{};    // Label_scale1-4 "scale"
    std::array<QComboBox*, 4> scaleChoosers{}; // Combo1-4
    std::array<QCheckBox*, 4> traceChecks{};   // Check1-4
    QPushButton* markBiasButton = nullptr;     // Command1 "Marked bias"

    QGroupBox* otherFrame = nullptr;         // Frame_Other "Other"
    ValueLabel* altitudeLabel = nullptr;     // Label16
    ValueLabel* temperatureLabel = nullptr;  // Label17
    ValueLabel* pressureLabel = nullptr;     // Label18
    QPushButton* heightZeroButton = nullptr; // Command4 "Height Zero"

    // ---- message panel
    Panel* messagePanel = nullptr;         // iPanelX1 "信息显示"
    QPlainTextEdit* messageText = nullptr; // Text_msg
    LedDiamond* messageLamp = nullptr;     // Msg_Led
    QPushButton* clearButton = nullptr;    // Command3 "Clear"

    // ---- status bar: recording and playback
    LedDiamond* recordingLamp = nullptr;       // lit while recording
    QLabel* recordingCaption = nullptr;        // "Recording zento-...pcap  00:01:23  1.2 MB"
    QLabel* exportCaption = nullptr;           // "Exporting chart data: 45 %"
    QLabel* playbackCaption = nullptr;         // "Playing zento-...pcap"
    QPushButton* pauseButton = nullptr;        // "Pause" / "Play"
    QSlider* positionSlider = nullptr;         // "Position", seconds
    QLabel* positionLabel = nullptr;           // "01:23.4 / 10:00.0"
    QLabel* pausedLabel = nullptr;             // "Paused"
    QComboBox* speedChooser = nullptr;         // playback speed
    QPushButton* stopPlaybackButton = nullptr; // "Stop"

    // ---- menu
    QMenu* settingMenu = nullptr;             // File "Setting"
    QAction* comPortAction = nullptr;         // com_set "ComPort"
    QAction* reconnectAction = nullptr;       // "Reconnect automatically" (checkable)
    QAction* healthAction = nullptr;          // "Link and sensor health"
    QAction* streamAction = nullptr;          // "Stream values..."
    QAction* settingExitAction = nullptr;     // Exit "Eixt"
    QMenu* recordMenu = nullptr;              // "Record"
    QAction* startRecordingAction = nullptr;  // "Start recording" (Ctrl+R)
    QAction* stopRecordingAction = nullptr;   // "Stop recording"
    QAction* openRecordingAction = nullptr;   // "Open recording..."
    QAction* recordingFolderAction = nullptr; // "Recording folder..."
    QAction* exportChartAction = nullptr;     // "Export chart data..."
    QAction* statisticsAction = nullptr;      // "Statistics..."
    QMenu* exitMenu = nullptr;                // Exit_E "Eixt"
    QAction* exitAction = nullptr;            // ExitC "Eixt"

  private:
    void build_top_row(QWidget* client);
    void build_telemetry_frame(QWidget* client, Clock& clock);
    void build_groups(QWidget* frame);
    void build_message_panel(QWidget* client);
    void build_menu(QMainWindow* window);
    void build_status_bar(QMainWindow* window);
};

} // namespace zento
