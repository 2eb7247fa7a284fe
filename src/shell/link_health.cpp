#include "shell/link_health.h"

#include "health/health_monitor.h"
#include "health/health_settings.h"
#include "health/health_window.h"

#include "link/envelope.h"
#include "link/link_time.h"

#include <QScreen>
#include <QTimer>

namespace zento {

LinkHealth::LinkHealth(std::function<std::int64_t()> source_time, SettingsFile ini_file,
                       QWidget* window)
    : QObject(window), ini_file_(std::move(ini_file)), parent_(window),
      source_time_(std::move(source_time)), poll_timer_(new QTimer(this)) {
    const HealthScalesRead scales = read_health_scales(ini_file_);
    settings_problem_ = QString::fromStdString(scales.problem);
    monitor_ = std::make_unique<HealthMonitor>(scales.scales);
    // A stream that stops sends no batches: the figures are also looked at once a second.
    poll_timer_->setInterval(1000);
    connect(poll_timer_, &QTimer::timeout, this, &LinkHealth::poll);
    poll_timer_->start();
}

LinkHealth::~LinkHealth() = default;

double LinkHealth::now() const {
    return link_seconds(source_time_());
}

void LinkHealth::connected(int baud) {
    monitor_->connected(now(), baud);
}

void LinkHealth::disconnected() {
    monitor_->disconnected(now());
}

void LinkHealth::batch(const TelemetryBatch& b) {
    for (const LinkEvent& e : b.events)
        if (e.kind == LinkEvent::Kind::command && e.command == kTypeGyroBias)
            monitor_->bias_command(link_seconds(e.time_ns)); // "Marked bias", live or recorded
    if (b.bytes.empty() && b.frames.empty() && !b.events.empty()) return; // a command alone
    monitor_->batch(b);
    for (const std::string& line : monitor_->poll(link_seconds(b.time_ns)))
        emit message(QString::fromStdString(line));
}

void LinkHealth::poll() {
    for (const std::string& line : monitor_->poll(now()))
        emit message(QString::fromStdString(line));
}

void LinkHealth::Show_window() {
    if (!window_) {
        window_ = new HealthWindow(
            *monitor_, [this] { return now(); }, ini_file_, parent_);
        // Beside the main window, not over it (at least 640 pixels wide there, or at the
        // screen's edge).
        const QWidget* main = parent_->window();
        if (const QScreen* screen = main->screen()) {
            const QRect r = place_beside(main->frameGeometry(), window_->size(), 640,
                                         screen->availableGeometry());
            window_->resize(r.size());
            window_->move(r.topLeft());
        }
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

} // namespace zento
