// The main window's costs, through the serial test double (no device):
//  - one batch of one attitude frame and one sensor frame (a board tick) through OnComm, the
//    receiver, the lamps and the frame count;
//  - one Show_msg into a log that is already at its line bound (the steady state of a long run
//    with a stream of faults);
// and the resident memory once the log holds its bound of lines.
// Offscreen unless QT_QPA_PLATFORM says otherwise.
#include "../proc_status.h"
#include "link/envelope.h"
#include "shell/message_log.h"
#include "window_rig.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using zento::bench::rss_mib;

using Rig = zento::bench::WindowRig;

void BM_TickThroughWindow(benchmark::State& state) {
    Rig rig;
    std::vector<std::uint8_t> tick;
    const std::vector<std::uint8_t> a(zento::kAttitudePayload, 0x12);
    const std::vector<std::uint8_t> s(zento::kSensorPayload, 0x34);
    zento::append_frame(tick, zento::kTypeAttitude, a);
    zento::append_frame(tick, zento::kTypeSensor, s);
    for (auto _ : state)
        rig.port.feed(tick);
    state.SetBytesProcessed(std::int64_t(state.iterations() * tick.size()));
}
BENCHMARK(BM_TickThroughWindow);

void BM_ShowMsgAtBound(benchmark::State& state) {
    Rig rig;
    for (int i = 0; i < zento::MessageLog::kMaxLines; ++i)
        rig.window->Show_msg("Check-Sum Error!");
    state.counters["rss_MiB_full_log"] = rss_mib();
    for (auto _ : state)
        rig.window->Show_msg("Check-Sum Error!");
    state.counters["rss_MiB_after"] = rss_mib();
}
BENCHMARK(BM_ShowMsgAtBound)->Unit(benchmark::kMicrosecond);

} // namespace
