#include "health/health_monitor.h"

#include "health/sphere_fit.h"
#include "health/still_rule.h"
#include "link/link_time.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <deque>
#include <limits>
#include <numbers>
#include <optional>
#include <unordered_map>
#include <utility>

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

namespace {

constexpr double kWindow = 10.0;      // "last 10 s"
constexpr double kUpdateEvery = 0.5;  // update() works at most this often unless forced
constexpr double kWarmUp = 2.0;       // nothing is judged this soon after connect
constexpr double kSettle = 1.0;       // rates leave out the first second after connect
constexpr double kPause = 1.0;        // no byte for longer is a pause in the stream
constexpr double kLogRepeat = 60.0;   // a figure's bad line at most once a minute
constexpr double kRecovered = 10.0;   // good this long before "good again" is said
constexpr double kSilence = 2.0;      // no byte (or no frame) for this long is bad
constexpr double kBiasGrace = 2.0;    // the board collects its bias this long after the command
constexpr double kRateHistory = 60.0; // the recent link figures keep snapshots this long
constexpr double kDeg = 180.0 / std::numbers::pi;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double wrap180(double d) {
    d = std::fmod(d + 180.0, 360.0);
    if (d < 0) d += 360.0;
    return d - 180.0;
}

// Mean and spread of a series.
struct Acc {
    double n = 0, s = 0, ss = 0;
    void add(double x) {
        n += 1;
        s += x;
        ss += x * x;
    }
    Acc& operator+=(const Acc& o) {
        n += o.n, s += o.s, ss += o.ss;
        return *this;
    }
    double mean() const { return n > 0 ? s / n : kNaN; }
    double var() const { return n > 0 ? std::max(0.0, ss / n - mean() * mean()) : kNaN; }
    double sd() const { return std::sqrt(var()); }
    double rms() const { return n > 0 ? std::sqrt(ss / n) : kNaN; }
};

struct Max {
    double n = 0, v = 0;
    void add(double x) {
        n += 1;
        v = std::max(v, x);
    }
    Max& operator+=(const Max& o) {
        n += o.n, v = std::max(v, o.v);
        return *this;
    }
};

// Per axis: the gyroscope's rate minus the body rate from the reported attitude's rate of
// change (e, deg/s), against that body rate (d).
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
    double bias() const { return std::hypot(a[0].mean(), a[1].mean(), a[2].mean()); }
};

// A statistic kept per second of arrival time, for the last 10 s, and since connect.
template <class T> class Windowed {
  public:
    template <class F> void add(std::int64_t sec, F&& f) {
        f(bucket(sec));
        f(total_);
    }
    T recent(double now) const {
        const auto now_sec = std::int64_t(std::floor(now));
        T r{};
        for (const Slot& s : slots_)
            if (s.sec > now_sec - std::int64_t(kWindow) && s.sec <= now_sec) r += s.v;
        return r;
    }
    const T& total() const { return total_; }
    // Adds this one's seconds and total to `other`.
    void merge_into(Windowed& other) const {
        for (const Slot& s : slots_)
            if (s.sec != kNone) other.bucket(s.sec) += s.v;
        other.total_ += total_;
    }
    void clear() { *this = Windowed{}; }

  private:
    static constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::min();
    struct Slot {
        std::int64_t sec = kNone;
        T v{};
    };
    T& bucket(std::int64_t sec) {
        Slot& s = slots_[std::size_t(sec) & 15];
        if (s.sec != sec) s = Slot{sec, T{}};
        return s.v;
    }
    std::array<Slot, 16> slots_{};
    T total_{};
};

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
// n as a share of `of` in per cent; no value when there is nothing to share.
double percent(std::uint64_t n, std::uint64_t of) {
    return of == 0 ? std::nan("") : 100.0 * double(n) / double(of);
}
std::string signed_num(double v, int decimals) {
    std::string s = num(v, decimals);
    return (s[0] == '-' || s == num(0, decimals)) ? s : "+" + s;
}
std::string count_text(std::uint64_t n) {
    return std::to_string(n);
}

// good when v <= good, bad when v > bad, doubtful between; none for NaN.
HealthState grade(double v, double good, double bad) {
    if (std::isnan(v)) return HealthState::none;
    if (v <= good) return HealthState::good;
    return v > bad ? HealthState::bad : HealthState::doubtful;
}
std::string limits(double good, double bad, std::string_view unit, int decimals) {
    return "good ≤ " + num(good, decimals) + std::string(unit) + ", bad > " + num(bad, decimals) +
           std::string(unit);
}

// Fills both columns and both states of a figure judged on one number of a statistic (with a
// count n): text and judgement need at least min_n samples.
template <class Stat, class Value, class Text>
void judge_stat(HealthFigure& f, const Stat& recent, const Stat& total, double min_n, Value value,
                Text text, double good, double bad) {
    auto judge = [&](const Stat& s) {
        return s.n >= min_n ? grade(value(s), good, bad) : HealthState::none;
    };
    f.recent = recent.n > 0 ? text(recent) : std::string();
    f.total = total.n > 0 ? text(total) : std::string();
    f.state = judge(recent);
    f.total_state = judge(total);
}

// The figure's numbers as its text shows them.
void shown(HealthFigure& f, double recent, double total, std::string_view unit) {
    f.value = recent;
    f.total_value = total;
    f.unit = unit;
}
template <class Stat, class Value>
void shown(HealthFigure& f, const Stat& recent, const Stat& total, Value v, std::string_view unit) {
    shown(f, recent.n > 0 ? v(recent) : kNaN, total.n > 0 ? v(total) : kNaN, unit);
}

// What a doubtful or bad state of the figure usually means.
void problem(HealthFigure& f, std::string meaning) {
    if (f.state == HealthState::bad || f.state == HealthState::doubtful)
        f.meaning = std::move(meaning);
}

constexpr const char* kOnlyStill = "judged only while the board lies still";
constexpr double kNever = std::numeric_limits<double>::infinity();

struct Snap {
    double t = 0;
    ReceiverCounters c;
};

ReceiverCounters minus(const ReceiverCounters& a, const ReceiverCounters& b) {
    ReceiverCounters d;
    d.bytes = a.bytes - b.bytes;
    d.attitude_frames = a.attitude_frames - b.attitude_frames;
    d.sensor_frames = a.sensor_frames - b.sensor_frames;
    d.other_frames = a.other_frames - b.other_frames;
    d.checksum_errors = a.checksum_errors - b.checksum_errors;
    d.broken_frames = a.broken_frames - b.broken_frames;
    d.skipped_bytes = a.skipped_bytes - b.skipped_bytes;
    d.overflows = a.overflows - b.overflows;
    return d;
}

struct Tick {
    double t = 0;
    float yaw = 0, pitch = 0, roll = 0, rate = 0;
    float acc[3]{}, gyro[3]{}, mag[3]{};
    std::uint64_t loss = 0;
    bool has_att = false, has_sensor = false;
};

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

// Gap histogram since connect: 20 bins a decade from 0.1 ms to 1000 s.
constexpr int kGapBins = 141;
int gap_bin(double gap) {
    if (gap <= 1e-4) return 0;
    return std::clamp(int(std::ceil((std::log10(gap) + 4.0) * 20.0)), 0, kGapBins - 1);
}
double gap_bin_top(int bin) {
    return std::pow(10.0, double(bin) / 20.0 - 4.0);
}

