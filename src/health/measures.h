#pragma once
// What the checks measured, as the figure table (health/figure_table.h) reads it: for each span
// (the last 10 s, and since connect) the link's numbers (health/link_figures.h) and the
// sensors' (health/sensor_figures.h), and what holds for both. Numbers only: the texts, the
// thresholds and the grading are the table's.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "health/sensor_checks.h"
#include "health/sphere_fit.h"
#include "health/window_stats.h"

namespace zento::health {

// Index of the two columns of every figure.
enum Span : std::size_t { kRecent = 0, kTotal = 1 };

struct LinkSpan {
    // Per second, over the span (since connect: from the end of the first second, which brings
    // what waited in the port); NaN over no time.
    double bytes_rate = kNaN, attitude_rate = kNaN, sensor_rate = kNaN, other_rate = kNaN;
    // Counts over the span (since connect: all of it).
    std::uint64_t frames = 0, other_frames = 0, checksum_errors = 0, broken_frames = 0,
                  skipped_bytes = 0, overflows = 0;
    // % of the line's capacity (10 bits a byte) in use; NaN while the baud rate is not known.
    double line_use = kNaN;
    // Gaps between attitude frames delivered one after the other (seconds): how many, their
    // median and p99 (NaN with none); since connect, estimates from a histogram.
    std::size_t clean_gaps = 0;
    double gap_median = kNaN, gap_p99 = kNaN;
    // The longest gap, lost frames or not (seconds), if any attitude frame came.
    bool has_longest = false;
    double longest = 0;
};

struct SensorSpan {
    Acc solutions;    // the board's attitude solutions per second, as it reports them
    Acc still;        // 1 for a tick of a still block, 0 otherwise
    Acc accel;        // |a|, g
    Acc field;        // |B|, gauss
    Acc roll, pitch;  // the accelerometer's tilt against the reported angles, while still
    Acc dip;          // while still
    Acc heading;      // the magnetic heading against the reported yaw
    Max field_change; // % of |B|, while still
    GyroAcc gyro;     // the gyroscope against the attitude's rates, since the bias command (if
                      // any, else before it)
    GyroAcc gyro_before_bias; // before the bias command (when there was one)
    GyroAgreement agreement;  // before and after the command, each about its own mean
};

struct Measures {
    std::array<LinkSpan, 2> link;
    std::array<SensorSpan, 2> sensors;
    // Seconds since the latest byte, attitude frame and sensor frame arrived.
    double since_byte = 0, since_attitude = 0, since_sensor = 0;
    double tick_rate = 0; // the board's ticks per second; 0 while not known
    int baud = 0;
    bool bias_commanded = false;  // "Marked bias" was used since connect
    std::optional<SphereFit> fit; // the hard-iron estimate, in magnetometer counts
    double mag_counts_per_gauss = 1;
};

} // namespace zento::health
