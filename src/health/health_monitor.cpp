#include "health/health_monitor.h"

#include "health/figure_table.h"
#include "health/link_figures.h"
#include "health/log_policy.h"
#include "health/sensor_figures.h"
#include "link/link_time.h"

#include <utility>

// The monitor wires its parts: the link's records (health/link_figures.h), the sensors'
// (health/sensor_figures.h), what they measured into figures by the figure table
// (health/figure_table.h), and the lines of the log policy (health/log_policy.h).
namespace zento {

namespace {
constexpr double kUpdateEvery = 0.5; // update() works at most this often unless forced
} // namespace

struct HealthMonitor::Impl {
    health::LinkFigures link;
    health::SensorFigures sensors;
    health::LogPolicy log;
    double frame_interval = 0; // the board's, as of the latest batch (0: not known)
    bool ever_connected = false, connected = false;
    double t_connect = 0, t_disconnect = 0, last_update = -1e300;
    int baud = 0;
    std::vector<std::string> lines;

    explicit Impl(const HealthScales& s) : sensors(s) {}

    // The board's ticks per second (telemetry/frame_interval.h); 0 while not known.
    double tick_rate() const { return frame_interval > 0 ? 1.0 / frame_interval : 0; }

    void update_all(double t) {
        last_update = t;
        link.update(t);
        if (sensors.work(tick_rate())) lines.push_back(health::moved_at_bias_line());
    }

    std::vector<HealthFigure> figures(double now) const {
        if (!ever_connected) return health::blank_figures();
        health::Measures m;
        link.measure(now, baud, m);
        sensors.measure(now, m);
        m.tick_rate = tick_rate();
        m.baud = baud;
        return health::make_figures(m);
    }
};

HealthMonitor::HealthMonitor(HealthScales scales) : d_(std::make_unique<Impl>(scales)) {}
HealthMonitor::~HealthMonitor() = default;

void HealthMonitor::connected(double t, int baud) {
    Impl& d = *d_;
    d.ever_connected = d.connected = true;
    d.t_connect = t;
    d.baud = baud;
    d.last_update = -1e300;
    d.link.connect(t);
    d.sensors.connect();
    d.log.connected(t);
}

void HealthMonitor::disconnected(double t) {
    if (!d_->connected) return;
    d_->update_all(t);
    d_->connected = false;
    d_->t_disconnect = t;
}

void HealthMonitor::set_baud(int baud) {
    d_->baud = baud;
}

void HealthMonitor::set_scales(const HealthScales& s) {
    if (s == d_->sensors.scales()) return;
    d_->sensors.set_scales(s);
}

const HealthScales& HealthMonitor::scales() const {
    return d_->sensors.scales();
}

void HealthMonitor::batch(const TelemetryBatch& b) {
    Impl& d = *d_;
    d.link.count(b.counters);
    d.frame_interval = b.frame_interval;
    if (!d.connected) return;
    // The link's figures go by the batch's arrival, the sensors' by each frame's own time.
    const double t = link_seconds(b.time_ns);
    for (const TelemetryFrame& f : b.frames) {
        if (f.type == TelemetryFrame::Type::attitude) {
            d.link.attitude(t, f.loss);
            d.sensors.attitude(link_seconds(f.time_ns), f.attitude, f.loss);
        } else {
            d.link.sensor(t);
            d.sensors.sensor(link_seconds(f.time_ns), f.sensor, f.loss);
        }
    }
    d.link.batch(t);
}

void HealthMonitor::bias_command(double t) {
    if (!d_->connected) return;
    // Frames are put before or after the command by their own time, whenever worked.
    d_->sensors.bias_command(t);
}

void HealthMonitor::update(double t, bool force) {
    Impl& d = *d_;
    if (!d.connected) return;
    if (!force && t - d.last_update < kUpdateEvery) return;
    d.update_all(t);
    if (d.log.judging(t)) d.log.judge(t, d.figures(t), d.lines);
}

std::vector<std::string> HealthMonitor::poll(double t) {
    update(t);
    return std::exchange(d_->lines, {});
}

double HealthMonitor::still_seconds(double t) {
    update(t);
    return d_->connected ? d_->sensors.still_seconds() : 0.0;
}

HealthReport HealthMonitor::report(double t) {
    update(t);
    const Impl& d = *d_;
    HealthReport r;
    const double now = d.connected ? t : d.t_disconnect;
    r.connected = d.connected;
    r.seconds = d.ever_connected ? now - d.t_connect : 0;
    r.baud = d.baud;
    r.scales = d.sensors.scales();
    r.figures = d.figures(now);
    r.fit = d.sensors.fit();
    return r;
}

} // namespace zento
