#include "statistics/interval_stats.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <deque>

namespace zento {
namespace {

constexpr double kGravity = 9.80665;          // m/s^2 per g
constexpr double kFlickerFloor = 0.664;       // sigma_min / B (IEEE Std 952)
constexpr double kLagWindowSeconds = 2.0;     // W
constexpr double kLagTolerancePeriods = 1.5;  // a silence: the lag rose by more than this ...
constexpr double kLagToleranceSeconds = 0.01; // ... and more than this
constexpr int kPeriodRounds = 5;

const std::array<StatsChannel, kStatsChannels> kStatsChannelList = {{
    {"accel_x", "g", "accel_x_g", Quantity::acceleration},
    {"accel_y", "g", "accel_y_g", Quantity::acceleration},
    {"accel_z", "g", "accel_z_g", Quantity::acceleration},
    {"gyro_x", "deg/s", "gyro_x_dps", Quantity::rate},
    {"gyro_y", "deg/s", "gyro_y_dps", Quantity::rate},
    {"gyro_z", "deg/s", "gyro_z_dps", Quantity::rate},
    {"mag_x", "gauss", "mag_x_gauss", Quantity::field},
    {"mag_y", "gauss", "mag_y_gauss", Quantity::field},
    {"mag_z", "gauss", "mag_z_gauss", Quantity::field},
    {"yaw", "deg", "", Quantity::angle},
    {"pitch", "deg", "", Quantity::angle},
    {"roll", "deg", "", Quantity::angle},
}};

// Six significant digits, "." always, no "-0".
std::string num(double v) {
    if (v == 0) v = 0;
    char buf[32];
    return {buf, std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6).ptr};
}

std::string interval_text(double from, double to) {
    const bool a = std::isfinite(from), b = std::isfinite(to);
    if (a && b) return "between " + num(from) + " s and " + num(to) + " s";
    if (a) return "from " + num(from) + " s on";
    if (b) return "up to " + num(to) + " s";
    return "in the recording";
}

// Sum of (last - first time) over sum of (frames - 1); 0 when that is not a positive time.
double pooled_period(const std::vector<double>& t, const std::vector<Stretch>& stretches) {
    double span = 0, steps = 0;
    for (const Stretch& s : stretches)
        if (s.size() >= 2) {
            span += t[s.end - 1] - t[s.begin];
            steps += double(s.size() - 1);
        }
    return steps > 0 && span > 0 ? span / steps : 0.0;
}

// Splits each run where the stream fell behind its frame count (see the header).
std::vector<Stretch> split_silences(const std::vector<double>& t, const std::vector<Stretch>& runs,
                                    double T) {
    std::vector<Stretch> out;
    const double tol = std::max(kLagTolerancePeriods * T, kLagToleranceSeconds);
    std::vector<double> lag, after;
    for (const Stretch& r : runs) {
        const std::size_t n = r.size();
        const std::size_t W =
            std::size_t(std::clamp(std::ceil(kLagWindowSeconds / T), 4.0, double(n) + 1));
        lag.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            lag[i] = t[r.begin + i] - double(i) * T;
        // after[i]: the smallest lag of frames i .. i+W-1 (a window sliding from the end).
        after.resize(n);
        std::deque<std::size_t> q;
        for (std::size_t i = n; i-- > 0;) {
            while (!q.empty() && lag[q.back()] >= lag[i])
                q.pop_back();
            q.push_back(i);
            while (q.front() >= i + W)
                q.pop_front();
            after[i] = lag[q.front()];
        }
        // The W frames before i, not reaching back past the current stretch's start.
        q.clear();
        std::size_t start = 0;
        for (std::size_t i = 1; i < n; ++i) {
            while (!q.empty() && lag[q.back()] >= lag[i - 1])
                q.pop_back();
            q.push_back(i - 1);
            while (q.front() + W < i || q.front() < start)
                q.pop_front();
            if (after[i] - lag[q.front()] > tol) {
                out.push_back({r.begin + start, r.begin + i});
                start = i;
                q.clear();
            }
        }
        out.push_back({r.begin + start, r.end});
    }
    return out;
}

// The frames of a series within [from, to], its stretches and period.
KindStats find_stretches(const FrameSeries& s, double from, double to, std::string_view what,
                         const std::string& where, std::uint64_t lost) {
    KindStats k;
    const std::vector<double>& t = s.time;
    std::size_t b = 0;
    while (b < t.size() && !(t[b] >= from))
        ++b;
    std::size_t e = b;
    while (e < t.size() && t[e] <= to)
        ++e;
    k.frames = e - b;
    const std::string kind(what);
    if (k.frames == 0) {
        k.problem = lost != 0 ? "no " + kind + " frame " + where + " arrived whole (" +
                                    std::to_string(lost) + " frames lost)"
                              : "no " + kind + " frames " + where;
        return k;
    }
    if (k.frames == 1) {
        k.problem = "only one " + kind + " frame " + where + ": at least two are needed";
        return k;
    }
    // Runs between the breaks the receiver's counts made.
    std::vector<Stretch> runs;
    std::size_t at = b;
    for (auto it = std::upper_bound(s.breaks.begin(), s.breaks.end(), b);
         it != s.breaks.end() && *it < e; ++it) {
        runs.push_back({at, *it});
        at = *it;
    }
    runs.push_back({at, e});
    double T = pooled_period(t, runs);
    if (T <= 0) {
        const bool pairs =
            std::any_of(runs.begin(), runs.end(), [](const Stretch& r) { return r.size() >= 2; });
        k.problem = "the " + std::to_string(k.frames) + " " + kind + " frames " + where +
                    (pairs ? " arrived at one time" : " have a frame lost between every two") +
                    ": their sample rate cannot be told";
        return k;
    }
    k.stretches = runs;
    for (int round = 0; round < kPeriodRounds; ++round) {
        std::vector<Stretch> st = split_silences(t, runs, T);
        const double T2 = pooled_period(t, st);
        if (T2 <= 0) break;
        const bool same = st.size() == k.stretches.size() && std::abs(T2 - T) <= 1e-9 * T;
        k.stretches = std::move(st);
        T = T2;
        if (same) break;
    }
    k.period = T;
    return k;
}

double counts_per_unit(int c, const HealthScales& sc) {
    switch (kStatsChannelList[std::size_t(c)].quantity) {
    case Quantity::acceleration:
        return sc.accel_counts_per_g;
    case Quantity::rate:
        return sc.gyro_counts_per_dps;
    case Quantity::field:
        return sc.mag_counts_per_gauss;
    case Quantity::angle:
        return 10.0; // the attitude frame's words count 0.1 degree
    }
    return 1.0;
}

// Mean, spread and extremes of readings [b, e) (counts, or degrees for the angles), divided
// into physical units.
void describe(ChannelStats& cs, std::span<const float> raw, std::size_t b, std::size_t e,
              bool wraps, double T, double divisor) {
    std::vector<double> v(raw.begin() + std::ptrdiff_t(b), raw.begin() + std::ptrdiff_t(e));
    if (wraps)
        for (std::size_t i = 1; i < v.size(); ++i) {
            const double d = std::remainder(v[i] - v[i - 1], 360.0); // within +-180
            v[i] = v[i - 1] + d;
        }
    double sum = 0, lo = v[0], hi = v[0];
    for (double x : v) {
        sum += x;
        lo = std::min(lo, x);
        hi = std::max(hi, x);
    }
    const double mean = sum / double(v.size());
    double sq = 0;
    for (double x : v)
        sq += (x - mean) * (x - mean);
    const double sd = std::sqrt(sq / double(v.size() - 1));
    cs.valid = true;
    cs.mean = mean / divisor;
    cs.sd = sd / divisor;
    cs.min = lo / divisor;
    cs.max = hi / divisor;
    cs.noise_density = cs.sd * std::sqrt(T);
    cs.quantisation_density = std::sqrt(1.0 / 12.0) / cs.counts_per_unit * std::sqrt(T);
}

} // namespace

