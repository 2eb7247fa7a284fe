#include "board_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "link/envelope.h"

namespace zento::board {
namespace {

constexpr double kDeg = std::numbers::pi / 180.0;

double period(double seconds) {
    return 2.0 * std::numbers::pi / seconds;
}

Wave::Term term(Rng& rng, double amp, double seconds) {
    return {amp, period(seconds), rng.uniform(0.0, 2.0 * std::numbers::pi)};
}

long nearest(double v) {
    return std::lround(v);
}

void put(std::uint8_t* out, long value) {
    const auto w = encode_sign_magnitude(value);
    out[0] = w[0];
    out[1] = w[1];
}

} // namespace

Vec3 body_from_ned(const Attitude& a, const Vec3& v) {
    const double sr = std::sin(a.roll * kDeg), cr = std::cos(a.roll * kDeg);
    const double sp = std::sin(a.pitch * kDeg), cp = std::cos(a.pitch * kDeg);
    const double sy = std::sin(a.yaw * kDeg), cy = std::cos(a.yaw * kDeg);
    // Rows of the direction-cosine matrix R_x(roll) R_y(pitch) R_z(yaw).
    return {
        cp * cy * v[0] + cp * sy * v[1] - sp * v[2],
        (sr * sp * cy - cr * sy) * v[0] + (sr * sp * sy + cr * cy) * v[1] + sr * cp * v[2],
        (cr * sp * cy + sr * sy) * v[0] + (cr * sp * sy - sr * cy) * v[1] + cr * cp * v[2],
    };
}

Vec3 body_rates(const Attitude& a, const Attitude& d) {
    const double sr = std::sin(a.roll * kDeg), cr = std::cos(a.roll * kDeg);
    const double sp = std::sin(a.pitch * kDeg), cp = std::cos(a.pitch * kDeg);
    return {
        d.roll - d.yaw * sp,
        d.pitch * cr + d.yaw * sr * cp,
        d.yaw * cr * cp - d.pitch * sr,
    };
}

double wrap180(double deg) {
    double w = std::fmod(deg + 180.0, 360.0);
    if (w < 0) w += 360.0;
    return w - 180.0;
}

namespace {
// One period of the motion clock: moving until kEaseOut, easing to rest over 1 s, at rest
// until kEaseIn, easing back over 1 s, moving to the period's end.
constexpr double kPeriod = 20.0, kEaseOut = 14.0, kRest = 15.0, kEaseIn = 18.0, kMoving = 19.0;
constexpr double kMotionPerPeriod = kPeriod - (kEaseIn - kRest) - 1.0; // each easing counts 1/2
} // namespace

double motion_time(double t) {
    const double n = std::floor(t / kPeriod);
    const double tau = t - n * kPeriod;
    const double pi = std::numbers::pi;
    double s;
    if (tau < kEaseOut) {
        s = tau;
    } else if (tau < kRest) {
        const double u = tau - kEaseOut;
        s = kEaseOut + u / 2.0 + std::sin(pi * u) / (2.0 * pi);
    } else if (tau < kEaseIn) {
        s = kEaseOut + 0.5;
    } else if (tau < kMoving) {
        const double u = tau - kEaseIn;
        s = kEaseOut + 0.5 + u / 2.0 - std::sin(pi * u) / (2.0 * pi);
    } else {
        s = kEaseOut + 1.0 + (tau - kMoving);
    }
    return n * kMotionPerPeriod + s;
}

double motion_speed(double t) {
    const double tau = t - std::floor(t / kPeriod) * kPeriod;
    const double pi = std::numbers::pi;
    if (tau < kEaseOut || tau >= kMoving) return 1.0;
    if (tau < kRest) return (1.0 + std::cos(pi * (tau - kEaseOut))) / 2.0;
    if (tau < kEaseIn) return 0.0;
    return (1.0 - std::cos(pi * (tau - kEaseIn))) / 2.0;
}

bool resting(double t) {
    const double tau = t - std::floor(t / kPeriod) * kPeriod;
    return tau >= kRest && tau < kEaseIn;
}

Vec3 disturbance_field(double t) {
    const double w = 2.0 * std::numbers::pi;
    return {0.15 * std::sin(w * t / 7.3), 0.12 * std::sin(w * t / 11.9 + 1.1),
            0.09 * std::sin(w * t / 4.7 + 2.3)};
}

double pressure_at(double height_m, double weather_pa) {
    return 101325.0 * std::pow(1.0 - 2.25577e-5 * height_m, 5.25588) + weather_pa;
}

double Wave::value(double t) const {
    double v = offset + slope * t;
    for (const auto& k : terms)
        v += k.amp * std::sin(k.omega * t + k.phase);
    return v;
}

double Wave::rate(double t) const {
    double v = slope;
    for (const auto& k : terms)
        v += k.amp * k.omega * std::cos(k.omega * t + k.phase);
    return v;
}

double Wave::accel(double t) const {
    double v = 0;
    for (const auto& k : terms)
        v -= k.amp * k.omega * k.omega * std::sin(k.omega * t + k.phase);
    return v;
}

BoardModel::BoardModel(std::uint64_t seed) : noise_(0) {
    std::uint64_t s = seed;
    Rng motion(splitmix64(s));
    noise_ = Rng(splitmix64(s));

    // Roll within +-52, pitch within +-33: the peaks of two slow sines.
    roll_.terms = {term(motion, 38.0, 17.0), term(motion, 14.0, 7.3)};
    pitch_.terms = {term(motion, 24.0, 23.0), term(motion, 9.0, 9.1)};
    // Yaw turns one way at 5..13 deg/s: a full turn in 30 to 70 s, crossing +-180 each time.
    yaw_.offset = motion.uniform(-180.0, 180.0);
    yaw_.slope = motion.uniform() < 0.5 ? -9.0 : 9.0;
    yaw_.terms = {term(motion, 25.0, 41.0), Wave::Term{0, 0, 0}};
    // A site 60..180 m above sea level, drifting by some metres.
    height_.offset = motion.uniform(60.0, 180.0);
    height_.terms = {term(motion, 3.0, 61.0), term(motion, 1.5, 37.0)};
    temperature_.offset = motion.uniform(21.0, 26.0);
    temperature_.terms = {term(motion, 0.4, 90.0), term(motion, 0.2, 33.0)};
    weather_pa_ = motion.uniform(-300.0, 300.0);
    // A gyroscope bias of 1.5..3.7 deg/s per axis, either sign.
    for (auto& b : bias_)
        b = (motion.uniform() < 0.5 ? -1.0 : 1.0) * motion.uniform(25.0, 60.0);
}

Attitude BoardModel::attitude(double t) const {
    const double s = noise_set_.still ? 0.0 : motion_time(t);
    return {roll_.value(s), pitch_.value(s), yaw_.value(s)};
}

Attitude BoardModel::attitude_rates(double t) const {
    if (noise_set_.still) return {};
    const double s = motion_time(t), v = motion_speed(t);
    return {roll_.rate(s) * v, pitch_.rate(s) * v, yaw_.rate(s) * v};
}

bool BoardModel::collect_gyro_bias() {
    if (faults_.no_bias_removal) return false;
    bias_removed_ = true;
    return true;
}

void BoardModel::zero_altitude(double t) {
    zero_ref_ = height(t);
}

void BoardModel::set_noise(const SensorNoise& n, double rate_hz) {
    noise_set_ = n;
    gyro_sigma_ =
        n.gyro_density < 0 ? 2.0 : n.gyro_density * std::sqrt(rate_hz) * kGyroCountsPerDps;
    accel_sigma_ =
        n.accel_density < 0 ? 6.0 : n.accel_density * std::sqrt(rate_hz) * kAccelCountsPerG;
}

BoardSample BoardModel::sample(double t) {
    BoardSample s;
    s.t = t;
    const Attitude a = attitude(t);
    s.roll = a.roll;
    s.pitch = a.pitch;
    s.yaw = wrap180(a.yaw);
    s.height = height(t);
    s.altitude = s.height - zero_ref_.value_or(0.0) + 0.03 * noise_.gaussian();
    s.temperature = temperature_.value(t) + 0.03 * noise_.gaussian();
    s.pressure = pressure_at(s.height, weather_pa_) + 3.0 * noise_.gaussian();
    s.solution_rate = kSolutionRate + 0.6 * noise_.gaussian();

    // Gravity minus the board's own (vertical) acceleration, in g.
    const double up_accel = noise_set_.still ? 0.0 : height_.accel(t) / kGravity;
    const Vec3 g = body_from_ned(a, {0.0, 0.0, 1.0 + up_accel});
    s.true_rates = body_rates(a, attitude_rates(t));
    const double dip = kDipDeg * kDeg;
    Vec3 earth{kFieldGauss * std::cos(dip), 0.0, kFieldGauss * std::sin(dip)};
    if (faults_.mag_disturbance) {
        const Vec3 d = disturbance_field(t);
        for (int i = 0; i < 3; ++i)
            earth[i] += d[i];
    }
    const Vec3 field = body_from_ned(a, earth);
    // The biases' random walks over the time since the previous sample.
    const double dt = last_t_ ? std::max(0.0, t - *last_t_) : 0.0;
    last_t_ = t;
    for (int i = 0; i < 3; ++i) {
        if (noise_set_.gyro_drift > 0)
            gyro_walk_[i] +=
                noise_set_.gyro_drift * kGyroCountsPerDps * std::sqrt(dt) * noise_.gaussian();
        if (noise_set_.accel_drift > 0)
            accel_walk_[i] +=
                noise_set_.accel_drift * kAccelCountsPerG * std::sqrt(dt) * noise_.gaussian();
    }
    for (int i = 0; i < 3; ++i) {
        s.acc[i] = g[i] * kAccelCountsPerG + faults_.accel_offset[i] + accel_walk_[i] +
                   accel_sigma_ * noise_.gaussian();
        s.gyro[i] = s.true_rates[i] * kGyroCountsPerDps + (bias_removed_ ? 0.0 : bias_[i]) +
                    gyro_walk_[i] + gyro_sigma_ * noise_.gaussian();
        s.mag[i] = field[i] * kMagCountsPerGauss + faults_.mag_offset[i] + 2.0 * noise_.gaussian();
    }
    return s;
}

std::array<std::uint8_t, 14> attitude_payload(const BoardSample& s) {
    long yaw = nearest(s.yaw * 10.0);
    if (yaw > 1800) yaw -= 3600;
    if (yaw < -1800) yaw += 3600;
    std::array<std::uint8_t, 14> p{};
    put(&p[0], yaw);
    put(&p[2], nearest(s.pitch * 10.0));
    put(&p[4], nearest(s.roll * 10.0));
    put(&p[6], nearest(s.altitude * 10.0));
    put(&p[8], nearest(s.temperature * 10.0));
    put(&p[10], nearest(s.pressure / 10.0));
    put(&p[12], nearest(s.solution_rate));
    return p;
}

std::array<std::uint8_t, 18> sensor_payload(const BoardSample& s) {
    std::array<std::uint8_t, 18> p{};
    for (int i = 0; i < 3; ++i) {
        put(&p[2 * i], nearest(s.acc[i]));
        put(&p[6 + 2 * i], nearest(s.gyro[i]));
        put(&p[12 + 2 * i], nearest(s.mag[i]));
    }
    return p;
}

} // namespace zento::board
