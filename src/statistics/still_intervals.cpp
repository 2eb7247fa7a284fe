#include "statistics/still_intervals.h"

#include "health/still_rule.h"

#include <algorithm>
#include <cmath>

namespace zento {
namespace {

// A run of frames [begin, end) of one series within one block.
struct Run {
    long long block;
    std::size_t begin, end;
};

std::vector<Run> runs_of(const FrameSeries& s) {
    std::vector<Run> out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto k = static_cast<long long>(std::floor(s.time[i] / kStillSeconds));
        if (out.empty() || out.back().block != k)
            out.push_back({k, i, i + 1});
        else
            out.back().end = i + 1;
    }
    return out;
}

// The frames a block of this series usually holds: the median over the runs.
std::size_t usual_count(const std::vector<Run>& runs) {
    if (runs.empty()) return 0;
    std::vector<std::size_t> n;
    n.reserve(runs.size());
    for (const Run& r : runs)
        n.push_back(r.end - r.begin);
    std::nth_element(n.begin(), n.begin() + std::ptrdiff_t(n.size() / 2), n.end());
    return n[n.size() / 2];
}

// Whether a frame may be missing before frame i, for some i in (begin, end].
bool break_within(const FrameSeries& s, std::size_t begin, std::size_t end) {
    const auto it = std::upper_bound(s.breaks.begin(), s.breaks.end(), begin);
    return it != s.breaks.end() && *it < end;
}

bool break_at(const FrameSeries& s, std::size_t i) {
    return std::binary_search(s.breaks.begin(), s.breaks.end(), i);
}

// Max - min of channel c over [begin, end); `wraps`: degrees unwrapped from the first.
double spread(const FrameSeries& s, int c, std::size_t begin, std::size_t end, bool wraps) {
    const std::vector<float>& v = s.channel[std::size_t(c)];
    double lo = 0, hi = 0, x = 0;
    for (std::size_t i = begin + 1; i < end; ++i) {
        const double d = double(v[i]) - double(v[i - 1]);
        x += wraps ? std::remainder(d, 360.0) : d;
        lo = std::min(lo, x);
        hi = std::max(hi, x);
    }
    return hi - lo;
}

} // namespace

std::vector<StillInterval> still_intervals(const FrameLog& log, const HealthScales& scales,
                                           std::stop_token stop) {
    const FrameSeries& sen = log.sensor();
    const FrameSeries& att = log.attitude();
    const std::vector<Run> rs = runs_of(sen), ra = runs_of(att);
    const std::size_t usual_s = usual_count(rs), usual_a = usual_count(ra);
    const double accel = kStillAccel * scales.accel_counts_per_g;
    const double gyro = kStillGyro * scales.gyro_counts_per_dps;

    std::vector<StillInterval> out;
    bool open = false; // the last block was still and `out.back()` ends with it
    long long last_block = 0;
    std::size_t i = 0, j = 0;
    for (std::size_t n = 0; i < rs.size() && j < ra.size(); ++n) {
        if (n % 4096 == 0 && stop.stop_requested()) return {};
        if (rs[i].block != ra[j].block) {
            (rs[i].block < ra[j].block ? i : j) += 1; // a block without the other kind
            open = false;
            continue;
        }
        const Run& s = rs[i++];
        const Run& a = ra[j++];
        const std::size_t ns = s.end - s.begin, na = a.end - a.begin;
        bool still = ns >= 2 && na >= 2 && ns * 4 >= usual_s * 3 && na * 4 >= usual_a * 3 &&
                     !break_within(sen, s.begin, s.end) && !break_within(att, a.begin, a.end);
        still = still && spread(att, 1, a.begin, a.end, false) <= kStillAngle &&
                spread(att, 2, a.begin, a.end, true) <= kStillAngle;
        for (int c = 0; still && c < 6; ++c)
            still = spread(sen, c, s.begin, s.end, false) <= (c < 3 ? accel : gyro);
        if (!still) {
            open = false;
            continue;
        }
        const double from = std::min(sen.time[s.begin], att.time[a.begin]);
        const double to = std::max(sen.time[s.end - 1], att.time[a.end - 1]);
        if (open && s.block == last_block + 1 && !break_at(sen, s.begin) && !break_at(att, a.begin))
            out.back().to = to;
        else
            out.push_back({from, to});
        open = true;
        last_block = s.block;
    }
    return out;
}

} // namespace zento
