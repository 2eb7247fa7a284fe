#include "health/sensor_checks.h"

#include "health/still_rule.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zento::health {

namespace {

constexpr double kDeg = 180.0 / std::numbers::pi;
constexpr double kSamePose = 2.0; // degrees: still blocks this close belong to one still run

// A vector in board axes seen in north-east-down axes (the transpose of the board's
// Z-Y-X direction-cosine matrix).
Vec3d ned_from_body(double roll, double pitch, double yaw, const Vec3d& v) {
    const double sr = std::sin(roll / kDeg), cr = std::cos(roll / kDeg);
    const double sp = std::sin(pitch / kDeg), cp = std::cos(pitch / kDeg);
    const double sy = std::sin(yaw / kDeg), cy = std::cos(yaw / kDeg);
    const double r[3][3] = {{cp * cy, cp * sy, -sp},
                            {sr * sp * cy - cr * sy, sr * sp * sy + cr * cy, sr * cp},
                            {cr * sp * cy + sr * sy, cr * sp * sy - sr * cy, cr * cp}};
    return {r[0][0] * v[0] + r[1][0] * v[1] + r[2][0] * v[2],
            r[0][1] * v[0] + r[1][1] * v[1] + r[2][1] * v[2],
            r[0][2] * v[0] + r[1][2] * v[1] + r[2][2] * v[2]};
}

// Heading and tilt are not compared near the vertical, where the angles lose their meaning.
bool upright(double pitch) {
    return std::abs(pitch) < 70.0;
}

} // namespace

double wrap180(double d) {
    d = std::fmod(d + 180.0, 360.0);
    if (d < 0) d += 360.0;
    return d - 180.0;
}

StillBlock still_block(std::span<const Tick> block, const HealthScales& scales) {
    // Range of roll, pitch, the accelerometer's and the gyroscope's axes over complete ticks.
    double lo[8], hi[8];
    std::fill(lo, lo + 8, 1e300);
    std::fill(hi, hi + 8, -1e300);
    std::size_t full = 0;
    Vec3d field{};
    double yaw_ref = 0, yaw_sum = 0, yaw_lo = 0, yaw_hi = 0;
    for (const Tick& k : block) {
        if (!k.has_att || !k.has_sensor) continue;
        if (full == 0) yaw_ref = k.yaw;
        ++full;
        const double v[8] = {k.roll,   k.pitch,   k.acc[0],  k.acc[1],
                             k.acc[2], k.gyro[0], k.gyro[1], k.gyro[2]};
        for (int i = 0; i < 8; ++i)
            lo[i] = std::min(lo[i], v[i]), hi[i] = std::max(hi[i], v[i]);
        for (int i = 0; i < 3; ++i)
            field[i] += k.mag[i];
        const double yaw = wrap180(k.yaw - yaw_ref);
        yaw_sum += yaw;
        yaw_lo = std::min(yaw_lo, yaw), yaw_hi = std::max(yaw_hi, yaw);
    }
    StillBlock b;
    if (block.empty()) return b;
    const double sa = scales.accel_counts_per_g, sg = scales.gyro_counts_per_dps;
    b.still = full * 4 >= block.size() * 3 && block.front().loss == block.back().loss;
    for (int i = 0; b.still && i < 8; ++i) {
        const double limit = i < 2 ? kStillAngle : i < 5 ? kStillAccel * sa : kStillGyro * sg;
        b.still = hi[i] - lo[i] <= limit;
    }
    b.moved = full > 0 && yaw_hi - yaw_lo > kStillAngle;
    for (int i = 0; !b.moved && full > 0 && i < 5; ++i)
        b.moved = hi[i] - lo[i] > (i < 2 ? kStillAngle : kStillAccel * sa);
    if (full == 0) return b;
    for (int i = 0; i < 3; ++i)
        b.field[i] = field[i] / double(full);
    b.roll = (lo[0] + hi[0]) / 2, b.pitch = (lo[1] + hi[1]) / 2;
    b.yaw = wrap180(yaw_ref + yaw_sum / double(full));
    return b;
}

