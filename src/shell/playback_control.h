#pragma once
// The window's player: "Open recording..." (or zento --play) plays a recording through the
// same receive path as the port (recording/playback_port.h), so the window shows it exactly as
// it showed it live, with the original timing.
//
// While a recording plays, the window's playback bar shows what plays, its position and
// length, pause and resume, the speed (1x, 2x, 5x, 10x, as fast as possible) and "Stop"; the
// window takes the port out of the receive path (started) and puts it back at the end
// (finished). The log says what plays, where it stopped and why (the end, damage, the user)
// and where the recording's time jumps (played as a gap; the first ten named); the last values
// stay on screen.
//
// A recording is never played into a running recording (playing the file being written would
// copy it into itself): while one runs (recording_running), "Open recording..." asks to stop it
// first (ask_stop_recording, then stop_recording), and play() is refused with a line saying why.
#include "recording/playback_port.h"

#include <QObject>
#include <QString>

#include <filesystem>
#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QLabel;
class QPushButton;
class QTimer;
class QWidget;

namespace zento {

struct PlaybackControls {
    QAction* open;      // "Open recording..."
    QLabel* caption;    // "Playing zento-20261206-231500.pcap"
    QPushButton* pause; // "Pause" / "Resume"
    QComboBox* speed;   // "1x" "2x" "5x" "10x" "As fast as possible"
    QLabel* position;   // "00:01:23 / 00:10:00"
    QPushButton* stop;  // "Stop"
};

class PlaybackControl : public QObject {
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

    PlaybackControls c_;
    QWidget* window_;
    QTimer* position_timer_;
    std::unique_ptr<PlaybackPort> port_;
};

} // namespace zento
