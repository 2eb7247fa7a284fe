// The figure table's grading at the README's thresholds, on measures made up for the case
// (health/figure_table.h), and the log policy on its own (health/log_policy.h).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "health/figure_table.h"
#include "health/log_policy.h"

using namespace zento;
using namespace zento::health;
using S = HealthState;

namespace {

Acc samples(double v, int n) {
    Acc a;
    for (int i = 0; i < n; ++i)
        a.add(v);
    return a;
}
GyroAcc gyro_bias(double x, int n) {
    GyroAcc g;
    for (int i = 0; i < n; ++i)
        g.a[0].add(x, 0), g.a[1].add(0, 0), g.a[2].add(0, 0);
    return g;
}
SphereFit fit(double offset_share, double residual_share, double coverage) {
    return {{5.45 * offset_share, 0, 0}, 545, 5.45 * residual_share, coverage, 100};
}

} // namespace

// Each figure at and beyond its limits over the last 10 s: its state, its text, and where
// it says more, what the state means.
TEST(HealthTable, GradesAtTheThresholds) {
    using F = FigureId;
    auto link = [](auto f) { return [f](Measures& m) { f(m.link[kRecent]); }; };
    auto sensors = [](auto f) { return [f](Measures& m) { f(m.sensors[kRecent]); }; };
    auto errors = [&](std::uint64_t n, std::uint64_t frames) {
        return link([=](LinkSpan& l) { l.checksum_errors = n, l.frames = frames; });
    };
    auto skipped = [&](std::uint64_t n, std::uint64_t frames) {
        return link([=](LinkSpan& l) { l.skipped_bytes = n, l.frames = frames; });
    };
    auto p99 = [&](double s, std::size_t gaps = 10) {
        return link([=](LinkSpan& l) { l.gap_p99 = l.gap_median = s, l.clean_gaps = gaps; });
    };
    auto accel = [&](double g, int n = 10) {
        return sensors([=](SensorSpan& x) { x.accel = samples(g, n); });
    };
    auto field = [&](double g) {
        return sensors([=](SensorSpan& x) { x.field = samples(g, 10); });
    };
    auto bias = [&](double dps, bool commanded, int n = 10) {
        return [=](Measures& m) {
            m.sensors[kRecent].gyro = gyro_bias(dps, n), m.bias_commanded = commanded;
        };
    };
    auto rates = [&](double rms, double gain, double excitation) {
        return sensors([=](SensorSpan& x) { x.agreement = {20, rms, gain, excitation}; });
    };
    auto iron = [](double offset, double residual, double coverage) {
        return [=](Measures& m) { m.fit = fit(offset, residual, coverage); };
    };
    const struct {
        FigureId id;
        std::function<void(Measures&)> set;
        HealthState want;
        std::string text, meaning = "";
    } cases[] = {
        {F::checksum_errors, errors(0, 0), S::none, "0 (– % of frames)"},
        {F::checksum_errors, errors(1, 1000), S::good, "1 (0.10 % of frames)"},
        {F::checksum_errors, errors(5, 1000), S::doubtful, "5 (0.50 % of frames)"},
        {F::checksum_errors, errors(6, 1000), S::bad, "6 (0.60 % of frames)"},
        {F::checksum_errors, errors(2, 100), S::doubtful, "2 (2.00 % of frames)"}, // fewer than 3
        {F::checksum_errors, errors(3, 100), S::bad, "3 (3.00 % of frames)"},
        {F::skipped_bytes, skipped(200, 1000), S::good, "200 (0.20 per frame)"},
        {F::skipped_bytes, skipped(201, 1000), S::doubtful, "201 (0.20 per frame)"},
        {F::skipped_bytes, skipped(40, 20), S::doubtful, "40 (2.00 per frame)"}, // fewer than 50
        {F::skipped_bytes, skipped(60, 20), S::bad, "60 (3.00 per frame)"},
        {F::frame_gaps, p99(0.15), S::good, "median 150 ms, p99 150 ms"},
        {F::frame_gaps, p99(0.16), S::doubtful, "median 160 ms, p99 160 ms"},
        {F::frame_gaps, p99(0.31), S::bad, "median 310 ms, p99 310 ms"},
        {F::frame_gaps, p99(0.31, 9), S::none, "median 310 ms, p99 310 ms"},
        {F::frame_gaps, [&](Measures& m) { p99(1.2)(m), m.tick_rate = 2; }, S::good,
         "median 1200 ms, p99 1200 ms"}, // a slow board: 2.5 frame intervals
        {F::longest_gap, link([](LinkSpan& l) { l.has_longest = true, l.longest = 1.01; }), S::bad,
         "1010 ms"},
        {F::line_use, link([](LinkSpan& l) { l.line_use = 90; }), S::good, "90.0 % of 9600 baud"},
        {F::line_use, link([](LinkSpan& l) { l.line_use = 95; }), S::doubtful,
         "95.0 % of 9600 baud", "the line is nearly full: frames wait, or are lost on the board"},
        {F::line_use, link([](LinkSpan& l) { l.line_use = 106; }), S::bad, "106.0 % of 9600 baud",
         "more bytes than this baud rate can carry: the baud rate set here is not the line's"},
        {F::accel_norm, accel(1.04), S::good, "1.040 g"},
        {F::accel_norm, accel(0.94), S::doubtful, "0.940 g"},
        {F::accel_norm, accel(1.11), S::bad, "1.110 g"},
        {F::accel_norm, accel(1.11, 9), S::none, "1.110 g"},
        {F::mag_norm, field(0.45), S::good, "0.450 G"},
        {F::mag_norm, field(0.15), S::doubtful, "0.150 G"},
        {F::mag_norm, field(1.05), S::bad, "1.050 G"},
        {F::tilt, sensors([](SensorSpan& x) { x.roll = samples(3, 5), x.pitch = samples(0, 5); }),
         S::doubtful, "3.0° (roll +3.0°, pitch 0.0°)"},
        {F::tilt, [](Measures&) {}, S::none, "", "judged only while the board lies still"},
        {F::gyro_bias, bias(0.6, false), S::not_yet, "0.60 °/s (+0.60, 0.00, 0.00)",
         "bias not collected yet: lay the board still and use \"Marked bias\""},
        {F::gyro_bias, bias(0.6, true), S::doubtful, "0.60 °/s (+0.60, 0.00, 0.00)"},
        {F::gyro_bias, bias(-1.1, true), S::bad, "1.10 °/s (-1.10, 0.00, 0.00)"},
        {F::gyro_bias, bias(-1.1, true, 9), S::none, "1.10 °/s (-1.10, 0.00, 0.00)"},
        {F::gyro_rates, rates(1, 0.8, 3), S::bad, "1.00 °/s, gain 0.80"},
        {F::gyro_rates, rates(1, 0.8, 2.9), S::good, "1.00 °/s, gain 0.80"}, // not turned enough
        {F::gyro_rates, rates(2.1, 1, 3), S::doubtful, "2.10 °/s, gain 1.00"},
        {F::hard_iron, iron(20, 1, 0.24), S::none, "", "not enough directions yet"},
        {F::hard_iron, iron(20, 4, 0.3), S::doubtful, "",
         "the fit is poor (see the residual), so the offset is uncertain"},
        {F::hard_iron, iron(10, 1, 0.3), S::doubtful, ""},
        {F::hard_iron, iron(16, 1, 0.3), S::bad, "",
         "the magnetometer needs calibrating (hard iron): subtract the offset shown"},
        {F::directions, [](Measures&) {}, S::not_yet, "",
         "turn the board through every heading, tilted both ways"},
        {F::directions, iron(0, 1, 0.35), S::good, ""},
    };
    for (const auto& c : cases) {
        Measures m;
        m.tick_rate = 20, m.baud = 9600;
        c.set(m);
        const HealthFigure f = make_figures(m)[std::size_t(c.id)];
        EXPECT_EQ(f.state, c.want) << f.name << " " << f.recent;
        EXPECT_EQ(f.recent, c.text) << f.name;
        if (!c.meaning.empty()) {
            EXPECT_EQ(f.meaning, c.meaning) << f.name;
        }
    }
    // The thresholds follow a slow board's frame interval.
    Measures slow;
    slow.tick_rate = 2;
    EXPECT_EQ(make_figures(slow)[std::size_t(F::frame_gaps)].thresholds,
              "p99 good ≤ 1250 ms, bad > 2500 ms");
    EXPECT_EQ(make_figures(slow)[std::size_t(F::longest_gap)].thresholds,
              "good ≤ 4.0 s, bad > 8.0 s");
}

