#include "health/link_figures.h"

#include <algorithm>
#include <cmath>

namespace zento::health {

namespace {

constexpr double kSettle = 1.0;       // rates leave out the first second after connect
constexpr double kRateHistory = 60.0; // snapshots are kept this long
constexpr std::size_t kGapRing = 4096;
constexpr std::size_t kMaxArrivals = 16384; // nobody updates: start again

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

double per_s(std::uint64_t n, double span) {
    return span > 0 ? double(n) / span : kNaN;
}

// Rates over `span` seconds of the counts `rates`; the counts of `counts`.
void fill(LinkSpan& s, const ReceiverCounters& rates, double span, const ReceiverCounters& counts,
          int baud) {
    s.bytes_rate = per_s(rates.bytes, span);
    s.attitude_rate = per_s(rates.attitude_frames, span);
    s.sensor_rate = per_s(rates.sensor_frames, span);
    s.other_rate = per_s(rates.other_frames, span);
    const double capacity = baud > 0 ? double(baud) / 10.0 : kNaN; // bytes per second
    s.line_use = 100.0 * s.bytes_rate / capacity;
    s.frames = counts.frames();
    s.other_frames = counts.other_frames;
    s.checksum_errors = counts.checksum_errors;
    s.broken_frames = counts.broken_frames;
    s.skipped_bytes = counts.skipped_bytes;
    s.overflows = counts.overflows;
}

int gap_bin(double gap) {
    if (gap <= 1e-4) return 0;
    return std::clamp(int(std::ceil((std::log10(gap) + 4.0) * 20.0)), 0, LinkFigures::kGapBins - 1);
}
double gap_bin_top(int bin) {
    return std::pow(10.0, double(bin) / 20.0 - 4.0);
}

} // namespace

LinkFigures::LinkFigures() {
    gaps_.reserve(kGapRing);
}

void LinkFigures::connect(double t) {
    t_connect_ = t;
    base_ = {t, counters_};
    settled_.reset();
    snaps_.clear();
    snaps_.push_back(base_);
    last_bytes_t_ = last_att_t_ = last_sensor_t_ = t;
    last_bytes_ = counters_.bytes;
    any_att_ = false;
    arrivals_.clear();
    gaps_.clear();
    gap_next_ = 0;
    gap_hist_.fill(0);
    gap_count_ = 0;
    gap_max_ = 0;
}

void LinkFigures::attitude(double t, std::uint64_t loss) {
    if (arrivals_.size() >= kMaxArrivals) arrivals_.clear();
    arrivals_.emplace_back(t, loss);
    last_att_t_ = t;
}

void LinkFigures::batch(double t) {
    if (counters_.bytes != last_bytes_) {
        last_bytes_ = counters_.bytes;
        last_bytes_t_ = t;
    }
    snapshot(t);
}

void LinkFigures::snapshot(double t) {
    if (std::floor(t) != std::floor(snaps_.back().t)) snaps_.push_back({t, counters_});
    if (!settled_ && snaps_.back().t >= t_connect_ + kSettle) settled_ = snaps_.back();
    while (snaps_.size() > 2 && snaps_[1].t < t - kRateHistory - 1.0)
        snaps_.pop_front();
}

// The oldest snapshot taken at or after `from` (the newest if none is).
const LinkFigures::Snap& LinkFigures::snap_from(double from) const {
    for (const Snap& s : snaps_)
        if (s.t >= from) return s;
    return snaps_.back();
}

void LinkFigures::update(double t) {
    snapshot(t);
    for (const auto& [at, loss] : arrivals_) {
        if (any_att_) {
            const double gap = std::max(0.0, at - last_gap_t_);
            const bool clean = loss == last_gap_loss_;
            if (gaps_.size() < kGapRing)
                gaps_.push_back({at, float(gap), clean});
            else
                gaps_[gap_next_] = {at, float(gap), clean};
            gap_next_ = (gap_next_ + 1) % kGapRing;
            if (clean) {
                ++gap_hist_[std::size_t(gap_bin(gap))];
                ++gap_count_;
            }
            gap_max_ = std::max(gap_max_, gap);
        }
        any_att_ = true;
        last_gap_t_ = at;
        last_gap_loss_ = loss;
    }
    arrivals_.clear();
}

void LinkFigures::measure(double now, int baud, Measures& m) const {
    // The last 10 s from the oldest snapshot inside them. The first second after connect is
    // left out: it brings what waited in the port's buffer (and the tail of a frame cut by the
    // connect).
    const Snap& r = snap_from(std::max(now - kWindowSeconds, t_connect_ + kSettle));
    const ReceiverCounters recent = minus(counters_, r.c);
    fill(m.link[kRecent], recent, now - r.t, recent, baud);
    // Since connect: rates from the settling second on, counts from connect.
    const Snap& s = settled_ ? *settled_ : snaps_.back();
    fill(m.link[kTotal], minus(counters_, s.c), now - s.t, minus(counters_, base_.c), baud);
    m.since_byte = now - last_bytes_t_;
    m.since_attitude = now - last_att_t_;
    m.since_sensor = now - last_sensor_t_;
    measure_gaps(now, m);
}

void LinkFigures::measure_gaps(double now, Measures& m) const {
    LinkSpan& r = m.link[kRecent];
    std::vector<float> g;
    g.reserve(gaps_.size());
    std::size_t all = 0;
    for (const Gap& x : gaps_) {
        if (x.t <= now - kWindowSeconds) continue;
        if (x.clean) g.push_back(x.gap);
        r.longest = std::max(r.longest, double(x.gap));
        ++all;
    }
    r.has_longest = all > 0;
    r.clean_gaps = g.size();
    if (!g.empty()) {
        const auto mid = g.begin() + std::ptrdiff_t(g.size() / 2);
        std::nth_element(g.begin(), mid, g.end());
        r.gap_median = *mid;
        const auto k = std::size_t(std::ceil(0.99 * double(g.size()))) - 1;
        std::nth_element(g.begin(), g.begin() + std::ptrdiff_t(k), g.end());
        r.gap_p99 = g[k];
    }

    LinkSpan& t = m.link[kTotal];
    t.has_longest = any_att_;
    t.longest = gap_max_;
    t.clean_gaps = gap_count_;
    if (gap_count_ > 0) {
        auto quantile = [&](double q) {
            const auto want = std::uint64_t(std::ceil(q * double(gap_count_)));
            std::uint64_t seen = 0;
            for (int b = 0; b < kGapBins; ++b)
                if ((seen += gap_hist_[std::size_t(b)]) >= want)
                    return std::min(gap_bin_top(b), gap_max_);
            return gap_max_;
        };
        t.gap_median = quantile(0.5);
        t.gap_p99 = quantile(0.99);
    }
}

} // namespace zento::health
