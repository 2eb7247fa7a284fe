#pragma once
// The window's recorder: the "Record" menu's recording items, the recording folder, the chart
// export, and what the window shows while a recording runs.
//
// "Export chart data..." writes the ticks the receive path delivered since the source started
// (the port, or the recording playing; up to 30 minutes) as recording/tick_csv.h describes, on a
// thread of its own: the status bar shows its progress, and the log names the file once it is
// written.
//
// "Start recording" (Ctrl+R) starts at once in the recording folder (kept in the settings file;
// by default the user's documents folder, subfolder "Zento"), with a log line naming the file;
// "Stop recording" (the same Ctrl+R while recording) ends it, and a log line names the files
// once they are closed. While it runs a red lamp lights and a caption shows the elapsed time
// and the size; it is polled every 250 ms, and a recording that ended by itself (a full disk, a
// folder that became unwritable) is reported with the file and the reason. An unplug is a gap: nothing is written until the
// port is open again (setConnected).
//
// The bytes come from the receive path (each batch as the port delivered it, with its time;
// sent: each command frame, at the source's time now); the recorder writes them on a thread of
// its own (recording/recorder.h).
#include "link/link_time.h"
#include "recording/recording_csv.h"
#include "recording/tick_csv.h"
#include "settings/settings_location.h"
#include "telemetry/frame_dispatch.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <thread>
#include <vector>

class QAction;
class QLabel;
class QTimer;
class QWidget;

namespace zento {

class Lamp;
class Recorder;

struct RecordingControls {
    QAction* start;       // "Start recording"
    QAction* stop;        // "Stop recording"
    QAction* folder;      // "Recording folder..."
    QAction* exportChart; // "Export chart data..."
    Lamp* lamp;           // lit while recording
    QLabel* caption;      // "Recording  00:01:23  1.2 MB"
    QLabel* exportCaption; // "Exporting chart data: 45 %"
};

class RecordingControl : public QObject, public TelemetrySink {
    Q_OBJECT
  public:
    RecordingControl(const RecordingControls& controls, SettingsFile ini_file, QWidget* window);
    ~RecordingControl() override;

    void Start_recording();
    void Stop_recording();
    void Choose_folder();
    void Export_chart();

    // The receive path: a batch as the port delivered it, and a command frame sent.
    void batch(const TelemetryBatch& b) override;
    void sent(std::span<const std::uint8_t> frame);
    // The byte source's time now (link/link_time.h): a recording's start, its commands, its
    // elapsed time.
    std::function<std::int64_t()> source_time = link_clock_ns;
    // Whether the port is open: a recording has a gap while it is not.
    void setConnected(bool open);
    // Whether recording is possible (not while a recording is played back).
    void setAllowed(bool allowed);

    bool recording() const { return recorder_ != nullptr; }
    bool exporting() const { return export_thread_.joinable(); }
    // The ticks for the export (a sink of the receive path); restarted with each source.
    TickHistory& ticks() { return ticks_; }
    const Recorder* recorder() const { return recorder_.get(); }
    std::filesystem::path folder() const;
    // A chart file offered to be saved: zento-chart-YYYYMMDD-HHMMSS.<extension> in the recording
    // folder, which is made if missing so that the file dialog opens there.
    QString chart_file(const QString& extension) const;
    void setFolder(const std::filesystem::path& folder); // kept in the settings file

    // The scales of the export's physical units (set by the window: the health scales).
    std::function<HealthScales()> export_scales = [] { return HealthScales{}; };
    // The export's file; by default asks the user (replaceable, e.g. by tests).
    std::function<QString(const QString& suggested)> ask_export_file;
    std::function<QString(const QString& current)> ask_folder;

  signals:
    void message(const QString& text);

  private:
    void poll();
    void poll_export();
    void update_actions();

    RecordingControls c_;
    SettingsFile ini_file_;
    QWidget* window_;
    QTimer* poll_timer_;
    std::unique_ptr<Recorder> recorder_;
    bool connected_ = false;
    bool allowed_ = true;
    bool stopping_ = false;

    TickHistory ticks_;
    std::thread export_thread_;
    std::vector<TickRow> export_rows_; // what the thread writes
    std::atomic<std::size_t> export_done_{0};
    std::atomic<bool> export_finished_{false};
    std::string export_error_;
    QString export_file_;
    QTimer* export_timer_;
};

} // namespace zento
