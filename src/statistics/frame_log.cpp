#include "statistics/frame_log.h"

namespace zento {

void FrameLog::add_sensor(double t, const SensorRecord& r) {
    if (sensor_break_) sensor_.breaks.push_back(sensor_.size());
    sensor_break_ = false;
    sensor_.time.push_back(t);
    for (int c = 0; c < 9; ++c)
        sensor_.channel[std::size_t(c)].push_back(r.reading(c));
}

void FrameLog::add_attitude(double t, const AttitudeRecord& r) {
    if (attitude_break_) attitude_.breaks.push_back(attitude_.size());
    attitude_break_ = false;
    attitude_.time.push_back(t);
    attitude_.channel[0].push_back(r.yaw);
    attitude_.channel[1].push_back(r.pitch);
    attitude_.channel[2].push_back(r.roll);
}

void FrameLog::add_loss(double t, std::uint64_t frames) {
    sensor_break_ = attitude_break_ = true;
    losses_.push_back({t, frames});
}

std::uint64_t FrameLog::lost_between(double from, double to) const {
    std::uint64_t n = 0;
    for (const FrameLoss& l : losses_)
        if (l.time >= from && l.time <= to) n += l.frames;
    return n;
}

void FrameCollector::feed(std::span<const std::uint8_t> bytes, double seconds) {
    time_ = seconds;
    rx_.feed(bytes);
    check_losses(); // a loss that no frame follows in this batch
}

void FrameCollector::check_losses(std::uint64_t extra) {
    const ReceiverCounters& c = rx_.counters();
    const std::uint64_t lost = c.lost_frames() - lost_ + extra;
    if (lost != 0 || c.overflows != overflows_ || c.skipped_bytes != skipped_)
        log_.add_loss(time_, lost);
    lost_ = c.lost_frames();
    overflows_ = c.overflows;
    skipped_ = c.skipped_bytes;
}

void FrameCollector::Rec_attitude(std::span<const std::uint8_t> f) {
    const auto r = decode_attitude(f);
    check_losses(r ? 0 : 1);
    if (r) log_.add_attitude(time_, *r);
}

void FrameCollector::Rec_sensor(std::span<const std::uint8_t> f) {
    const auto r = decode_sensor(f);
    check_losses(r ? 0 : 1);
    if (r) log_.add_sensor(time_, *r);
}

} // namespace zento
