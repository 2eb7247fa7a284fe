#include "telemetry/frame_interval.h"

#include <algorithm>

namespace zento {

namespace {
constexpr std::int64_t kSecond = 1'000'000'000;
constexpr std::int64_t kSettle = kSecond;       // left out after a restart
constexpr std::int64_t kPause = kSecond;        // no byte for longer is a pause
constexpr std::int64_t kHistory = 60 * kSecond; // counted over this long

std::int64_t floor_seconds(std::int64_t ns) {
    return ns >= 0 ? ns / kSecond : -((kSecond - 1 - ns) / kSecond);
}
} // namespace

void FrameIntervalEstimator::restart() {
    *this = FrameIntervalEstimator{};
}

void FrameIntervalEstimator::batch(std::int64_t t, const ReceiverCounters& c) {
    if (!started_) {
        started_ = true;
        start_ = last_bytes_t_ = t;
        last_bytes_ = c.bytes;
        snaps_.push_back({t, c});
        return;
    }
    if (c.bytes != last_bytes_) {
        if (t - last_bytes_t_ > kPause) pauses_.emplace_back(last_bytes_t_, t);
        last_bytes_ = c.bytes;
        last_bytes_t_ = t;
    }
    if (floor_seconds(t) == floor_seconds(snaps_.back().t)) return;
    snaps_.push_back({t, c});
    while (snaps_.size() > 2 && snaps_[1].t < t - kHistory - kSecond)
        snaps_.pop_front();
    while (!pauses_.empty() && pauses_.front().second < snaps_.front().t)
        pauses_.pop_front();

    // The oldest snapshot past the settling second.
    const auto base = std::find_if(snaps_.begin(), snaps_.end(),
                                   [&](const Snap& s) { return s.t >= start_ + kSettle; });
    if (base == snaps_.end() || t - base->t < kSecond) return;
    const double ticks = double(std::max(c.attitude_frames - base->c.attitude_frames,
                                         c.sensor_frames - base->c.sensor_frames)) +
                         0.5 * double(c.lost_frames() - base->c.lost_frames());
    std::int64_t span = t - base->t;
    for (const auto& [from, to] : pauses_)
        span -= std::max<std::int64_t>(0, std::min(to, t) - std::max(from, base->t));
    if (span > kSecond / 2 && ticks > 0) interval_ = double(span) / 1e9 / ticks;
}

} // namespace zento
