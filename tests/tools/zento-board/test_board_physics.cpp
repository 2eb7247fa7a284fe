// The simulated board's stream, decoded with the project's receiver, checked against physics.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "board_capture.h"
#include "board_stream.h"

using namespace board_test;
using zento::board::BoardStream;

namespace {

std::vector<std::uint8_t> capture(std::uint64_t seed, double rate, std::uint64_t ticks,
                                  double faults = 0.0) {
    BoardStream s(seed, rate, faults);
    std::vector<std::uint8_t> out;
    for (std::uint64_t k = 0; k < ticks; ++k)
        s.append_tick(out, k);
    return out;
}

struct Stats {
    double mean = 0, sd = 0, max_abs = 0;
};
Stats stats(const std::vector<double>& v) {
    Stats s;
    for (double x : v)
        s.mean += x;
    s.mean /= double(v.size());
    for (double x : v) {
        s.sd += (x - s.mean) * (x - s.mean);
        s.max_abs = std::max(s.max_abs, std::abs(x));
    }
    s.sd = std::sqrt(s.sd / double(v.size()));
    return s;
}

} // namespace

// With the angles recovered from the readings (roll = atan2(AY, AZ), pitch = atan2(-AX, ..), the
// tilt-compensated heading) a wrong sign on any axis shows as an error of tens of degrees; |a| is
// 1 g and |B| 0.5 G.
TEST(BoardPhysics, AccelerometerAndMagnetometerAgreeWithTheReportedAttitude) {
    for (const std::uint64_t seed : {1ull, 2ull, 3ull, 9ull}) {
        const Decoded d = decode(capture(seed, 20, 20 * 120));
        ASSERT_EQ(d.attitude.size(), d.sensor.size());
        double worst_roll = 0, worst_pitch = 0, worst_norm = 0, worst_heading = 0;
        std::vector<double> field;
        for (std::size_t i = 0; i < d.sensor.size(); ++i) {
            const auto& a = d.attitude[i];
            const auto& s = d.sensor[i];
            worst_roll = std::max(worst_roll, std::abs(angle_diff(accel_roll(s), a.roll)));
            worst_pitch = std::max(worst_pitch, std::abs(accel_pitch(s) - a.pitch));
            worst_norm = std::max(worst_norm, std::abs(accel_norm(s) / 16384.0 - 1.0));
            worst_heading = std::max(worst_heading,
                                     std::abs(angle_diff(mag_heading(s, a.roll, a.pitch), a.yaw)));
            field.push_back(std::hypot(double(s.mag[0]), double(s.mag[1]), double(s.mag[2])) /
                            1090.0);
        }
        EXPECT_LT(worst_roll, 2.0) << "seed " << seed;
        EXPECT_LT(worst_pitch, 2.0) << "seed " << seed;
        EXPECT_LT(worst_norm, 0.02) << "seed " << seed;
        EXPECT_LT(worst_heading, 3.0) << "seed " << seed;
        const Stats f = stats(field);
        EXPECT_NEAR(f.mean, 0.5, 0.02) << "seed " << seed;
        EXPECT_LT(f.sd, 0.01) << "seed " << seed;
    }
}

TEST(BoardPhysics, GyroscopeReadsTheBodyRatesOfTheAttitude) {
    const double rate = 20;
    const Decoded d = decode(capture(3, rate, 20 * 120));
    std::vector<double> residual[3];
    double largest_rate = 0;
    for (std::size_t k = 1; k + 1 < d.attitude.size(); ++k) {
        const auto truth = derived_rates(d.attitude, k, rate);
        for (int i = 0; i < 3; ++i) {
            residual[i].push_back(d.sensor[k].gyro[i] / 16.4 - truth[i]);
            largest_rate = std::max(largest_rate, std::abs(truth[i]));
        }
    }
    EXPECT_GT(largest_rate, 10.0); // the check means something only if the board turns
    for (int i = 0; i < 3; ++i) {
        const Stats s = stats(residual[i]);
        // The bias is a constant offset of at most 3.7 deg/s; what remains is noise and the
        // 0.1-degree steps of the angles.
        EXPECT_LT(std::abs(s.mean), 4.0) << "axis " << i;
        EXPECT_LT(s.sd, 1.0) << "axis " << i;
    }
}

