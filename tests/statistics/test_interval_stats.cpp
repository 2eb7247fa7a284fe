// The statistics against synthetic streams whose answer is known: white noise of a known
// density (with the rounding to whole counts), a bias random walk, a constant bias, gaps, and
// intervals without figures.
#include "link/envelope.h"
#include "statistics/interval_stats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace zento;

namespace {

const HealthScales kScales;

double scale(int c) {
    return c < 3   ? kScales.accel_counts_per_g
           : c < 6 ? kScales.gyro_counts_per_dps
                   : kScales.mag_counts_per_gauss;
}

// A still board's sensor frames: per axis a bias (counts), white noise of density N (units /
// sqrt(Hz)) and a bias random walk K (units / sqrt(s)), rounded to whole counts as the board
// sends them. Frames arrive in batches of 16 ms, all of a batch at its time.
FrameLog still_board(double rate, double seconds, const std::array<double, 9>& density,
                     const std::array<double, 9>& walk = {}, unsigned seed = 1) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> gauss;
    FrameLog log;
    std::array<double, 9> bias{};
    for (int c = 0; c < 9; ++c)
        bias[std::size_t(c)] = 100.37 * (c - 4);
    const std::size_t n = std::size_t(std::llround(rate * seconds));
    for (std::size_t k = 0; k < n; ++k) {
        SensorRecord r;
        for (int c = 0; c < 9; ++c) {
            const std::size_t i = std::size_t(c);
            bias[i] += walk[i] * scale(c) / std::sqrt(rate) * gauss(rng);
            const float v =
                float(std::round(bias[i] + density[i] * std::sqrt(rate) * scale(c) * gauss(rng)));
            (c < 3 ? r.acc[i] : c < 6 ? r.gyro[i - 3] : r.mag[i - 6]) = v;
        }
        log.add_sensor(std::ceil(double(k) / rate / 0.016) * 0.016, r);
    }
    return log;
}

// Least-squares slope of log(adev) over log(tau) for the points with tau in [lo, hi].
double slope(const IntervalStats& s, int c, double lo, double hi) {
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t f = 0; f < s.allan.tau.size(); ++f) {
        if (s.allan.tau[f] < lo || s.allan.tau[f] > hi) continue;
        const double x = std::log(s.allan.tau[f]), y = std::log(s.allan.adev[std::size_t(c)][f]);
        n += 1, sx += x, sy += y, sxx += x * x, sxy += x * y;
    }
    return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

double adev_at(const IntervalStats& s, int c, double tau) {
    for (std::size_t f = 0; f < s.allan.tau.size(); ++f)
        if (std::abs(s.allan.tau[f] - tau) < 1e-3) return s.allan.adev[std::size_t(c)][f];
    ADD_FAILURE() << "no tau " << tau;
    return 0;
}

} // namespace

