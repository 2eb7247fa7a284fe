#include "health/figure_table.h"

#include "health/sensor_figures.h"
#include "health/still_rule.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace zento {

std::string_view state_word(HealthState s) {
    switch (s) {
    case HealthState::good:
        return "good";
    case HealthState::doubtful:
        return "doubtful";
    case HealthState::bad:
        return "bad";
    case HealthState::not_yet:
        return "not yet";
    case HealthState::none:
        break;
    }
    return "not judged";
}

namespace health {

namespace {

using M = const Measures&;
using S = HealthState;

// ---- texts ----

// Fixed-point text, whatever the program's locale; "–" for no value. A number too long for
// the buffer in fixed form (beyond about 1e60) is written with an exponent, which always fits.
std::string num(double v, int decimals) {
    if (!std::isfinite(v)) return "–";
    if (std::abs(v) < 0.5 * std::pow(10.0, -decimals)) v = 0; // no "-0.0"
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    if (r.ec != std::errc())
        r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 3);
    return std::string(buf, r.ptr);
}
std::string signed_num(double v, int decimals) {
    std::string s = num(v, decimals);
    return (s[0] == '-' || s == num(0, decimals)) ? s : "+" + s;
}
std::string ms(double seconds) {
    return num(1000.0 * seconds, 0) + " ms";
}
std::string limits(double good, double bad, std::string_view unit, int decimals) {
    return "good ≤ " + num(good, decimals) + std::string(unit) + ", bad > " + num(bad, decimals) +
           std::string(unit);
}

// ---- grading ----

// good when v <= good, bad when v > bad, doubtful between; none for NaN.
HealthState grade(double v, double good, double bad) {
    if (std::isnan(v)) return S::none;
    if (v <= good) return S::good;
    return v > bad ? S::bad : S::doubtful;
}

// The thresholds (the README's health table lists the same).
constexpr double kSilence = 2.0;                // s without a byte (or a frame) is bad
constexpr double kErrGood = 0.1, kErrBad = 0.5; // % of frames
constexpr double kErrBadMinCount = 3;
constexpr double kSkipGood = 0.2, kSkipBad = 1.0; // bytes per frame
constexpr double kSkipBadMinCount = 50;
constexpr double kLineGood = 90, kLineBad = 105;          // % of the line
constexpr double kAccNormGood = 0.05, kAccNormBad = 0.10; // |1 - |a|| in g
constexpr double kVibGood = 0.05, kVibBad = 0.20;         // g
constexpr double kTiltGood = 2, kTiltBad = 4;             // degrees
constexpr double kMagLow = 0.2, kMagHigh = 0.7, kMagLowBad = 0.1, kMagHighBad = 1.0; // G
constexpr double kMagSpreadGood = 3, kMagSpreadBad = 8;                              // %
constexpr double kDipSpreadGood = 3;                                                 // degrees
constexpr double kHeadingGood = 4, kHeadingBad = 10;                                 // degrees
constexpr double kStillFieldGood = 2, kStillFieldBad = 5;                            // % of |B|
constexpr double kHardIronGood = 5, kHardIronBad = 15;                               // % of |B|
constexpr double kCoverageGood = 35, kCoverageTrust = 25; // % of directions
constexpr double kResidualGood = 3, kResidualBad = 8;     // % of |B|
constexpr double kBiasGood = 0.5, kBiasBad = 1.0;         // deg/s
constexpr double kRatesGood = 2, kRatesBad = 5;           // deg/s
constexpr double kGainGood = 0.05, kGainBad = 0.15;       // gyroscope against attitude
constexpr double kRatesExcited = 3;                       // deg/s RMS to judge the gain
constexpr double kNever = std::numeric_limits<double>::infinity();

constexpr std::string_view kOnlyStill = "judged only while the board lies still";

// The gaps' thresholds: at least so many seconds, and for a slow board so many of its frame
// intervals.
struct Limits {
    double good, bad;
};
double gap_limit(M m, double seconds, double intervals) {
    return std::max(seconds, intervals * (m.tick_rate > 0 ? 1.0 / m.tick_rate : 0.0));
}
Limits p99_limits(M m) {
    return {gap_limit(m, 0.15, 2.5), gap_limit(m, 0.3, 5)};
}
Limits longest_limits(M m) {
    return {gap_limit(m, 0.5, 8), gap_limit(m, 1.0, 16)};
}

// A frame rate's state: none while no byte arrives, bad after 2 s without such a frame.
HealthState frames_state(M m, double since_frame) {
    if (!(m.since_byte < kSilence)) return S::none;
    return since_frame >= kSilence ? S::bad : S::good;
}
std::string frames_thresholds(M) {
    return "bad: none for " + num(kSilence, 0) + " s while bytes arrive";
}

// An error count's state as a share of the frames, and its text.
HealthState error_state(std::uint64_t n, std::uint64_t frames) {
    if (n + frames == 0) return S::none;
    const double share = 100.0 * double(n) / double(std::max<std::uint64_t>(frames, 1));
    if (share > kErrBad && double(n) >= kErrBadMinCount) return S::bad;
    return share > kErrGood ? S::doubtful : S::good;
}
std::string errors_thresholds(M) {
    return limits(kErrGood, kErrBad, " %", 1) + " of frames";
}
// n as a share of `of` in per cent; no value when there is nothing to share.
double percent(std::uint64_t n, std::uint64_t of) {
    return of == 0 ? kNaN : 100.0 * double(n) / double(of);
}
double per_frame(std::uint64_t n, std::uint64_t frames) {
    return frames == 0 ? kNaN : double(n) / double(frames);
}
// "3 (2.48 % of frames)"
std::string share_text(std::uint64_t n, std::uint64_t frames) {
    return std::to_string(n) + " (" + num(percent(n, frames), 2) + " % of frames)";
}
// The columns of the link's count `Count`, as a share of the frames.
template <std::uint64_t LinkSpan::*Count> double error_share(M m, Span s) {
    return percent(m.link[s].*Count, m.link[s].frames);
}
template <std::uint64_t LinkSpan::*Count> std::string error_text(double, M m, Span s) {
    return share_text(m.link[s].*Count, m.link[s].frames);
}
template <std::uint64_t LinkSpan::*Count> HealthState error_grade(double, M m, Span s) {
    return error_state(m.link[s].*Count, m.link[s].frames);
}

// The accelerometer's tilt error (RMS of roll and pitch together), and the spread of |B| in %.
double tilt(const SensorSpan& x) {
    return std::hypot(x.roll.rms(), x.pitch.rms());
}
double spread(const Acc& field) {
    return 100.0 * field.sd() / field.mean();
}

// The hard-iron estimate from the sphere fit, judged once enough directions are covered.
struct Iron {
    double cover, offset, share, residual; // %, counts, % of |B|, % of |B|
    bool trusted;
};
Iron iron(const SphereFit& f) {
    const double off = std::hypot(f.center[0], f.center[1], f.center[2]);
    const double cover = 100.0 * f.coverage;
    return {cover, off, 100.0 * off / f.radius, 100.0 * f.residual / f.radius,
            cover >= kCoverageTrust};
}
bool trusted(M m) {
    return m.fit && iron(*m.fit).trusted;
}
// Its figures have one column, since connect.
double fitted(M m, Span s) {
    return s == kTotal && m.fit ? 1.0 : 0.0;
}

// The gyroscope's figures are judged from half a second of ticks (at least 10) on.
double gyro_enough(M m) {
    return std::max(10.0, 0.5 * m.tick_rate);
}
std::string bias_text(const GyroAcc& g) {
    if (g.n() <= 0) return {};
    const Vec3d b = g.bias_axes();
    return num(g.bias(), 2) + " °/s (" + signed_num(b[0], 2) + ", " + signed_num(b[1], 2) + ", " +
           signed_num(b[2], 2) + ")";
}

// ---- the table ----

struct FigureRow {
    struct {
        FigureId id;
        std::string_view group, name, unit;
    } figure;
    // For each span: the samples behind it (nullptr: always shown; with none, no value and no
    // text) and how many it takes to judge; the number the text shows first (NaN: none), the
    // text, and the state.
    double (*samples)(M, Span) = nullptr;
    double min_samples = 0;
    double (*value)(M, Span) = nullptr;
    std::string (*text)(double value, M, Span) = nullptr;
    HealthState (*grade)(double value, M, Span) = nullptr;
    std::string (*thresholds)(M) = nullptr;
    // What a doubtful or bad state usually means, and what bad means where it differs.
    std::string_view meaning = {}, bad_meaning = {};
    // Where the meaning depends on more than the state: it, instead of the two above.
    std::string_view (*explain)(HealthState, M) = nullptr;
    // The "Health: " line when it turns bad, "{recent}" or "{total}" standing for the column's
    // text ("": "Health: <name> is bad (<last 10 s>)").
    std::string_view line = {};
};

constexpr std::array<FigureRow, kFigureCount> kTable = {{
    // ---- Link ----
    {.figure = {FigureId::bytes_rate, "Link", "Bytes per second", "B/s"},
     .value = [](M m, Span s) { return m.link[s].bytes_rate; },
     .text = [](double v, M, Span) { return num(v, 0) + " B/s"; },
     .grade = [](double, M m, Span) { return m.since_byte < kSilence ? S::good : S::bad; },
     .thresholds = [](M) { return "bad: no byte for " + num(kSilence, 0) + " s"; },
     .meaning = "nothing arrives: board not powered, cable unplugged or the wrong port",
     .line = "Health: nothing arrives from the board (power, cable or port?)"},
    {.figure = {FigureId::attitude_rate, "Link", "Attitude frames (0xA1) per second", "/s"},
     .value = [](M m, Span s) { return m.link[s].attitude_rate; },
     .text = [](double v, M, Span) { return num(v, 1) + " /s"; },
     .grade = [](double, M m, Span) { return frames_state(m, m.since_attitude); },
     .thresholds = frames_thresholds,
     .meaning = "bytes arrive but no attitude frames: wrong baud rate, or a board that sends "
                "something else",
     .line = "Health: bytes arrive but no attitude frames (wrong baud rate?)"},
    {.figure = {FigureId::sensor_rate, "Link", "Raw sensor frames (0xA2) per second", "/s"},
     .value = [](M m, Span s) { return m.link[s].sensor_rate; },
     .text = [](double v, M, Span) { return num(v, 1) + " /s"; },
     .grade = [](double, M m, Span) { return frames_state(m, m.since_sensor); },
     .thresholds = frames_thresholds,
     .meaning = "bytes arrive but no raw sensor frames: wrong baud rate, or a board that sends "
                "something else",
     .line = "Health: bytes arrive but no raw sensor frames (wrong baud rate?)"},
    {.figure = {FigureId::other_rate, "Link", "Frames of other types per second", "/s"},
     .value = [](M m, Span s) { return m.link[s].other_rate; },
     .text = [](double v, M, Span) { return num(v, 1) + " /s"; },
     .grade = [](double, M m, Span s) { return m.link[s].other_frames ? S::doubtful : S::good; },
     .thresholds = [](M) { return std::string("good: none"); },
     .meaning = "frames of types Zento does not show: other firmware, or noise that happens to "
                "look like frames"},
    {.figure = {FigureId::solution_rate, "Link", "The board's attitude solutions per second", "/s"},
     .samples = [](M m, Span s) { return m.sensors[s].solutions.n; },
     .min_samples = 1,
     .value = [](M m, Span s) { return m.sensors[s].solutions.mean(); },
     .text = [](double v, M, Span) { return num(v, 0) + " /s"; },
     .grade = [](double v, M, Span) { return v <= 0 ? S::bad : S::good; },
     .thresholds = [](M) { return std::string("bad: 0"); },
     .meaning = "the board's attitude solution has stopped",
     .line = "Health: the board reports no attitude solutions"},
    {.figure = {FigureId::checksum_errors, "Link", "Checksum errors", "% of frames"},
     .value = error_share<&LinkSpan::checksum_errors>,
     .text = error_text<&LinkSpan::checksum_errors>,
     .grade = error_grade<&LinkSpan::checksum_errors>,
     .thresholds = errors_thresholds,
     .meaning = "bytes are changed on the way: loose cable, electrical noise or a wrong baud rate",
     .line = "Health: frames fail their checksum, {recent} (loose cable, noise or wrong baud "
             "rate?)"},
    {.figure = {FigureId::broken_frames, "Link", "Broken frames (\"Error! Com\")", "% of frames"},
     .value = error_share<&LinkSpan::broken_frames>,
     .text = error_text<&LinkSpan::broken_frames>,
     .grade = error_grade<&LinkSpan::broken_frames>,
     .thresholds = errors_thresholds,
     .meaning = "bytes are lost or added on the way: loose cable, a line that drops bytes or a "
                "wrong baud rate",
     .line = "Health: bytes are lost on the line, broken frames {recent} (loose cable?)"},
    {.figure = {FigureId::skipped_bytes, "Link", "Bytes skipped outside frames", "bytes per frame"},
     .value = [](M m, Span s) { return per_frame(m.link[s].skipped_bytes, m.link[s].frames); },
     .text =
         [](double v, M m, Span s) {
             return std::to_string(m.link[s].skipped_bytes) + " (" + num(v, 2) + " per frame)";
         },
     .grade =
         [](double, M m, Span s) {
             const LinkSpan& l = m.link[s];
             const double p =
                 double(l.skipped_bytes) / double(std::max<std::uint64_t>(l.frames, 1));
             if (p > kSkipBad && double(l.skipped_bytes) >= kSkipBadMinCount) return S::bad;
             return p > kSkipGood ? S::doubtful : S::good;
         },
     .thresholds = [](M) { return limits(kSkipGood, kSkipBad, "", 1) + " per frame"; },
     .meaning = "bytes arrive that belong to no frame: wrong baud rate, or noise on the line",
     .line = "Health: bytes arrive that belong to no frame, {recent} (wrong baud rate?)"},
    {.figure = {FigureId::overflows, "Link", "Receive buffer overflows", "count"},
     .value = [](M m, Span s) { return double(m.link[s].overflows); },
     .text = error_text<&LinkSpan::overflows>,
     .grade = [](double, M m, Span s) { return m.link[s].overflows > 0 ? S::bad : S::good; },
     .thresholds = [](M) { return std::string("good: none, bad: any"); },
     .meaning = "the program read the port too late and bytes were thrown away: the computer is "
                "too busy",
     .line = "Health: the port's receive buffer overflowed (the computer is too busy?)"},
    {.figure = {FigureId::frame_gaps, "Link", "Gap between attitude frames (median, p99)", "ms"},
     .samples = [](M m, Span s) { return double(m.link[s].clean_gaps); },
     .min_samples = 10,
     .value = [](M m, Span s) { return m.link[s].gap_p99 * 1000; },
     .text =
         [](double, M m, Span s) {
             const std::string about = s == kTotal ? "≈ " : ""; // from a histogram
             return "median " + about + ms(m.link[s].gap_median) + ", p99 " + about +
                    ms(m.link[s].gap_p99);
         },
     .grade =
         [](double, M m, Span s) {
             return grade(m.link[s].gap_p99, p99_limits(m).good, p99_limits(m).bad);
         },
     .thresholds =
         [](M m) {
             return "p99 " + limits(1000 * p99_limits(m).good, 1000 * p99_limits(m).bad, " ms", 0);
         },
     .meaning = "frames arrive in bursts: a USB adapter or the board's firmware holds them back",
     .line = "Health: attitude frames arrive in bursts, {recent} between them"},
    {.figure = {FigureId::longest_gap, "Link", "Longest gap between attitude frames", "ms"},
     .samples = [](M m, Span s) { return m.link[s].has_longest ? 1.0 : 0.0; },
     .min_samples = 1,
     .value = [](M m, Span s) { return m.link[s].longest * 1000; },
     .text = [](double, M m, Span s) { return ms(m.link[s].longest); },
     .grade =
         [](double, M m, Span s) {
             return grade(m.link[s].longest, longest_limits(m).good, longest_limits(m).bad);
         },
     .thresholds =
         [](M m) { return limits(longest_limits(m).good, longest_limits(m).bad, " s", 1); },
     .meaning = "the stream stopped for a while: loose cable or connector",
     .line = "Health: the stream stopped for {recent} (loose cable?)"},
    {.figure = {FigureId::line_use, "Link", "Share of the line in use", "%"},
     .value = [](M m, Span s) { return m.link[s].line_use; },
     .text =
         [](double v, M m, Span s) {
             if (m.baud <= 0) return std::string();
             return num(v, 1) + (s == kTotal ? " %" : " % of " + std::to_string(m.baud) + " baud");
         },
     .grade = [](double v, M, Span) { return grade(v, kLineGood, kLineBad); },
     .thresholds = [](M) { return limits(kLineGood, kLineBad, " %", 0) + " (10 bits a byte)"; },
     .meaning = "the line is nearly full: frames wait, or are lost on the board",
     .bad_meaning =
         "more bytes than this baud rate can carry: the baud rate set here is not the line's",
     .line = "Health: more bytes arrive than the set baud rate can carry, {recent} (is the baud "
             "rate right?)"},

    // ---- Board and sensors ----
    {.figure = {FigureId::board_still, "Board", "Board lying still", "% of the time"},
     .samples = [](M m, Span s) { return m.sensors[s].still.n; },
     .min_samples = kNever,
     .value = [](M m, Span s) { return 100 * m.sensors[s].still.mean(); },
     .text = [](double v, M, Span) { return num(v, 0) + " % of the time"; },
     .thresholds =
         [](M) {
             return "still: roll, pitch within " + num(kStillAngle, 1) + "°, |a| within " +
                    num(kStillAccel, 2) + " g, rates within " + num(kStillGyro, 1) +
                    " °/s for 0.5 s";
         }},
    {.figure = {FigureId::accel_norm, "Accelerometer", "|a|", "g"},
     .samples = [](M m, Span s) { return m.sensors[s].accel.n; },
     .min_samples = 10,
     .value = [](M m, Span s) { return m.sensors[s].accel.mean(); },
     .text = [](double v, M, Span) { return num(v, 3) + " g"; },
     .grade = [](double v, M, Span) { return grade(std::abs(v - 1.0), kAccNormGood, kAccNormBad); },
     .thresholds =
         [](M) {
             return "good within 1 ± " + num(kAccNormGood, 2) + " g, bad beyond 1 ± " +
                    num(kAccNormBad, 2) + " g";
         },
     .meaning = "the accelerometer's scale setting is not the board's, or the accelerometer is off",
     .line = "Health: the accelerometer reads {recent} instead of 1 g (scale setting, or "
             "accelerometer off?)"},
    {.figure = {FigureId::vibration, "Accelerometer", "Vibration (spread of |a|)", "g"},
     .samples = [](M m, Span s) { return m.sensors[s].accel.n; },
     .min_samples = 10,
     .value = [](M m, Span s) { return m.sensors[s].accel.sd(); },
     .text = [](double v, M, Span) { return num(v, 3) + " g"; },
     .grade = [](double v, M, Span) { return grade(v, kVibGood, kVibBad); },
     .thresholds = [](M) { return limits(kVibGood, kVibBad, " g", 2); },
     .meaning = "strong vibration, or the board is being shaken",
     .line = "Health: strong vibration, |a| varies by {recent}"},
    {.figure = {FigureId::tilt, "Accelerometer",
                "Tilt against the reported roll and pitch, while still", "°"},
     .samples = [](M m, Span s) { return m.sensors[s].roll.n; },
     .min_samples = 5,
     .value = [](M m, Span s) { return tilt(m.sensors[s]); },
     .text =
         [](double v, M m, Span s) {
             return num(v, 1) + "° (roll " + signed_num(m.sensors[s].roll.mean(), 1) + "°, pitch " +
                    signed_num(m.sensors[s].pitch.mean(), 1) + "°)";
         },
     .grade = [](double v, M, Span) { return grade(v, kTiltGood, kTiltBad); },
     .thresholds = [](M) { return limits(kTiltGood, kTiltBad, "°", 0); },
     .explain = [](HealthState st, M m) -> std::string_view {
         if (st == S::doubtful || st == S::bad)
             return "the accelerometer is off (an offset), or the board's attitude does not "
                    "come from this accelerometer";
         return m.sensors[kRecent].roll.n == 0 ? kOnlyStill : "";
     },
     .line = "Health: the accelerometer's tilt differs from the reported roll and pitch by "
             "{recent} while still (accelerometer off?)"},
    {.figure = {FigureId::mag_norm, "Magnetometer", "|B|", "G"},
     .samples = [](M m, Span s) { return m.sensors[s].field.n; },
     .min_samples = 10,
     .value = [](M m, Span s) { return m.sensors[s].field.mean(); },
     .text = [](double v, M, Span) { return num(v, 3) + " G"; },
     .grade =
         [](double v, M, Span) {
             if (v < kMagLowBad || v > kMagHighBad) return S::bad;
             return (v < kMagLow || v > kMagHigh) ? S::doubtful : S::good;
         },
     .thresholds =
         [](M) {
             return "good " + num(kMagLow, 1) + " to " + num(kMagHigh, 1) + " G, bad below " +
                    num(kMagLowBad, 1) + " or above " + num(kMagHighBad, 1) + " G";
         },
     .meaning = "far from the earth's field (0.25 to 0.65 G): the magnetometer's scale setting "
                "is not the board's, or a magnet is near",
     .line = "Health: the magnetic field reads {recent}, far from the earth's (scale setting, or "
             "a magnet near?)"},
    {.figure = {FigureId::mag_spread, "Magnetometer", "Spread of |B|", "%"},
     .samples = [](M m, Span s) { return m.sensors[s].field.n; },
     .min_samples = 10,
     .value = [](M m, Span s) { return spread(m.sensors[s].field); },
     .text = [](double v, M, Span) { return num(v, 1) + " %"; },
     .grade = [](double v, M, Span) { return grade(v, kMagSpreadGood, kMagSpreadBad); },
     .thresholds = [](M) { return limits(kMagSpreadGood, kMagSpreadBad, " %", 0); },
     .meaning = "the field's strength changes as the board turns or with time: uncalibrated "
                "magnetometer (hard iron), or a magnetic disturbance",
     .line = "Health: the magnetic field's strength varies by {recent} (uncalibrated "
             "magnetometer or disturbance?)"},
    {.figure = {FigureId::dip, "Magnetometer", "Dip angle, while still", "°"},
     .samples = [](M m, Span s) { return m.sensors[s].dip.n; },
     .min_samples = 5,
     .value = [](M m, Span s) { return m.sensors[s].dip.mean(); },
     .text =
         [](double v, M m, Span s) {
             const double spread = m.sensors[s].dip.sd();
             return num(v, 1) + "° (spread " + num(spread, 1) + "°)";
         },
     .grade =
         [](double, M m, Span s) {
             return grade(m.sensors[s].dip.sd(), kDipSpreadGood, kNever); // never bad
         },
     .thresholds =
         [](M) {
             return "good: spread ≤ " + num(kDipSpreadGood, 0) +
                    "° (the angle itself depends on where you are)";
         },
     .meaning = "the dip changes between poses: uncalibrated magnetometer, a disturbance, or "
                "the accelerometer is off"},
    {.figure = {FigureId::heading, "Magnetometer", "Heading against the reported yaw", "°"},
     .samples = [](M m, Span s) { return m.sensors[s].heading.n; },
     .min_samples = 10,
     .value = [](M m, Span s) { return m.sensors[s].heading.rms(); },
     .text =
         [](double v, M m, Span s) {
             return num(v, 1) + "° (mean " + signed_num(m.sensors[s].heading.mean(), 1) + "°)";
         },
     .grade = [](double v, M, Span) { return grade(v, kHeadingGood, kHeadingBad); },
     .thresholds = [](M) { return "RMS " + limits(kHeadingGood, kHeadingBad, "°", 0); },
     .meaning = "uncalibrated magnetometer (hard iron) or a magnetic disturbance",
     .line = "Health: the magnetic heading differs from the reported yaw by {recent} "
             "(uncalibrated magnetometer or disturbance?)"},
    {.figure = {FigureId::field_while_still, "Magnetometer", "Field change while still",
                "% of |B|"},
     .samples = [](M m, Span s) { return m.sensors[s].field_change.n; },
     .min_samples = 1,
     .value = [](M m, Span s) { return m.sensors[s].field_change.v; },
     .text = [](double v, M, Span) { return num(v, 1) + " % of |B|"; },
     .grade = [](double v, M, Span) { return grade(v, kStillFieldGood, kStillFieldBad); },
     .thresholds = [](M) { return limits(kStillFieldGood, kStillFieldBad, " %", 0); },
     .explain = [](HealthState st, M m) -> std::string_view {
         if (st == S::doubtful || st == S::bad)
             return "a magnetic disturbance: motors, cables with current, a laptop or "
                    "loudspeaker nearby";
         return m.sensors[kRecent].field_change.n == 0 ? kOnlyStill : "";
     },
     .line = "Health: magnetic field changes while the board is still (disturbance?)"},
    // The sphere fit has one column, since connect; its state is the same in both.
    {.figure = {FigureId::hard_iron, "Magnetometer", "Hard-iron offset (sphere fit)", "G"},
     .samples = fitted,
     .value = [](M m, Span) { return iron(*m.fit).offset / m.mag_counts_per_gauss; },
     .text =
         [](double v, M m, Span) {
             return num(v, 3) + " G, " + num(iron(*m.fit).share, 0) + " % of |B| (" +
                    num(m.fit->center[0], 0) + ", " + num(m.fit->center[1], 0) + ", " +
                    num(m.fit->center[2], 0) + " counts)";
         },
     .grade =
         [](double, M m, Span) {
             if (!trusted(m)) return S::none;
             if (iron(*m.fit).residual > kResidualGood) return S::doubtful;
             return grade(iron(*m.fit).share, kHardIronGood, kHardIronBad);
         },
     .thresholds = [](M) { return limits(kHardIronGood, kHardIronBad, " % of |B|", 0); },
     .explain = [](HealthState st, M m) -> std::string_view {
         if (!trusted(m)) return "not enough directions yet";
         if (iron(*m.fit).residual > kResidualGood)
             return "the fit is poor (see the residual), so the offset is uncertain";
         if (st == S::good) return "";
         return "the magnetometer needs calibrating (hard iron): subtract the offset shown";
     },
     .line = "Health: the magnetometer needs calibrating, hard-iron offset {total}"},
    {.figure = {FigureId::directions, "Magnetometer", "Directions covered", "%"},
     .samples = [](M, Span s) { return s == kTotal ? 1.0 : 0.0; },
     .value = [](M m, Span) { return m.fit ? iron(*m.fit).cover : 0.0; },
     .text = [](double v, M, Span) { return num(v, 0) + " %"; },
     .grade =
         [](double, M m, Span) {
             return m.fit && iron(*m.fit).cover >= kCoverageGood ? S::good : S::not_yet;
         },
     .thresholds =
         [](M) {
             return "good ≥ " + num(kCoverageGood, 0) +
                    " %, less: not yet (the offset is judged from " + num(kCoverageTrust, 0) +
                    " %)";
         },
     .explain = [](HealthState st, M m) -> std::string_view {
         if (!m.fit) return "turn the board through every heading, tilted both ways";
         if (st != S::not_yet) return "";
         return "turn the board through more directions (every heading, tilted both ways) "
                "to calibrate";
     }},
    {.figure = {FigureId::fit_residual, "Magnetometer", "Sphere fit residual", "% of |B|"},
     .samples = fitted,
     .value = [](M m, Span) { return iron(*m.fit).residual; },
     .text = [](double v, M, Span) { return num(v, 1) + " % of |B|"; },
     .grade =
         [](double, M m, Span) {
             return trusted(m) ? grade(iron(*m.fit).residual, kResidualGood, kResidualBad)
                               : S::none;
         },
     .thresholds = [](M) { return limits(kResidualGood, kResidualBad, " % of |B|", 0); },
     .meaning = "the readings do not lie on a sphere: a magnetic disturbance while they were "
                "taken, or soft iron",
     .line = "Health: the magnetometer's readings do not lie on a sphere, residual {total} "
             "(disturbance?)"},

    // ---- Gyroscope: after "Marked bias" the ticks after it, before it those before ----
    {.figure = {FigureId::gyro_bias, "Gyroscope", "Bias (mean rate at rest)", "°/s"},
     .value =
         [](M m, Span s) {
             const GyroAcc& g = m.sensors[s].gyro;
             return g.n() > 0 ? g.bias() : kNaN;
         },
     .text =
         [](double, M m, Span s) {
             std::string t = bias_text(m.sensors[s].gyro);
             const GyroAcc& before = m.sensors[s].gyro_before_bias;
             if (s == kTotal && m.bias_commanded && before.n() > 0)
                 t += "; before Marked bias " + num(before.bias(), 2) + " °/s";
             return t;
         },
     .grade =
         [](double v, M m, Span s) {
             if (m.sensors[s].gyro.n() < gyro_enough(m)) return S::none;
             if (m.bias_commanded) return grade(v, kBiasGood, kBiasBad);
             return v <= kBiasGood ? S::good : S::not_yet;
         },
     .thresholds =
         [](M) {
             return limits(kBiasGood, kBiasBad, " °/s", 1) +
                    " after Marked bias (before it, above " + num(kBiasGood, 1) +
                    " is not judged yet)";
         },
     .explain = [](HealthState st, M) -> std::string_view {
         if (st == S::not_yet)
             return "bias not collected yet: lay the board still and use \"Marked bias\"";
         if (st == S::doubtful || st == S::bad)
             return "the bias is still there after \"Marked bias\": the board did not "
                    "collect it (was it still?)";
         return "";
     },
     .line = "Health: the gyroscope bias is still there after Marked bias, {recent} (was the "
             "bias collected?)"},
    // The rates' disagreement, and the gyroscope's gain against the attitude's rates (judged
    // when the board turned enough to tell).
    {.figure = {FigureId::gyro_rates, "Gyroscope", "Rates against the attitude's rate of change",
                "°/s"},
     .samples = [](M m, Span s) { return m.sensors[s].agreement.n; },
     .value = [](M m, Span s) { return m.sensors[s].agreement.rms; },
     .text =
         [](double v, M m, Span s) {
             const double gain = m.sensors[s].agreement.gain;
             return num(v, 2) + " °/s, gain " + num(gain, 2);
         },
     .grade =
         [](double v, M m, Span s) {
             const GyroAgreement& a = m.sensors[s].agreement;
             if (a.n < gyro_enough(m)) return S::none;
             const double gain_err = a.excitation >= kRatesExcited ? std::abs(a.gain - 1.0) : 0.0;
             if (v > kRatesBad || gain_err > kGainBad) return S::bad;
             return v <= kRatesGood && gain_err <= kGainGood ? S::good : S::doubtful;
         },
     .thresholds =
         [](M) {
             return "RMS " + limits(kRatesGood, kRatesBad, " °/s", 0) + "; gain good within 1 ± " +
                    num(kGainGood, 2) + ", bad beyond 1 ± " + num(kGainBad, 2);
         },
     .meaning = "the gyroscope's scale setting is not the board's, or its axes are not the "
                "board's X forward, Y right, Z down",
     .line = "Health: the gyroscope's rates differ from the reported attitude's rate of change "
             "by {recent} (gyroscope scale setting?)"},
}};

constexpr bool in_figure_order() {
    for (int i = 0; i < kFigureCount; ++i)
        if (kTable[std::size_t(i)].figure.id != FigureId(i)) return false;
    return true;
}
static_assert(in_figure_order(), "one row per figure, in FigureId order");

const FigureRow& row(FigureId id) {
    return kTable[std::size_t(id)];
}

std::string meaning(const FigureRow& r, HealthState s, M m) {
    if (r.explain) return std::string(r.explain(s, m));
    if (s == S::bad && !r.bad_meaning.empty()) return std::string(r.bad_meaning);
    return s == S::bad || s == S::doubtful ? std::string(r.meaning) : std::string();
}

} // namespace

