#pragma once
// Statistics of an interval of a recording, for characterising the sensors of a board that lies
// still: per channel (the nine sensor axes, yaw, pitch and roll) the mean, standard deviation,
// minimum and maximum in physical units and counts, and the noise density; for the sensor axes
// the overlapping Allan deviation (allan.h), and for the gyroscope and the accelerometer the
// random walk and the bias instability read from it.
//
// Pure and self-contained: it reads a FrameLog and nothing else, so a window can run it on a
// thread of its own (a stop_token ends it early; progress is reported as it goes), as long as
// nothing adds to that log meanwhile.
//
// Sample times and period. The frames one batch completes share its time (at 250 Hz about four
// a batch), so the period is never taken from the times of neighbouring frames: it is the
// board's frame interval T, the time a contiguous stretch spans over the frames it holds,
// pooled over the stretches (sum of (last time - first time) / sum of (frames - 1)).
//
// Contiguous stretches. A stretch ends where a frame may be missing:
//  - at a break of the FrameLog (the receiver counted a frame lost, an overflow or skipped
//    bytes: frame_log.h);
//  - where the stream fell behind its frame count (a silence: the stream stopped, a cable
//    pulled). Frame i of a stretch was sent at t0 + i T and arrives later by a delay that
//    varies (batches, a USB adapter holding frames back) but does not grow for good, so its lag
//    t_i - i T stays within the delays' range; m missing frames raise the lag by m T for good.
//    A stretch ends before frame i when the smallest lag of the frames i .. i+W-1 exceeds the
//    smallest lag of the W frames before i by more than max(1.5 T, 10 ms) (W: 2 s of frames):
//    a burst raises the lag only for the frames it held back, so it splits nothing.
//  T and the stretches are found in turn until they agree (a long silence inflates the first T).
//
// Conventions:
//  - noise density N = s sqrt(T) (units/sqrt(Hz)), s the standard deviation of the samples:
//    the white-noise level of the Allan deviation, sigma(tau) = N / sqrt(tau) (IEEE Std 952's
//    N; a one-sided spectral density, as some datasheets give, is sqrt(2) N). The samples are
//    whole counts: rounding adds 1/12 count^2 to the variance of each, which is part of the
//    output's noise and of these figures; quantisation_density is that part alone.
//  - random walk (angle random walk of the gyroscope in deg/sqrt(h), velocity random walk of
//    the accelerometer in m/s/sqrt(h)): sigma(tau) sqrt(tau) at tau = 1 s (m = round(1 s / T)
//    periods; equal to N for white noise), times 60 (sqrt(h) = 60 sqrt(s)); accelerometer g
//    taken as 9.80665 m/s^2.
//  - bias instability B = sigma_min / 0.664 (IEEE Std 952, flicker noise: the flat floor of the
//    curve is 0.664 B), in deg/h and mg, with the tau of the minimum. When the curve still
//    falls at its last tau, B is only an upper bound (bias_tau is then the last tau).
//  - yaw and roll are unwrapped across +-180 from the interval's first frame, so a board
//    pointing south shows min 179.9, max 180.1 rather than a spread of 360 degrees.
//
// Figures are finite numbers or absent: an interval without two frames of a kind gives that
// kind a problem text and no figures, never NaN or infinity.
#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "health/health_settings.h"
#include "statistics/allan.h"
#include "statistics/frame_log.h"

namespace zento {

// The channels: the nine sensor axes (AX AY AZ GX GY GZ HX HY HZ), then yaw, pitch and roll.
inline constexpr int kStatsChannels = 12;
inline constexpr int kSensorChannels = 9;

enum class Quantity { acceleration, rate, field, angle };

struct StatsChannel {
    std::string_view name;         // "gyro_x"
    std::string_view unit;         // "deg/s"
    std::string_view allan_column; // "gyro_x_dps" ("" for the angles)
    Quantity quantity;
};
const StatsChannel& stats_channel(int channel);

struct ChannelStats {
    bool valid = false;         // false: no figures (the kind's problem says why)
    double counts_per_unit = 1; // the scale: counts = value x this (angles: 10 words a degree)
    double mean = 0, sd = 0, min = 0, max = 0; // physical units
    double noise_density = 0;                  // units/sqrt(Hz)
    double quantisation_density = 0;           // the part of it that whole counts alone give
    // Gyroscope and accelerometer, from the Allan deviation.
    bool has_random_walk = false;
    double random_walk = 0; // deg/sqrt(h), m/s/sqrt(h)
    bool has_bias_instability = false;
    double bias_instability = 0; // deg/h, mg
    double bias_tau = 0;         // s
};

// One kind of frame (sensor or attitude) within the interval.
struct KindStats {
    std::size_t frames = 0;
    std::vector<Stretch> stretches; // contiguous stretches, as indices of the FrameSeries
    double period = 0;              // the board's frame interval T, s (0: not known)
    std::string problem;            // "" or why this kind has no figures
    std::size_t gaps() const { return stretches.empty() ? 0 : stretches.size() - 1; }
};

struct AllanCurve {
    std::vector<double> tau;          // s, ascending: octaves from T, and 1 s
    std::vector<std::uint64_t> terms; // terms of the overlapping estimate at each tau
    std::array<std::vector<double>, kSensorChannels> adev; // per sensor axis, in its unit
};

struct IntervalStats {
    double from = 0, to = 0;
    std::uint64_t lost = 0; // frames the receiver counted lost within the interval
    KindStats sensor, attitude;
    std::array<ChannelStats, kStatsChannels> channel;
    AllanCurve allan;        // empty when the sensor frames have a problem
    std::string problem;     // "" when there are figures; else why there are none
    std::string short_curve; // "" or why the curve ends before 1 s (no random walk is read)
    bool stopped = false;
};

struct StatsOptions {
    double from = -std::numeric_limits<double>::infinity(); // seconds from the recording's start
    double to = std::numeric_limits<double>::infinity();    // (both ends included)
    HealthScales scales;
    std::stop_token stop;                 // a stop requested: result with problem "stopped"
    std::function<void(double)> progress; // fraction done, 0 to 1, on the computing thread
};

IntervalStats interval_stats(const FrameLog& log, const StatsOptions& options = {});

// The table as CSV, one row per channel ("." as the decimal point, 6 significant digits; the
// cells of absent figures empty):
//   channel,unit,frames,gaps,rate_hz,mean,sd,min,max,counts_per_unit,mean_counts,sd_counts,
//   min_counts,max_counts,noise_density,quantisation_density,density_unit,random_walk,
//   random_walk_unit,bias_instability,bias_instability_unit,bias_tau_s
std::string stats_csv(const IntervalStats& s);
// The Allan deviation curve as CSV: tau_s, then one column per sensor axis
// (accel_x_g ... gyro_x_dps ... mag_z_gauss), one row per tau.
std::string allan_csv(const IntervalStats& s);

} // namespace zento
