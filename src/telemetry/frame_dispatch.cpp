#include "telemetry/frame_dispatch.h"

#include <algorithm>

namespace zento {

void FrameDispatch::add_sink(TelemetrySink& sink) {
    if (std::find(sinks_.begin(), sinks_.end(), &sink) == sinks_.end()) sinks_.push_back(&sink);
}

void FrameDispatch::remove_sink(TelemetrySink& sink) {
    sinks_.erase(std::remove(sinks_.begin(), sinks_.end(), &sink), sinks_.end());
}

void FrameDispatch::feed(std::span<const std::uint8_t> bytes, std::int64_t time_ns) {
    Rec_batch(bytes, time_ns);
    rx_.feed(bytes);
    Rec_batch_end();
}

void FrameDispatch::warm(std::span<const std::uint8_t> bytes, std::int64_t time_ns) {
    quiet_ = true;
    feed(bytes, time_ns);
    quiet_ = false;
}

void FrameDispatch::command(std::span<const std::uint8_t> frame, std::int64_t time_ns) {
    const LinkEvent e = command_event(frame, time_ns);
    TelemetryBatch b;
    b.time_ns = time_ns;
    b.counters = rx_.counters();
    b.frame_interval = interval_.seconds();
    b.events = std::span(&e, 1);
    for (TelemetrySink* s : sinks_)
        s->batch(b);
}

void FrameDispatch::restart() {
    rx_.Receiver_reset();
    interval_.restart();
    last_batch_.reset();
    open_tick_.reset();
}

void FrameDispatch::Show_msg(std::string_view text) {
    if (on_message && !quiet_) on_message(text);
}

void FrameDispatch::Rec_LedON() {
    if (on_end_byte && !quiet_) on_end_byte();
}

void FrameDispatch::Rec_batch(std::span<const std::uint8_t> batch, std::int64_t time_ns) {
    bytes_ = batch;
    time_ns_ = last_batch_ ? std::max(time_ns, *last_batch_) : time_ns;
    frames_.clear();
    events_.clear();
    if (!batch.empty())
        if (const auto gap = gaps_.batch(time_ns_)) events_.push_back(*gap);
}

void FrameDispatch::Rec_attitude(std::span<const std::uint8_t> rx_frame) {
    if (const auto r = decode_attitude(rx_frame)) {
        TelemetryFrame& f = frames_.emplace_back();
        f.type = TelemetryFrame::Type::attitude;
        f.loss = loss_stamp(rx_.counters());
        f.attitude = *r;
    }
}

void FrameDispatch::Rec_sensor(std::span<const std::uint8_t> rx_frame) {
    if (const auto r = decode_sensor(rx_frame)) {
        TelemetryFrame& f = frames_.emplace_back();
        f.type = TelemetryFrame::Type::sensor;
        f.loss = loss_stamp(rx_.counters());
        f.sensor = *r;
    }
}

// Gives each frame of the batch its tick's time (see the header).
void FrameDispatch::stamp(std::int64_t t, double interval) {
    using Type = TelemetryFrame::Type;
    auto joins = [&](std::size_t i) { // frame i completes the tick of frame i - 1
        return i > 0 && frames_[i].type == Type::sensor && frames_[i - 1].type == Type::attitude &&
               frames_[i].loss == frames_[i - 1].loss;
    };
    std::size_t first = 0; // frames before it belong to the previous batch's last tick
    if (!frames_.empty() && open_tick_ && frames_[0].type == Type::sensor &&
        frames_[0].loss == *open_tick_) {
        frames_[0].time_ns = last_tick_;
        first = 1;
    }
    std::int64_t ticks = 0;
    for (std::size_t i = first; i < frames_.size(); ++i)
        if (!joins(i)) ++ticks;
    if (ticks > 0) {
        // Whole microseconds, as the times themselves.
        std::int64_t step = std::int64_t(interval * 1e6) * 1000;
        if (last_batch_) {
            const std::int64_t room = (t - *last_batch_) / ticks / 1000 * 1000;
            step = interval > 0 ? std::min(step, room) : room;
        }
        std::int64_t k = ticks;
        for (std::size_t i = first; i < frames_.size(); ++i) {
            if (!joins(i)) --k;
            frames_[i].time_ns = t - k * step;
        }
        last_tick_ = t;
    }
    open_tick_.reset();
    if (!frames_.empty() && frames_.back().type == Type::attitude) open_tick_ = frames_.back().loss;
}

void FrameDispatch::Rec_batch_end() {
    interval_.batch(time_ns_, rx_.counters());
    stamp(time_ns_, interval_.seconds());
    last_batch_ = time_ns_;
    TelemetryBatch b;
    b.time_ns = time_ns_;
    b.bytes = bytes_;
    b.frames = frames_;
    b.counters = rx_.counters();
    b.frame_interval = interval_.seconds();
    b.events = events_;
    if (!quiet_)
        for (TelemetrySink* s : sinks_)
            s->batch(b);
    bytes_ = {};
}

} // namespace zento
