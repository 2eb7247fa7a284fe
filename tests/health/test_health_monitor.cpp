// Health figures on the simulated board's stream, in simulated time: each detector turns bad
// under its fault (and its "Health: " line names it) and stays good without it; no false
// alarm on a clean stream; the hard-iron estimate from the board's turning; what the monitor
// says when. Each check and the log policy on their own: test_health_checks, test_health_table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include "health/health_json.h"
#include "health_faults.h"
#include "platform/serial/mock_serial_port.h"

using namespace health_test;
using namespace zento;

namespace health_test {
// Test names and failures name the fault.
void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}
} // namespace health_test

namespace {

bool judged_good(const HealthFigure& f) {
    // Figures judged only while the board lies still may have no still moment in the last
    // 10 s; then their since-connect value must be good.
    return f.state == HealthState::good ||
           (f.state == HealthState::none && f.total_state == HealthState::good);
}

std::vector<std::string> lines_from(const Rig& rig, double since) {
    std::vector<std::string> out;
    for (const auto& [t, line] : rig.log)
        if (t >= since) out.push_back(line);
    return out;
}

std::string all_bad(const HealthReport& r) {
    std::string s;
    for (const HealthFigure& f : r.figures)
        if (f.state == HealthState::bad) s += std::string(f.name) + ": " + f.recent + "; ";
    return s;
}

const double kFaultStart = 30.0;

class Detector : public ::testing::TestWithParam<FaultCase> {};

// Clean for 30 s ("Marked bias" at 16 s, at rest): the detector's figure is good and nothing
// is bad. Then the fault: its figure turns bad within the limit, and the log names the problem.
TEST_P(Detector, TurnsBadUnderItsFaultAndStaysGoodWithout) {
    const FaultCase& c = GetParam();
    Rig rig(11, 20);
    rig.run_until(16);
    rig.marked_bias();
    rig.run_until(kFaultStart);
    HealthReport clean = rig.report();
    EXPECT_TRUE(judged_good(clean[c.figure]))
        << c.name << " clean: " << state_word(clean[c.figure].state) << " "
        << clean[c.figure].recent << " / " << clean[c.figure].total;
    EXPECT_EQ(all_bad(clean), "");
    EXPECT_TRUE(rig.log.empty()) << rig.log.front().second;

    c.start(rig);
    double bad_at = -1;
    while (rig.now < kFaultStart + c.limit + 1e-9) {
        rig.run_for(0.1);
        if (rig.report()[c.figure].state == HealthState::bad) {
            bad_at = rig.now - kFaultStart;
            break;
        }
    }
    ASSERT_GE(bad_at, 0) << c.name << " not bad after " << c.limit
                         << " s: " << rig.report()[c.figure].recent;
    rig.run_for(1.0); // the next poll writes the line
    const auto lines = lines_from(rig, kFaultStart);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [&](const std::string& l) {
                                return l.starts_with("Health: ") &&
                                       l.find(c.line) != std::string::npos;
                            }))
        << c.name << ": no line with \"" << c.line << "\"";
}

INSTANTIATE_TEST_SUITE_P(Faults, Detector, ::testing::ValuesIn(fault_cases()),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& ch : n)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return n;
                         });

// The line's figures that a baud rate decides: a line nearly full, and more bytes than the set
// baud rate can carry (the program's setting is not the line's).
TEST(HealthLink, LineUseAgainstTheBaudRate) {
    const struct {
        int baud;
        HealthState want;
    } cases[] = {
        {115200, HealthState::good}, {9600, HealthState::doubtful}, {4800, HealthState::bad}};
    for (const auto& c : cases) {
        Rig rig(3, 20, c.baud); // 880 bytes a second
        rig.run_until(12);
        const HealthReport report = rig.report();
        const HealthFigure& f = report[FigureId::line_use];
        EXPECT_EQ(f.state, c.want) << c.baud << ": " << f.recent;
    }
}