constexpr std::size_t kMaxVoxels = 8192;
constexpr std::uint64_t kVoxelExpiry = 600; // passes (about 2.5 minutes of steady turning)
constexpr std::size_t kGapRing = 4096;
constexpr std::size_t kMaxPending = 16384;

// Thresholds (the README's health table lists the same).
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

struct FigureInfo {
    std::string_view group, name;
};
constexpr std::array<FigureInfo, kFigureCount> kInfo = {{
    {"Link", "Bytes per second"},
    {"Link", "Attitude frames (0xA1) per second"},
    {"Link", "Raw sensor frames (0xA2) per second"},
    {"Link", "Frames of other types per second"},
    {"Link", "The board's attitude solutions per second"},
    {"Link", "Checksum errors"},
    {"Link", "Broken frames (\"Error! Com\")"},
    {"Link", "Bytes skipped outside frames"},
    {"Link", "Receive buffer overflows"},
    {"Link", "Gap between attitude frames (median, p99)"},
    {"Link", "Longest gap between attitude frames"},
    {"Link", "Share of the line in use"},
    {"Board", "Board lying still"},
    {"Accelerometer", "|a|"},
    {"Accelerometer", "Vibration (spread of |a|)"},
    {"Accelerometer", "Tilt against the reported roll and pitch, while still"},
    {"Magnetometer", "|B|"},
    {"Magnetometer", "Spread of |B|"},
    {"Magnetometer", "Dip angle, while still"},
    {"Magnetometer", "Heading against the reported yaw"},
    {"Magnetometer", "Field change while still"},
    {"Magnetometer", "Hard-iron offset (sphere fit)"},
    {"Magnetometer", "Directions covered"},
    {"Magnetometer", "Sphere fit residual"},
    {"Gyroscope", "Bias (mean rate at rest)"},
    {"Gyroscope", "Rates against the attitude's rate of change"},
}};

} // namespace

std::string_view figure_group(FigureId id) {
    return kInfo[std::size_t(id)].group;
}
std::string_view figure_name(FigureId id) {
    return kInfo[std::size_t(id)].name;
}

struct HealthMonitor::Impl {
    ReceiverCounters counters; // as of the latest batch
    double frame_interval = 0; // the board's, as of the latest batch (0: not known)
    HealthScales scales;

    bool connected = false;
    double t_connect = 0, t_disconnect = 0, last_update = -1e300;
    int baud = 0;

    // Link
    Snap base;              // at connect
    std::deque<Snap> snaps; // one a second at most, for the last minute
    // The first snapshot a settling second after connect: rates since connect count from it.
    std::optional<Snap> settled;
    double last_bytes_t = 0;
    std::uint64_t last_bytes = 0;
    double last_att_t = 0, last_sensor_t = 0;
    bool any_att = false;
    // Arrival times (and loss stamps) of attitude frames not yet made into gaps.
    std::vector<std::pair<double, std::uint64_t>> att_times;
    // The latest gaps. A gap across lost frames counts for the longest gap only: the median
    // and p99 say how delivered frames are spaced, not how many were lost.
    struct Gap {
        double t;
        float gap;
        bool clean;
    };
    std::vector<Gap> gap_ring;
    std::size_t gap_next = 0;
    std::array<std::uint32_t, kGapBins> gap_hist{};
    std::uint64_t gap_count = 0;
    double gap_max = 0;

    // Frames waiting to be worked into the figures; [0, next) already worked (kept as the
    // look-back of the rate derivative).
    std::vector<Tick> ticks;
    std::size_t next = 0;
    bool pending_att = false;

    // Sensors
    Windowed<Acc> still_share, sol_rate, anorm, bnorm, roll_err, pitch_err, dip, heading;
    Windowed<Max> field_still;
    Windowed<GyroAcc> gyro_before, gyro_after;
    std::optional<double> t_bias_command;
    bool bias_moved_said = false; // the board moved while it took the bias (said once)
    // The run of still blocks that the latest worked block ends: its first and last frame's
    // times, and the loss stamp at its end (a frame lost between two blocks ends the run).
    std::optional<double> still_from;
    double still_to = 0;
    std::uint64_t still_loss = 0;
    // The still run the last still block belongs to.
    bool run_active = false;
    Vec3d run_field{};
    double run_roll = 0, run_pitch = 0, run_yaw = 0;
    // Sphere fit over one point per cube of space that readings fell into: the mean of the
    // readings of the latest pass through it (a pass ends after a second away), so that a
    // field that changed is relearnt as the board turns. A cube not passed through again while
    // the board made kVoxelExpiry passes elsewhere is forgotten; on a board at rest nothing
    // is forgotten.
    struct Voxel {
        double s[3] = {0, 0, 0};
        double n = 0, last_t = -1e300;
        std::uint64_t pass = 0;
    };
    std::uint64_t passes = 0;
    std::unordered_map<std::uint64_t, Voxel> voxels;
    double voxel_size = 44;
    bool voxels_changed = false;
    std::optional<SphereFit> fit;

    // Log
    struct LogState {
        double last_line = -1e300;
        double good_since = -1.0; // < 0: not good now
        bool reported_bad = false;
    };
    std::array<LogState, kFigureCount> log{};
    std::vector<std::string> lines;

    explicit Impl(HealthScales s) : scales(s) {
        ticks.reserve(1024);
        gap_ring.reserve(kGapRing);
    }

    void clear_sensors() {
        ticks.clear();
        next = 0;
        pending_att = false;
        for (auto* w :
             {&still_share, &sol_rate, &anorm, &bnorm, &roll_err, &pitch_err, &dip, &heading})
            w->clear();
        field_still.clear();
        gyro_before.clear();
        gyro_after.clear();
        run_active = false;
        still_from.reset();
        voxels.clear();
        voxel_size = std::max(1.0, 0.04 * scales.mag_counts_per_gauss);
        voxels_changed = false;
        fit.reset();
    }

    void start(double t, int b) {
        connected = true;
        t_connect = t;
        baud = b;
        last_update = -1e300;
        base = {t, counters};
        settled.reset();
        snaps.clear();
        snaps.push_back(base);
        last_bytes_t = last_att_t = last_sensor_t = t;
        last_bytes = counters.bytes;
        any_att = false;
        att_times.clear();
        gap_ring.clear();
        gap_next = 0;
        gap_hist.fill(0);
        gap_count = 0;
        gap_max = 0;
        t_bias_command.reset();
        clear_sensors();
        for (LogState& l : log)
            l.reported_bad = false, l.good_since = -1.0;
    }

    double now_of(double t) const { return connected ? t : t_disconnect; }

    void snapshot(double t) {
        if (std::floor(t) != std::floor(snaps.back().t)) snaps.push_back({t, counters});
        if (!settled && snaps.back().t >= t_connect + kSettle) settled = snaps.back();
        while (snaps.size() > 2 && snaps[1].t < t - kRateHistory - 1.0)
            snaps.pop_front();
    }

    // The oldest snapshot taken at or after `from` (the newest if none is).
    const Snap& snap_from(double from) const {
        for (const Snap& s : snaps)
            if (s.t >= from) return s;
        return snaps.back();
    }

    // Counters and their span over the last 10 s, from the oldest snapshot inside them. The
    // first second after connect is left out: it brings what waited in the port's buffer
    // (and the tail of a frame cut by the connect).
    std::pair<ReceiverCounters, double> recent_counters(double now) const {
        const Snap& s = snap_from(std::max(now - kWindow, t_connect + kSettle));
        return {minus(counters, s.c), now - s.t};
    }
    // The same since connect, for rates.
    std::pair<ReceiverCounters, double> rate_counters(double now) const {
        const Snap& s = settled ? *settled : snaps.back();
        return {minus(counters, s.c), now - s.t};
    }