// Thirty minutes of white noise at 20 Hz and at 250 Hz: the Allan deviation falls as tau^-1/2
// and reads the density at 1 s within 5 %. The samples are whole counts, so the density to
// expect is that of the noise plus the rounding's 1/12 count^2 a sample: on gyro_x at 20 Hz
// (0.6 counts a sample) the rounding alone moves it by 11 %.
TEST(IntervalStats, WhiteNoiseGivesItsDensityAtOneSecondAndFallsAsRootTau) {
    const std::array<double, 9> density = {1e-4, 2e-4, 4e-4, 0.00818, 0.01, 0.03, 5e-4, 1e-3, 2e-3};
    for (double rate : {20.0, 250.0}) {
        SCOPED_TRACE(rate);
        const IntervalStats s = interval_stats(still_board(rate, 1800, density));
        ASSERT_EQ(s.problem, "");
        EXPECT_EQ(s.sensor.frames, std::size_t(1800 * rate));
        EXPECT_EQ(s.sensor.gaps(), 0u);
        EXPECT_NEAR(s.sensor.period * rate, 1.0, 1e-4); // from the frame count, not the batches
        EXPECT_EQ(s.allan.tau.front(), s.sensor.period);
        for (int c = 0; c < 9; ++c) {
            SCOPED_TRACE(c);
            const ChannelStats& cs = s.channel[std::size_t(c)];
            const double sigma = density[std::size_t(c)] * std::sqrt(rate) * scale(c);
            const double want = std::sqrt((sigma * sigma + 1.0 / 12) / rate) / scale(c);
            EXPECT_NEAR(adev_at(s, c, 1.0), want, 0.05 * want);
            EXPECT_NEAR(cs.noise_density, want, 0.02 * want);
            EXPECT_NEAR(cs.quantisation_density * scale(c) * std::sqrt(12 * rate), 1, 1e-4);
            EXPECT_NEAR(slope(s, c, 0, 1e9), -0.5, 0.05);
            EXPECT_NEAR(cs.mean * scale(c), 100.37 * (c - 4), 0.3);
            if (c >= 6) {
                EXPECT_FALSE(cs.has_random_walk || cs.has_bias_instability);
                continue;
            }
            // 60 sqrt(s) in a sqrt(h); g as 9.80665 m/s^2.
            const double per_hour = c < 3 ? 60 * 9.80665 : 60;
            EXPECT_NEAR(cs.random_walk / per_hour / adev_at(s, c, 1.0), 1, 1e-5); // tau ~ 1 s
            // White noise only: the curve falls to its end, so the minimum is its last tau.
            EXPECT_EQ(cs.bias_tau, s.allan.tau.back());
            EXPECT_DOUBLE_EQ(cs.bias_instability,
                             s.allan.adev[std::size_t(c)].back() / 0.664 * (c < 3 ? 1000 : 3600));
        }
        EXPECT_LE(s.allan.tau.back(), 180.0); // a tenth of the interval
        EXPECT_GT(s.allan.tau.back(), 90.0);
    }
}

// A bias that wanders as a random walk: the Allan deviation rises as tau^+1/2, K sqrt(tau / 3).
TEST(IntervalStats, BiasRandomWalkRisesAsRootTau) {
    std::array<double, 9> density{}, walk{};
    for (int c = 0; c < 9; ++c)
        walk[std::size_t(c)] = 10 / scale(c); // 10 counts/sqrt(s): far above the rounding
    const IntervalStats s = interval_stats(still_board(20, 7200, density, walk, 7));
    for (int c = 0; c < 9; ++c) {
        SCOPED_TRACE(c);
        EXPECT_NEAR(slope(s, c, 1, 100), 0.5, 0.05);
        const double want = walk[std::size_t(c)] * std::sqrt(1.0 / 3);
        EXPECT_NEAR(adev_at(s, c, 1.0), want, 0.05 * want);
        if (c < 6) {
            EXPECT_EQ(s.channel[std::size_t(c)].bias_tau, s.allan.tau.front()); // rises
        }
    }
}

// A constant reading: the mean is exact in every unit, the spread, density and curve are 0 (not
// NaN); yaw and roll across +-180 are unwrapped, not spread over 360 degrees.
TEST(IntervalStats, ConstantBiasIsExactAndAnglesAcrossHalfTurnStayTogether) {
    FrameLog log;
    SensorRecord r;
    r.acc[2] = 16384;
    r.gyro[1] = 41;
    r.mag[0] = -300;
    for (int k = 0; k < 2000; ++k) {
        log.add_sensor(k * 0.05, r);
        AttitudeRecord a;
        a.yaw = k % 2 ? 179.9f : -180.0f;
        a.pitch = -7.7f;
        a.roll = k % 2 ? -179.9f : 180.0f;
        log.add_attitude(k * 0.05, a);
    }
    const IntervalStats s = interval_stats(log);
    ASSERT_EQ(s.problem, "");
    const auto& ch = s.channel;
    EXPECT_EQ(ch[2].mean, 1.0);
    EXPECT_EQ(ch[4].mean, 41 / 16.4);
    EXPECT_EQ(ch[6].mean, -300 / 1090.0);
    EXPECT_EQ(ch[6].min, ch[6].max);
    for (int c = 0; c < 9; ++c) {
        EXPECT_EQ(ch[std::size_t(c)].sd, 0);
        for (double d : s.allan.adev[std::size_t(c)])
            EXPECT_EQ(d, 0);
    }
    EXPECT_EQ(ch[4].bias_instability, 0);
    EXPECT_FLOAT_EQ(float(ch[9].mean), -180.05f); // from the first frame, -180
    EXPECT_NEAR(ch[9].max - ch[9].min, 0.1, 1e-4);
    EXPECT_FLOAT_EQ(float(ch[11].mean), 180.05f);
    EXPECT_NEAR(ch[11].sd, 0.05, 1e-4);
    EXPECT_FLOAT_EQ(float(ch[10].mean), -7.7f);
    const std::string csv = stats_csv(s) + allan_csv(s);
    EXPECT_EQ(csv.find("nan"), std::string::npos);
    EXPECT_EQ(csv.find("inf"), std::string::npos);
    EXPECT_NE(csv.find("\ngyro_y,deg/s,2000,0,20,2.5,0,2.5,2.5,16.4,41,0,41,41,0,0.00393596,"
                       "deg/s/sqrt(Hz),0,deg/sqrt(h),0,deg/h,0.05\n"),
              std::string::npos)
        << csv;
}

