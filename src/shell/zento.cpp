#include "shell/zento.h"

#include "health/health_monitor.h"
#include "instruments/attitude_indicator.h"
#include "link/envelope.h"
#include "link/link_time.h"
#include "platform/serial/line_settings.h"
#include "platform/serial/serial_port.h"
#include "instruments/accessibility.h"
#include "instruments/lamps.h"
#include "recording/playback_port.h"
#include "recording/recorder.h"
#include "settings/port_config.h"
#include "settings/settings_location.h"
#include "shell/board_commands.h"
#include "shell/link_health.h"
#include "shell/message_log.h"
#include "shell/paths_and_times.h"
#include "shell/playback_control.h"
#include "shell/port_connection.h"
#include "shell/pulse_lamp.h"
#include "shell/recording_control.h"
#include "shell/telemetry_display.h"
#include "shell/value_stream.h"
#include "statistics/statistics_window.h"
#include "chart/strip_chart.h"
#include "view3d/big3d.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <limits>
#include <utility>

namespace zento {

namespace {

int baud_of(const std::string& settings) {
    const LineSettingsParse p = parse_line_settings(settings);
    return p.settings ? p.settings->baud : 115200;
}

} // namespace

Zento::Zento(SerialPort& port, ProgramFolders folders, QWidget* parent, Clock& clock)
    : QMainWindow(parent), port_(port), folders_(std::move(folders)) {
    exit_program = [] { QCoreApplication::exit(0); };
    install_widget_accessibility();
    ui.build(this, clock);

    log_ = new MessageLog(ui.messageText, ui.messageLamp, ui.clearButton, this, clock);
    rxd_ = new PulseLamp(ui.rxdLamp, 300, "Timer2", this, clock);
    telemetry_ = new TelemetryDisplay(TelemetryControls{ui.altitudeBar,
                                                        ui.altitudeBarLabel,
                                                        ui.altitudeLabel,
                                                        ui.thermometer,
                                                        ui.thermometerLabel,
                                                        ui.temperatureLabel,
                                                        ui.pressureLabel,
                                                        ui.solutionRateLabel,
                                                        ui.heartbeatLamp,
                                                        ui.horizon,
                                                        ui.horizonRollLabel,
                                                        ui.horizonPitchLabel,
                                                        ui.compass,
                                                        ui.angleLabels,
                                                        ui.sensorLabels,
                                                        ui.updateRateLabel,
                                                        ui.chart,
                                                        ui.scaleChoosers,
                                                        ui.traceChecks,
                                                        ui.followButton},
                                      this, clock);
    const SettingsFile ini(to_path(folders_.settings) / std::string(kIniFileName),
                           folders_.settings_seed.isEmpty() ? std::filesystem::path()
                                                            : to_path(folders_.settings_seed));
    connection_ = new PortConnection(port_, ui.portSwitch, ini, this, clock);
    commands_ =
        new BoardCommands(port_, ui.markBiasButton, ui.heightZeroButton, ui.txdLamp, this, clock);
    recording_ = new RecordingControl(
        RecordingControls{ui.startRecordingAction, ui.stopRecordingAction, ui.recordingFolderAction,
                          ui.exportChartAction, ui.recordingLamp, ui.recordingCaption,
                          ui.exportCaption},
        ini, this);
    playback_ = new PlaybackControl(PlaybackControls{ui.openRecordingAction, ui.playbackCaption,
                                                     ui.pauseButton, ui.positionSlider,
                                                     ui.positionLabel, ui.pausedLabel,
                                                     ui.speedChooser, ui.stopPlaybackButton},
                                    this);
    // The byte source's time between batches (the port's, or the recording's while it plays).
    health_ = new LinkHealth([this] { return source_ ? source_->TimeNow() : link_clock_ns(); }, ini,
                             this);
    recording_->source_time = [this] { return port_.TimeNow(); }; // no recording while playing
    stream_ = new ValueStream(ini, this);

    // Receive path: byte source (the port, or a recording playing) -> receiver -> one decoder
    // -> each batch (its time, bytes, frames and counters) to the telemetry display, the health
    // figures, the recorder (which takes the port's batches only: it leaves the dispatch while
    // a recording plays) and the value stream.
    dispatch_.on_message = [this](std::string_view text) {
        if (!playback_->seeking()) log_->Show_msg(text); // (a moment sought: said when played)
    };
    dispatch_.on_end_byte = [this] { rxd_->pulse(); };
    dispatch_.add_sink(*telemetry_);
    dispatch_.add_sink(*health_);
    dispatch_.add_sink(*recording_);
    dispatch_.add_sink(recording_->ticks());
    dispatch_.add_sink(*stream_); // the port's frames and a recording's alike
    attach_source(port_);

    // Everything a part has to say goes to the log.
    for (QObject* part : std::initializer_list<QObject*>{connection_, commands_, recording_,
                                                         playback_, health_, stream_})
        connect(part, SIGNAL(message(QString)), this, SLOT(Show_msg(QString)));
    connect(ui.chart, &StripChart::message, this, &Zento::Show_msg);
    connect(connection_, &PortConnection::switched, this, [this] { dispatch_.restart(); });
    connect(connection_, &PortConnection::opened, this, [this] {
        ui.chart->breakTraces();             // not joined to what came before
        if (std::exchange(played_, false)) { // live again: nothing of the recording
            ui.chart->clear();
            recording_->ticks().restart();
        }
        recording_->setConnected(true);
        health_->connected(baud_of(port_.Settings()));
    });
    connect(connection_, &PortConnection::closed, this, [this] {
        recording_->setConnected(false);
        health_->disconnected();
    });
    connect(commands_, &BoardCommands::sent, this, [this](std::uint8_t, QByteArray frame) {
        const std::span bytes(reinterpret_cast<const std::uint8_t*>(frame.constData()),
                              std::size_t(frame.size()));
        recording_->sent(bytes);
        dispatch_.command(bytes, port_.TimeNow()); // an event: marked, and the health's
    });
    connect(playback_, &PlaybackControl::started, this, &Zento::playback_started);
    connect(playback_, &PlaybackControl::finished, this, &Zento::playback_finished);
    playback_->seek_to = [this](std::chrono::nanoseconds t) { playback_seek(t); };
    connect(ui.chart, &StripChart::timeClicked, playback_, &PlaybackControl::seek_to_time);
    ui.chart->suggest_image_file = [this] { return recording_->chart_file(QStringLiteral("png")); };
    recording_->export_scales = [this] { return health_->monitor().scales(); };
    playback_->start_folder = [this] { return recording_->folder(); };
    playback_->recording_running = [this] {
        const Recorder* r = recording_->recorder();
        return r && r->status().state == RecorderState::recording;
    };
    playback_->stop_recording = [this] { recording_->Stop_recording(); };
    connect(ui.healthAction, &QAction::triggered, health_, &LinkHealth::Show_window);
    connect(ui.streamAction, &QAction::triggered, stream_, &ValueStream::Show_dialog);

    connect(ui.comPortAction, &QAction::triggered, connection_,
            &PortConnection::Show_port_settings);
    ui.reconnectAction->setChecked(connection_->autoReconnect());
    connect(ui.reconnectAction, &QAction::toggled, connection_, &PortConnection::setAutoReconnect);
    connect(ui.settingExitAction, &QAction::triggered, this, &Zento::Exit_program);
    connect(ui.exitAction, &QAction::triggered, this, &Zento::Exit_program);
    connect(ui.show3dButton, &QPushButton::clicked, this, &Zento::Show_3d);
    connect(ui.statisticsAction, &QAction::triggered, this, &Zento::Show_statistics);

    Form_Load();
}

Zento::~Zento() {
    if (source_) source_->OnComm = nullptr;
}

void Zento::attach_source(SerialPort& source) {
    if (source_) source_->OnComm = nullptr;
    source_ = &source;
    source.OnComm = [this] { Receive_bytes(); };
}

void Zento::playback_started(SerialPort& recording) {
    connection_->disconnect_port(); // a recording replaces the board, as the switch says
    ui.portSwitch->setEnabled(false);
    commands_->setEnabled(false);
    recording_->setAllowed(false);
    dispatch_.new_source();
    dispatch_.remove_sink(*recording_); // a recording records the port, never a playback
    dispatch_.add_sink(*playback_);     // its events to the log
    ui.chart->clear();                  // nothing of what came before
    recording_->ticks().restart(playback_->port()->origin()); // time_s from its start
    played_ = true;
    playback_->port()->OnCommand = [this](std::span<const std::uint8_t> frame, std::int64_t t) {
        dispatch_.command(frame, t);
    };
    attach_source(recording);
    health_->connected(baud_of(port_.Settings()));
    recording.setRThreshold(1);
}

void Zento::playback_finished() {
    health_->disconnected();
    attach_source(port_);
    dispatch_.new_source();
    dispatch_.remove_sink(*playback_);
    dispatch_.add_sink(*recording_);
    ui.chart->breakTraces();
    ui.portSwitch->setEnabled(true);
    commands_->setEnabled(true);
    recording_->setAllowed(true);
}

// The state at `target` of the recording playing: a short way forward, what plays up to there; else
// the chart emptied and the records from the chart's span (and a second) before the target run
// through the receive path (and from a minute more before that through the receive path's state
// only, so that the board's frame interval, and so every frame's time, is as it was when played
// through).
void Zento::playback_seek(std::chrono::nanoseconds target) {
    using namespace std::chrono;
    constexpr auto kAdvance = seconds(10);
    constexpr auto kSettle = seconds(62); // the frame interval counts the last minute
    PlaybackPort& p = *playback_->port();
    const auto feed = [this](Direction d, std::span<const std::uint8_t> bytes, std::int64_t t) {
        d == Direction::sent ? dispatch_.command(bytes, t) : dispatch_.feed(bytes, t);
    };
    const nanoseconds at = p.position();
    // What a seek runs through the receive path again is the window's, not the stream's: the
    // tools listening take the frames as they play, never a run-up in a burst.
    dispatch_.remove_sink(*stream_);
    if (target > at && target - at <= kAdvance) {
        p.advance(target, feed);
    } else {
        const double span = std::clamp(ui.chart->xRange().size(), StripChart::kWindowSeconds,
                                       ui.chart->historySeconds());
        const auto window = duration_cast<nanoseconds>(duration<double>(span));
        const std::int64_t shown = p.origin() + (target - window - seconds(1)).count();
        dispatch_.new_source();
        health_->disconnected(); // its figures start again at the target
        ui.chart->clear();
        recording_->ticks().restart(p.origin());
        p.seek(target, target - window - kSettle, [&](Direction d, auto bytes, std::int64_t t) {
            if (t >= shown)
                feed(d, bytes, t);
            else if (d == Direction::received)
                dispatch_.warm(bytes, t);
        });
        health_->connected(baud_of(port_.Settings()));
        telemetry_->restart_rate();
    }
    dispatch_.add_sink(*stream_);
    ui.chart->redrawNow();
}

void Zento::Form_Load() {
    connection_->prepare_port();
    telemetry_->Form_Load();
    log_->reset();
    const QString problem = connection_->apply_settings_file();
    Show_msg(QStringLiteral("Tavro AHRS DEMO starts successfully!"));
    Show_msg(QStringLiteral("--------    Start    --------"));
    Show_msg(QStringLiteral("--1. Check the serial port settings are correct --"));
    Show_msg(QStringLiteral("--2. Click to open port button to receive data"));
    Show_msg(QStringLiteral("------------------------------"));
    if (!problem.isEmpty()) Show_msg(problem);
    if (!health_->settings_problem().isEmpty()) Show_msg(health_->settings_problem());
    Show_msg(QString::fromStdString(describe_settings_file(connection_->ini_file())));
    ui.horizon->Draw_attitude(QStringLiteral("0"), QStringLiteral("0"));
}

void Zento::Show_msg(const QString& text) {
    log_->Show_msg(text);
}

void Zento::Receive_bytes() {
    dispatch_.OnComm(*source_);
    ui.chart->flush();
}

void Zento::Show_3d() {
    if (!big3D_) {
        big3D_ = new Big3D(telemetry_->latest_values(), folders_.model, this);
        big3D_->setObjectName(QStringLiteral("big3D"));
        big3D_->app_title = windowTitle();
        // Closing the 3D window ends the program like "Eixt"; a model it cannot load is
        // reported here too, and only that window closes.
        big3D_->end_program = [this] { Exit_program(); };
        big3D_->show_msg = [this](const QString& line) { Show_msg(line); };
    }
    big3D_->Show3D();
}

void Zento::Show_statistics() {
    if (!statistics_) {
        statistics_ = new StatisticsWindow(connection_->ini_file(), this);
        statistics_->start_folder = [this] { return recording_->folder(); };
    }
    QString file;
    if (const PlaybackPort* p = playback_->port())
        file = from_path(p->file());
    else if (const Recorder* r = recording_->recorder())
        file = from_path(r->pcap_path());
    if (!statistics_->open(file)) return;
    statistics_->show();
    statistics_->raise();
    statistics_->activateWindow();
}

void Zento::Exit_program() {
    connection_->close();
    if (exit_program) exit_program();
}

void Zento::closeEvent(QCloseEvent* event) {
    // Closing the main window ends the program like the exit items.
    event->accept();
    Exit_program();
}

} // namespace zento
