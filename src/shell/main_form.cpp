#include "shell/main_form.h"

#include "instruments/attitude_indicator.h"
#include "controls/fonts.h"
#include "controls/form_controls.h"
#include "instruments/value_label.h"
#include "instruments/lamps.h"
#include "instruments/compass.h"
#include "instruments/gauges.h"
#include "instruments/panel.h"
#include "chart/strip_chart.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegion>
#include <QSlider>
#include <QStatusBar>

#include <initializer_list>

namespace zento {

namespace {

const char* const kScaleEntries[] = {"1", "1/2", "1/5", "1/10", "1/20", "1/50", "1/100"};

template <class W> W* place(W* w, const char* id, int x, int y, int width, int height) {
    w->setObjectName(QString::fromLatin1(id));
    w->setGeometry(x, y, width, height);
    return w;
}

QLabel* label(QWidget* parent, const char* id, const QString& text, int x, int y, int w, int h) {
    return place(new QLabel(text, parent), id, x, y, w, h);
}

// A label that the stream writes to: its size fixed, so a new text asks no layout of its parent.
ValueLabel* value_label(QWidget* parent, const char* id, const QString& text, int x, int y, int w,
                        int h) {
    ValueLabel* l = place(new ValueLabel(text, parent), id, x, y, w, h);
    l->setFixedSize(w, h);
    return l;
}

QGroupBox* group(QWidget* parent, const char* id, const QString& title, int x, int y, int w,
                 int h) {
    return place(new GroupFrame(title, parent), id, x, y, w, h);
}

QPushButton* button(QWidget* parent, const char* id, const QString& text, int x, int y, int w,
                    int h) {
    return place(new QPushButton(text, parent), id, x, y, w, h);
}

} // namespace

void MainForm::build(QMainWindow* window, Clock& clock) {
    window->setObjectName(QStringLiteral("Zento"));
    window->setWindowTitle(QStringLiteral("Tavro AHRS DEMO"));
    auto* client = new QWidget(window);
    client->setFixedSize(1016, 580);
    window->setCentralWidget(client);
    window->layout()->setSizeConstraint(QLayout::SetFixedSize);

    build_top_row(client);
    build_telemetry_frame(client, clock);
    build_message_panel(client);
    build_menu(window);
    build_status_bar(window);

    // The controls that the stream changes paint their own background: a change then repaints
    // the control alone, not the frames beneath it, which on a live stream was most of the
    // window's painting.
    std::initializer_list<QWidget*> live{
        solutionRateLabel, altitudeBarLabel, horizonPitchLabel, horizonRollLabel, updateRateLabel,
        altitudeLabel,     temperatureLabel, pressureLabel,     thermometer,      thermometerLabel,
        altitudeBar,       compass,          heartbeatLamp,     horizon};
    for (QWidget* c : live)
        paint_own_background(c);
    for (QLabel* l : angleLabels)
        paint_own_background(l);
    for (QLabel* l : sensorLabels)
        paint_own_background(l);
    // Where a value label lies under its group's check box, the box stays above it.
    for (QCheckBox* c : traceChecks)
        c->raise();
    // The chart's bottom row lies on the group frames' top row. Above them, a chart redraw
    // repaints the chart alone; beneath them, every redraw repainted all five frames.
    chart->raise();
    followButton->raise();
}

void MainForm::build_top_row(QWidget* client) {
    portSwitch = place(new SwitchLed(client), "iSwitchLedX1", 8, 8, 137, 41);
    portSwitch->setCaption(QStringLiteral("Connect AHRS"));

    linkFrame = group(client, "Frame1", QStringLiteral("串口状态"), 152, 8, 85, 41);
    rxdLamp = place(new LedRectangle(linkFrame), "iLedRectangleX1", 8, 12, 65, 13);
    rxdLamp->setLabel(QStringLiteral("RXD"));
    txdLamp = place(new LedRectangle(linkFrame), "iLedRectangleX2", 8, 24, 65, 13);
    txdLamp->setLabel(QStringLiteral("TXD"));
    txdLamp->setActiveColor(kLampRed);
    txdLamp->setInactiveColor(kTxdOff);
    for (LedRectangle* l : {rxdLamp, txdLamp})
        l->setFont(font_lucida_console(7));

    solutionRateLabel =
        value_label(client, "Label24", QStringLiteral("Estimate Speed"), 280, 1, 305, 17);
    solutionRateLabel->setFont(font_xinsongti(10.5));
    QPalette red = solutionRateLabel->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    solutionRateLabel->setPalette(red);

    // "Marked bias" beside "3D Show", where no value label can reach (inside the gyroscope
    // frame every free column is covered by a reading with a sign and five digits).
    markBiasButton = button(client, "Command1", QStringLiteral("Marked bias"), 656, 16, 89, 33);
    show3dButton = button(client, "Command5", QStringLiteral("3D Show"), 752, 16, 89, 33);
}

void MainForm::build_telemetry_frame(QWidget* client, Clock& clock) {
    telemetryFrame =
        group(client, "Fram_Zento", QStringLiteral("Tavro AHRS Display"), 0, 56, 1017, 437);
    QWidget* f = telemetryFrame;

    thermometer = place(new Thermometer(f), "iThermometerX1", 8, 24, 33, 305);
    thermometer->setAccessibleName(QStringLiteral("Temperature"));
    altitudeBar = place(new LedBar(f), "iLedBarX1", 48, 24, 17, 297);
    altitudeBar->setAccessibleName(QStringLiteral("Height"));
    // The two gauges' texts, one row each across the gauges' column: a temperature and an
    // altitude at the extremes of their words ("-3276.7C", "-3276.7m") fit there in full.
    thermometerLabel = place(new TextLabel(f), "iLabelX1", 8, 329, 80, 14);
    thermometerLabel->setCaption(QStringLiteral("Temp"));
    altitudeBarLabel = value_label(f, "Label3", QStringLiteral("Height"), 8, 343, 80, 14);
    altitudeBarLabel->setFont(font_xinsongti(9));
    altitudeBarLabel->setAlignment(Qt::AlignCenter);

    chart = place(new StripChart(f, clock), "iPlotX1", 72, 16, 777, 313);
    chart->setAccessibleName(QStringLiteral("Strip chart"));
    followButton = button(f, "Command6", QStringLiteral("Follow the latest"), 739, 20, 105, 25);
    {
        // Repainted with the chart at every redraw: painting its own background (the chart's
        // colour, so its rounded corners look as before) spares the telemetry frame beneath.
        QPalette pal = followButton->palette();
        pal.setColor(QPalette::Window, StripChart::kBackgroundColor);
        followButton->setPalette(pal);
        followButton->setAutoFillBackground(true);
    }

    compass = place(new Compass(f), "iCompassX1", 872, 16, 137, 137);
    compass->setAccessibleName(QStringLiteral("Heading"));
    horizonPitchLabel = value_label(f, "Label6", QStringLiteral("Pitch"), 856, 248, 97, 17);
    horizonRollLabel = value_label(f, "Label5", QStringLiteral("Roll"), 856, 264, 105, 17);
    for (QLabel* l : {horizonPitchLabel, horizonRollLabel})
        l->setFont(font_arial(10.5, true));
    horizon = place(new AttitudeIndicator(f), "Piczitai", 856, 280, AttitudeIndicator::kOuterWidth,
                    AttitudeIndicator::kOuterHeight);
    horizon->setAccessibleName(QStringLiteral("Attitude indicator"));

    rateNote = label(f, "Label4", QStringLiteral("Maximum upload speed can not exceed 20Hz"), 8,
                     358, 81, 42);
    rateNote->setWordWrap(true);
    rateNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    {
        QFont small = font_arial(8, false); // three lines fit the 81 x 42 box
        small.setStretch(QFont::SemiCondensed);
        rateNote->setFont(small);
    }
    uploadCaption = label(f, "Label26", QStringLiteral("Upload:"), 8, 400, 73, 17);
    updateRateLabel = label(f, "Label22", QStringLiteral("FPS"), 8, 416, 73, 17);
    updateRateLabel->setAccessibleDescription(QStringLiteral("Update rate"));
    // Heartbeat lamp: on the "Upload:" row, right of its text, just above the update rate.
    heartbeatLamp = place(new LedRectangle(f), "iLedRectangleX3", 64, 400, 17, 17);
    heartbeatLamp->setRaisedBevel(true);
    heartbeatLamp->setAccessibleName(QStringLiteral("Heartbeat"));
    heartbeatLamp->raise();

    build_groups(f);

    otherFrame = group(f, "Frame_Other", QStringLiteral("Other"), 688, 328, 145, 105);
    otherFrame->setFont(font_heiti(10.5));
    altitudeLabel = value_label(otherFrame, "Label16", QStringLiteral("Height"), 8, 48, 113, 17);
    temperatureLabel = value_label(otherFrame, "Label17", QStringLiteral("Temp"), 8, 64, 113, 17);
    pressureLabel = value_label(otherFrame, "Label18", QStringLiteral("Pressure"), 8, 80, 113, 17);
    // "Height Zero" in "Other": the free rows above the three labels.
    heightZeroButton =
        button(otherFrame, "Command4", QStringLiteral("Height Zero"), 8, 16, 105, 25);
}

// Group frames of the chart's four groups: three value labels, "scale", the scale chooser and
// the show/hide box.
void MainForm::build_groups(QWidget* f) {
    struct GroupLayout {
        const char* id;
        const char* title;
        int x, w, label_w, combo_w, check_x;
        const char* names[3];
        const char* label_ids[3];
        const char* scale_id;
        const char* combo_id;
        const char* check_id;
    };
    // clang-format off
    static constexpr GroupLayout kGroups[4] = {
        {"Frame_IMU", "IMU", 88, 129, 113, 65, 104, {"Yaw", "Pitch", "Roll"},
         {"Label19", "Label20", "Label21"}, "Label_scale1", "Combo1", "Check1"},
        {"Frame_Acceleration", "Acceleration", 232, 137, 121, 73, 112, {"X", "Y", "Z"},
         {"Label7", "Label8", "Label9"}, "Label_scale2", "Combo2", "Check2"},
        {"Frame_Gyroscope", "Gyroscope", 384, 137, 121, 73, 112, {"X", "Y", "Z"},
         {"Label10", "Label11", "Label12"}, "Label_scale3", "Combo3", "Check3"},
        {"Frame_Magnetometer", "Magnetometer", 536, 137, 121, 73, 112, {"X", "Y", "Z"},
         {"Label13", "Label14", "Label15"}, "Label_scale4", "Combo4", "Check4"},
    };
    // clang-format on
    for (std::size_t g = 0; g < 4; ++g) {
        const GroupLayout& s = kGroups[g];
        const QString title = QString::fromLatin1(s.title);
        QGroupBox* box = group(f, s.id, title, s.x, 328, s.w, 105);
        groupFrames[g] = box;
        for (std::size_t i = 0; i < 3; ++i) {
            ValueLabel* l = value_label(box, s.label_ids[i], QString::fromLatin1(s.names[i]), 8,
                                        16 + 16 * int(i), s.label_w, 17);
            l->setFont(font_arial(10.5, true));
            if (g == 0)
                angleLabels[i] = l;
            else
                sensorLabels[3 * (g - 1) + i] = l;
        }
        scaleCaptions[g] = label(box, s.scale_id, QStringLiteral("scale"), 8, 72, 49, 25);
        auto* combo = place(new QComboBox(box), s.combo_id, 56, 72, s.combo_w, 22);
        for (const char* e : kScaleEntries)
            combo->addItem(QString::fromLatin1(e));
        // Some platforms name a chooser by its entry: the description says what it scales.
        combo->setAccessibleName(title + QStringLiteral(" scale"));
        combo->setAccessibleDescription(combo->accessibleName());
        scaleCaptions[g]->setBuddy(combo);
        scaleChoosers[g] = combo;
        auto* check = place(new QCheckBox(box), s.check_id, s.check_x, 8, 17, 17);
        check->setChecked(true);
        check->setAccessibleName(QStringLiteral("Show ") + title + QStringLiteral(" traces"));
        traceChecks[g] = check;
    }
}

void MainForm::build_message_panel(QWidget* client) {
    messagePanel = place(new Panel(client), "iPanelX1", 0, 488, 1017, 93);
    messagePanel->setTitleText(QStringLiteral("信息显示"));
    messageText = place(new QPlainTextEdit(messagePanel), "Text_msg", 32, 24, 977, 69);
    messageText->setReadOnly(true);
    messageText->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    messageText->setFont(font_lucida_console(9));
    messageText->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    messageText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    messageText->setAccessibleName(QStringLiteral("Messages"));
    messageLamp = place(new LedDiamond(messagePanel), "Msg_Led", 8, 48, 21, 21);
    messageLamp->setAccessibleName(QStringLiteral("New message"));
    clearButton = button(messagePanel, "Command3", QStringLiteral("Clear"), 936, 32, 57, 25);
    clearButton->raise(); // over the right end of the log text
}

void MainForm::build_menu(QMainWindow* window) {
    settingMenu = window->menuBar()->addMenu(QStringLiteral("Setting"));
    settingMenu->setObjectName(QStringLiteral("File"));
    comPortAction = settingMenu->addAction(QStringLiteral("ComPort"));
    comPortAction->setObjectName(QStringLiteral("com_set"));
    reconnectAction = settingMenu->addAction(QStringLiteral("Reconnect automatically"));
    reconnectAction->setObjectName(QStringLiteral("reconnect"));
    reconnectAction->setCheckable(true);
    healthAction = settingMenu->addAction(QStringLiteral("Link and sensor health"));
    healthAction->setObjectName(QStringLiteral("health"));
    streamAction = settingMenu->addAction(QStringLiteral("Stream values..."));
    streamAction->setObjectName(QStringLiteral("stream"));
    settingMenu->addSeparator();
    settingExitAction = settingMenu->addAction(QStringLiteral("Eixt"));
    settingExitAction->setObjectName(QStringLiteral("Exit"));
    recordMenu = window->menuBar()->addMenu(QStringLiteral("Record"));
    recordMenu->setObjectName(QStringLiteral("Record"));
    startRecordingAction = recordMenu->addAction(QStringLiteral("Start recording"));
    startRecordingAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+R")));
    stopRecordingAction = recordMenu->addAction(QStringLiteral("Stop recording"));
    recordMenu->addSeparator();
    openRecordingAction = recordMenu->addAction(QStringLiteral("Open recording..."));
    recordingFolderAction = recordMenu->addAction(QStringLiteral("Recording folder..."));
    recordMenu->addSeparator();
    exportChartAction = recordMenu->addAction(QStringLiteral("Export chart data..."));
    statisticsAction = recordMenu->addAction(QStringLiteral("Statistics..."));
    const std::pair<QAction*, const char*> record_ids[] = {
        {startRecordingAction, "startRecording"},
        {stopRecordingAction, "stopRecording"},
        {openRecordingAction, "openRecording"},
        {recordingFolderAction, "recordingFolder"},
        {exportChartAction, "exportChart"},
        {statisticsAction, "statistics"}};
    for (const auto& [action, id] : record_ids)
        action->setObjectName(QString::fromLatin1(id));

    exitMenu = window->menuBar()->addMenu(QStringLiteral("Eixt"));
    exitMenu->setObjectName(QStringLiteral("Exit_E"));
    exitAction = exitMenu->addAction(QStringLiteral("Eixt"));
    exitAction->setObjectName(QStringLiteral("ExitC"));
}

// Below the client area: what is being recorded (left) and what is being played (right); each
// shows only while it runs.
void MainForm::build_status_bar(QMainWindow* window) {
    QStatusBar* bar = window->statusBar();
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(kStatusBarHeight);
    recordingLamp = new LedDiamond(bar);
    recordingLamp->setObjectName(QStringLiteral("recordingLamp"));
    recordingLamp->setFixedSize(15, 15);
    recordingLamp->setAccessibleName(QStringLiteral("Recording"));
    recordingCaption = new QLabel(bar);
    recordingCaption->setObjectName(QStringLiteral("recordingCaption"));
    bar->addWidget(recordingLamp);
    bar->addWidget(recordingCaption);
    exportCaption = new QLabel(bar);
    exportCaption->setObjectName(QStringLiteral("exportCaption"));
    bar->addWidget(exportCaption);

    playbackCaption = new QLabel(bar);
    playbackCaption->setObjectName(QStringLiteral("playbackCaption"));
    positionLabel = new QLabel(bar);
    positionLabel->setObjectName(QStringLiteral("positionLabel"));
    positionLabel->setFont(font_lucida_console(9));
    pauseButton = new QPushButton(QStringLiteral("Pause"), bar);
    pauseButton->setObjectName(QStringLiteral("pauseButton"));
    positionSlider = new QSlider(Qt::Horizontal, bar);
    positionSlider->setObjectName(QStringLiteral("positionSlider"));
    pausedLabel = new QLabel(QStringLiteral("Paused"), bar);
    pausedLabel->setObjectName(QStringLiteral("pausedLabel"));
    speedChooser = new QComboBox(bar);
    speedChooser->setObjectName(QStringLiteral("speedChooser"));
    stopPlaybackButton = new QPushButton(QStringLiteral("Stop"), bar);
    stopPlaybackButton->setObjectName(QStringLiteral("stopPlaybackButton"));
    speedChooser->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (QPushButton* b : {pauseButton, stopPlaybackButton})
        b->setFixedWidth(60);
    // The playback bar: what plays, play/pause, the position (the slider takes the room left),
    // "Paused", the speed, "Stop".
    for (QWidget* w : std::initializer_list<QWidget*>{playbackCaption, pauseButton, positionSlider,
                                                      positionLabel, pausedLabel, speedChooser,
                                                      stopPlaybackButton})
        bar->addPermanentWidget(w, w == positionSlider ? 1 : 0);
}

} // namespace zento
