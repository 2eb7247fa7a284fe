#include "telemetry/frame_dispatch.h"

#include <algorithm>

namespace zento {

void FrameDispatch::add_sink(TelemetrySink& sink) {
    if (std::find(sinks_.begin(), sinks_.end(), &sink) == sinks_.end()) sinks_.push_back(&sink);
}

void FrameDispatch::remove_sink(TelemetrySink& sink) {
    sinks_.erase(std::remove(sinks_.begin(), sinks_.end(), &sink), sinks_.end());
}

void FrameDispatch::Show_msg(std::string_view text) {
    if (on_message) on_message(text);
}

void FrameDispatch::Rec_LedON() {
    if (on_end_byte) on_end_byte();
}

void FrameDispatch::Rec_batch(std::span<const std::uint8_t> batch) {
    if (on_batch) on_batch(batch);
}

void FrameDispatch::Rec_attitude(std::span<const std::uint8_t> rx_frame) {
    if (const auto r = decode_attitude(rx_frame))
        for (TelemetrySink* s : sinks_)
            s->Rec_attitude(*r);
}

void FrameDispatch::Rec_sensor(std::span<const std::uint8_t> rx_frame) {
    if (const auto r = decode_sensor(rx_frame))
        for (TelemetrySink* s : sinks_)
            s->Rec_sensor(*r);
}

void FrameDispatch::Rec_batch_end() {
    for (TelemetrySink* s : sinks_)
        s->batch_end();
}

} // namespace zento
