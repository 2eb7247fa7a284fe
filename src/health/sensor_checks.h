#pragma once
// The checks the sensor figures make, each on its own inputs (no clock, no window, no text):
//   still_block     whether a block of ticks shows the board lying still (health/still_rule.h),
//                   and whether it moved (angles or accelerometer: the bias command's check)
//   tilt_error      the accelerometer's roll and pitch against the reported ones
//   heading_error   the tilt-compensated magnetic heading against the reported yaw
//   dip_angle       the angle between the accelerometer's and the magnetometer's vectors
//   StillField      the field of each still block against the first block of its still run
//   body_rates      the body rates from the reported attitude's rate of change
//   GyroAcc         the gyroscope against those rates: its bias and how well the two agree
// Angles are in degrees, rates in deg/s; readings in counts unless said otherwise.
#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "health/health_settings.h"
#include "health/sphere_fit.h"
#include "health/window_stats.h"

namespace zento::health {

// Degrees into [-180, 180).
double wrap180(double d);

// One board tick: its attitude frame and the sensor frame of the same instant, as far as they
// came; `loss` is the loss stamp (telemetry/telemetry_batch.h) of its frames.
struct Tick {
    double t = 0; // the tick's own time, seconds
    float yaw = 0, pitch = 0, roll = 0, rate = 0;
    float acc[3]{}, gyro[3]{}, mag[3]{};
    std::uint64_t loss = 0;
    bool has_att = false, has_sensor = false;
};

struct StillBlock {
    // Roll, pitch, each accelerometer and gyroscope axis within the still rule, three quarters
    // of the ticks complete and no frame lost across the block.
    bool still = false;
    // Angles (yaw too) or accelerometer beyond the still rule: the gyroscope is left out, as a
    // bias command changes its readings.
    bool moved = false;
    // The block's pose and mean field (counts), from its complete ticks: roll and pitch the
    // middle of their range, yaw the mean (unwrapped from the first).
    double roll = 0, pitch = 0, yaw = 0;
    Vec3d field{};
};
StillBlock still_block(std::span<const Tick> block, const HealthScales& scales);

// Tilt and heading are compared only while the board is not near the vertical (|pitch| < 70°),
// where roll and yaw lose their meaning; otherwise nullopt.

// The accelerometer's tilt (a in g) against the reported roll and pitch:
// roll = atan2(ay, az), pitch = atan2(-ax, sqrt(ay^2 + az^2)).
struct TiltError {
    double roll = 0, pitch = 0;
};
std::optional<TiltError> tilt_error(const Vec3d& a, double roll, double pitch);

// The magnetic heading, tilt-compensated with the reported roll and pitch, minus the reported
// yaw; nullopt also when the field has no horizontal part.
std::optional<double> heading_error(const Vec3d& mag, double roll, double pitch, double yaw);

// The angle between the accelerometer's vector (a in g, |a| = a_norm) and the magnetometer's
// (|mag| = mag_norm); nullopt while |a| is under 0.5 g or there is no field.
std::optional<double> dip_angle(const Vec3d& a, double a_norm, const Vec3d& mag, double mag_norm);

// The field while still: each still block's field against the first block of its run of still
// blocks in the same pose (roll, pitch and yaw within 2°), both turned into north-east-down axes
// so that a slow turn is not taken for a change.
class StillField {
  public:
    // The change in % of the run's field; nullopt for a block that is not still or starts a run.
    std::optional<double> add(const StillBlock& b);
    void reset() { active_ = false; }

  private:
    bool active_ = false;
    Vec3d field_{};
    double roll_ = 0, pitch_ = 0, yaw_ = 0;
};

// The body rates p, q, r at tick `at` from the reported angles' central differences between
// `before` and `after`, dt seconds apart (roll and yaw unwrapped across ±180°):
// p = roll' - yaw' sin(pitch), q = pitch' cos(roll) + yaw' sin(roll) cos(pitch),
// r = yaw' cos(roll) cos(pitch) - pitch' sin(roll).
Vec3d body_rates(const Tick& before, const Tick& after, const Tick& at, double dt);

// Per axis: the gyroscope's rate minus the body rate (e), against that body rate (d).
struct AxisAcc {
    double n = 0, se = 0, see = 0, sd = 0, sdd = 0, sed = 0;
    void add(double e, double d) {
        n += 1, se += e, see += e * e, sd += d, sdd += d * d, sed += e * d;
    }
    AxisAcc& operator+=(const AxisAcc& o) {
        n += o.n, se += o.se, see += o.see, sd += o.sd, sdd += o.sdd, sed += o.sed;
        return *this;
    }
    double mean() const { return n > 0 ? se / n : kNaN; }
    // n times the variance of e, of d, and their covariance.
    double nvar_e() const { return n > 0 ? std::max(0.0, see - se * se / n) : 0; }
    double nvar_d() const { return n > 0 ? std::max(0.0, sdd - sd * sd / n) : 0; }
    double ncov() const { return n > 0 ? sed - se * sd / n : 0; }
};

struct GyroAcc {
    AxisAcc a[3];
    GyroAcc& operator+=(const GyroAcc& o) {
        for (int i = 0; i < 3; ++i)
            a[i] += o.a[i];
        return *this;
    }
    double n() const { return a[0].n; }
    // The mean of e (the bias) per axis, and its length.
    Vec3d bias_axes() const { return {a[0].mean(), a[1].mean(), a[2].mean()}; }
    double bias() const { return std::hypot(a[0].mean(), a[1].mean(), a[2].mean()); }
};

// How the gyroscope agrees with the attitude's rates over two stretches (before and after a
// bias command), each about its own mean: n per axis, the RMS of e, the gain of the gyroscope
// against the attitude (1 when the scale is right; NaN when the board did not turn) and the RMS
// of d about its mean (how much the board turned: the gain means something only then).
struct GyroAgreement {
    double n = 0, rms = kNaN, gain = kNaN, excitation = kNaN;
};
GyroAgreement gyro_agreement(const GyroAcc& x, const GyroAcc& y);

} // namespace zento::health