const StatsChannel& stats_channel(int channel) {
    return kStatsChannelList[std::size_t(channel)];
}

IntervalStats interval_stats(const FrameLog& log, const StatsOptions& o) {
    IntervalStats r;
    r.from = o.from;
    r.to = o.to;
    if (!(o.from <= o.to)) {
        r.problem =
            "the interval's start (" + num(o.from) + " s) is after its end (" + num(o.to) + " s)";
        return r;
    }
    const std::string where = interval_text(o.from, o.to);
    r.lost = log.lost_between(o.from, o.to);
    r.sensor = find_stretches(log.sensor(), o.from, o.to, "sensor", where, r.lost);
    r.attitude = find_stretches(log.attitude(), o.from, o.to, "attitude", where, r.lost);
    if (!r.sensor.problem.empty() && !r.attitude.problem.empty()) {
        r.problem = r.sensor.frames + r.attitude.frames == 0 && r.lost == 0
                        ? "no frames " + where
                        : r.sensor.problem + "; " + r.attitude.problem;
        return r;
    }
    for (int c = 0; c < kStatsChannels; ++c) {
        const bool sensor = c < kSensorChannels;
        const KindStats& k = sensor ? r.sensor : r.attitude;
        ChannelStats& cs = r.channel[std::size_t(c)];
        cs.counts_per_unit = counts_per_unit(c, o.scales);
        if (!k.problem.empty()) continue;
        const FrameSeries& s = sensor ? log.sensor() : log.attitude();
        const std::size_t ch = std::size_t(sensor ? c : c - kSensorChannels);
        describe(cs, s.channel[ch], k.stretches.front().begin, k.stretches.back().end,
                 c == 9 || c == 11, k.period, sensor ? cs.counts_per_unit : 1.0);
    }
    if (!r.sensor.problem.empty()) {
        if (o.progress) o.progress(1.0);
        return r;
    }

    // The Allan deviation of the sensor axes.
    const double T = r.sensor.period;
    const std::size_t one_second = std::size_t(std::lround(1.0 / T));
    const std::vector<std::size_t> factors = allan_factors(r.sensor.frames, one_second);
    std::uint64_t total = 0, done = 0;
    for (std::size_t m : factors) {
        r.allan.tau.push_back(double(m) * T);
        r.allan.terms.push_back(allan_terms(r.sensor.stretches, m));
        total += r.allan.terms.back() * kSensorChannels;
    }
    const auto step = [&](std::uint64_t terms) {
        done += terms;
        if (o.progress && total != 0) o.progress(double(done) / double(total));
    };
    for (int c = 0; c < kSensorChannels; ++c) {
        ChannelStats& cs = r.channel[std::size_t(c)];
        std::vector<double> dev = allan_deviation(log.sensor().channel[std::size_t(c)],
                                                  r.sensor.stretches, factors, o.stop, step);
        if (o.stop.stop_requested()) {
            r = IntervalStats{};
            r.from = o.from;
            r.to = o.to;
            r.stopped = true;
            r.problem = "stopped";
            return r;
        }
        for (double& d : dev)
            d /= cs.counts_per_unit;
        r.allan.adev[std::size_t(c)] = dev;
        const Quantity q = kStatsChannelList[std::size_t(c)].quantity;
        if (q != Quantity::rate && q != Quantity::acceleration) continue;
        const double per_hour = q == Quantity::rate ? 60.0 : 60.0 * kGravity;
        const double bias_unit = q == Quantity::rate ? 3600.0 : 1000.0;
        std::size_t lowest = dev.size();
        for (std::size_t f = 0; f < dev.size(); ++f) {
            if (r.allan.terms[f] == 0) continue;
            if (factors[f] == one_second) {
                cs.has_random_walk = true;
                cs.random_walk = dev[f] * std::sqrt(r.allan.tau[f]) * per_hour;
            }
            if (lowest == dev.size() || dev[f] < dev[lowest]) lowest = f;
        }
        if (lowest != dev.size()) {
            cs.has_bias_instability = true;
            cs.bias_instability = dev[lowest] / kFlickerFloor * bias_unit;
            cs.bias_tau = r.allan.tau[lowest];
        }
    }
    if (!r.channel[3].has_random_walk) {
        std::size_t longest = 0, last = 0;
        for (const Stretch& st : r.sensor.stretches)
            longest = std::max(longest, st.size());
        for (std::size_t f = 0; f < factors.size(); ++f)
            if (r.allan.terms[f] != 0) last = f;
        r.short_curve = "the Allan deviation ends at " + num(r.allan.tau[last]) +
                        " s, before 1 s where the random walk is read: ";
        r.short_curve += one_second == 0 ? "the frame interval is " + num(T) + " s"
                         : r.sensor.frames < 10 * one_second
                             ? "the interval holds less than 10 s of frames"
                             : "no stretch without a gap is 2 s long (the longest is " +
                                   num(double(longest) * T) + " s)";
    }
    if (o.progress) o.progress(1.0);
    return r;
}

