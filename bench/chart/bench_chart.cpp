// Strip chart costs, with a fake clock, on a shown 777 x 313 chart (offscreen):
//  - one addPoint (12 channels in turn);
//  - one redraw of the whole chart, and one redraw after a frame's worth of new points
//    (40 ms at 250 Hz), each followed by the paint that puts it on the screen;
//  - one second of live data at 20 Hz (240 points, a redraw after each tick) and at 250 Hz
//    (3000 points, 25 redraws), reported per second;
// each on a chart that holds a window's worth of points (at 250 Hz; at 20 Hz for the 20 Hz live
// second) and on one holding the full 30 minutes of history at 250 Hz (450 000 points per
// channel), to show that the cost stays flat.
#include "../proc_status.h"
#include "chart/strip_chart.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <string>

using zento::StripChart;

namespace {

constexpr double kFillRateHz = 250.0;
constexpr double kPi = 3.14159265358979323846;

using zento::bench::rss_mib;

// A shown chart fed by a fake clock. Every channel moves like a board's reading: a slow wave
// of its own plus noise, so every value changes at every sample while the range holds.
struct Rig {
    StripChart chart;
    double now = 1'765'000'000.0; // the frames' times: seconds since 1970
    std::uint32_t noise = 1;

    Rig() {
        chart.show();
        QApplication::processEvents();
    }
    // One sample on every channel, then the clock moves 1/rate s.
    void sample(double rate) {
        for (int k = 0; k < StripChart::kChannelCount; ++k) {
            noise = noise * 1664525u + 1013904223u;
            const double jitter = double(noise >> 24) / 256.0 - 0.5;
            chart.addPoint(k, now, 80.0 * std::sin(2 * kPi * 0.3 * now + k) + 10.0 * jitter);
        }
        now += 1.0 / rate;
    }
    void fill(double seconds, double rate) {
        const long n = std::lround(seconds * rate);
        for (long i = 0; i < n; ++i) {
            sample(rate);
        }
        draw_whole();
    }
    // The redraw the chart's own coalescing would make now, and its paint.
    void draw_frame() {
        chart.redrawNow();
        QCoreApplication::sendPostedEvents(); // the paint; timers (the chart's own) stay out
    }
    void draw_whole() {
        chart.redrawNow(StripChart::Redraw::Whole);
        QCoreApplication::sendPostedEvents();
    }
};

// The rigs live until the process ends: never destroyed (a widget must not outlive the
// QApplication, and static objects are destroyed after main() has returned).

// A window's worth of points at the given rate (250 Hz: the densest).
Rig& window_rig(int rate = int(kFillRateHz)) {
    static auto* rigs = new std::map<int, Rig*>;
    Rig*& rig = (*rigs)[rate];
    if (!rig) {
        rig = new Rig;
        rig->fill(10.0, rate);
    }
    return *rig;
}

double g_fill_seconds = 0;
double g_rss_before_fill = 0;
double g_rss_after_fill = 0;

Rig& full_rig() {
    static Rig* rig = [] {
        g_rss_before_fill = rss_mib();
        auto* r = new Rig;
        const auto t0 = std::chrono::steady_clock::now();
        r->fill(30 * 60 + 10.0, kFillRateHz); // past the bound: trimming is active from here on
        g_fill_seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        g_rss_after_fill = rss_mib();
        return r;
    }();
    return *rig;
}

void report_memory(benchmark::State& state) {
    state.counters["points_per_channel"] = full_rig().chart.pointCount(0);
    state.counters["fill_s"] = g_fill_seconds;
    state.counters["rss_growth_MiB"] = g_rss_after_fill - g_rss_before_fill;
}

void add_point(benchmark::State& state, Rig& rig) {
    int k = 0;
    for (auto _ : state) {
        rig.chart.addPoint(k, rig.now, 1.5);
        if (++k == StripChart::kChannelCount) {
            k = 0;
            rig.now += 1.0 / kFillRateHz;
        }
    }
    state.SetItemsProcessed(state.iterations());
    rig.draw_whole(); // keep the view in step for the next benchmark
}

void redraw_whole(benchmark::State& state, Rig& rig) {
    rig.chart.setTracking(true);
    for (auto _ : state) {
        rig.draw_whole();
    }
}

// The points of one 40 ms frame at 250 Hz are added untimed; the redraw that follows is timed.
void redraw_frame(benchmark::State& state, Rig& rig) {
    rig.chart.setTracking(true);
    rig.draw_whole();
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < 10; ++i) {
            rig.sample(kFillRateHz);
        }
        state.ResumeTiming();
        rig.draw_frame();
    }
}

// One second of live data per iteration: `rate` samples of 12 channels, and a redraw after
// every `per_redraw` samples (the main window asks for one after each batch; at most 25 a
// second are drawn).
void live_second(benchmark::State& state, Rig& rig, int rate, int per_redraw) {
    rig.chart.setTracking(true);
    rig.draw_whole();
    for (auto _ : state) {
        for (int i = 1; i <= rate; ++i) {
            rig.sample(rate);
            if (i % per_redraw == 0) {
                rig.draw_frame();
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * rate * StripChart::kChannelCount);
}

void BM_AddPoint_Window(benchmark::State& s) {
    add_point(s, window_rig());
}
void BM_AddPoint_Full30min(benchmark::State& s) {
    add_point(s, full_rig());
    report_memory(s);
}
void BM_RedrawWhole_Window(benchmark::State& s) {
    redraw_whole(s, window_rig());
}
void BM_RedrawWhole_Full30min(benchmark::State& s) {
    redraw_whole(s, full_rig());
}
void BM_RedrawFrame_Window(benchmark::State& s) {
    redraw_frame(s, window_rig());
}
void BM_RedrawFrame_Full30min(benchmark::State& s) {
    redraw_frame(s, full_rig());
}
void BM_LiveSecond20Hz_Window(benchmark::State& s) {
    live_second(s, window_rig(20), 20, 1);
}
void BM_LiveSecond20Hz_Full30min(benchmark::State& s) {
    live_second(s, full_rig(), 20, 1);
}
void BM_LiveSecond250Hz_Window(benchmark::State& s) {
    live_second(s, window_rig(), 250, 10);
}
void BM_LiveSecond250Hz_Full30min(benchmark::State& s) {
    live_second(s, full_rig(), 250, 10);
}

BENCHMARK(BM_AddPoint_Window);
BENCHMARK(BM_RedrawWhole_Window)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RedrawFrame_Window)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LiveSecond20Hz_Window)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiveSecond250Hz_Window)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddPoint_Full30min);
BENCHMARK(BM_RedrawWhole_Full30min)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RedrawFrame_Full30min)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LiveSecond20Hz_Full30min)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiveSecond250Hz_Full30min)->Unit(benchmark::kMillisecond);

} // namespace
