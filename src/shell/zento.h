#pragma once
// The main window "Tavro AHRS DEMO". It builds its controls (MainForm) and wires the parts that
// each do one job: the message log, the receive lamp, the receive path (receiver, one decoder,
// the telemetry display), the port connection, the board commands, the recorder, the player,
// the health figures, the value stream, and the 3D window.
//
// Start-up (constructor, in this order): serial control prepared (InputLen 0, binary, both
// buffers emptied, RThreshold 1), scale choosers at 1, 1/100, 1/100, 1/5, divisor table filled,
// log emptied, port number and settings from Zento.ini (or Com1 115200,n,8,1), greeting, the
// attitude indicator drawn level. The port stays closed; 200 ms later the port check reports it.
//
// Everything runs on the UI thread: the receive event, the timers and the handlers never overlap.
#include "link/receiver.h"
#include "platform/timing/clock.h"
#include "shell/main_form.h"
#include "telemetry/frame_dispatch.h"

#include <QMainWindow>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

namespace zento {

class Big3D;
class BoardCommands;
class LinkHealth;
class MessageLog;
class PlaybackControl;
class PortConnection;
class PulseLamp;
class RecordingControl;
class StatisticsWindow;
class SerialPort;
class TelemetryDisplay;
class ValueStream;

// The folders the window reads from and writes to.
struct ProgramFolders {
    QString settings; // holds Zento.ini (settings/settings_location.h)
    QString model;    // holds the 3D model liti8.x and its textures
    // A Zento.ini read while the one in `settings` does not exist yet (a read-only copy in the
    // program's folder; "" none).
    QString settings_seed;
};

class Zento : public QMainWindow {
    Q_OBJECT
  public:
    // `port`: the serial port control (outlives the window). `clock`: what the lamps, the port
    // check and watch and the rate tick run on (outlives the window).
    Zento(SerialPort& port, ProgramFolders folders, QWidget* parent = nullptr,
          Clock& clock = system_clock());
    // Settings and model in the one program folder.
    Zento(SerialPort& port, const QString& program_dir, QWidget* parent = nullptr,
          Clock& clock = system_clock())
        : Zento(port, ProgramFolders{program_dir, program_dir, {}}, parent, clock) {}
    ~Zento() override;

    MainForm ui;

    MessageLog& log() const { return *log_; }
    TelemetryDisplay& telemetry() const { return *telemetry_; }
    PortConnection& connection() const { return *connection_; }
    BoardCommands& commands() const { return *commands_; }
    RecordingControl& recording() const { return *recording_; }
    PlaybackControl& playback() const { return *playback_; }
    LinkHealth& health() const { return *health_; }
    ValueStream& stream() const { return *stream_; }
    PulseLamp& rxd() const { return *rxd_; }
    Receiver& receiver() { return dispatch_.receiver(); }
    // Where decoded frames go: the telemetry display first; other parts add themselves.
    FrameDispatch& dispatch() { return dispatch_; }
    Big3D* big3D() const { return big3D_; } // nullptr until "3D Show"
    // The "Statistics" window: nullptr until Record > "Statistics..." first opens it.
    StatisticsWindow* statistics() const { return statistics_; }

  public slots:
    // Appends a line to the message log.
    void Show_msg(const QString& text);

  public:
    // The serial control's receive event: the receiver takes the waiting bytes; the chart's new
    // points go into the same paint pass as the labels they came with.
    void Receive_bytes();
    void Show_3d(); // "3D Show"
    // Record > "Statistics...": of the recording that plays, else of the one being recorded,
    // else of one the window asks for (starting in the recording folder).
    void Show_statistics();

    // Closes the port and ends the program (the exit items, the close box). Replaceable so
    // tests can observe it; by default the event loops end and nothing more runs.
    std::function<void()> exit_program;
    void Exit_program();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void Form_Load();
    // Makes `source` the receive path's byte source (the port, or a recording playing).
    void attach_source(SerialPort& source);
    void playback_started(SerialPort& recording);
    void playback_finished();
    void playback_seek(std::chrono::nanoseconds target);

    SerialPort& port_;
    ProgramFolders folders_;
    FrameDispatch dispatch_;
    MessageLog* log_;
    PulseLamp* rxd_;
    TelemetryDisplay* telemetry_;
    PortConnection* connection_;
    BoardCommands* commands_;
    RecordingControl* recording_;
    PlaybackControl* playback_;
    LinkHealth* health_;
    ValueStream* stream_;
    SerialPort* source_ = nullptr;
    bool played_ = false; // the export's ticks are a recording's until the port opens again
    Big3D* big3D_ = nullptr;
    StatisticsWindow* statistics_ = nullptr;
};

} // namespace zento