// Frames arrive in batches of 16 ms and once held back for 0.5 s (a burst: nothing missing);
// 2 s of frames are missing without a count (a silence) and one frame with one. A ramp of one
// count a frame has the Allan deviation m / sqrt(2) only if no term spans a gap.
TEST(IntervalStats, GapsSplitTheStretchesAndBurstsDoNot) {
    FrameLog log;
    const double T = 0.004;
    for (int k = 0; k < 15000; ++k) {
        if (k >= 7500 && k < 8000) continue; // silence
        if (k == 10000) {
            log.add_loss(k * T, 1);
            continue;
        }
        SensorRecord r;
        for (int c = 0; c < 3; ++c)
            r.acc[c] = r.gyro[c] = r.mag[c] = float(k % 30000);
        double t = std::ceil(k * T / 0.016) * 0.016;
        if (k * T >= 20 && k * T < 20.5) t = 20.5;
        log.add_sensor(t, r);
    }
    const IntervalStats s = interval_stats(log);
    ASSERT_EQ(s.sensor.stretches.size(), 3u);
    EXPECT_EQ(s.sensor.stretches[0].end, 7500u);
    EXPECT_EQ(s.sensor.stretches[1].end, 9500u);
    EXPECT_EQ(s.lost, 1u);
    EXPECT_NEAR(s.sensor.period, T, 1e-4 * T);
    for (std::size_t f = 0; f < s.allan.tau.size(); ++f)
        EXPECT_NEAR(s.allan.adev[4][f] * 16.4, std::round(s.allan.tau[f] / T) / std::sqrt(2), 1e-9);

    // The interval's own stretches.
    StatsOptions o;
    o.from = 35;
    o.to = 39.9999;
    const IntervalStats part = interval_stats(log, o);
    EXPECT_EQ(part.sensor.frames, 1248u); // the batches of 35.008 s to 39.984 s
    EXPECT_EQ(part.sensor.gaps(), 0u);
    EXPECT_EQ(s.short_curve, "");
    EXPECT_TRUE(part.short_curve.ends_with(
        "before 1 s where the random walk is read: the interval holds less than 10 s of frames"));
    FrameLog lossy; // 30 s at 20 Hz, a frame lost every 1.5 s
    for (int k = 0; k < 600; ++k) {
        if (k % 30 == 0) lossy.add_loss(k * 0.05, 1);
        lossy.add_sensor(k * 0.05, {});
    }
    EXPECT_EQ(interval_stats(lossy).short_curve,
              "the Allan deviation ends at 0.4 s, before 1 s where the random walk is read: no "
              "stretch without a gap is 2 s long (the longest is 1.5 s)");
}

