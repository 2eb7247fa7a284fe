// zento-capture: records what the board sends without a window (see --help).
//
// The parts are the window's: the QSerialPort adapter and its device lock, the one dispatch
// (receiver and decoder), the Recorder (the same two files, by the same code), the health
// monitor and the signals that end the window as Exit does. Only the event loop is
// QCoreApplication's, so no display is needed.
//
// Standard error: what the window would log (the device opened, the files, the commands sent,
// "Health: " lines), one status line a second, and why it ended. Standard output: the CSV's
// rows with --csv (its header first), nothing otherwise. A reader that goes away (| head)
// ends that output only; the recording goes on.
#include "capture/capture_options.h"
#include "capture/command_plan.h"
#include "health/health_json.h"
#include "health/health_monitor.h"
#include "health/health_settings.h"
#include "link/command_sender.h"
#include "link/envelope.h"
#include "link/link_time.h"
#include "platform/serial/line_settings.h"
#include "platform/serial/qt_serial_port.h"
#include "recording/file_io.h"
#include "recording/recorder.h"
#include "recording/recording_csv.h"
#include "settings/port_config.h"
#include "settings/settings_location.h"
#include "platform/signals/exit_signals.h"
#include "telemetry/frame_dispatch.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <variant>

namespace {

using namespace zento;

void say(const std::string& line) {
    std::fprintf(stderr, "zento-capture: %s\n", line.c_str());
}

std::filesystem::path path_of(const QString& s) {
    return std::filesystem::path(s.toStdString());
}

Recorder::Time time_of(std::int64_t ns) {
    return Recorder::Time(std::chrono::nanoseconds(ns));
}

std::string clock_text(std::chrono::nanoseconds d) {
    const auto s = std::chrono::duration_cast<std::chrono::seconds>(d).count();
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    return buf;
}

std::string size_text(std::uint64_t bytes) {
    char buf[32];
    if (bytes < 1000 * 1000)
        std::snprintf(buf, sizeof buf, "%.1f kB", double(bytes) / 1e3);
    else
        std::snprintf(buf, sizeof buf, "%.1f MB", double(bytes) / 1e6);
    return buf;
}

// The window's recording folder (Record > Recording folder..., shell/recording_control.h): the
// one kept in Zento.ini, by default the user's documents folder, subfolder "Zento".
std::filesystem::path recording_folder(const SettingsFile& ini) {
    const std::string kept = read_setting(ini, "Record", "Folder");
    if (!kept.empty()) return kept;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return path_of(documents.isEmpty() ? QDir::homePath() : documents) / "Zento";
}

class Capture final : public TelemetrySink {
  public:
    Capture(QtSerialPortControl& port, const CaptureOptions& o, SettingsFile ini)
        : port_(port), o_(o), ini_(std::move(ini)), plan_(o.commands),
          monitor_(read_health_scales(ini_).scales) {}

    // Opens the port and starts recording; false (the reason said) when either fails.
    bool start();
    // Ends it: the files closed and complete, the port closed (its lock released), the health
    // report written; then the event loop ends with `status` (1 if a file failed).
    void finish(int status);

  private:
    void batch(const TelemetryBatch& b) override;
    void tick();
    void commands(double t);
    void csv_out(const std::string& text);
    double now() const { return link_seconds(port_.TimeNow()); }