// Frames lost to damaged bytes leave gaps, but the stream is not bursty: the gap figures judge
// the spacing of frames delivered one after the other, and only the error figures go bad.
TEST(HealthLink, LostFramesAreNotTakenForBursts) {
    for (const double p : {0.05, 0.2}) {
        Rig rig(9, 20);
        rig.board.faults().set_probability(p);
        for (int s = 1; s <= 60; ++s) {
            rig.run_until(s);
            const HealthReport r = rig.report();
            ASSERT_NE(r[FigureId::frame_gaps].state, HealthState::bad)
                << p << " at " << s << " s: " << r[FigureId::frame_gaps].recent;
        }
        EXPECT_EQ(rig.report()[FigureId::broken_frames].state, HealthState::bad);
    }
}

// What goes wrong on the line leaves the sensor figures alone: they are worked out per board
// tick on the frames' own times (a burst's frames laid out at the board's pace), not per
// arrival, and across lost frames nothing is differentiated. Bursts over several seeds.
TEST(HealthLink, LinkFaultsLeaveTheSensorFiguresAlone) {
    const struct {
        const char* what;
        std::function<void(Rig&)> fault;
        double rate;
        std::vector<std::uint64_t> seeds = {13};
    } cases[] = {
        {"bursts of 500 ms",
         [](Rig& r) { r.per_burst = board::ticks_per_burst(500, 20); },
         20,
         {13, 101, 102, 103, 104, 105}},
        {"bursts at 250 Hz",
         [](Rig& r) { r.per_burst = board::ticks_per_burst(500, 250); },
         250,
         {13, 106, 107}},
        {"bytes dropped", [](Rig& r) { r.board.drops().set_probability(0.003); }, 20},
        {"bytes damaged", [](Rig& r) { r.board.faults().set_probability(0.2); }, 20},
        {"a pause of 3 s",
         [](Rig& r) {
             r.line = Rig::Line::silent;
             r.run_for(3);
             r.line = Rig::Line::ok;
         },
         20},
    };
    for (const auto& c : cases)
        for (const std::uint64_t seed : c.seeds) {
            Rig rig(seed, c.rate);
            rig.run_until(10);
            rig.marked_bias();
            c.fault(rig);
            for (int s = 11; s <= 60; ++s) {
                rig.run_until(s);
                for (const HealthFigure& f : rig.report().figures)
                    if (f.group != "Link") {
                        ASSERT_NE(f.state, HealthState::bad)
                            << c.what << ", seed " << seed << ", " << s << " s: " << f.name << " "
                            << f.recent;
                    }
            }
            const HealthReport report = rig.report();
            const HealthFigure& rates = report[FigureId::gyro_rates];
            EXPECT_EQ(rates.state, HealthState::good) << c.what << ": " << rates.recent;
        }
}

// "Since connect" is since connect, however long ago: a stream that stopped for 30 s in its
// first minute still shows in the rates three minutes on.
TEST(HealthLink, SinceConnectFiguresCoverTheWholeConnection) {
    for (const std::uint64_t seed : {7, 8, 9}) {
        Rig rig(seed, 20);
        rig.run_until(10);
        rig.line = Rig::Line::silent;
        rig.run_until(40);
        rig.line = Rig::Line::ok;
        rig.run_until(180);
        const HealthReport r = rig.report();
        // From the end of the settling second: 149 s of frames in 179 s.
        EXPECT_NEAR(std::stod(r[FigureId::attitude_rate].total), 20.0 * 149 / 179, 0.2) << seed;
        EXPECT_NEAR(std::stod(r[FigureId::attitude_rate].recent), 20.0, 0.2) << seed;
        EXPECT_TRUE(r[FigureId::longest_gap].total.starts_with("30")) << seed;
    }
}

