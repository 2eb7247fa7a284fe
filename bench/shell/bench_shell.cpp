// The main window's costs, through the serial test double (no device):
//  - one batch of one attitude frame and one sensor frame (a board tick) through OnComm, the
//    receiver, the lamps and the frame count;
//  - the same with "Stream values" on, sending to a socket bound on the loopback interface;
//  - the value stream alone: one batch of a tick's two frames, off and on (each frame's JSON
//    text and its datagram), and one frame's JSON text alone;
//  - one Show_msg into a log that is already at its line bound (the steady state of a long run
//    with a stream of faults);
// and the resident memory once the log holds its bound of lines.
// Offscreen unless QT_QPA_PLATFORM says otherwise.
#include "../proc_status.h"
#include "link/envelope.h"
#include "shell/message_log.h"
#include "shell/value_stream.h"
#include "telemetry/frame_json.h"
#include "window_rig.h"

#include <QApplication>
#include <QUdpSocket>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using zento::bench::rss_mib;

using Rig = zento::bench::WindowRig;

// A receiver for the stream (a plotting tool that listens; never read here: the system drops
// what does not fit, as for a tool that falls behind).
struct Listener {
    Listener() { socket.bind(QHostAddress::LocalHost, 0); }
    zento::StreamTarget target() const { return {"127.0.0.1", socket.localPort()}; }
    QUdpSocket socket;
};

void BM_TickThroughWindow(benchmark::State& state) {
    Rig rig;
    Listener listener;
    if (state.range(0)) rig.window->stream().start(listener.target());
    std::vector<std::uint8_t> tick;
    const std::vector<std::uint8_t> a(zento::kAttitudePayload, 0x12);
    const std::vector<std::uint8_t> s(zento::kSensorPayload, 0x34);
    zento::append_frame(tick, zento::kTypeAttitude, a);
    zento::append_frame(tick, zento::kTypeSensor, s);
    for (auto _ : state)
        rig.port.feed(tick);
    state.SetBytesProcessed(std::int64_t(state.iterations() * tick.size()));
}
BENCHMARK(BM_TickThroughWindow)->ArgName("stream")->Arg(0)->Arg(1);

void BM_ValueStreamTick(benchmark::State& state) {
    zento::ValueStream stream({}, nullptr);
    Listener listener;
    if (state.range(0)) stream.start(listener.target());
    zento::TelemetryFrame frames[2];
    frames[0].time_ns = 1765062900050000000;
    frames[0].attitude = {-30.1f, 9.2f, 1.5f, 100.3f, 25.1f, 10132, 200};
    frames[1].type = zento::TelemetryFrame::Type::sensor;
    frames[1].time_ns = frames[0].time_ns;
    frames[1].sensor = {{16, -16, 16384}, {0, -5, 5}, {300, -300, 0}};
    zento::TelemetryBatch b;
    b.frames = frames;
    for (auto _ : state) {
        frames[0].attitude.yaw += 0.1f; // a board in motion
        stream.batch(b);
    }
    state.SetItemsProcessed(std::int64_t(state.iterations() * 2)); // frames
}
BENCHMARK(BM_ValueStreamTick)->ArgName("stream")->Arg(0)->Arg(1);

// Of which the JSON text of one frame (the rest is the datagram's system call).
void BM_FrameJson(benchmark::State& state) {
    zento::TelemetryFrame f;
    f.time_ns = 1765062900050000000;
    f.attitude = {-30.1f, 9.2f, 1.5f, 100.3f, 25.1f, 10132, 200};
    std::string out;
    for (auto _ : state) {
        f.attitude.yaw += 0.1f;
        zento::frame_json(f, out);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_FrameJson);

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
