// The sensor checks and the hard-iron estimate on their own inputs (health/sensor_checks.h,
// health/hard_iron.h), with the simulated board's geometry (board_model.h) as the reference.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

#include "board_model.h"
#include "health/hard_iron.h"
#include "health/sensor_checks.h"

using namespace zento;
using namespace zento::health;

namespace {

constexpr double kG = 16384, kGauss = 1090, kDps = 16.4; // the default scales' counts
const board::Vec3 kEarth = {0.25, 0, 0.433};             // G, north-east-down: 0.5 G, dip 60°

// A complete tick of a board lying at this attitude: gravity and the earth's field in its axes.
Tick lying(double roll, double pitch, double yaw, double t = 0) {
    const board::Attitude at{roll, pitch, yaw};
    const board::Vec3 g = board::body_from_ned(at, {0, 0, 1}), b = board::body_from_ned(at, kEarth);
    Tick k;
    k.t = t, k.roll = float(roll), k.pitch = float(pitch), k.yaw = float(board::wrap180(yaw));
    for (int i = 0; i < 3; ++i)
        k.acc[i] = float(g[i] * kG), k.mag[i] = float(b[i] * kGauss);
    k.has_att = k.has_sensor = true;
    return k;
}
Vec3d in_g(const Tick& k) {
    return {k.acc[0] / kG, k.acc[1] / kG, k.acc[2] / kG};
}
Vec3d mag_of(const Tick& k) {
    return {k.mag[0], k.mag[1], k.mag[2]};
}

} // namespace

// Each channel of the still rule at its limit and just beyond; a lost frame or too few complete
// ticks; "moved" (the bias command's check) leaves the gyroscope out and takes yaw in.
TEST(HealthChecks, StillBlockHoldsEachChannelToItsLimit) {
    const struct {
        const char* what;
        std::function<void(std::vector<Tick>&)> change;
        bool still, moved;
    } cases[] = {
        {"lying still", [](auto&) {}, true, false},
        {"roll within 0.3°", [](auto& b) { b[4].roll += 0.29f; }, true, false},
        {"roll beyond", [](auto& b) { b[4].roll += 0.31f; }, false, true},
        {"pitch beyond", [](auto& b) { b[4].pitch -= 0.31f; }, false, true},
        {"an accelerometer axis within 0.02 g", [](auto& b) { b[4].acc[1] += 0.019 * kG; }, true,
         false},
        {"an accelerometer axis beyond", [](auto& b) { b[4].acc[2] += 0.021 * kG; }, false, true},
        {"a gyroscope axis beyond 1.5 °/s", [](auto& b) { b[4].gyro[0] += 1.6 * kDps; }, false,
         false},
        {"yaw turned 0.4° across ±180°", [](auto& b) { b[9].yaw = -179.8f; }, true, true},
        {"a frame lost within", [](auto& b) { b[9].loss = 1; }, false, false},
        {"three ticks of ten without their sensor frame",
         [](auto& b) { b[1].has_sensor = b[2].has_sensor = b[3].has_sensor = false; }, false,
         false},
    };
    for (const auto& c : cases) {
        std::vector<Tick> block(10, lying(10, -5, 179.8));
        c.change(block);
        const StillBlock b = still_block(block, HealthScales{});
        EXPECT_EQ(b.still, c.still) << c.what;
        EXPECT_EQ(b.moved, c.moved) << c.what;
    }
    // The block's pose: roll and pitch the middle of their range, yaw the mean across ±180°.
    std::vector<Tick> block(10, lying(10, -5, 179.9));
    for (int i = 0; i < 10; i += 2)
        block[std::size_t(i)].yaw = -179.9f, block[std::size_t(i)].roll = 10.2f;
    const StillBlock b = still_block(block, HealthScales{});
    EXPECT_NEAR(b.roll, 10.1, 1e-5);
    EXPECT_NEAR(std::abs(b.yaw), 180.0, 1e-5);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(b.field[i], block[0].mag[i], 1e-3);
}