// Event 1008 (the port's receive buffer overflowed) through the receiver's batch procedure.
TEST(HealthLink, OverflowIsBad) {
    Rig rig(3, 20);
    rig.run_until(5);
    EXPECT_EQ(rig.report()[FigureId::overflows].state, HealthState::good);
    MockSerialPort port;
    port.OnComm = [&] { rig.dispatch.OnComm(port); };
    ASSERT_TRUE(port.setPortOpen(true));
    port.setRThreshold(1);
    port.inject_overflow();
    rig.run_for(1);
    EXPECT_EQ(rig.report()[FigureId::overflows].state, HealthState::bad);
    EXPECT_EQ(rig.log.back().second,
              "Health: the port's receive buffer overflowed (the computer is too busy?)");
}

// Scales far out of range (the monitor takes what it is given): figures too long for the fixed
// form are written with an exponent, not as the bytes of the buffer. A share of no frames: "–".
TEST(HealthText, HugeFiguresAndSharesOfNothingAreWritten) {
    Rig rig(7, 20);
    rig.monitor.set_scales({1e-70, 1e-70, 1e-70});
    rig.run_until(15);
    HealthReport r = rig.report();
    EXPECT_EQ(r[FigureId::accel_norm].recent, "1.638e+74 g");

    HealthMonitor m; // 24957 damaged frames, 80 bytes skipped, not one valid frame
    m.connected(0, 115200);
    TelemetryBatch none;
    none.time_ns = 4'000'000'000;
    none.counters.checksum_errors = 24957, none.counters.skipped_bytes = 80;
    m.batch(none);
    r = m.report(5);
    EXPECT_EQ(r[FigureId::checksum_errors].total, "24957 (– % of frames)");
    EXPECT_EQ(r[FigureId::skipped_bytes].total, "80 (– per frame)");
}

// Ten simulated minutes of a clean stream: not one "Health: " line, no figure ever bad, at the
// board's 20 ticks a second with and without "Marked bias", and at 250; also when the port
// held half a second of frames at connect.
TEST(HealthClean, NoFalseAlarmInTenMinutes) {
    const struct {
        std::uint64_t seed;
        double rate, minutes;
        bool bias;
        double connect_at;
    } runs[] = {{21, 20, 10, true, 0}, {22, 20, 10, false, 0.5}, {23, 250, 2, true, 0.5}};
    for (const auto& run : runs) {
        Rig rig(run.seed, run.rate, 115200, run.connect_at);
        for (int s = 1; s <= int(run.minutes * 60); ++s) {
            rig.run_until(s);
            if (run.bias && s == 16) rig.marked_bias(); // at rest
            if (s % 5 == 0) {
                ASSERT_EQ(all_bad(rig.report()), "") << "at " << s << " s";
            }
        }
        for (const auto& [t, line] : rig.log)
            ADD_FAILURE() << "seed " << run.seed << " at " << t << " s: " << line;
        const HealthReport r = rig.report();
        // Before "Marked bias" the bias is not judged yet: it was not collected yet.
        EXPECT_EQ(r[FigureId::gyro_bias].state,
                  run.bias ? HealthState::good : HealthState::not_yet);
        for (FigureId id : {FigureId::tilt, FigureId::field_while_still, FigureId::dip})
            EXPECT_EQ(r[id].total_state, HealthState::good) << r[id].name;
    }
}

// The program opens the port in the middle of a frame: the tail it sees first is skipped (or
// taken for a frame that breaks), and nothing is called doubtful or bad for it.
TEST(HealthClean, ConnectingMidFrameIsNotAFault) {
    for (const std::size_t cut : {1u, 2u, 3u, 7u, 21u, 23u, 30u, 43u}) {
        Rig rig(24, 20, 115200, 0.5);
        rig.cut_first = cut;
        rig.run_until(12);
        const HealthReport r = rig.report();
        for (FigureId id : {FigureId::checksum_errors, FigureId::broken_frames,
                            FigureId::skipped_bytes, FigureId::frame_gaps, FigureId::longest_gap})
            EXPECT_EQ(r[id].state, HealthState::good)
                << cut << ": " << r[id].name << " " << r[id].recent;
        EXPECT_EQ(all_bad(r), "") << cut;
        EXPECT_TRUE(rig.log.empty()) << cut << ": " << rig.log.front().second;
    }
}