std::vector<HealthFigure> blank_figures() {
    std::vector<HealthFigure> out(kFigureCount);
    for (const FigureRow& r : kTable) {
        HealthFigure& f = out[std::size_t(r.figure.id)];
        f.id = r.figure.id;
        f.group = r.figure.group;
        f.name = r.figure.name;
    }
    return out;
}

std::vector<HealthFigure> make_figures(const Measures& m) {
    std::vector<HealthFigure> out = blank_figures();
    for (const FigureRow& r : kTable) {
        HealthFigure& f = out[std::size_t(r.figure.id)];
        f.unit = r.figure.unit;
        for (const Span s : {kRecent, kTotal}) {
            const double n = r.samples ? r.samples(m, s) : 1;
            const double v = n > 0 ? r.value(m, s) : kNaN;
            const HealthState state = r.grade && n >= r.min_samples ? r.grade(v, m, s) : S::none;
            (s == kRecent ? f.value : f.total_value) = v;
            (s == kRecent ? f.recent : f.total) = n > 0 ? r.text(v, m, s) : std::string();
            (s == kRecent ? f.state : f.total_state) = state;
        }
        f.thresholds = r.thresholds(m);
        f.meaning = meaning(r, f.state, m);
    }
    return out;
}

std::string bad_line(const HealthFigure& f) {
    std::string line(row(f.id).line);
    if (line.empty()) return "Health: " + std::string(f.name) + " is bad (" + f.recent + ")";
    for (const auto& [key, text] :
         {std::pair<std::string_view, const std::string&>{"{recent}", f.recent},
          {"{total}", f.total}})
        if (const auto at = line.find(key); at != std::string::npos)
            line.replace(at, key.size(), text);
    return line;
}

std::string good_again_line(const HealthFigure& f) {
    const std::string& value = f.recent.empty() ? f.total : f.recent;
    return "Health: " + std::string(f.name) + " is good again (" + value + ")";
}

std::string moved_at_bias_line() {
    return "Health: the board moved while it took its gyroscope bias (in the " +
           num(kBiasGrace, 0) + " s after Marked bias): lay it still and use Marked bias again";
}

} // namespace health

std::string_view figure_group(FigureId id) {
    return health::row(id).figure.group;
}
std::string_view figure_name(FigureId id) {
    return health::row(id).figure.name;
}

} // namespace zento