// On the board's own geometry the accelerometer's tilt matches the reported roll and pitch, the
// tilt-compensated heading the yaw, and the dip is the field's 60°, in any pose; a reported angle
// that is off shows with its sign, across ±180°.
TEST(HealthChecks, TiltHeadingAndDipAgainstTheReportedAttitude) {
    const double poses[][3] = {{0, 0, 0}, {30, -20, 100}, {-50, 35, -170}, {170, 10, 45}};
    for (const auto& p : poses) {
        const Tick k = lying(p[0], p[1], p[2]);
        const auto tilt = tilt_error(in_g(k), k.roll, k.pitch);
        ASSERT_TRUE(tilt.has_value());
        EXPECT_NEAR(tilt->roll, 0, 0.01) << p[0];
        EXPECT_NEAR(tilt->pitch, 0, 0.01) << p[1];
        EXPECT_NEAR(*heading_error(mag_of(k), k.roll, k.pitch, k.yaw), 0, 0.01) << p[2];
        const double dip = *dip_angle(in_g(k), 1.0, mag_of(k), 0.5 * kGauss);
        EXPECT_NEAR(dip, 60, 0.01);
    }
    const Tick k = lying(179, 10, -179);
    EXPECT_NEAR(tilt_error(in_g(k), k.roll - 3, k.pitch)->roll, 3, 0.01);
    EXPECT_NEAR(tilt_error(in_g(k), -178, k.pitch)->roll, -3, 0.01);
    EXPECT_NEAR(tilt_error(in_g(k), k.roll, k.pitch + 2)->pitch, -2, 0.01);
    EXPECT_NEAR(*heading_error(mag_of(k), k.roll, k.pitch, 178), 3, 0.01);
    // Near the vertical roll and yaw mean nothing: not compared. No field, no heading; a board
    // in free fall, no dip.
    const Tick up = lying(0, 75, 0);
    EXPECT_FALSE(tilt_error(in_g(up), up.roll, up.pitch));
    EXPECT_FALSE(heading_error(mag_of(up), up.roll, up.pitch, up.yaw));
    EXPECT_FALSE(heading_error({0, 0, 0}, 0, 0, 0));
    EXPECT_FALSE(dip_angle({0, 0, 0.3}, 0.3, mag_of(up), 545));
}

// The field of still blocks against the first of their run, in north-east-down axes: a changed
// field shows, a slow turn does not; another pose or a move starts a new run.
TEST(HealthChecks, FieldWhileStillComparesWithinOneRun) {
    auto block = [](double yaw, double scale = 1.0) {
        StillBlock b;
        const Tick k = lying(20, -10, yaw);
        b.still = true, b.roll = 20, b.pitch = -10, b.yaw = yaw;
        b.field = {k.mag[0] * scale, k.mag[1] * scale, k.mag[2] * scale};
        return b;
    };
    StillField f;
    EXPECT_FALSE(f.add(block(90)));                  // starts the run
    EXPECT_NEAR(*f.add(block(90, 1.03)), 3.0, 1e-3); // the field changed by 3 %
    EXPECT_NEAR(*f.add(block(91.5)), 0.0, 1e-3);     // turned 1.5°: the same field
    EXPECT_FALSE(f.add(block(93)));                  // another pose: a new run
    EXPECT_NEAR(*f.add(block(93, 0.95)), 5.0, 1e-3);
    StillBlock moving = block(93);
    moving.still = false;
    EXPECT_FALSE(f.add(moving));
    EXPECT_FALSE(f.add(block(93, 0.95))); // after a move: a new run
}

// Body rates from the reported angles' central differences match the board's own formula,
// yaw unwrapped across ±180°.
TEST(HealthChecks, BodyRatesFromTheAttitudesRateOfChange) {
    const board::Attitude at{30, 20, 179.5}, rates{10, -5, 20};
    const double dt = 0.1;
    auto tick_at = [&](double s) {
        return lying(at.roll + s * rates.roll * dt / 2, at.pitch + s * rates.pitch * dt / 2,
                     at.yaw + s * rates.yaw * dt / 2);
    };
    const Vec3d got = body_rates(tick_at(-1), tick_at(1), tick_at(0), dt);
    const board::Vec3 want = board::body_rates(at, rates);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(got[i], want[i], 1e-3) << "axis " << i;
}