    // The board's ticks per second (frame_interval.h); 0 while not known.
    double tick_rate() const { return frame_interval > 0 ? 1.0 / frame_interval : 0; }

    // ---- per frame: store only ----

    void push_tick(const Tick& k) {
        if (ticks.size() >= kMaxPending) { // nobody updates: keep the newest half
            ticks.erase(ticks.begin(), ticks.begin() + std::ptrdiff_t(kMaxPending / 2));
            next = 0;
        }
        ticks.push_back(k);
    }

    // `arrival`: the batch's time (gaps are between arrivals); `t`: the frame's own (the sensor
    // figures are worked on the board's time).
    void on_attitude(double arrival, double t, const AttitudeRecord& r, std::uint64_t loss) {
        if (att_times.size() >= kMaxPending) att_times.clear();
        att_times.emplace_back(arrival, loss);
        last_att_t = arrival;
        Tick k;
        k.t = t;
        k.yaw = r.yaw, k.pitch = r.pitch, k.roll = r.roll, k.rate = r.rate;
        k.loss = loss;
        k.has_att = true;
        push_tick(k);
        pending_att = true;
    }

    void on_sensor(double arrival, double t, const SensorRecord& r, std::uint64_t loss) {
        last_sensor_t = arrival;
        Tick* k = nullptr;
        if (pending_att && !ticks.empty() && ticks.back().loss == loss) {
            k = &ticks.back(); // the attitude frame of the same tick
        } else {
            Tick fresh;
            fresh.t = t;
            fresh.loss = loss;
            push_tick(fresh);
            k = &ticks.back();
        }
        pending_att = false;
        for (int i = 0; i < 3; ++i) {
            k->acc[i] = r.acc[i];
            k->gyro[i] = r.gyro[i];
            k->mag[i] = r.mag[i];
        }
        k->has_sensor = true;
    }

    // ---- update: the stored frames into the figures ----

    void take_gaps() {
        for (const auto& [t, loss] : att_times) {
            if (any_att) {
                const double gap = std::max(0.0, t - last_gap_t);
                const bool clean = loss == last_gap_loss;
                if (gap_ring.size() < kGapRing)
                    gap_ring.push_back({t, float(gap), clean});
                else
                    gap_ring[gap_next] = {t, float(gap), clean};
                gap_next = (gap_next + 1) % kGapRing;
                if (clean) {
                    ++gap_hist[std::size_t(gap_bin(gap))];
                    ++gap_count;
                }
                gap_max = std::max(gap_max, gap);
            }
            any_att = true;
            last_gap_t = t;
            last_gap_loss = loss;
        }
        att_times.clear();
    }
    double last_gap_t = 0;
    std::uint64_t last_gap_loss = 0;

    void add_voxel(double t, const float m[3]) {
        std::uint64_t key = 0;
        for (int i = 0; i < 3; ++i) {
            const auto c = std::int64_t(std::floor(double(m[i]) / voxel_size)) + (1 << 20);
            key = (key << 21) | (std::uint64_t(std::clamp<std::int64_t>(c, 0, (1 << 21) - 1)));
        }
        auto it = voxels.find(key);
        if (it == voxels.end()) {
            if (voxels.size() >= kMaxVoxels) return;
            it = voxels.emplace(key, Voxel{}).first;
        }
        Voxel& v = it->second;
        if (t - v.last_t > 1.0) { // a new pass
            v = Voxel{};
            v.pass = ++passes;
            voxels_changed = true;
        }
        v.last_t = t;
        for (int i = 0; i < 3; ++i)
            v.s[i] += m[i];
        v.n += 1;
    }

    void work_tick(std::size_t j, bool still, std::size_t m, double rate) {
        const Tick& k = ticks[j];
        const auto sec = std::int64_t(std::floor(k.t));
        if (k.has_att) sol_rate.add(sec, [&](Acc& a) { a.add(k.rate); });
        if (!k.has_sensor) return;
        const double a[3] = {k.acc[0] / scales.accel_counts_per_g,
                             k.acc[1] / scales.accel_counts_per_g,
                             k.acc[2] / scales.accel_counts_per_g};
        const double an = std::hypot(a[0], a[1], a[2]);
        const double mn = std::hypot(double(k.mag[0]), double(k.mag[1]), double(k.mag[2]));
        anorm.add(sec, [&](Acc& x) { x.add(an); });
        bnorm.add(sec, [&](Acc& x) { x.add(mn / scales.mag_counts_per_gauss); });
        add_voxel(k.t, k.mag);
        if (!k.has_att) return;

        still_share.add(sec, [&](Acc& x) { x.add(still ? 1.0 : 0.0); });
        const double roll = k.roll / kDeg, pitch = k.pitch / kDeg;
        const bool upright = std::abs(k.pitch) < 70.0f;
        if (upright) {
            // Tilt-compensated heading from the magnetometer, against the reported yaw.
            const double xh = k.mag[0] * std::cos(pitch) +
                              k.mag[1] * std::sin(roll) * std::sin(pitch) +
                              k.mag[2] * std::cos(roll) * std::sin(pitch);
            const double yh = k.mag[1] * std::cos(roll) - k.mag[2] * std::sin(roll);
            if (std::hypot(xh, yh) > 1e-9) {
                const double diff = wrap180(std::atan2(-yh, xh) * kDeg - k.yaw);
                heading.add(sec, [&](Acc& x) { x.add(diff); });
            }
        }
        if (still && upright) {
            const double aroll = std::atan2(a[1], a[2]) * kDeg;
            const double apitch = std::atan2(-a[0], std::hypot(a[1], a[2])) * kDeg;
            roll_err.add(sec, [&](Acc& x) { x.add(wrap180(aroll - k.roll)); });
            pitch_err.add(sec, [&](Acc& x) { x.add(apitch - k.pitch); });
        }
        if (still && an > 0.5 && mn > 0) {
            const double cosv = (a[0] * k.mag[0] + a[1] * k.mag[1] + a[2] * k.mag[2]) / (an * mn);
            dip.add(sec, [&](Acc& x) { x.add(std::asin(std::clamp(cosv, -1.0, 1.0)) * kDeg); });
        }
        // Body rates from the reported attitude's rate of change (central differences over
        // about 0.1 s, with no frame lost in between), against the gyroscope.
        if (j < m || j + m >= ticks.size()) return;
        const Tick& before = ticks[j - m];
        const Tick& after = ticks[j + m];
        if (!before.has_att || !after.has_att || before.loss != after.loss) return;
        // Ticks that never came leave no count: a pause between them shows in arrival times.
        if (after.t - before.t > 2.0 * double(m) / rate + kPause) return;
        if (t_bias_command && k.t >= *t_bias_command && k.t < *t_bias_command + kBiasGrace) return;
        const double dt = 2.0 * double(m) / rate;
        const double droll = wrap180(after.roll - before.roll) / dt;
        const double dpitch = (after.pitch - before.pitch) / dt;
        const double dyaw = wrap180(after.yaw - before.yaw) / dt;
        const double body[3] = {droll - dyaw * std::sin(pitch),
                                dpitch * std::cos(roll) + dyaw * std::sin(roll) * std::cos(pitch),
                                dyaw * std::cos(roll) * std::cos(pitch) - dpitch * std::sin(roll)};
        Windowed<GyroAcc>& seg =
            (t_bias_command && k.t >= *t_bias_command) ? gyro_after : gyro_before;
        seg.add(sec, [&](GyroAcc& g) {
            for (int i = 0; i < 3; ++i)
                g.a[i].add(k.gyro[i] / scales.gyro_counts_per_dps - body[i], body[i]);
        });
    }