// Turning through every heading with a hard-iron offset: the sphere fit finds the offset
// within 3 % of the field's strength, and calls the magnetometer uncalibrated (or not).
TEST(HealthMagnetometer, HardIronEstimateFindsTheOffset) {
    const board::Vec3 offsets[] = {{300, -200, 150}, {0, 0, 0}};
    for (const board::Vec3& off : offsets) {
        Rig rig(31, 20);
        rig.board.model().set_faults(with([&](auto& s) { s.mag_offset = off; }));
        // Until the board has turned through every heading (yaw is unwrapped in the model) and
        // enough directions are covered to judge the fit.
        double seen = 0, last_yaw = rig.board.model().attitude(0).yaw;
        HealthReport r = rig.report();
        while ((seen < 360.0 || r[FigureId::hard_iron].state == HealthState::none) &&
               rig.now < 300) {
            rig.run_for(1);
            const double yaw = rig.board.model().attitude(rig.now).yaw;
            seen += std::abs(yaw - last_yaw);
            last_yaw = yaw;
            r = rig.report();
        }
        ASSERT_TRUE(r.fit.has_value());
        const double field = 0.5 * 1090;
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(r.fit->center[i], off[i], 0.03 * field) << "axis " << i;
        EXPECT_NEAR(r.fit->radius, field, 0.03 * field);
        const bool large = std::hypot(off[0], off[1], off[2]) > 0.15 * field;
        EXPECT_EQ(r[FigureId::hard_iron].state, large ? HealthState::bad : HealthState::good)
            << r[FigureId::hard_iron].total;
        EXPECT_EQ(r[FigureId::fit_residual].state, HealthState::good);
    }
}

// The bias figure reads the board's bias before "Marked bias" (moving or at rest) and nothing
// after it; the since-connect column keeps what it was before.
TEST(HealthGyroscope, BiasBeforeAndAfterMarkedBias) {
    Rig rig(17, 20);
    const board::Vec3& b = rig.board.model().gyro_bias();
    const double bias = std::hypot(b[0], b[1], b[2]) / 16.4;
    ASSERT_GT(bias, 2.5);
    rig.run_until(14); // moving
    EXPECT_NEAR(std::stod(rig.report()[FigureId::gyro_bias].recent), bias, 0.15);
    rig.run_until(18); // the last 10 s hold the rest from 15 s to 18 s
    const HealthFigure before = rig.report()[FigureId::gyro_bias];
    EXPECT_NEAR(std::stod(before.recent), bias, 0.15);
    EXPECT_EQ(before.state, HealthState::not_yet);
    EXPECT_NE(before.meaning.find("not collected yet"), std::string::npos);

    rig.marked_bias(); // as the board starts to move again: the log says so
    rig.run_until(40);
    EXPECT_TRUE(rig.log.size() == 1 && rig.log[0].second.starts_with("Health: the board moved"));
    const HealthFigure after = rig.report()[FigureId::gyro_bias];
    EXPECT_LT(std::stod(after.recent), 0.15);
    EXPECT_EQ(after.state, HealthState::good);
    const std::size_t at = after.total.find("before Marked bias ");
    ASSERT_NE(at, std::string::npos) << after.total;
    EXPECT_NEAR(std::stod(after.total.substr(at + 19)), bias, 0.15);
}

// New scales start the sensor figures again (the link's keep counting); a new connection starts
// every figure again.
TEST(HealthMonitorState, ScalesAndReconnectStartAgain) {
    Rig rig(19, 20);
    rig.board.faults().set_probability(0.2);
    rig.run_until(20);
    ASSERT_EQ(rig.report()[FigureId::broken_frames].state, HealthState::bad);
    HealthScales s;
    s.gyro_counts_per_dps = 16.5;
    rig.monitor.set_scales(s);
    HealthReport r = rig.monitor.report(rig.now);
    EXPECT_EQ(r[FigureId::accel_norm].total, "");
    EXPECT_EQ(r[FigureId::gyro_bias].total, "");
    EXPECT_EQ(r[FigureId::broken_frames].state, HealthState::bad);

    rig.board.faults().set_probability(0);
    rig.monitor.disconnected(rig.now);
    rig.monitor.connected(rig.now, 57600);
    rig.run_for(15);
    r = rig.report();
    EXPECT_TRUE(r[FigureId::broken_frames].total.starts_with("0 "))
        << r[FigureId::broken_frames].total;
    EXPECT_EQ(r[FigureId::broken_frames].state, HealthState::good);
    EXPECT_NEAR(r.seconds, 15, 1e-9);
}

