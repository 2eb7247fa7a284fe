// Attitude plus sensor frame pairs through the whole main window, offscreen (or on the platform
// QT_QPA_PLATFORM names). Each board tick carries moving data (every one of its sixteen values
// differs from the tick before, as on a board in motion: frames.h) and goes through the serial
// test double, the receiver, both decoders, the labels, gauges, horizon, compass and chart.
// Variants:
//  - Window20Hz: one frame pair as at the board's 20 Hz: the pair is received, the chart takes
//    its points and redraws (at 20 Hz every tick is at least the chart's 40 ms after the last
//    redraw, so the receive event's flush draws it), and the window's paint pass runs, ending
//    with the backing store's flush. Counters: paint events per pair (widgets painted) and
//    paint passes per pair;
//  - Decode: the ticks alone (labels and widgets updated, nothing painted);
//  - Painted/N: 250 Hz board time; the event loop runs after every N ticks, so the window
//    repaints what changed and the chart redraws at its own coalesced pace (N = 1: every tick
//    painted; N = 10: a 115200-baud line's ~250 pairs/s against a ~25 Hz screen).
// The counter "pairs_per_s" is the figure to compare with the line's ~250 pairs (500 frames) a
// second.
//
// For an instruction profile of one 20 Hz pair: valgrind --tool=callgrind
// --toggle-collect='*window_20hz_pair*' bench_window --benchmark_filter=Window20Hz; the
// inclusive cost of window_20hz_pair divided by its calls is one pair (warm-up pairs are outside
// it).
#include "../perf/frames.h"
#include "shell/zento.h"
#include "chart/strip_chart.h"
#include "window_rig.h"

#include <QApplication>
#include <QEvent>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

namespace {

// Counts the paint events of every widget and the window's paint passes.
struct PaintCounter : QObject {
    explicit PaintCounter(QWidget* window) : window_(window) {}
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        if (e->type() == QEvent::UpdateRequest && o == window_) ++passes;
        return false;
    }
    std::int64_t paints = 0, passes = 0;

  private:
    QWidget* window_;
};

// The window shown (offscreen), its batches stamped with board time, as in a live run.
struct Rig : zento::bench::WindowRig {
    Rig() : ticks(make_ticks(4096)) {
        port.clock = [this] {
            return 1'765'000'000'000'000'000 + std::int64_t(board_time * 1e6) * 1000;
        };
        window->show();
        QApplication::processEvents();
    }
    // Ticks prepared up front, so the loop measures the window and not the frame maker.
    static std::vector<zento::perf::Bytes> make_ticks(std::size_t n) {
        zento::perf::TickMaker maker;
        std::vector<zento::perf::Bytes> t(n);
        for (std::size_t k = 0; k < n; ++k)
            maker.tick(t[k], k);
        return t;
    }
    const zento::perf::Bytes& next() { return ticks[k++ % ticks.size()]; }

    std::vector<zento::perf::Bytes> ticks;
    std::size_t k = 0;
    double board_time = 0;
};

// One pair at 20 Hz: received and decoded, the chart redrawn, the paint pass.
void pair_20hz(Rig& rig) {
    rig.board_time += 0.05;
    rig.port.feed(rig.next());
    zento::StripChart& chart = *rig.window->ui.chart;
    if (chart.redrawPending()) chart.redrawNow(); // what the receive event's flush does at 20 Hz
    QApplication::processEvents();
}

// The measured pair (a function of its own, for the profile).
[[gnu::noinline]] void window_20hz_pair(Rig& rig) {
    pair_20hz(rig);
}

// Every benchmark reports the same counters (the CSV output wants them in every row).
void report(benchmark::State& state, const PaintCounter& counter, std::int64_t pairs) {
    state.counters["pairs_per_s"] = benchmark::Counter(double(pairs), benchmark::Counter::kIsRate);
    state.counters["paints_per_pair"] =
        double(counter.paints) / double(std::max<std::int64_t>(1, pairs));
    state.counters["passes_per_pair"] =
        double(counter.passes) / double(std::max<std::int64_t>(1, pairs));
}

void BM_Window20Hz(benchmark::State& state) {
    Rig rig;
    for (int i = 0; i < 200; ++i) // a whole chart's width of data, caches warm
        pair_20hz(rig);
    PaintCounter counter(rig.window.get());
    qApp->installEventFilter(&counter);
    std::int64_t pairs = 0;
    for (auto _ : state) {
        window_20hz_pair(rig);
        ++pairs;
    }
    qApp->removeEventFilter(&counter);
    report(state, counter, pairs);
}
BENCHMARK(BM_Window20Hz)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

void run(benchmark::State& state, int paint_every) {
    Rig rig;
    PaintCounter counter(rig.window.get());
    qApp->installEventFilter(&counter);
    std::int64_t pairs = 0;
    for (auto _ : state) {
        rig.port.feed(rig.next());
        rig.board_time += 0.004;
        ++pairs;
        if (paint_every > 0 && pairs % paint_every == 0) QApplication::processEvents();
    }
    QApplication::processEvents();
    qApp->removeEventFilter(&counter);
    report(state, counter, pairs);
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
