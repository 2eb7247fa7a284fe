#include "shell/link_health.h"

#include "health/health_monitor.h"
#include "health/health_settings.h"
#include "health/health_window.h"

#include <QScreen>
#include <QTimer>

#include <chrono>

namespace zento {

namespace {

double steady_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

LinkHealth::LinkHealth(const ReceiverCounters& counters, SettingsFile ini_file, QWidget* window)
    : QObject(window), ini_file_(std::move(ini_file)), parent_(window), clock_(steady_seconds),
      poll_timer_(new QTimer(this)) {
    const HealthScalesRead scales = read_health_scales(ini_file_);
    settings_problem_ = QString::fromStdString(scales.problem);
    monitor_ = std::make_unique<HealthMonitor>(counters, scales.scales);
    // A stream that stops sends no batches: the figures are also looked at once a second.
    poll_timer_->setInterval(1000);
    connect(poll_timer_, &QTimer::timeout, this, &LinkHealth::poll);
    poll_timer_->start();
}

LinkHealth::~LinkHealth() = default;

void LinkHealth::setClock(Clock clock) {
    clock_ = clock ? std::move(clock) : Clock(steady_seconds);
}

double LinkHealth::now() const {
    return clock_();
}

void LinkHealth::connected(int baud) {
    monitor_->connected(now(), baud);
}

void LinkHealth::disconnected() {
    monitor_->disconnected(now());
}

void LinkHealth::batch() {
    monitor_->batch(now());
    poll();
}

void LinkHealth::bias_command() {
    monitor_->bias_command(now());
}

void LinkHealth::Rec_attitude(const AttitudeRecord& r) {
    monitor_->attitude(now(), r);
}

void LinkHealth::Rec_sensor(const SensorRecord& r) {
    monitor_->sensor(now(), r);
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