    QtSerialPortControl& port_;
    const CaptureOptions& o_;
    SettingsFile ini_;
    FrameDispatch dispatch_;
    CommandPlan plan_;
    HealthMonitor monitor_;
    std::unique_ptr<Recorder> recorder_;
    QTimer tick_timer_;
    QTimer end_timer_;
    bool finished_ = false;
    ReceiverCounters last_; // as of the previous status line
    // --csv: the recorder's rows made again from the same batches with the same times.
    CsvRows rows_;
    std::string row_text_;
    std::int64_t start_ns_ = 0, last_ns_ = 0;
    bool csv_ = false;
};

bool Capture::start() {
    port_.setInputLen(0);
    port_.setInputMode(kInputModeBinary);
    if (!port_.setPortOpen(true)) {
        say("cannot open " + port_.lastError());
        return false;
    }
    say(o_.device.empty() ? port_.openDevice() : o_.device + " is open");
    say("line settings " + port_.Settings());
    std::string error;
    start_ns_ = last_ns_ = port_.TimeNow();
    recorder_ = o_.out.empty() ? Recorder::start(recording_folder(ini_), time_of(start_ns_), error)
                               : Recorder::start_file(o_.out, time_of(start_ns_), error);
    if (!recorder_) {
        say("recording not started: " + error);
        port_.setPortOpen(false);
        return false;
    }
    say("recording to " + recorder_->pcap_path().string() + " and .csv");
    if (o_.csv) {
        csv_ = true;
        csv_out(std::string(kCsvHeader));
    }
    monitor_.connected(
        now(), parse_line_settings(port_.Settings()).settings.value_or(LineSettings{}).baud);
    dispatch_.add_sink(*this);
    dispatch_.on_message = [](std::string_view) {}; // counted; the status line shows them
    port_.OnComm = [this] { dispatch_.OnComm(port_); };
    port_.OnFailure = [this](const std::string& reason) {
        say("the port failed: " + reason);
        finish(1);
    };
    port_.setInBufferCount(0);
    port_.setRThreshold(1);
    QObject::connect(&tick_timer_, &QTimer::timeout, [this] { tick(); });
    tick_timer_.start(1000);
    if (o_.seconds) {
        end_timer_.setSingleShot(true);
        end_timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&end_timer_, &QTimer::timeout, [this] { finish(0); });
        end_timer_.start(int(std::min(*o_.seconds * 1000.0, 2.0e9)));
    }
    commands(now());
    return true;
}

void Capture::csv_out(const std::string& text) {
    if (!csv_) return;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
        std::fflush(stdout) != 0) {
        csv_ = false; // a reader that went away: the recording goes on
        say("standard output cannot be written: the CSV rows stop there, the recording goes on");
    }
}

void Capture::batch(const TelemetryBatch& b) {
    recorder_->received(b.bytes, time_of(b.time_ns));
    monitor_.batch(b);
    const double t = link_seconds(b.time_ns);
    for (const std::string& line : monitor_.poll(t))
        say(line);
    if (csv_) {
        // As the recorder does: never before the start nor the previous batch.
        last_ns_ = std::max(last_ns_, b.time_ns);
        row_text_.clear();
        rows_.feed(b.bytes, (last_ns_ - start_ns_) / 1000, row_text_);
        csv_out(row_text_);
    }
    commands(t);
}

void Capture::commands(double t) {
    for (;;) {
        const CommandPlan::Step s = plan_.next(t, monitor_.still_seconds(t));
        const bool bias = s.command == kTypeGyroBias;
        switch (s.action) {
        case CommandPlan::Action::none:
            return;
        case CommandPlan::Action::wait:
            say("waiting for the board to lie still for 2 s before the gyroscope bias (at most "
                "30 s)");
            return;
        case CommandPlan::Action::give_up:
            say("gyroscope bias not sent: the board did not lie still for 2 s within 30 s; lay "
                "it still and run again");
            break;
        case CommandPlan::Action::send: {
            std::string error;
            if (send_command(port_, s.command, &error) != SendOutcome::Sent) {
                say("command not sent: " + error);
                break;
            }
            const std::int64_t at = port_.TimeNow();
            const auto frame = command_frame(s.command);
            recorder_->sent(frame, time_of(at));
            last_ns_ = std::max(last_ns_, at);
            if (csv_) { // its row, as the recorder writes it
                row_text_.clear();
                rows_.command(frame, (last_ns_ - start_ns_) / 1000, row_text_);
                csv_out(row_text_);
            }
            if (bias) monitor_.bias_command(link_seconds(at));
            say(bias ? "Sent: collect gyroscope bias" : "Sent: zero the height");
            break;
        }
        }
    }
}