// One figure's states over time, as the monitor judges them twice a second, and the lines the
// policy writes: none in the first 2 s; a bad line at most once a minute; "good again" after a
// whole good window, once, and only for a figure that was reported; a new connection keeps the
// minute but forgets what was reported. The lines are the table's, with the figure's text.
TEST(HealthLogPolicy, WarmUpOnceAMinuteAndGoodAgain) {
    const std::string bad = "Health: frames fail their checksum, 6 (0.60 % of frames) (loose "
                            "cable, noise or wrong baud rate?)",
                      good = "Health: Checksum errors is good again (6 (0.60 % of frames))";
    const struct {
        double t; // < 0: a new connection at -t
        HealthState state;
        std::string line; // "": none
    } steps[] = {
        // clang-format off
        {0.0, S::bad, ""}, {1.9, S::bad, ""},          // warming up
        {2.0, S::bad, bad}, {2.5, S::bad, ""},         // said once
        {3.0, S::good, ""}, {12.5, S::good, ""},       // good, not yet for a whole window
        {13.0, S::good, good}, {14.0, S::good, ""},    // good again, once
        {20.0, S::bad, ""}, {21.0, S::good, ""},       // bad within the minute: not said, so
        {31.5, S::good, ""}, {61.5, S::bad, ""},       // not good again either
        {62.0, S::bad, bad}, {63.0, S::doubtful, ""},  // a minute after the first line
        {64.0, S::good, ""}, {70.0, S::doubtful, ""},  // a doubtful moment: the window
        {71.0, S::good, ""}, {80.5, S::good, ""},      // starts again
        {81.0, S::good, good},
        {-100, S::none, ""}, {102.0, S::bad, ""},      // a new connection keeps the minute
        {121.5, S::bad, ""}, {122.0, S::bad, bad},
        {-130, S::none, ""}, {132.0, S::good, ""},     // and forgets what was reported
        {142.5, S::good, ""},
        // clang-format on
    };
    LogPolicy log;
    log.connected(0);
    std::vector<HealthFigure> figures = blank_figures();
    for (HealthFigure& f : figures)
        f.state = S::good;
    HealthFigure& f = figures[std::size_t(FigureId::checksum_errors)];
    f.recent = "6 (0.60 % of frames)";
    for (const auto& s : steps) {
        if (s.t < 0) {
            log.connected(-s.t);
            continue;
        }
        f.state = s.state;
        std::vector<std::string> lines;
        log.judge(s.t, figures, lines);
        EXPECT_EQ(lines,
                  s.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{s.line})
            << "at " << s.t << " s";
    }
    // A figure shown since connect only is named by that column.
    HealthFigure& iron = figures[std::size_t(FigureId::hard_iron)];
    iron.total = "0.100 G, 18 % of |B| (109, 0, 0 counts)";
    EXPECT_EQ(bad_line(iron),
              "Health: the magnetometer needs calibrating, hard-iron offset " + iron.total);
    EXPECT_EQ(good_again_line(iron),
              "Health: Hard-iron offset (sphere fit) is good again (" + iron.total + ")");
}
