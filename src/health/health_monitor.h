#pragma once
// Link and sensor health: figures that say what is wrong with the link or the board, computed
// from what the receiver counts and the two telemetry frames it already delivers.
//
// Time is the receive path's (link/link_time.h), in seconds; the monitor reads no clock, so
// tests drive it with simulated time. Everything runs on the caller's thread.
//
// Feeding (the main window does this; so do tests and benchmarks):
//   connected(t, baud)        the port was opened (starts "since connect", clears the figures)
//   batch(b)                  each batch of the receive path (telemetry/telemetry_batch.h): its
//                             time and counters for the link figures, its frames with their
//                             own times for the sensor figures, the board's frame interval
//   bias_command(t)           the gyroscope bias command ("Marked bias") was sent
//   disconnected(t)           the port was closed (figures freeze, nothing more is judged)
// Per frame the monitor only stores the record; the figures are worked out from the stored
// records by update(), which runs at most twice a second (from poll()) or when report() asks.
//
// Reading:
//   poll(t)                   the "Health: " lines for the message log that are due, if any;
//                             call it after each batch and from a timer (a stopped stream
//                             sends no batches)
//   report(t)                 every figure over the last 10 s and since connect, each with its
//                             state, thresholds and what the state usually means
//
// A figure that turns bad writes one "Health: " line naming what is wrong, at most once a
// minute per figure; a figure that was reported bad and turns good says so once.
//
// The parts, one job each: health/window_stats.h (statistics over the last 10 s and since
// connect), health/link_figures.h (the link's records), health/sensor_figures.h (the ticks
// worked through health/sensor_checks.h and health/hard_iron.h), health/figure_table.h (a row
// per figure: name, unit, grading, thresholds, meaning, log line) and health/log_policy.h.
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "health/health_settings.h"
#include "health/sphere_fit.h"
#include "telemetry/telemetry_batch.h"

namespace zento {

// none: not judged (no data, not still); not_yet: not judged until the user has done what it
// needs (turned the board through enough directions, used "Marked bias").
enum class HealthState { none, good, doubtful, bad, not_yet };

// One word for the state, as the window and the README show it.
std::string_view state_word(HealthState s);

enum class FigureId {
    // Link
    bytes_rate,
    attitude_rate,
    sensor_rate,
    other_rate,
    solution_rate,
    checksum_errors,
    broken_frames,
    skipped_bytes,
    overflows,
    frame_gaps,
    longest_gap,
    line_use,
    // Board and sensors
    board_still,
    accel_norm,
    vibration,
    tilt,
    mag_norm,
    mag_spread,
    dip,
    heading,
    field_while_still,
    hard_iron,
    directions,
    fit_residual,
    gyro_bias,
    gyro_rates,
    count
};
inline constexpr int kFigureCount = int(FigureId::count);

// "Link", "Board", "Accelerometer", "Magnetometer" or "Gyroscope"; the figures of a group
// follow each other in FigureId order.
std::string_view figure_group(FigureId id);
std::string_view figure_name(FigureId id);

struct HealthFigure {
    FigureId id{};
    std::string_view group; // "Link", "Board", "Accelerometer", "Magnetometer", "Gyroscope"
    std::string_view name;  // "Checksum errors"
    std::string recent;     // over the last 10 s ("" when there is nothing to show)
    std::string total;      // since connect
    // The figure's number as its text shows it first (NaN: none), in `unit`; for the
    // checksum errors and broken frames their share of the frames, for the gaps the p99.
    double value = std::numeric_limits<double>::quiet_NaN();
    double total_value = std::numeric_limits<double>::quiet_NaN();
    std::string_view unit; // "B/s", "/s", "% of frames", "ms", "g", "°", "G", "°/s", ...
    HealthState state = HealthState::none;       // what the log and the window judge by
    HealthState total_state = HealthState::none; // the same rule on the since-connect value
    std::string thresholds;                      // "good ≤ 0.1 %, bad > 0.5 %"
    std::string meaning; // what the state usually means ("" when good or not judged)
};

struct HealthReport {
    bool connected = false;
    double seconds = 0; // since connect (until disconnect)
    int baud = 0;
    HealthScales scales;
    std::vector<HealthFigure> figures; // in FigureId order
    std::optional<SphereFit> fit;      // the latest sphere fit, in magnetometer counts
    const HealthFigure& operator[](FigureId id) const { return figures[std::size_t(id)]; }
};

class HealthMonitor {
  public:
    explicit HealthMonitor(HealthScales scales = {});
    ~HealthMonitor();
    HealthMonitor(const HealthMonitor&) = delete;
    HealthMonitor& operator=(const HealthMonitor&) = delete;

    void connected(double t, int baud);
    void disconnected(double t);
    void set_baud(int baud);
    // New scales clear the sensor figures (they start again with the new scales).
    void set_scales(const HealthScales& s);
    const HealthScales& scales() const;

    void batch(const TelemetryBatch& b);
    void bias_command(double t);

    // Works the stored records into the figures and judges them; with force false, only when
    // half a second has passed since the last time.
    void update(double t, bool force = false);
    std::vector<std::string> poll(double t);
    HealthReport report(double t);
    // For how long the board has been lying still (the "still" of the figures, judged per half
    // second, no frame lost) up to the latest frames worked in; 0 when it is not still now.
    // Works the stored frames in at most twice a second, as poll() does.
    double still_seconds(double t);

  private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace zento
