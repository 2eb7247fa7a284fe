#pragma once
// The simulated board's stream through the project's receive path (FrameDispatch: receiver,
// decoders, frame times) into a HealthMonitor, in simulated time: no clock, no sleep. Used by the
// health tests and the health measurements (bench/health).
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "board_stream.h"
#include "health/health_monitor.h"
#include "telemetry/frame_dispatch.h"

namespace health_test {

struct Rig : zento::TelemetrySink {
    zento::board::BoardStream board;
    zento::FrameDispatch dispatch;
    zento::HealthMonitor monitor;
    std::uint64_t seed;
    double now = 0;
    std::uint64_t tick = 0;
    std::uint64_t per_burst = 1;
    double pacing = 0.016; // the main window takes received bytes at most every 16 ms
    // What the line does to the bytes: passes them, loses all (cable pulled), or changes
    // every one (as a wrong baud rate does).
    enum class Line { ok, silent, garbled } line = Line::ok;
    // Bytes of the first batch that the program misses (it opened the port mid-frame).
    std::size_t cut_first = 0;
    std::vector<std::pair<double, std::string>> log; // "Health: " lines and when

    // The program connects at board time connect_at: what the board sent before waits in the
    // port and comes with the first batch.
    Rig(std::uint64_t seed_, double rate, int baud = 115200, double connect_at = 0.0)
        : board(seed_, rate), seed(seed_), now(connect_at), last_poll(connect_at) {
        dispatch.add_sink(*this);
        monitor.connected(connect_at, baud);
    }

    // Board time at which tick k leaves the board.
    double release(std::uint64_t k) const {
        return zento::board::burst_release_time(k, per_burst, board.rate());
    }

    // Runs to time `until`: each batch is what the board released since the last one,
    // taken at most every `pacing` seconds; the monitor is polled after each batch and, as by
    // the main window's timer, whenever half a second passed without one.
    void run_until(double until) {
        std::vector<std::uint8_t> bytes;
        while (true) {
            const double at = std::max(release(tick), now + pacing);
            if (at > until) break;
            bytes.clear();
            while (release(tick) <= at)
                board.append_tick(bytes, tick++);
            timer_until(at);
            now = at;
            if (line == Line::silent) continue;
            if (line == Line::garbled)
                for (auto& b : bytes)
                    b ^= 0x33;
            const std::size_t cut = std::min(std::exchange(cut_first, 0), bytes.size());
            bytes.erase(bytes.begin(), bytes.begin() + std::ptrdiff_t(cut));
            dispatch.feed(bytes, std::int64_t(std::llround(now * 1e6)) * 1000);
            poll(now);
        }
        timer_until(until);
        now = until;
    }
    void run_for(double seconds) { run_until(now + seconds); }

    void poll(double t) {
        for (std::string& text : monitor.poll(t))
            log.emplace_back(t, std::move(text));
        last_poll = t;
    }
    // The timer's polls up to time t.
    void timer_until(double t) {
        while (last_poll + 0.5 <= t)
            poll(last_poll + 0.5);
    }
    double last_poll;

    // "Marked bias": the command reaches the board and the monitor is told.
    void marked_bias() {
        board.model().collect_gyro_bias();
        monitor.bias_command(now);
    }

    zento::HealthReport report() {
        monitor.update(now, true);
        return monitor.report(now);
    }

    void batch(const zento::TelemetryBatch& b) override { monitor.batch(b); }
};

} // namespace health_test
