#pragma once
// The window's player: "Open recording..." (or zento --play) plays a recording through the
// same receive path as the port (recording/playback_port.h), so the window shows it exactly as
// it showed it live, with the original timing.
//
// While a recording plays, the playback bar in the status bar shows what plays, a play/pause
// button, the position slider over the whole recording (accessible name "Position", its value in
// seconds; it reaches as far as the recording's index has read while that grows), the position
// and length ("01:23.4 / 10:00.0"), "Paused" while paused, the speed (0.25x to 10x, or as fast
// as possible) and "Stop". Keys, anywhere in the window while it plays: Space pauses and plays,
// Left / Right move one second, Shift+Left / Shift+Right one batch of frames (one frame of the
// board at its rate of 20), Home / End to the start and the end. Dragging or clicking the slider,
// a key, or a click on the chart (seek_to_time) moves there: the window (seek_to) shows the state
// at that moment and plays on from it, or stays paused.
//
// The window takes the port out of the receive path (started) and puts it back at the end
// (finished). The log says what plays, where it stopped and why (the end, damage, the user),
// where the recording's time jumps (played as a gap; the first ten named) and, as a sink of the
// receive path, each event of the link as it is played ("At 01:23.4 of the recording: command
// height zero", "... gap 2.3 s"); not those run through to show a moment sought. The last values
// stay on screen.
//
// A recording is never played into a running recording (playing the file being written would
// copy it into itself): while one runs (recording_running), "Open recording..." asks to stop it
// first (ask_stop_recording, then stop_recording), and play() is refused with a line saying why.
#include "recording/playback_port.h"
#include "telemetry/frame_dispatch.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QPushButton;
class QShortcut;
class QSlider;
class QTimer;
class QWidget;

namespace zento {

struct PlaybackControls {
    QAction* open;      // "Open recording..."
    QLabel* caption;    // "Playing zento-20261206-231500.pcap"
    QPushButton* pause; // "Pause" / "Play"
    QSlider* slider;    // "Position", seconds
    QLabel* position;   // "01:23.4 / 10:00.0"
    QLabel* paused;     // "Paused", shown while paused
    QComboBox* speed;   // "0.25x" "0.5x" "1x" "2x" "5x" "10x" "As fast as possible"
    QPushButton* stop;  // "Stop"
};

class PlaybackControl : public QObject, public TelemetrySink {
    Q_OBJECT
  public:
    PlaybackControl(const PlaybackControls& controls, QWidget* window);
    ~PlaybackControl() override;

    // Plays `file`; false (and a log line saying why) when it cannot be played.
    bool play(const QString& file, PlaybackSpeed speed = PlaybackSpeed::x1);
    void Open_recording(); // asks for the file
    void Stop_playback();
    bool playing() const { return port_ != nullptr; }
    PlaybackPort* port() const { return port_.get(); }

    void togglePause();
    // Moves to `target` (since the recording's start; clamped to what can be sought).
    void seek(std::chrono::nanoseconds target);
    // Moves to a time of the receive path (a click on the chart), seconds since 1970.
    void seek_to_time(double seconds);
    // True while a moment sought is being shown (its records run through the receive path).
    bool seeking() const { return seeking_; }

    // The events of the receive path, for the log.
    void batch(const TelemetryBatch& b) override;

    // The window's part of a seek: show the state at `target` (set by the window).
    std::function<void(std::chrono::nanoseconds target)> seek_to;
    // The file to play; by default asks the user, starting in start_folder().
    std::function<QString()> ask_file;
    std::function<std::filesystem::path()> start_folder;
    // The window's recorder: whether it takes bytes, and stopping it. Whether to stop it; by
    // default asks the user.
    std::function<bool()> recording_running;
    std::function<void()> stop_recording;
    std::function<bool()> ask_stop_recording;

  signals:
    void message(const QString& text);
    void started(SerialPort& source); // make `source` the receive path's byte source
    void finished();                  // the port is the byte source again

  private:
    void end(const QString& why);
    void show_position();
    void show_state();
    void step(int direction, bool batch); // a key: a second or one batch back or forward
    void bar_visible(bool on);

    PlaybackControls c_;
    QWidget* window_;
    QTimer* position_timer_;
    QTimer* seek_timer_; // a dragged slider's seeks, one per event loop turn
    std::vector<QShortcut*> keys_;
    std::unique_ptr<PlaybackPort> port_;
    bool seeking_ = false;
};

} // namespace zento
