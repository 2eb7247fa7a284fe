#pragma once
// Motion and sensor model of the simulated board.
//
// Axes and signs (aerospace convention):
//   board axes      X forward, Y right, Z down (right-handed); the accelerometer, gyroscope and
//                   magnetometer all measure along these axes.
//   Euler order     Z-Y-X: yaw about Z, then pitch about the new Y, then roll about the new X.
//   yaw             0 = magnetic north, positive clockwise seen from above (90 = east);
//                   sent within -180..180.
//   pitch           positive nose up (-40..40 here).
//   roll            positive right wing down (-60..60 here).
//   accelerometer   the gravity vector in board axes minus the board's own acceleration,
//                   16384 counts per g: lying level and still, AZ = +16384; nose up gives
//                   AX < 0; right wing down gives AY > 0.
//                   roll = atan2(AY, AZ), pitch = atan2(-AX, sqrt(AY^2 + AZ^2)).
//   gyroscope       body rates p, q, r about X, Y, Z (right-hand rule), 16.4 counts per deg/s,
//                   plus a constant per-axis bias (until the bias command) and noise:
//                     p = roll' - yaw' sin(pitch)
//                     q = pitch' cos(roll) + yaw' sin(roll) cos(pitch)
//                     r = yaw' cos(roll) cos(pitch) - pitch' sin(roll)
//   magnetometer    the earth's field in board axes, 1090 counts per gauss; the field is 0.5 G
//                   pointing north and 60 degrees down (north-east-down (0.25, 0, 0.433) G).
//   altitude        metres above sea level until the zero command, then relative to the height
//                   at that moment; pressure follows the true height (about -12 Pa per metre).
//
// Motion: roll, pitch and yaw are slow sums of sines of a motion clock that runs with board
// time, except that the board comes to rest for 3 s in every 20 s (from 15 s to 18 s of each
// period, with a 1 s easing before and after), as a board put down on a desk does; the first
// 14 s are plain motion. At rest the angles stand still and the gyroscope reads its bias and
// noise only.
#include <array>
#include <cstdint>
#include <optional>

#include "rng.h"

namespace zento::board {

inline constexpr double kAccelCountsPerG = 16384.0;
inline constexpr double kGyroCountsPerDps = 16.4;
inline constexpr double kMagCountsPerGauss = 1090.0;
inline constexpr double kFieldGauss = 0.5;
inline constexpr double kDipDeg = 60.0;
inline constexpr double kGravity = 9.80665;    // m/s^2
inline constexpr double kSolutionRate = 200.0; // the board's attitude solutions per second

using Vec3 = std::array<double, 3>;

struct Attitude {
    double roll = 0, pitch = 0, yaw = 0; // degrees; yaw unwrapped (any real value)
};

// Vector given in north-east-down axes, seen in board axes.
Vec3 body_from_ned(const Attitude& a, const Vec3& ned);
// Body rates p, q, r (deg/s) from the attitude and its Euler-angle rates (deg/s).
Vec3 body_rates(const Attitude& a, const Attitude& rates);
// Wraps degrees into [-180, 180).
double wrap180(double deg);
// Standard-atmosphere pressure (Pa) at a height above sea level (m), shifted by the weather.
double pressure_at(double height_m, double weather_pa);

// The motion clock: board time with the rests taken out (see above), and its rate (1 while
// moving, 0 at rest, easing in between).
double motion_time(double t);
double motion_speed(double t);
// True while the board lies still (the motion clock stands).
bool resting(double t);

// How the board can misbehave (zento-board's fault options). All off by default.
struct SensorFaults {
    Vec3 mag_offset{};            // counts added to the magnetometer (a hard-iron offset)
    bool mag_disturbance = false; // a field from nearby that changes with time
    Vec3 accel_offset{};          // counts added to the accelerometer
    bool no_bias_removal = false; // the gyroscope bias command is ignored
};

// The board lying still and the sensors' noise (zento-board's --still and noise options).
// Densities are the white-noise level N of the Allan deviation, sigma(tau) = N / sqrt(tau): a
// sample's standard deviation is N sqrt(rate). Drifts are random walks of the bias (rate random
// walk): its standard deviation grows as K sqrt(t), the Allan deviation K sqrt(tau / 3).
struct SensorNoise {
    bool still = false;        // the board lies still at its starting attitude and height
    double gyro_density = -1;  // deg/s/sqrt(Hz); < 0: 2 counts a sample
    double gyro_drift = 0;     // deg/s/sqrt(s)
    double accel_density = -1; // g/sqrt(Hz); < 0: 6 counts a sample
    double accel_drift = 0;    // g/sqrt(s)
};

// The disturbing field of --mag-disturbance at board time t, north-east-down, gauss: about
// 0.1 to 0.2 G, changing over a few seconds.
Vec3 disturbance_field(double t);

// A sum of sine terms: smooth, slowly varying, with analytic derivatives.
struct Wave {
    struct Term {
        double amp, omega, phase; // value units, rad/s, rad
    };
    double offset = 0, slope = 0; // offset + slope * t + sum of terms
    std::array<Term, 2> terms{};

