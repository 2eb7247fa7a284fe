#pragma once
// One decoded frame as a JSON text, for plotting and robotics tools (one UDP datagram each:
// shell/value_stream.h). The values are the value texts the labels show (value_text.h: plain
// decimals, always valid JSON numbers); "t" is the frame's time (link/link_time.h) in seconds
// since 1970-01-01 UTC, six decimals, the chart's time: a recording played gives the times it
// was recorded with.
//
//   {"t": 1765062900.050000, "attitude": {"yaw": -30, "pitch": 9, "roll": 1.5, "altitude": 100,
//    "temperature": 25, "pressure": 101320, "rate": 10}}
//   {"t": 1765062900.050000, "sensor": {"accel": [16, -16, 16384], "gyro": [0, -5, 5],
//    "mag": [300, -300, 0]}}
//
// each on one line ending in a line feed (JSON allows it; `socat -u UDP-RECV:9870 -` then prints
// a frame a line). Pressure in Pa, as its label shows it; the sensors in raw counts.
#include "telemetry/telemetry_batch.h"

#include <string>

namespace zento {

// Replaces `out` with the frame's text (its storage is kept, so a reused string allocates once).
void frame_json(const TelemetryFrame& frame, std::string& out);

} // namespace zento
