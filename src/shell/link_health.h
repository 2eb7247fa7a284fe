#pragma once
// The window's health part: feeds the health monitor (health/health_monitor.h) from the receive
// path, writes its "Health: " lines to the log, and opens the health window from the Setting
// menu ("Link and sensor health"), first beside the main window.
//
// Time is the receive path's (link/link_time.h): each batch brings its own, and the gyroscope
// bias command comes as an event of the receive path at its time, live or from a recording;
// between batches (a stream that stopped, the window's refresh, connect) it asks `source_time`,
// the byte source's time now (the port's, or the recording's while one plays), so that rates
// and gaps are those of the recorded stream at any playback speed.
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

class LinkHealth : public QObject, public TelemetrySink {
    Q_OBJECT
  public:
    LinkHealth(std::function<std::int64_t()> source_time, SettingsFile ini_file,
               QWidget* window);
    ~LinkHealth() override;

    // Start-up: the line to report when a scale in the settings file was not usable ("").
    QString settings_problem() const { return settings_problem_; }

    double now() const; // the source's time, seconds

    void connected(int baud);
    void disconnected();
    void batch(const TelemetryBatch& b) override;

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
    std::function<std::int64_t()> source_time_;
    QTimer* poll_timer_;
    HealthWindow* window_ = nullptr;
    QString settings_problem_;
};

} // namespace zento