TEST(IntervalStats, IntervalsWithoutFiguresSayWhy) {
    FrameLog one, lost, together, both;
    one.add_sensor(1, {});
    one.add_attitude(1, {});
    lost.add_loss(2, 3);
    lost.add_loss(4, 2);
    for (int k = 0; k < 4; ++k)
        together.add_sensor(3, {});
    for (int k = 0; k < 4; ++k) {
        together.add_loss(3 + k, 1);
        together.add_attitude(3 + k, {});
    }
    both.add_sensor(1, {});
    both.add_sensor(2, {});
    struct Case {
        const FrameLog* log;
        double from, to;
        std::string problem;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const FrameLog empty;
    for (const Case& c : std::initializer_list<Case>{
             {&empty, -inf, inf, "no frames in the recording"},
             {&both, 100, 200, "no frames between 100 s and 200 s"},
             {&both, 5, 1, "the interval's start (5 s) is after its end (1 s)"},
             {&one, -inf, 10,
              "only one sensor frame up to 10 s: at least two are needed; only one attitude "
              "frame up to 10 s: at least two are needed"},
             {&lost, 0, inf,
              "no sensor frame from 0 s on arrived whole (5 frames lost); no attitude frame "
              "from 0 s on arrived whole (5 frames lost)"},
             {&together, -inf, inf,
              "the 4 sensor frames in the recording arrived at one time: their sample rate "
              "cannot be told; the 4 attitude frames in the recording have a frame lost between "
              "every two: their sample rate cannot be told"},
         }) {
        StatsOptions o;
        o.from = c.from;
        o.to = c.to;
        const IntervalStats s = interval_stats(*c.log, o);
        EXPECT_EQ(s.problem, c.problem);
        // No figure but the frame counts (one digit each), no curve.
        const std::string rows = stats_csv(s).substr(stats_csv({}).find('\n'));
        EXPECT_EQ(std::count_if(rows.begin(), rows.end(), ::isdigit), 12) << rows;
        EXPECT_EQ(allan_csv(s), allan_csv({}));
    }
    // One kind without figures: the other has them.
    const IntervalStats s = interval_stats(both);
    EXPECT_EQ(s.problem, "");
    EXPECT_EQ(s.attitude.problem, "no attitude frames in the recording");
    EXPECT_TRUE(s.channel[0].valid && !s.channel[9].valid);
}

TEST(IntervalStats, ProgressReachesTheEndAndAStopEndsEarly) {
    const FrameLog log =
        still_board(250, 60, {1e-4, 1e-4, 1e-4, 0.01, 0.01, 0.01, 1e-3, 1e-3, 1e-3});
    StatsOptions o;
    std::vector<double> seen;
    o.progress = [&](double f) { seen.push_back(f); };
    EXPECT_EQ(interval_stats(log, o).problem, "");
    ASSERT_GT(seen.size(), 9u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_DOUBLE_EQ(seen.back(), 1.0);

    std::stop_source stop;
    o.stop = stop.get_token();
    o.progress = [&](double f) {
        if (f > 0.3) stop.request_stop();
    };
    const IntervalStats s = interval_stats(log, o);
    EXPECT_TRUE(s.stopped);
    EXPECT_EQ(s.problem, "stopped");
    EXPECT_TRUE(s.allan.tau.empty());
}

// The receiver's counts between frames: a damaged frame, a short frame and bytes outside
// frames each break both kinds; clean frames do not.
TEST(FrameCollector, LossesCountedByTheReceiverBreakTheStretches) {
    FrameLog log;
    FrameCollector rx(log);
    std::vector<std::uint8_t> att, sen, bad, shortf;
    append_frame(att, kTypeAttitude, std::vector<std::uint8_t>(14, 0));
    append_frame(sen, kTypeSensor, std::vector<std::uint8_t>(18, 0));
    bad = sen;
    bad[bad.size() - 2] ^= 1;
    append_frame(shortf, kTypeSensor, std::vector<std::uint8_t>(4, 0));
    std::vector<std::uint8_t> noise = {0x13, 0x37};
    double t = 0;
    for (const auto* b : {&att, &sen, &att, &bad, &att, &sen, &shortf, &att, &sen, &noise, &att,
                          &sen, &att, &sen}) {
        rx.feed(*b, t);
        t += 0.025;
    }
    EXPECT_EQ(log.sensor().size(), 5u);
    EXPECT_EQ(log.attitude().size(), 6u);
    EXPECT_EQ(log.sensor().breaks, (std::vector<std::size_t>{1, 2, 3}));
    EXPECT_EQ(log.attitude().breaks, (std::vector<std::size_t>{2, 3, 4}));
    EXPECT_EQ(log.lost_between(0, 1), 2u);
}