// Nothing is judged or said before connect, in the first two seconds, or after disconnect;
// the figures stay as they were at disconnect.
TEST(HealthLog, OnlyWhileConnected) {
    HealthMonitor idle;
    EXPECT_TRUE(idle.poll(100).empty());
    EXPECT_FALSE(idle.report(100).connected);

    Rig rig(5, 20);
    rig.line = Rig::Line::silent;
    rig.run_until(1.9);
    EXPECT_TRUE(rig.log.empty());
    rig.run_until(2.5);
    ASSERT_EQ(rig.log.size(), 1u);
    EXPECT_EQ(rig.log[0].second, "Health: nothing arrives from the board (power, cable or port?)");
    rig.monitor.disconnected(3);
    rig.run_until(100);
    EXPECT_EQ(rig.log.size(), 1u);
    const HealthReport r = rig.monitor.report(100);
    EXPECT_FALSE(r.connected);
    EXPECT_DOUBLE_EQ(r.seconds, 3.0);
    // A new connection starts afresh: its first line is said again (the minute is per figure,
    // not per connection, so only after a minute).
    rig.monitor.connected(100, 115200);
    rig.run_until(103);
    EXPECT_EQ(rig.log.size(), 2u);
}

} // namespace

// The board's rests (15 to 18 s of every 20 s) are what still_seconds() counts. A figure's
// value is the number its text shows first (the errors: their share of the frames, the gaps:
// the p99), with a unit; the JSON report names every figure, quotes escaped.
TEST(HealthMonitorState, StillSecondsValuesAndTheJsonReport) {
    Rig rig(5, 20);
    rig.run_until(14);
    EXPECT_EQ(rig.monitor.still_seconds(rig.now), 0.0);
    rig.run_until(17.8);
    EXPECT_GE(rig.monitor.still_seconds(rig.now), 2.0);
    EXPECT_LE(rig.monitor.still_seconds(rig.now), 3.0);
    rig.run_until(19.5);
    EXPECT_EQ(rig.monitor.still_seconds(rig.now), 0.0);

    const HealthReport r = rig.report();
    for (const HealthFigure& f : r.figures) {
        EXPECT_FALSE(f.unit.empty()) << f.name;
        const bool other = f.id == FigureId::checksum_errors || f.id == FigureId::broken_frames ||
                           f.id == FigureId::frame_gaps;
        for (const auto& [text, value] : {std::pair{f.recent, f.value}, {f.total, f.total_value}})
            if (!other && !text.empty() && text != "–") {
                EXPECT_NEAR(std::stod(text), value, 0.005 * std::abs(value) + 0.5) << f.name;
            }
    }
    EXPECT_NEAR(r[FigureId::frame_gaps].value, 50, 10) << "ms, the p99 at 20 ticks a second";
    const std::string json = health_json(r);
    std::size_t names = 0;
    for (std::size_t at = 0; (at = json.find("\"name\": ", at)) != std::string::npos; ++at)
        ++names;
    EXPECT_EQ(names, std::size_t(kFigureCount));
    EXPECT_NE(json.find("\"name\": \"Broken frames (\\\"Error! Com\\\")\", \"value\": 0, "
                        "\"unit\": \"% of frames\", \"state\": \"good\""),
              std::string::npos)
        << json;
    EXPECT_EQ(json_string("a\"\\\n"), "\"a\\\"\\\\\\u000a\"");
}