    double value(double t) const;
    double rate(double t) const;  // first derivative
    double accel(double t) const; // second derivative
};

// Everything the board sends for one instant, before rounding, plus the truth behind it.
struct BoardSample {
    double t = 0;                        // board time, s
    double roll = 0, pitch = 0, yaw = 0; // reported degrees, yaw within [-180, 180)
    double altitude = 0;                 // reported metres
    double temperature = 0;              // degrees Celsius
    double pressure = 0;                 // Pa
    double solution_rate = 0;            // per second
    Vec3 acc{}, gyro{}, mag{};           // counts
    Vec3 true_rates{};                   // body rates without bias or noise, deg/s
    double height = 0;                   // true height above sea level, m
};

class BoardModel {
  public:
    // Every seed gives its own repeatable motion (phases, site, bias) and noise.
    explicit BoardModel(std::uint64_t seed);

    // The sample at board time t; draws noise, so call it once per tick in time order.
    BoardSample sample(double t);

    // Command 0xE0: from now on the gyroscope readings lose their bias; false (and nothing
    // changes) when the faults say the command is ignored.
    bool collect_gyro_bias();
    // Command 0xE2: from now on the altitude is relative to the true height at time t.
    void zero_altitude(double t);

    // The noise-free motion, for checks.
    Attitude attitude(double t) const;
    Attitude attitude_rates(double t) const;
    double height(double t) const { return height_.value(noise_set_.still ? 0.0 : t); }
    const Vec3& gyro_bias() const { return bias_; } // counts
    bool bias_removed() const { return bias_removed_; }
    std::optional<double> altitude_zero() const { return zero_ref_; }

    // Faults apply to the samples that follow.
    void set_faults(const SensorFaults& f) { faults_ = f; }
    const SensorFaults& faults() const { return faults_; }
    // Applies to the samples that follow, one every 1 / rate_hz seconds.
    void set_noise(const SensorNoise& n, double rate_hz);

  private:
    Wave roll_, pitch_, yaw_, height_, temperature_;
    double weather_pa_ = 0;
    Vec3 bias_{};
    bool bias_removed_ = false;
    std::optional<double> zero_ref_;
    SensorFaults faults_;
    SensorNoise noise_set_;
    double gyro_sigma_ = 2.0, accel_sigma_ = 6.0; // counts a sample
    Vec3 gyro_walk_{}, accel_walk_{};             // counts
    std::optional<double> last_t_;
    Rng noise_;
};

// Payloads as the board sends them: sign-magnitude words, high byte first.
//   attitude (14 bytes): yaw, pitch, roll, altitude (0.1 deg, 0.1 m), temperature (0.1 C),
//                        pressure (word counts 10 Pa), solution rate
//   sensor (18 bytes):   AX AY AZ, GX GY GZ, HX HY HZ (counts)
// Values are rounded to the nearest step; the yaw word stays within -1800..1800.
std::array<std::uint8_t, 14> attitude_payload(const BoardSample& s);
std::array<std::uint8_t, 18> sensor_payload(const BoardSample& s);

} // namespace zento::board