TEST(BoardPhysics, AnglesStayInRangeAndYawTurnsThroughEveryHeading) {
    for (const std::uint64_t seed : {1ull, 2ull, 3ull, 4ull}) {
        const Decoded d = decode(capture(seed, 20, 20 * 180));
        bool sectors[36] = {};
        int crossings = 0;
        for (std::size_t i = 0; i < d.attitude.size(); ++i) {
            const auto& a = d.attitude[i];
            ASSERT_LE(std::abs(a.roll), 60.0f);
            ASSERT_LE(std::abs(a.pitch), 40.0f);
            ASSERT_LE(std::abs(a.yaw), 180.0f);
            sectors[std::min(35, int((a.yaw + 180.0f) / 10.0f))] = true;
            if (i > 0 && std::abs(a.yaw - d.attitude[i - 1].yaw) > 180.0f) ++crossings;
            // Smooth: no jump between ticks except the wrap of yaw.
            if (i > 0) {
                EXPECT_LT(std::abs(a.roll - d.attitude[i - 1].roll), 3.0f);
                EXPECT_LT(std::abs(angle_diff(a.yaw, d.attitude[i - 1].yaw)), 3.0);
            }
        }
        EXPECT_GE(crossings, 2) << "seed " << seed;
        EXPECT_EQ(std::count(std::begin(sectors), std::end(sectors), true), 36) << "seed " << seed;
    }
}

TEST(BoardPhysics, EnvironmentValuesAndPressureFallingWithHeight) {
    const Decoded d = decode(capture(8, 20, 20 * 240));
    std::vector<double> alt, pa;
    float lo = 1e9f, hi = -1e9f;
    for (const auto& a : d.attitude) {
        EXPECT_GT(a.temperature, 15.0f);
        EXPECT_LT(a.temperature, 30.0f);
        EXPECT_NEAR(a.rate, 200.0f, 5.0f);
        EXPECT_GT(a.pressure_pa(), 95000.0f);
        EXPECT_LT(a.pressure_pa(), 103000.0f);
        alt.push_back(a.altitude);
        pa.push_back(a.pressure_pa());
        lo = std::min(lo, a.altitude);
        hi = std::max(hi, a.altitude);
    }
    EXPECT_GT(hi - lo, 2.0f) << "the altitude should drift by some metres";
    EXPECT_LT(hi - lo, 20.0f);
    // Least-squares slope of pressure over altitude: about -12 Pa per metre.
    const Stats sa = stats(alt), sp = stats(pa);
    double cov = 0, var = 0;
    for (std::size_t i = 0; i < alt.size(); ++i) {
        cov += (alt[i] - sa.mean) * (pa[i] - sp.mean);
        var += (alt[i] - sa.mean) * (alt[i] - sa.mean);
    }
    EXPECT_NEAR(cov / var, -12.0, 1.0);
}

TEST(BoardCommands, ZeroAltitudeAndGyroBiasChangeTheFollowingFrames) {
    const double rate = 50;
    BoardStream s(21, rate);
    std::vector<std::uint8_t> before, after;
    std::uint64_t k = 0;
    for (; k < 500; ++k)
        s.append_tick(before, k);
    s.model().zero_altitude(s.time_of(k - 1));
    s.model().collect_gyro_bias();
    for (std::uint64_t end = k + 500; k < end; ++k)
        s.append_tick(after, k);

    const Decoded b = decode(before), a = decode(after);
    EXPECT_GT(b.attitude.back().altitude, 50.0f); // above sea level until zeroed
    EXPECT_NEAR(a.attitude.front().altitude, 0.0f, 0.2f);
    EXPECT_LT(std::abs(a.attitude.back().altitude), 15.0f);
    // Pressure is physical and does not move with the zero.
    EXPECT_NEAR(a.attitude.front().pressure_pa(), b.attitude.back().pressure_pa(), 30.0f);

    auto mean_residual = [&](const Decoded& d, int axis) {
        double sum = 0;
        std::size_t n = 0;
        for (std::size_t i = 1; i + 1 < d.attitude.size(); ++i, ++n)
            sum += d.sensor[i].gyro[axis] / 16.4 - derived_rates(d.attitude, i, rate)[axis];
        return sum / double(n);
    };
    for (int axis = 0; axis < 3; ++axis) {
        const double bias = s.model().gyro_bias()[axis] / 16.4;
        EXPECT_NEAR(mean_residual(b, axis), bias, 0.3) << "axis " << axis;
        EXPECT_GT(std::abs(bias), 1.4) << "axis " << axis;
        EXPECT_NEAR(mean_residual(a, axis), 0.0, 0.3) << "axis " << axis;
    }
}
