#pragma once
// The window's health part: feeds the health monitor (health/health_monitor.h) from the receive
// path, writes its "Health: " lines to the log, and opens the health window from the Setting
// menu ("Link and sensor health"), first beside the main window.
//
// Its clock is the byte source's: the steady clock for the port, the recording's own time while
// one plays, so that rates and gaps are those of the recorded stream at any playback speed.
// Closed, the health window costs nothing; the monitor keeps its counters and records.
#include "settings/settings_location.h"
#include "telemetry/frame_dispatch.h"

#include <QObject>
#include <QString>

#include <filesystem>
#include <functional>
#include <memory>

class QTimer;
class QWidget;

namespace zento {

class HealthMonitor;
class HealthWindow;
struct ReceiverCounters;

class LinkHealth : public QObject, public TelemetrySink {
    Q_OBJECT
  public:
    using Clock = std::function<double()>; // seconds, monotonic

    LinkHealth(const ReceiverCounters& counters, SettingsFile ini_file, QWidget* window);
    ~LinkHealth() override;

    // Start-up: the line to report when a scale in the settings file was not usable ("").
    QString settings_problem() const { return settings_problem_; }

    // The byte source's clock (steady by default).
    void setClock(Clock clock);
    double now() const;

    void connected(int baud);
    void disconnected();
    void batch(); // after the receiver has taken a batch
    void bias_command();
    void Rec_attitude(const AttitudeRecord& r) override;
    void Rec_sensor(const SensorRecord& r) override;

    void Show_window(); // "Link and sensor health"
    HealthMonitor& monitor() const { return *monitor_; }
    HealthWindow* window() const { return window_; } // nullptr until first shown

  signals:
    void message(const QString& text);

  private:
    void poll();

    SettingsFile ini_file_;
    QWidget* parent_;
    std::unique_ptr<HealthMonitor> monitor_;
    Clock clock_;
    QTimer* poll_timer_;
    HealthWindow* window_ = nullptr;
    QString settings_problem_;
};

} // namespace zento
