#pragma once
// The receive path's one time. Every batch of bytes carries it from its source to every part
// that shows, records or judges it, and no part reads a clock of its own.
//
// Scale: nanoseconds since 1970-01-01 UTC, in whole microseconds (a pcap record's resolution),
// so that a batch received live and the same batch played from its recording have the same
// time. Live, the port stamps a batch with link_clock_ns(): the wall clock read once (the
// first time it is asked) plus the steady clock since, so it never runs backwards when the
// system time is set, yet reads as the time of day. A recording's batches carry their records'
// times.
#include <cstdint>

namespace zento {

std::int64_t link_clock_ns();

// Seconds of a link time, for the chart's axis and the health figures.
inline double link_seconds(std::int64_t ns) {
    return double(ns) / 1e9;
}

} // namespace zento
