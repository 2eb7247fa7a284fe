#include "shell/recording_control.h"

#include "recording/recorder.h"
#include "settings/settings_location.h"
#include "shell/paths_and_times.h"
#include "instruments/lamps.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QStandardPaths>
#include <QTimer>

#include <chrono>

namespace zento {

namespace {

constexpr std::string_view kSection = "Record";
constexpr std::string_view kFolderKey = "Folder";

QString size_caption(std::uint64_t bytes) {
    if (bytes < 1000 * 1000) return QStringLiteral("%1 kB").arg(double(bytes) / 1e3, 0, 'f', 1);
    return QStringLiteral("%1 MB").arg(double(bytes) / 1e6, 0, 'f', 1);
}

Recorder::Time time(std::int64_t ns) {
    return Recorder::Time(std::chrono::nanoseconds(ns));
}

} // namespace

RecordingControl::RecordingControl(const RecordingControls& controls, SettingsFile ini_file,
                                   QWidget* window)
    : QObject(window), c_(controls), ini_file_(std::move(ini_file)), window_(window),
      poll_timer_(new QTimer(this)), export_timer_(new QTimer(this)) {
    poll_timer_->setInterval(250);
    export_timer_->setInterval(100);
    connect(export_timer_, &QTimer::timeout, this, &RecordingControl::poll_export);
    connect(poll_timer_, &QTimer::timeout, this, &RecordingControl::poll);
    connect(c_.start, &QAction::triggered, this, &RecordingControl::Start_recording);
    connect(c_.stop, &QAction::triggered, this, &RecordingControl::Stop_recording);
    connect(c_.folder, &QAction::triggered, this, &RecordingControl::Choose_folder);
    connect(c_.exportChart, &QAction::triggered, this, &RecordingControl::Export_chart);
    ask_export_file = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(window_, QStringLiteral("Export chart data"), suggested,
                                            QStringLiteral("CSV files (*.csv)"));
    };
    ask_folder = [this](const QString& current) {
        return QFileDialog::getExistingDirectory(window_, QStringLiteral("Recording folder"),
                                                 current);
    };
    c_.lamp->setVisible(false);
    c_.caption->setVisible(false);
    c_.exportCaption->setVisible(false);
    update_actions();
}

RecordingControl::~RecordingControl() { // the recorder waits for its writer
    if (export_thread_.joinable()) export_thread_.join();
}

std::filesystem::path RecordingControl::folder() const {
    const std::string kept = read_setting(ini_file_, kSection, kFolderKey);
    if (!kept.empty()) return std::filesystem::path(kept);
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return to_path((documents.isEmpty() ? QDir::homePath() : documents) + QStringLiteral("/Zento"));
}

void RecordingControl::setFolder(const std::filesystem::path& folder) {
    const IniWriteResult r = save_setting(ini_file_, kSection, kFolderKey, folder.string());
    if (!r.ok)
        emit message(QStringLiteral("Zento.ini was not saved: ") + QString::fromStdString(r.error));
    else
        emit message(QStringLiteral("Recordings go to ") + from_path(folder));
}

void RecordingControl::Choose_folder() {
    const QString chosen = ask_folder(from_path(folder()));
    if (!chosen.isEmpty()) setFolder(to_path(chosen));
}

void RecordingControl::Start_recording() {
    if (recorder_ || !allowed_) return;
    std::string error;
    recorder_ = Recorder::start(folder(), time(source_time()), error);
    if (!recorder_) {
        emit message(QStringLiteral("Recording not started: ") + QString::fromStdString(error));
        return;
    }
    if (!connected_) recorder_->gap();
    stopping_ = false;
    emit message(QStringLiteral("Recording to ") + from_path(recorder_->pcap_path()) +
                 QStringLiteral(" and .csv"));
    c_.lamp->setActive(true);
    c_.lamp->setVisible(true);
    c_.caption->setVisible(true);
    poll_timer_->start();
    poll();
    update_actions();
}

void RecordingControl::Stop_recording() {
    if (!recorder_ || stopping_) return;
    stopping_ = true;
    recorder_->stop(time(source_time()));
    poll();
    update_actions();
}

void RecordingControl::batch(const TelemetryBatch& b) {
    if (recorder_) recorder_->received(b.bytes, time(b.time_ns));
}

