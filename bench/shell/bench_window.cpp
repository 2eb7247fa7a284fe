// Attitude plus sensor frame pairs per second that the whole main window takes, offscreen:
// each board tick (changing values, so every label gets a new text) goes through the serial test
// double, the receiver, both decoders, the labels, gauges, horizon, compass and chart. Variants:
//  - Decode: the ticks alone (labels and widgets updated, nothing painted);
//  - Painted/N: the event loop runs after every N ticks, so the window repaints what changed
//    and the chart redraws at its own coalesced pace (N = 1: every tick painted, as at 20 Hz;
//    N = 10: a 115200-baud line's ~250 pairs/s against a ~25 Hz screen).
// The counter "pairs_per_s" is the figure to compare with the line's ~250 pairs (500 frames) a
// second. Offscreen unless QT_QPA_PLATFORM says otherwise.
#include "../perf/frames.h"
#include "window_rig.h"
#include "shell/zento.h"
#include "telemetry/strip_chart.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>

namespace {

// The window shown (offscreen), its chart's clock driven by board time, as in a live run.
struct Rig : zento::bench::WindowRig {
    Rig() {
        window->ui.chart->setClock([this] { return board_time; });
        window->show();
        QApplication::processEvents();
    }
    // Ticks prepared up front, so the loop measures the window and not the frame maker.
    static std::vector<zento::perf::Bytes> ticks(std::size_t n) {
        zento::perf::TickMaker maker;
        std::vector<zento::perf::Bytes> t(n);
        for (std::size_t k = 0; k < n; ++k)
            maker.tick(t[k], k);
        return t;
    }
    double board_time = 0;
};

void run(benchmark::State& state, int paint_every) {
    Rig rig;
    const auto ticks = rig.ticks(4096);
    std::size_t k = 0;
    std::int64_t pairs = 0;
    for (auto _ : state) {
        rig.port.feed(ticks[k++ % ticks.size()]);
        rig.board_time += 0.004;
        ++pairs;
        if (paint_every > 0 && pairs % paint_every == 0) QApplication::processEvents();
    }
    QApplication::processEvents();
    state.counters["pairs_per_s"] = benchmark::Counter(double(pairs), benchmark::Counter::kIsRate);
}

void BM_WindowDecode(benchmark::State& state) {
    run(state, 0);
}
BENCHMARK(BM_WindowDecode)->Unit(benchmark::kMicrosecond);

void BM_WindowPainted(benchmark::State& state) {
    run(state, int(state.range(0)));
}
BENCHMARK(BM_WindowPainted)->Arg(1)->Arg(10)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

} // namespace
