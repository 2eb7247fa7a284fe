#pragma once
// One batch of the receive path, as every sink gets it: the bytes as the source delivered them,
// the frames decoded from them, each with its own time, the receiver's counters as of the
// batch's end, and the events of the link (link/link_event.h: commands sent, gaps). Everything a
// sink needs comes with the batch; no sink asks another part.
#include "link/link_event.h"
#include "link/receiver.h"
#include "telemetry/decoders.h"

#include <cstdint>
#include <span>

namespace zento {

// Anything that can hide a frame between two delivered frames: frames lost, overflows, bytes
// skipped. Two frames with the same stamp have nothing lost between them.
inline std::uint64_t loss_stamp(const ReceiverCounters& c) {
    return c.lost_frames() + c.overflows + c.skipped_bytes;
}

struct TelemetryFrame {
    enum class Type : std::uint8_t { attitude, sensor };
    Type type = Type::attitude;
    // The board tick's time (link/link_time.h). A tick is an attitude frame and the sensor frame
    // that follows it with nothing lost between (the board sends both for the same instant):
    // both have the tick's time. Ticks are spaced by the board's frame interval, the batch's
    // last tick at the batch's time.
    std::int64_t time_ns = 0;
    std::uint64_t loss = 0;  // loss_stamp() of the receiver's counters as of this frame
    AttitudeRecord attitude; // Type::attitude
    SensorRecord sensor;     // Type::sensor
};

struct TelemetryBatch {
    std::int64_t time_ns = 0;               // the batch's time (never before the previous one)
    std::span<const std::uint8_t> bytes;    // as the source delivered them
    std::span<const TelemetryFrame> frames; // decoded 0xA1 and 0xA2 frames, in stream order
    ReceiverCounters counters;              // as of the batch's end
    double frame_interval = 0;              // the board's, seconds (frame_interval.h); 0: not known
    // The gap this batch ends; or, in a batch of no bytes and no frames, the command sent.
    std::span<const LinkEvent> events;
};

} // namespace zento