std::string stats_csv(const IntervalStats& s) {
    std::string out = "channel,unit,frames,gaps,rate_hz,mean,sd,min,max,counts_per_unit,"
                      "mean_counts,sd_counts,min_counts,max_counts,noise_density,"
                      "quantisation_density,density_unit,random_walk,random_walk_unit,"
                      "bias_instability,bias_instability_unit,bias_tau_s\n";
    for (int c = 0; c < kStatsChannels; ++c) {
        const StatsChannel& info = kStatsChannelList[std::size_t(c)];
        const ChannelStats& cs = s.channel[std::size_t(c)];
        const KindStats& k = c < kSensorChannels ? s.sensor : s.attitude;
        out +=
            std::string(info.name) + "," + std::string(info.unit) + "," + std::to_string(k.frames);
        if (!cs.valid) {
            out += ",,,,,,,,,,,,,,,,,,,\n";
            continue;
        }
        const double f = cs.counts_per_unit;
        out += "," + std::to_string(k.gaps()) + "," + num(1.0 / k.period);
        for (double v : {cs.mean, cs.sd, cs.min, cs.max, f, cs.mean * f, cs.sd * f, cs.min * f,
                         cs.max * f, cs.noise_density, cs.quantisation_density})
            out += "," + num(v);
        out += "," + std::string(info.unit) + "/sqrt(Hz)";
        const bool gyro = info.quantity == Quantity::rate;
        out += cs.has_random_walk
                   ? "," + num(cs.random_walk) + (gyro ? ",deg/sqrt(h)" : ",m/s/sqrt(h)")
                   : ",,";
        out += cs.has_bias_instability
                   ? "," + num(cs.bias_instability) + (gyro ? ",deg/h," : ",mg,") + num(cs.bias_tau)
                   : ",,,";
        out += "\n";
    }
    return out;
}

std::string allan_csv(const IntervalStats& s) {
    std::string out = "tau_s";
    for (int c = 0; c < kSensorChannels; ++c)
        out += "," + std::string(kStatsChannelList[std::size_t(c)].allan_column);
    out += "\n";
    for (std::size_t f = 0; f < s.allan.tau.size(); ++f) {
        if (s.allan.terms[f] == 0) continue;
        out += num(s.allan.tau[f]);
        for (const auto& dev : s.allan.adev)
            out += "," + num(dev[f]);
        out += "\n";
    }
    return out;
}

} // namespace zento