// The gyroscope against the attitude's rates d: its bias is the mean of gyro - d, its gain the
// slope against d (none when d does not vary), its disagreement the RMS about each stretch's
// own mean, so that a bias collected between two stretches is no disagreement.
TEST(HealthChecks, GyroscopeBiasGainAndAgreement) {
    const struct {
        double gain, bias, turning;
    } cases[] = {{1.0, 0.0, 10}, {1.0, 2.0, 10}, {0.5, 0.0, 10}, {1.2, -1.0, 4}, {1.0, 1.0, 0}};
    for (const auto& c : cases) {
        GyroAcc g;
        double sum_d = 0;
        for (int i = 0; i < 400; ++i) {
            const double d = c.turning * std::sin(i / 7.0) + 3.0;
            const double noise = 0.2 * std::sin(i * 2.3); // 0.14 RMS
            for (AxisAcc& a : g.a)
                a.add(c.gain * d + c.bias + noise - d, d);
            sum_d += d;
        }
        EXPECT_NEAR(g.bias_axes()[1], c.bias + (c.gain - 1) * sum_d / 400, 0.01);
        const GyroAgreement a = gyro_agreement(g, GyroAcc{});
        EXPECT_EQ(a.n, 400);
        // RMS of the vectors over the three axes: sqrt(3) times one axis's.
        const double turning = std::sqrt(1.5) * c.turning;
        EXPECT_NEAR(a.excitation, turning, 0.05 * turning + 1e-9);
        EXPECT_NEAR(a.rms, std::hypot((c.gain - 1) * a.excitation, std::sqrt(3) * 0.14), 0.02);
        if (c.turning > 0)
            EXPECT_NEAR(a.gain, c.gain, 0.01);
        else
            EXPECT_TRUE(std::isnan(a.gain));
    }
    // Before and after "Marked bias": a bias of 3 °/s on one side only.
    GyroAcc before, after;
    for (int i = 0; i < 200; ++i) {
        const double d = 10 * std::sin(i / 7.0);
        for (int k = 0; k < 3; ++k)
            before.a[k].add(3.0, d), after.a[k].add(0.0, d);
    }
    const GyroAgreement a = gyro_agreement(after, before);
    EXPECT_NEAR(a.rms, 0, 1e-6);
    EXPECT_NEAR(a.gain, 1, 1e-6);
    EXPECT_NEAR(before.bias(), 3 * std::sqrt(3.0), 1e-9);
}

namespace {
// Readings on a sphere of 0.5 G around `offset`, in directions spread evenly (a spiral), one
// every 0.02 s from t.
double sweep(HardIron& h, const Vec3d& offset, double t) {
    const int n = 400;
    for (int i = 0; i < n; ++i) {
        const double z = 1 - 2 * (i + 0.5) / n, r = std::sqrt(1 - z * z);
        const double a = i * std::numbers::pi * (3 - std::sqrt(5.0));
        const float m[3] = {float(offset[0] + 545 * r * std::cos(a)),
                            float(offset[1] + 545 * r * std::sin(a)), float(offset[2] + 545 * z)};
        h.add(t += 0.02, m);
    }
    return t + 2; // a pause: the next sweep passes each cube anew
}
} // namespace

// The sphere through the cubes' points finds the offset; a board at rest forgets nothing;
// after a magnet moved, the cubes not passed again expire and the new offset is found.
TEST(HealthChecks, HardIronFindsForgetsAndRelearns) {
    HardIron h;
    h.reset(150); // coarse cubes: a sweep passes about 160, fewer than the expiry's 600
    const Vec3d a = {300, -200, 150}, b = {-100, 150, 50};
    double t = sweep(h, a, 0);
    h.refit();
    ASSERT_TRUE(h.fit());
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(h.fit()->center[i], a[i], 5) << i;
    EXPECT_GT(h.fit()->coverage, 0.95);
    const std::size_t cubes = h.cubes();
    const float rest[3] = {float(a[0] + 545), float(a[1]), float(a[2])};
    for (int i = 0; i < 3000; ++i)
        h.add(t += 0.05, rest); // one pass, however long
    h.refit();
    EXPECT_GE(h.cubes(), cubes);
    EXPECT_NEAR(h.fit()->center[0], a[0], 5);

    for (int k = 0; k < 5; ++k)
        t = sweep(h, b, t);
    h.refit();
    ASSERT_TRUE(h.fit());
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(h.fit()->center[i], b[i], 5) << i;
    EXPECT_LT(h.fit()->residual, 5);
    h.reset(150);
    EXPECT_FALSE(h.fit());
    EXPECT_EQ(h.cubes(), 0u);
}
