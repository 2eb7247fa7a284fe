#pragma once
// The health report for scripts and other tools (zento-capture --health FILE.json): one JSON
// object, UTF-8, every figure of the window in its order.
//
//   {"connected": true, "seconds": 60.05, "baud": 115200,
//    "summary": "2 figures bad (Checksum errors, Broken frames (\"Error! Com\"))",
//    "figures": [
//      {"group": "Link", "name": "Checksum errors", "value": 4.5, "unit": "% of frames",
//       "state": "bad",
//       "last_10_s": {"value": 4.5, "state": "bad", "text": "9 (4.50 % of frames)"},
//       "since_connect": {"value": 3.8, "state": "bad", "text": "23 (3.80 % of frames)"}},
//      ...]}
//
// "value", "unit" and "state" are what the window's state column shows: the last 10 s, or since
// connect where the last 10 s judged nothing. A value is the figure's number as its text shows
// it first (health_monitor.h), null when there is none; a state is one of "good", "doubtful",
// "bad", "not judged", "not yet". "text" is the window's cell.
#include "health/health_monitor.h"

#include <string>
#include <string_view>

namespace zento {

std::string health_json(const HealthReport& report);

// The window's summary with the bad figures named: "All good", "Nothing judged yet",
// "1 figure bad (Checksum errors)", "2 figures bad (...), 1 doubtful", "3 figures doubtful".
std::string health_summary(const HealthReport& report);

// A JSON string, quoted, with what must be escaped escaped (quote, backslash, control bytes).
std::string json_string(std::string_view text);
// A JSON number (7 significant digits), or null for NaN and infinities.
std::string json_number(double v);

} // namespace zento