void Capture::tick() {
    const double t = now();
    for (const std::string& line : monitor_.poll(t))
        say(line);
    commands(t);
    const RecorderStatus rs = recorder_->status(time_of(port_.TimeNow()));
    if (rs.state == RecorderState::finished) { // it ended by itself: a full disk, a lost folder
        say("recording stopped: " + rs.failure);
        finish(1);
        return;
    }
    const ReceiverCounters& c = dispatch_.receiver().counters();
    char line[256];
    std::snprintf(line, sizeof line,
                  "%s  attitude %llu (%llu/s)  sensor %llu  checksum errors %llu  broken %llu  "
                  "%s recorded  health: ",
                  clock_text(rs.elapsed + std::chrono::milliseconds(500)).c_str(), // nearest
                  static_cast<unsigned long long>(c.attitude_frames),
                  static_cast<unsigned long long>(c.attitude_frames - last_.attitude_frames),
                  static_cast<unsigned long long>(c.sensor_frames),
                  static_cast<unsigned long long>(c.checksum_errors),
                  static_cast<unsigned long long>(c.broken_frames),
                  size_text(rs.pcap_bytes + rs.csv_bytes).c_str());
    last_ = c;
    say(line + health_summary(monitor_.report(t)));
}

void Capture::finish(int status) {
    if (finished_) return;
    finished_ = true;
    tick_timer_.stop();
    end_timer_.stop();
    port_.OnComm = nullptr;
    const double t = now();
    const HealthReport report = monitor_.report(t);
    if (recorder_) {
        recorder_->stop(time_of(port_.TimeNow()));
        recorder_->finish();
        const RecorderStatus s = recorder_->status();
        if (!s.failure.empty()) {
            if (status == 0) say("recording stopped: " + s.failure);
            status = 1;
        }
        if (!s.kept.empty())
            say("recording saved: " + s.kept.string() + " and .csv (" + clock_text(s.elapsed) +
                ", " + size_text(s.pcap_bytes + s.csv_bytes) + ")");
    }
    if (!plan_.done()) say("the capture ended before every command was sent");
    port_.setPortOpen(false); // the lock released
    monitor_.disconnected(t);
    say("health: " + health_summary(report));
    if (!o_.health.empty()) {
        std::ofstream f(o_.health, std::ios::binary | std::ios::trunc);
        f << health_json(report);
        f.close();
        if (!f) {
            say("cannot write the health report " + o_.health + ": " + std::strerror(errno));
            status = 1;
        } else {
            say("health report written to " + o_.health);
        }
    }
    QCoreApplication::exit(status);
}

} // namespace

int main(int argc, char** argv) {
    ignore_file_size_signal();
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN); // a closed standard output is a failed write, not the end
#endif
    const auto parsed = parse_capture_options(
        std::span<const char* const>(argv + 1, std::size_t(argc > 0 ? argc - 1 : 0)));
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        say(*error);
        std::fputs("try 'zento-capture --help'\n", stderr);
        return 2;
    }
    const CaptureOptions& o = std::get<CaptureOptions>(parsed);
    if (o.help) {
        std::fputs(capture_help().c_str(), stdout);
        return 0;
    }
    if (o.version) {
        std::printf("zento-capture %s\n", ZENTO_VERSION);
        return 0;
    }

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zento")); // the window's settings
    const SettingsLocation where = choose_settings_location(
        path_of(QCoreApplication::applicationDirPath()),
        path_of(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)));
    const SettingsFile ini = where.settings();
    QtSerialPortControl port(QString::fromStdString(where.folder.string()));
    if (o.port) port.setCommPort(*o.port);
    if (!o.device.empty()) port.setDevicePath(QString::fromStdString(o.device));
    const PortConfig config = read_port_config(ini);
    if (!config.problem.empty() && !o.settings) say(config.problem);
    port.setSettings(o.settings.value_or(config.settings));

    Capture capture(port, o, ini);
    const ExitSignals exits;
    QObject::connect(&exits, &ExitSignals::received, [&capture](int sig) {
        say(std::string(ExitSignals::name(sig)) + ": stopping");
        capture.finish(0);
    });
    if (!capture.start()) return 1;
    return app.exec();
}