std::optional<TiltError> tilt_error(const Vec3d& a, double roll, double pitch) {
    if (!upright(pitch)) return std::nullopt;
    const double aroll = std::atan2(a[1], a[2]) * kDeg;
    const double apitch = std::atan2(-a[0], std::hypot(a[1], a[2])) * kDeg;
    return TiltError{wrap180(aroll - roll), apitch - pitch};
}

std::optional<double> heading_error(const Vec3d& mag, double roll, double pitch, double yaw) {
    if (!upright(pitch)) return std::nullopt;
    const double r = roll / kDeg, p = pitch / kDeg;
    const double xh = mag[0] * std::cos(p) + mag[1] * std::sin(r) * std::sin(p) +
                      mag[2] * std::cos(r) * std::sin(p);
    const double yh = mag[1] * std::cos(r) - mag[2] * std::sin(r);
    if (!(std::hypot(xh, yh) > 1e-9)) return std::nullopt;
    return wrap180(std::atan2(-yh, xh) * kDeg - yaw);
}

std::optional<double> dip_angle(const Vec3d& a, double a_norm, const Vec3d& mag, double mag_norm) {
    if (!(a_norm > 0.5 && mag_norm > 0)) return std::nullopt;
    const double cosv = (a[0] * mag[0] + a[1] * mag[1] + a[2] * mag[2]) / (a_norm * mag_norm);
    return std::asin(std::clamp(cosv, -1.0, 1.0)) * kDeg;
}

std::optional<double> StillField::add(const StillBlock& b) {
    if (!b.still) {
        active_ = false;
        return std::nullopt;
    }
    const Vec3d earth = ned_from_body(b.roll, b.pitch, b.yaw, b.field);
    const double strength = std::hypot(earth[0], earth[1], earth[2]);
    const bool same_pose = active_ && std::abs(b.roll - roll_) < kSamePose &&
                           std::abs(b.pitch - pitch_) < kSamePose &&
                           std::abs(wrap180(b.yaw - yaw_)) < kSamePose;
    if (!same_pose || strength <= 0) {
        active_ = strength > 0;
        field_ = earth;
        roll_ = b.roll, pitch_ = b.pitch, yaw_ = b.yaw;
        return std::nullopt;
    }
    const double change =
        std::hypot(earth[0] - field_[0], earth[1] - field_[1], earth[2] - field_[2]);
    const double ref = std::hypot(field_[0], field_[1], field_[2]);
    return 100.0 * change / ref;
}

Vec3d body_rates(const Tick& before, const Tick& after, const Tick& at, double dt) {
    const double roll = at.roll / kDeg, pitch = at.pitch / kDeg;
    const double droll = wrap180(after.roll - before.roll) / dt;
    const double dpitch = (after.pitch - before.pitch) / dt;
    const double dyaw = wrap180(after.yaw - before.yaw) / dt;
    return {droll - dyaw * std::sin(pitch),
            dpitch * std::cos(roll) + dyaw * std::sin(roll) * std::cos(pitch),
            dyaw * std::cos(roll) * std::cos(pitch) - dpitch * std::sin(roll)};
}

GyroAgreement gyro_agreement(const GyroAcc& x, const GyroAcc& y) {
    GyroAgreement r;
    double ve = 0, vd = 0, cov = 0;
    for (const GyroAcc* g : {&x, &y})
        for (const AxisAcc& a : g->a)
            ve += a.nvar_e(), vd += a.nvar_d(), cov += a.ncov(), r.n += a.n;
    if (r.n == 0) return r;
    r.rms = std::sqrt(3.0 * ve / r.n);
    r.excitation = std::sqrt(3.0 * vd / r.n);
    if (vd > 0) r.gain = 1.0 + cov / vd;
    r.n /= 3;
    return r;
}

} // namespace zento::health