    void work_block(std::size_t begin, std::size_t size, std::size_t m, double rate) {
        // Still: roll, pitch, each accelerometer and gyroscope axis steady, no frame lost.
        double lo[8], hi[8];
        std::fill(lo, lo + 8, 1e300);
        std::fill(hi, hi + 8, -1e300);
        std::size_t full = 0;
        Vec3d field{};
        double yaw_ref = 0, yaw_sum = 0, yaw_lo = 0, yaw_hi = 0;
        for (std::size_t j = begin; j < begin + size; ++j) {
            const Tick& k = ticks[j];
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
        const double sa = scales.accel_counts_per_g, sg = scales.gyro_counts_per_dps;
        bool still = full * 4 >= size * 3 && ticks[begin].loss == ticks[begin + size - 1].loss;
        for (int i = 0; still && i < 8; ++i) {
            const double limit = i < 2 ? kStillAngle : i < 5 ? kStillAccel * sa : kStillGyro * sg;
            still = hi[i] - lo[i] <= limit;
        }
        if (still_from && (!still || ticks[begin].loss != still_loss)) still_from.reset();
        if (still) {
            if (!still_from) still_from = ticks[begin].t;
            still_to = ticks[begin + size - 1].t;
            still_loss = ticks[begin + size - 1].loss;
        }
        // Turned or moved (the gyroscope left out: its bias goes at the command) within the
        // time the board takes its gyroscope bias after the command: that bias is wrong.
        bool moved = full > 0 && yaw_hi - yaw_lo > kStillAngle;
        for (int i = 0; !moved && full > 0 && i < 5; ++i)
            moved = hi[i] - lo[i] > (i < 2 ? kStillAngle : kStillAccel * sa);
        if (moved && t_bias_command && !bias_moved_said && ticks[begin].t >= *t_bias_command &&
            ticks[begin + size - 1].t < *t_bias_command + kBiasGrace) {
            lines.push_back("Health: the board moved while it took its gyroscope bias (in the " +
                            num(kBiasGrace, 0) +
                            " s after Marked bias): lay it still and use Marked bias again");
            bias_moved_said = true;
        }
        for (std::size_t j = begin; j < begin + size; ++j)
            work_tick(j, still, m, rate);

        // Field while still: the field of each still block against the first of its run,
        // both turned into north-east-down axes (so a slow turn is not taken for a change).
        if (!still) {
            run_active = false;
            return;
        }
        for (double& f : field)
            f /= double(full);
        const double roll = (lo[0] + hi[0]) / 2, pitch = (lo[1] + hi[1]) / 2;
        const double yaw = wrap180(yaw_ref + yaw_sum / double(full));
        const Vec3d earth = ned_from_body(roll, pitch, yaw, field);
        const double strength = std::hypot(earth[0], earth[1], earth[2]);
        const bool same_pose = run_active && std::abs(roll - run_roll) < 2.0 &&
                               std::abs(pitch - run_pitch) < 2.0 &&
                               std::abs(wrap180(yaw - run_yaw)) < 2.0;
        if (!same_pose || strength <= 0) {
            run_active = strength > 0;
            run_field = earth;
            run_roll = roll, run_pitch = pitch, run_yaw = yaw;
            return;
        }
        const double change =
            std::hypot(earth[0] - run_field[0], earth[1] - run_field[1], earth[2] - run_field[2]);
        const double ref = std::hypot(run_field[0], run_field[1], run_field[2]);
        const auto sec = std::int64_t(std::floor(ticks[begin + size - 1].t));
        field_still.add(sec, [&](Max& x) { x.add(100.0 * change / ref); });
    }

    void work(double now) {
        const double rate = tick_rate();
        if (rate <= 0) return;
        const auto m = std::size_t(std::max(1L, std::lround(0.05 * rate)));
        const auto block = std::size_t(std::max(4L, std::lround(0.5 * rate)));
        while (next + block + m <= ticks.size()) {
            work_block(next, block, m, rate);
            next += block;
        }
        if (next > m) {
            ticks.erase(ticks.begin(), ticks.begin() + std::ptrdiff_t(next - m));
            next = m;
        }
        if (voxels_changed) {
            std::erase_if(voxels,
                          [&](const auto& kv) { return passes - kv.second.pass > kVoxelExpiry; });
            std::vector<Vec3d> points;
            points.reserve(voxels.size());
            for (const auto& [key, v] : voxels)
                points.push_back({v.s[0] / v.n, v.s[1] / v.n, v.s[2] / v.n});
            fit = fit_sphere(points);
            voxels_changed = false;
        }
    }

    void update_all(double t) {
        last_update = t;
        snapshot(t);
        take_gaps();
        work(t);
    }

    // ---- the figures ----

    std::vector<HealthFigure> figures(double now) const;
    void judge(double now);
};

std::vector<HealthFigure> HealthMonitor::Impl::figures(double now) const {
    std::vector<HealthFigure> out(kFigureCount);
    for (int i = 0; i < kFigureCount; ++i) {
        out[std::size_t(i)].id = FigureId(i);
        out[std::size_t(i)].group = figure_group(FigureId(i));
        out[std::size_t(i)].name = figure_name(FigureId(i));
    }
    if (snaps.empty()) return out;
    auto fig = [&](FigureId id) -> HealthFigure& { return out[std::size_t(id)]; };

    const auto [rc, rspan] = recent_counters(now);
    const ReceiverCounters tc = minus(counters, base.c); // counts since connect
    const auto [tr, tspan] = rate_counters(now);         // rates since connect
    const double rate = tick_rate();
    const double tick = rate > 0 ? 1.0 / rate : kNaN;
    const bool bytes_flow = now - last_bytes_t < kSilence;

    // Link: rates.
    auto per_s = [](std::uint64_t n, double span) { return span > 0 ? double(n) / span : kNaN; };
    {
        HealthFigure& f = fig(FigureId::bytes_rate);
        f.recent = num(per_s(rc.bytes, rspan), 0) + " B/s";
        f.total = num(per_s(tr.bytes, tspan), 0) + " B/s";
        f.state = f.total_state = bytes_flow ? HealthState::good : HealthState::bad;
        shown(f, per_s(rc.bytes, rspan), per_s(tr.bytes, tspan), "B/s");
        f.thresholds = "bad: no byte for " + num(kSilence, 0) + " s";
        if (!bytes_flow)
            f.meaning = "nothing arrives: board not powered, cable unplugged or the wrong port";
    }
    const struct {
        FigureId id;
        std::uint64_t rn, tn;
        double last;
        std::string_view what;
    } frame_rates[] = {
        {FigureId::attitude_rate, rc.attitude_frames, tr.attitude_frames, last_att_t, "attitude"},
        {FigureId::sensor_rate, rc.sensor_frames, tr.sensor_frames, last_sensor_t, "raw sensor"},
    };
    for (const auto& r : frame_rates) {
        HealthFigure& f = fig(r.id);
        f.recent = num(per_s(r.rn, rspan), 1) + " /s";
        f.total = num(per_s(r.tn, tspan), 1) + " /s";
        shown(f, per_s(r.rn, rspan), per_s(r.tn, tspan), "/s");
        const bool missing = now - r.last >= kSilence;
        f.state = !bytes_flow ? HealthState::none : missing ? HealthState::bad : HealthState::good;
        f.total_state = f.state;
        f.thresholds = "bad: none for " + num(kSilence, 0) + " s while bytes arrive";
        if (f.state == HealthState::bad)
            f.meaning = "bytes arrive but no " + std::string(r.what) +
                        " frames: wrong baud rate, or a board that sends something else";
    }
    {
        HealthFigure& f = fig(FigureId::other_rate);
        f.recent = num(per_s(rc.other_frames, rspan), 1) + " /s";
        f.total = num(per_s(tr.other_frames, tspan), 1) + " /s";
        shown(f, per_s(rc.other_frames, rspan), per_s(tr.other_frames, tspan), "/s");
        f.state = rc.other_frames == 0 ? HealthState::good : HealthState::doubtful;
        f.total_state = tc.other_frames == 0 ? HealthState::good : HealthState::doubtful;
        f.thresholds = "good: none";
        if (f.state == HealthState::doubtful)
            f.meaning = "frames of types Zento does not show: other firmware, or noise that "
                        "happens to look like frames";
    }
    {
        HealthFigure& f = fig(FigureId::solution_rate);
        judge_stat(
            f, sol_rate.recent(now), sol_rate.total(), 1,
            [](const Acc& a) { return a.mean() <= 0 ? 1.0 : 0.0; },
            [](const Acc& a) { return num(a.mean(), 0) + " /s"; }, 0.5, 0.5);
        shown(
            f, sol_rate.recent(now), sol_rate.total(), [](const Acc& a) { return a.mean(); }, "/s");
        f.thresholds = "bad: 0";
        problem(f, "the board's attitude solution has stopped");
    }
    // Link: errors, each as a share of frames.
    const struct {
        FigureId id;
        std::uint64_t rn, tn;
        const char* meaning;
    } errors[] = {
        {FigureId::checksum_errors, rc.checksum_errors, tc.checksum_errors,
         "bytes are changed on the way: loose cable, electrical noise or a wrong baud rate"},
        {FigureId::broken_frames, rc.broken_frames, tc.broken_frames,
         "bytes are lost or added on the way: loose cable, a line that drops bytes or a wrong "
         "baud rate"},
        {FigureId::overflows, rc.overflows, tc.overflows,
         "the program read the port too late and bytes were thrown away: the computer is too "
         "busy"},
    };
    for (const auto& e : errors) {
        HealthFigure& f = fig(e.id);
        auto text = [](std::uint64_t n, std::uint64_t frames) {
            return count_text(n) + " (" + num(percent(n, frames), 2) + " % of frames)";
        };
        auto judge_err = [&](std::uint64_t n, std::uint64_t frames) {
            if (e.id == FigureId::overflows) return n > 0 ? HealthState::bad : HealthState::good;
            if (n + frames == 0) return HealthState::none;
            const double share = 100.0 * double(n) / double(std::max<std::uint64_t>(frames, 1));
            if (share > kErrBad && double(n) >= kErrBadMinCount) return HealthState::bad;
            return share > kErrGood ? HealthState::doubtful : HealthState::good;
        };
        f.recent = text(e.rn, rc.frames());
        f.total = text(e.tn, tc.frames());
        if (e.id == FigureId::overflows)
            shown(f, double(e.rn), double(e.tn), "count");
        else
            shown(f, percent(e.rn, rc.frames()), percent(e.tn, tc.frames()), "% of frames");
        f.state = judge_err(e.rn, rc.frames());
        f.total_state = judge_err(e.tn, tc.frames());
        f.thresholds = e.id == FigureId::overflows
                           ? "good: none, bad: any"
                           : limits(kErrGood, kErrBad, " %", 1) + " of frames";
        if (f.state != HealthState::good && f.state != HealthState::none) f.meaning = e.meaning;
    }
    {
        HealthFigure& f = fig(FigureId::skipped_bytes);
        auto per_frame = [](std::uint64_t n, std::uint64_t frames) {
            return frames == 0 ? std::nan("") : double(n) / double(frames);
        };
        auto judge_skip = [&](std::uint64_t n, std::uint64_t frames) {
            const double p = double(n) / double(std::max<std::uint64_t>(frames, 1));
            if (p > kSkipBad && double(n) >= kSkipBadMinCount) return HealthState::bad;
            return p > kSkipGood ? HealthState::doubtful : HealthState::good;
        };
        f.recent = count_text(rc.skipped_bytes) + " (" +
                   num(per_frame(rc.skipped_bytes, rc.frames()), 2) + " per frame)";
        f.total = count_text(tc.skipped_bytes) + " (" +
                  num(per_frame(tc.skipped_bytes, tc.frames()), 2) + " per frame)";
        shown(f, per_frame(rc.skipped_bytes, rc.frames()), per_frame(tc.skipped_bytes, tc.frames()),
              "bytes per frame");
        f.state = judge_skip(rc.skipped_bytes, rc.frames());
        f.total_state = judge_skip(tc.skipped_bytes, tc.frames());
        f.thresholds = limits(kSkipGood, kSkipBad, "", 1) + " per frame";
        if (f.state != HealthState::good)
            f.meaning = "bytes arrive that belong to no frame: wrong baud rate, or noise on "
                        "the line";
    }
    // Link: gaps between attitude frames.
    {
        // At least these, and for a slow board a number of its frame intervals.
        const double t_frame = std::isnan(tick) ? 0 : tick;
        const double good_p99 = std::max(0.15, 2.5 * t_frame);
        const double bad_p99 = std::max(0.3, 5 * t_frame);
        const double good_long = std::max(0.5, 8 * t_frame);
        const double bad_long = std::max(1.0, 16 * t_frame);
        std::vector<float> g;
        g.reserve(gap_ring.size());
        double rmax = 0;
        std::size_t all = 0;
        for (const Gap& x : gap_ring) {
            if (x.t <= now - kWindow) continue;
            if (x.clean) g.push_back(x.gap);
            rmax = std::max(rmax, double(x.gap));
            ++all;
        }
        HealthFigure& f = fig(FigureId::frame_gaps);
        HealthFigure& l = fig(FigureId::longest_gap);
        auto ms = [](double s) { return num(1000.0 * s, 0) + " ms"; };
        double p99 = kNaN;
        if (!g.empty()) {
            const auto mid = g.begin() + std::ptrdiff_t(g.size() / 2);
            std::nth_element(g.begin(), mid, g.end());
            const double median = *mid;
            const auto k = std::size_t(std::ceil(0.99 * double(g.size()))) - 1;
            std::nth_element(g.begin(), g.begin() + std::ptrdiff_t(k), g.end());
            p99 = g[k];
            f.recent = "median " + ms(median) + ", p99 " + ms(p99);
        }
        if (all > 0) l.recent = ms(rmax);
        if (any_att) l.total = ms(gap_max);
        double tp99 = kNaN;
        if (gap_count > 0) {
            auto quantile = [&](double q) {
                const auto want = std::uint64_t(std::ceil(q * double(gap_count)));
                std::uint64_t seen = 0;
                for (int b = 0; b < kGapBins; ++b)
                    if ((seen += gap_hist[std::size_t(b)]) >= want)
                        return std::min(gap_bin_top(b), gap_max);
                return gap_max;
            };
            tp99 = quantile(0.99);
            f.total = "median ≈ " + ms(quantile(0.5)) + ", p99 ≈ " + ms(tp99);
        }
        shown(f, p99 * 1000, tp99 * 1000, "ms");
        shown(l, all > 0 ? rmax * 1000 : kNaN, any_att ? gap_max * 1000 : kNaN, "ms");
        const bool enough = g.size() >= 10;
        f.state = enough ? grade(p99, good_p99, bad_p99) : HealthState::none;
        f.total_state = gap_count >= 10 ? grade(tp99, good_p99, bad_p99) : HealthState::none;
        f.thresholds = "p99 " + limits(1000 * good_p99, 1000 * bad_p99, " ms", 0);
        problem(f, "frames arrive in bursts: a USB adapter or the board's firmware "
                   "holds them back");
        l.state = all > 0 ? grade(rmax, good_long, bad_long) : HealthState::none;
        l.total_state = any_att ? grade(gap_max, good_long, bad_long) : HealthState::none;
        l.thresholds = limits(good_long, bad_long, " s", 1);
        problem(l, "the stream stopped for a while: loose cable or connector");
    }
    {
        HealthFigure& f = fig(FigureId::line_use);
        const double capacity = baud > 0 ? double(baud) / 10.0 : kNaN; // bytes per second
        const double r = 100.0 * per_s(rc.bytes, rspan) / capacity;
        const double t = 100.0 * per_s(tr.bytes, tspan) / capacity;
        f.recent = baud > 0 ? num(r, 1) + " % of " + std::to_string(baud) + " baud" : "";
        f.total = baud > 0 ? num(t, 1) + " %" : "";
        shown(f, r, t, "%");
        f.state = grade(r, kLineGood, kLineBad);
        f.total_state = grade(t, kLineGood, kLineBad);
        f.thresholds = limits(kLineGood, kLineBad, " %", 0) + " (10 bits a byte)";
        if (f.state == HealthState::doubtful)
            f.meaning = "the line is nearly full: frames wait, or are lost on the board";
        if (f.state == HealthState::bad)
            f.meaning = "more bytes than this baud rate can carry: the baud rate set here is "
                        "not the line's";
    }

    // Board and sensors.
    {
        HealthFigure& f = fig(FigureId::board_still);
        judge_stat(
            f, still_share.recent(now), still_share.total(), kNever, [](const Acc&) { return 0.0; },
            [](const Acc& a) { return num(100 * a.mean(), 0) + " % of the time"; }, 0, 0);
        shown(
            f, still_share.recent(now), still_share.total(),
            [](const Acc& a) { return 100 * a.mean(); }, "% of the time");
        f.thresholds = "still: roll, pitch within " + num(kStillAngle, 1) + "°, |a| within " +
                       num(kStillAccel, 2) + " g, rates within " + num(kStillGyro, 1) +
                       " °/s for 0.5 s";
    }
    {
        const Acc r = anorm.recent(now), t = anorm.total();
        HealthFigure& f = fig(FigureId::accel_norm);
        judge_stat(
            f, r, t, 10, [](const Acc& a) { return std::abs(a.mean() - 1.0); },
            [](const Acc& a) { return num(a.mean(), 3) + " g"; }, kAccNormGood, kAccNormBad);
        shown(
            f, r, t, [](const Acc& a) { return a.mean(); }, "g");
        f.thresholds = "good within 1 ± " + num(kAccNormGood, 2) + " g, bad beyond 1 ± " +
                       num(kAccNormBad, 2) + " g";
        problem(f, "the accelerometer's scale setting is not the board's, or the accelerometer "
                   "is off");
        HealthFigure& v = fig(FigureId::vibration);
        judge_stat(
            v, r, t, 10, [](const Acc& a) { return a.sd(); },
            [](const Acc& a) { return num(a.sd(), 3) + " g"; }, kVibGood, kVibBad);
        shown(
            v, r, t, [](const Acc& a) { return a.sd(); }, "g");
        v.thresholds = limits(kVibGood, kVibBad, " g", 2);
        problem(v, "strong vibration, or the board is being shaken");
    }
    {
        // Roll and pitch errors together: the statistic is the pair.
        struct Tilt {
            Acc roll, pitch;
            double n = 0;
        };
        const Tilt r{roll_err.recent(now), pitch_err.recent(now), roll_err.recent(now).n};
        const Tilt t{roll_err.total(), pitch_err.total(), roll_err.total().n};
        HealthFigure& f = fig(FigureId::tilt);
        judge_stat(
            f, r, t, 5, [](const Tilt& a) { return std::hypot(a.roll.rms(), a.pitch.rms()); },
            [](const Tilt& a) {
                return num(std::hypot(a.roll.rms(), a.pitch.rms()), 1) + "° (roll " +
                       signed_num(a.roll.mean(), 1) + "°, pitch " + signed_num(a.pitch.mean(), 1) +
                       "°)";
            },
            kTiltGood, kTiltBad);
        shown(
            f, r, t, [](const Tilt& a) { return std::hypot(a.roll.rms(), a.pitch.rms()); }, "°");
        f.thresholds = limits(kTiltGood, kTiltBad, "°", 0);
        if (r.n == 0) f.meaning = kOnlyStill;
        problem(f, "the accelerometer is off (an offset), or the board's attitude does not come "
                   "from this accelerometer");
    }
    {
        const Acc r = bnorm.recent(now), t = bnorm.total();
        HealthFigure& f = fig(FigureId::mag_norm);
        // Distance outside the good range, against the distance to the bad limits.
        judge_stat(
            f, r, t, 10,
            [](const Acc& a) {
                const double m = a.mean();
                if (m < kMagLowBad || m > kMagHighBad) return 2.0;
                return (m < kMagLow || m > kMagHigh) ? 1.0 : 0.0;
            },
            [](const Acc& a) { return num(a.mean(), 3) + " G"; }, 0.5, 1.5);
        shown(
            f, r, t, [](const Acc& a) { return a.mean(); }, "G");
        f.thresholds = "good " + num(kMagLow, 1) + " to " + num(kMagHigh, 1) + " G, bad below " +
                       num(kMagLowBad, 1) + " or above " + num(kMagHighBad, 1) + " G";
        problem(f, "far from the earth's field (0.25 to 0.65 G): the magnetometer's scale "
                   "setting is not the board's, or a magnet is near");
        HealthFigure& s = fig(FigureId::mag_spread);
        auto spread = [](const Acc& a) { return 100.0 * a.sd() / a.mean(); };
        judge_stat(
            s, r, t, 10, spread, [&](const Acc& a) { return num(spread(a), 1) + " %"; },
            kMagSpreadGood, kMagSpreadBad);
        shown(s, r, t, spread, "%");
        s.thresholds = limits(kMagSpreadGood, kMagSpreadBad, " %", 0);
        problem(s, "the field's strength changes as the board turns or with time: uncalibrated "
                   "magnetometer (hard iron), or a magnetic disturbance");
    }
    {
        HealthFigure& f = fig(FigureId::dip);
        judge_stat(
            f, dip.recent(now), dip.total(), 5, [](const Acc& a) { return a.sd(); },
            [](const Acc& a) { return num(a.mean(), 1) + "° (spread " + num(a.sd(), 1) + "°)"; },
            kDipSpreadGood, kNever);
        shown(
            f, dip.recent(now), dip.total(), [](const Acc& a) { return a.mean(); }, "°");
        f.thresholds = "good: spread ≤ " + num(kDipSpreadGood, 0) +
                       "° (the angle itself depends on where you are)";
        problem(f, "the dip changes between poses: uncalibrated magnetometer, a disturbance, or "
                   "the accelerometer is off");
    }
    {
        HealthFigure& f = fig(FigureId::heading);
        judge_stat(
            f, heading.recent(now), heading.total(), 10, [](const Acc& a) { return a.rms(); },
            [](const Acc& a) {
                return num(a.rms(), 1) + "° (mean " + signed_num(a.mean(), 1) + "°)";
            },
            kHeadingGood, kHeadingBad);
        shown(
            f, heading.recent(now), heading.total(), [](const Acc& a) { return a.rms(); }, "°");
        f.thresholds = "RMS " + limits(kHeadingGood, kHeadingBad, "°", 0);
        problem(f, "uncalibrated magnetometer (hard iron) or a magnetic disturbance");
    }
    {
        HealthFigure& f = fig(FigureId::field_while_still);
        const Max r = field_still.recent(now);
        judge_stat(
            f, r, field_still.total(), 1, [](const Max& m) { return m.v; },
            [](const Max& m) { return num(m.v, 1) + " % of |B|"; }, kStillFieldGood,
            kStillFieldBad);
        shown(
            f, r, field_still.total(), [](const Max& m) { return m.v; }, "% of |B|");
        f.thresholds = limits(kStillFieldGood, kStillFieldBad, " %", 0);
        if (r.n == 0) f.meaning = kOnlyStill;
        problem(f, "a magnetic disturbance: motors, cables with current, a laptop or "
                   "loudspeaker nearby");
    }
    {
        HealthFigure& h = fig(FigureId::hard_iron);
        HealthFigure& c = fig(FigureId::directions);
        HealthFigure& r = fig(FigureId::fit_residual);
        const double sm = scales.mag_counts_per_gauss;
        c.thresholds = "good ≥ " + num(kCoverageGood, 0) +
                       " %, less: not yet (the offset is judged from " + num(kCoverageTrust, 0) +
                       " %)";
        h.thresholds = limits(kHardIronGood, kHardIronBad, " % of |B|", 0);
        r.thresholds = limits(kResidualGood, kResidualBad, " % of |B|", 0);
        if (fit) {
            const double cover = 100.0 * fit->coverage;
            const double off = std::hypot(fit->center[0], fit->center[1], fit->center[2]);
            const double share = 100.0 * off / fit->radius;
            const double resid = 100.0 * fit->residual / fit->radius;
            const bool trusted = cover >= kCoverageTrust;
            c.total = num(cover, 0) + " %";
            shown(c, kNaN, cover, "%");
            shown(h, kNaN, off / sm, "G");
            shown(r, kNaN, resid, "% of |B|");
            c.state = c.total_state =
                cover >= kCoverageGood ? HealthState::good : HealthState::not_yet;
            if (c.state == HealthState::not_yet)
                c.meaning = "turn the board through more directions (every heading, tilted both "
                            "ways) to calibrate";
            h.total = num(off / sm, 3) + " G, " + num(share, 0) + " % of |B| (" +
                      num(fit->center[0], 0) + ", " + num(fit->center[1], 0) + ", " +
                      num(fit->center[2], 0) + " counts)";
            r.total = num(resid, 1) + " % of |B|";
            r.state = r.total_state =
                trusted ? grade(resid, kResidualGood, kResidualBad) : HealthState::none;
            problem(r, "the readings do not lie on a sphere: a magnetic disturbance while "
                       "they were taken, or soft iron");
            if (!trusted) {
                h.meaning = "not enough directions yet";
            } else if (resid > kResidualGood) {
                h.state = HealthState::doubtful;
                h.meaning = "the fit is poor (see the residual), so the offset is uncertain";
            } else {
                h.state = grade(share, kHardIronGood, kHardIronBad);
                if (h.state != HealthState::good)
                    h.meaning = "the magnetometer needs calibrating (hard iron): subtract the "
                                "offset shown";
            }
            h.total_state = h.state;
        } else {
            c.total = "0 %";
            shown(c, kNaN, 0, "%");
            h.unit = "G";
            r.unit = "% of |B|";
            c.state = c.total_state = HealthState::not_yet;
            c.meaning = "turn the board through every heading, tilted both ways";
            h.meaning = "not enough directions yet";
        }
    }
    {
        HealthFigure& b = fig(FigureId::gyro_bias);
        HealthFigure& g = fig(FigureId::gyro_rates);
        const bool commanded = t_bias_command.has_value();
        const GyroAcc ra = gyro_after.recent(now), rb = gyro_before.recent(now);
        const GyroAcc& ta = gyro_after.total();
        const GyroAcc& tb = gyro_before.total();
        const double enough = std::max(10.0, 0.5 * (std::isnan(rate) ? 20 : rate));
        auto text = [](const GyroAcc& g) {
            return g.n() > 0 ? num(g.bias(), 2) + " °/s (" + signed_num(g.a[0].mean(), 2) + ", " +
                                   signed_num(g.a[1].mean(), 2) + ", " +
                                   signed_num(g.a[2].mean(), 2) + ")"
                             : std::string();
        };
        auto judge_bias = [&](const GyroAcc& a) {
            if (a.n() < enough) return HealthState::none;
            if (commanded) return grade(a.bias(), kBiasGood, kBiasBad);
            return a.bias() <= kBiasGood ? HealthState::good : HealthState::not_yet;
        };
        const GyroAcc& rcur = commanded ? ra : rb;
        const GyroAcc& tcur = commanded ? ta : tb;
        b.recent = text(rcur);
        b.total = text(tcur);
        if (commanded && tb.n() > 0)
            b.total += "; before Marked bias " + num(tb.bias(), 2) + " °/s";
        shown(b, rcur.n() > 0 ? rcur.bias() : kNaN, tcur.n() > 0 ? tcur.bias() : kNaN, "°/s");
        b.state = judge_bias(rcur);
        b.total_state = judge_bias(tcur);
        b.thresholds = limits(kBiasGood, kBiasBad, " °/s", 1) +
                       " after Marked bias (before it, above " + num(kBiasGood, 1) +
                       " is not judged yet)";
        if (b.state == HealthState::not_yet)
            b.meaning = "bias not collected yet: lay the board still and use \"Marked bias\"";
        else if (b.state == HealthState::doubtful || b.state == HealthState::bad)
            b.meaning = "the bias is still there after \"Marked bias\": the board did not "
                        "collect it (was it still?)";

        // The rates' disagreement: RMS about each segment's own mean (the bias), pooled; and
        // the gain of the gyroscope against the attitude's rates (1 when the scale is right),
        // judged when the board turned enough to tell.
        struct Agreement {
            double n = 0, rms = kNaN, gain = kNaN, excitation = kNaN;
        };
        auto agreement = [](const GyroAcc& x, const GyroAcc& y) {
            Agreement r;
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
        };
        auto agree_text = [](const Agreement& a) {
            return a.n > 0 ? num(a.rms, 2) + " °/s, gain " + num(a.gain, 2) : std::string();
        };
        auto judge_agree = [&](const Agreement& a) {
            if (a.n < enough) return HealthState::none;
            const bool excited = a.excitation >= kRatesExcited;
            const double gain_err = excited ? std::abs(a.gain - 1.0) : 0.0;
            if (a.rms > kRatesBad || gain_err > kGainBad) return HealthState::bad;
            if (a.rms <= kRatesGood && gain_err <= kGainGood) return HealthState::good;
            return HealthState::doubtful;
        };
        const Agreement ragree = agreement(ra, rb), tagree = agreement(ta, tb);
        g.recent = agree_text(ragree);
        g.total = agree_text(tagree);
        shown(
            g, ragree, tagree, [](const Agreement& a) { return a.rms; }, "°/s");
        g.state = judge_agree(ragree);
        g.total_state = judge_agree(tagree);
        g.thresholds = "RMS " + limits(kRatesGood, kRatesBad, " °/s", 0) +
                       "; gain good within 1 ± " + num(kGainGood, 2) + ", bad beyond 1 ± " +
                       num(kGainBad, 2);
        problem(g, "the gyroscope's scale setting is not the board's, or its axes are not "
                   "the board's X forward, Y right, Z down");
    }
    return out;
}

namespace {
// The "Health: " line for a figure that turned bad.
std::string bad_line(const HealthFigure& f) {
    switch (f.id) {
    case FigureId::bytes_rate:
        return "Health: nothing arrives from the board (power, cable or port?)";
    case FigureId::attitude_rate:
        return "Health: bytes arrive but no attitude frames (wrong baud rate?)";
    case FigureId::sensor_rate:
        return "Health: bytes arrive but no raw sensor frames (wrong baud rate?)";
    case FigureId::solution_rate:
        return "Health: the board reports no attitude solutions";
    case FigureId::checksum_errors:
        return "Health: frames fail their checksum, " + f.recent +
               " (loose cable, noise or wrong baud rate?)";
    case FigureId::broken_frames:
        return "Health: bytes are lost on the line, broken frames " + f.recent + " (loose cable?)";
    case FigureId::skipped_bytes:
        return "Health: bytes arrive that belong to no frame, " + f.recent + " (wrong baud rate?)";
    case FigureId::overflows:
        return "Health: the port's receive buffer overflowed (the computer is too busy?)";
    case FigureId::frame_gaps:
        return "Health: attitude frames arrive in bursts, " + f.recent + " between them";
    case FigureId::longest_gap:
        return "Health: the stream stopped for " + f.recent + " (loose cable?)";
    case FigureId::line_use:
        return "Health: more bytes arrive than the set baud rate can carry, " + f.recent +
               " (is the baud rate right?)";
    case FigureId::accel_norm:
        return "Health: the accelerometer reads " + f.recent +
               " instead of 1 g (scale setting, or accelerometer off?)";
    case FigureId::vibration:
        return "Health: strong vibration, |a| varies by " + f.recent;
    case FigureId::tilt:
        return "Health: the accelerometer's tilt differs from the reported roll and pitch by " +
               f.recent + " while still (accelerometer off?)";
    case FigureId::mag_norm:
        return "Health: the magnetic field reads " + f.recent +
               ", far from the earth's (scale setting, or a magnet near?)";
    case FigureId::mag_spread:
        return "Health: the magnetic field's strength varies by " + f.recent +
               " (uncalibrated magnetometer or disturbance?)";
    case FigureId::heading:
        return "Health: the magnetic heading differs from the reported yaw by " + f.recent +
               " (uncalibrated magnetometer or disturbance?)";
    case FigureId::field_while_still:
        return "Health: magnetic field changes while the board is still (disturbance?)";
    case FigureId::hard_iron:
        return "Health: the magnetometer needs calibrating, hard-iron offset " + f.total;
    case FigureId::fit_residual:
        return "Health: the magnetometer's readings do not lie on a sphere, residual " + f.total +
               " (disturbance?)";
    case FigureId::gyro_bias:
        return "Health: the gyroscope bias is still there after Marked bias, " + f.recent +
               " (was the bias collected?)";
    case FigureId::gyro_rates:
        return "Health: the gyroscope's rates differ from the reported attitude's rate of change "
               "by " +
               f.recent + " (gyroscope scale setting?)";
    default:
        return "Health: " + std::string(f.name) + " is bad (" + f.recent + ")";
    }
}
} // namespace

void HealthMonitor::Impl::judge(double now) {
    if (now - t_connect < kWarmUp) return;
    for (const HealthFigure& f : figures(now)) {
        LogState& l = log[std::size_t(f.id)];
        if (f.state != HealthState::good)
            l.good_since = -1.0;
        else if (l.good_since < 0)
            l.good_since = now;
        if (f.state == HealthState::bad && !l.reported_bad) {
            if (now - l.last_line < kLogRepeat) continue;
            lines.push_back(bad_line(f));
            l.last_line = now;
            l.reported_bad = true;
        } else if (l.reported_bad && l.good_since >= 0 && now - l.good_since >= kRecovered) {
            // Good for a whole window: a figure near its threshold does not chatter.
            const std::string& value = f.recent.empty() ? f.total : f.recent;
            lines.push_back("Health: " + std::string(f.name) + " is good again (" + value + ")");
            l.reported_bad = false;
        }
    }
}

// ---- HealthMonitor ----

HealthMonitor::HealthMonitor(HealthScales scales) : d_(std::make_unique<Impl>(scales)) {}
HealthMonitor::~HealthMonitor() = default;

void HealthMonitor::connected(double t, int baud) {
    d_->start(t, baud);
}

void HealthMonitor::disconnected(double t) {
    if (!d_->connected) return;
    d_->update_all(t);
    d_->connected = false;
    d_->t_disconnect = t;
}

void HealthMonitor::set_baud(int baud) {
    d_->baud = baud;
}

void HealthMonitor::set_scales(const HealthScales& s) {
    if (s == d_->scales) return;
    d_->scales = s;
    d_->clear_sensors();
}

const HealthScales& HealthMonitor::scales() const {
    return d_->scales;
}

void HealthMonitor::batch(const TelemetryBatch& b) {
    Impl& d = *d_;
    d.counters = b.counters;
    d.frame_interval = b.frame_interval;
    if (!d.connected) return;
    const double t = link_seconds(b.time_ns);
    for (const TelemetryFrame& f : b.frames) {
        if (f.type == TelemetryFrame::Type::attitude)
            d.on_attitude(t, link_seconds(f.time_ns), f.attitude, f.loss);
        else
            d.on_sensor(t, link_seconds(f.time_ns), f.sensor, f.loss);
    }
    if (d.counters.bytes != d.last_bytes) {
        d.last_bytes = d.counters.bytes;
        d.last_bytes_t = t;
    }
    d.snapshot(t);
}

void HealthMonitor::bias_command(double t) {
    if (!d_->connected) return;
    // Frames are put before or after the command by their own time, whenever worked.
    d_->t_bias_command = t;
    d_->bias_moved_said = false;
    d_->gyro_after.merge_into(d_->gyro_before);
    d_->gyro_after.clear();
}

void HealthMonitor::update(double t, bool force) {
    Impl& d = *d_;
    if (!d.connected) return;
    if (!force && t - d.last_update < kUpdateEvery) return;
    d.update_all(t);
    d.judge(t);
}

std::vector<std::string> HealthMonitor::poll(double t) {
    update(t);
    return std::exchange(d_->lines, {});
}

double HealthMonitor::still_seconds(double t) {
    update(t);
    const Impl& d = *d_;
    return d.connected && d.still_from ? d.still_to - *d.still_from : 0.0;
}

HealthReport HealthMonitor::report(double t) {
    update(t);
    const Impl& d = *d_;
    HealthReport r;
    const double now = d.now_of(t);
    r.connected = d.connected;
    r.seconds = d.snaps.empty() ? 0 : now - d.t_connect;
    r.baud = d.baud;
    r.scales = d.scales;
    r.figures = d.figures(now);
    r.fit = d.fit;
    return r;
}

} // namespace zento