void RecordingControl::sent(std::span<const std::uint8_t> frame) {
    if (recorder_) recorder_->sent(frame, time(source_time()));
}

void RecordingControl::setConnected(bool open) {
    if (open == connected_) return;
    connected_ = open;
    if (!recorder_) return;
    if (open)
        recorder_->resume();
    else
        recorder_->gap();
}

void RecordingControl::setAllowed(bool allowed) {
    allowed_ = allowed;
    update_actions();
}

void RecordingControl::update_actions() {
    c_.start->setEnabled(allowed_ && !recorder_);
    c_.stop->setEnabled(recorder_ && !stopping_);
    // One shortcut (Ctrl+R) starts and stops: it goes with the item that does it now.
    QAction* now = recorder_ ? c_.stop : c_.start;
    QAction* other = recorder_ ? c_.start : c_.stop;
    if (now->shortcut().isEmpty()) {
        now->setShortcut(other->shortcut());
        other->setShortcut({});
    }
    c_.exportChart->setEnabled(!export_thread_.joinable());
}

void RecordingControl::poll() {
    if (!recorder_) return;
    const RecorderStatus s = recorder_->status(time(source_time()));
    const QString name = from_path(recorder_->pcap_path().filename());
    QString text = QStringLiteral("Recording %1  %2  %3")
                       .arg(name, clock_text(s.elapsed), size_caption(s.pcap_bytes + s.csv_bytes));
    if (s.in_gap) text += QStringLiteral("  (port closed: nothing to record)");
    if (c_.caption->text() != text) c_.caption->setText(text);
    if (s.state != RecorderState::finished) return;

    poll_timer_->stop();
    if (!s.failure.empty())
        emit message(
            QStringLiteral("Recording stopped: ") + QString::fromStdString(s.failure) +
            (s.kept.empty() ? QString() : QStringLiteral("; what was written stays readable")));
    if (!s.kept.empty())
        emit message(QStringLiteral("Recording saved: %1 and .csv (%2, %3)")
                         .arg(from_path(s.kept), clock_text(s.elapsed),
                              size_caption(s.pcap_bytes + s.csv_bytes)));
    recorder_.reset();
    stopping_ = false;
    c_.lamp->setActive(false);
    c_.lamp->setVisible(false);
    c_.caption->setVisible(false);
    update_actions();
}

QString RecordingControl::chart_file(const QString& extension) const {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const std::filesystem::path dir = folder();
    std::error_code ec; // a folder that cannot be made: the dialog says where it opens
    std::filesystem::create_directories(dir, ec);
    return from_path(dir) + QStringLiteral("/zento-chart-%1.%2").arg(stamp, extension);
}

void RecordingControl::Export_chart() {
    if (export_thread_.joinable()) return;
    export_file_ = ask_export_file(chart_file(QStringLiteral("csv")));
    if (export_file_.isEmpty()) return;
    // A copy of the ticks as they are now (a memory copy, milliseconds even for 30 minutes);
    // formatting and writing them is the thread's.
    export_rows_ = ticks_.rows();
    const std::int64_t origin = ticks_.origin();
    const HealthScales scales = export_scales();
    const std::filesystem::path file = to_path(export_file_);
    export_done_ = 0;
    export_finished_ = false;
    export_thread_ = std::thread([this, file, origin, scales] {
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
        export_error_ = save_tick_csv(file, export_rows_, origin, scales, &export_done_);
        export_finished_ = true;
    });
    c_.exportCaption->setText(QStringLiteral("Exporting chart data: 0 %"));
    c_.exportCaption->setVisible(true);
    export_timer_->start();
    update_actions();
}

void RecordingControl::poll_export() {
    if (!export_finished_) {
        const std::size_t n = std::max<std::size_t>(export_rows_.size(), 1);
        c_.exportCaption->setText(
            QStringLiteral("Exporting chart data: %1 %").arg(100 * export_done_.load() / n));
        return;
    }
    export_thread_.join();
    export_timer_->stop();
    c_.exportCaption->setVisible(false);
    const std::size_t rows = export_rows_.size();
    export_rows_ = {};
    update_actions();
    if (export_error_.empty())
        emit message(
            QStringLiteral("Chart data exported to %1 (%2 rows)").arg(export_file_).arg(rows));
    else
        emit message(QStringLiteral("Chart data not exported: ") +
                     QString::fromStdString(export_error_));
}

} // namespace zento
