// Strip chart costs, with a fake clock:
//  - one addPoint (12 channels in turn, 250 Hz each);
//  - one redraw (axes update + replot) of a full 8.64 s window, 12 channels at 250 Hz;
//  - one second of live data: 12 x 250 points plus 30 redraws, reported per point;
// each on a chart that has only the window's worth of points and on one holding the full
// 30 minutes of history (450 000 points per channel), to show that the cost stays flat.
#include "telemetry/strip_chart.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

using zento::StripChart;

namespace {

constexpr double kRateHz = 250.0;
constexpr int kPointsPerSecond = StripChart::kChannelCount * 250;
constexpr int kRedrawsPerSecond = 30;

double rss_mib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0;
}

// A shown chart fed by a fake clock: every channel gets one point per 1/250 s.
struct Rig {
    StripChart chart;
    double now = 0;
    long tick = 0;

    Rig() {
        chart.setClock([this] { return now; });
        chart.show();
        QApplication::processEvents();
    }
    // One sample on every channel, then the clock moves 1/250 s.
    void sample() {
        for (int k = 0; k < StripChart::kChannelCount; ++k) {
            chart.addPoint(k, 100.0 * std::sin(0.01 * double(tick) + k));
        }
        ++tick;
        now = double(tick) / kRateHz;
    }
    void fill(double seconds) {
        const long n = std::lround(seconds * kRateHz);
        for (long i = 0; i < n; ++i) {
            sample();
        }
    }
    void redraw() {
        chart.updateView();
        chart.plot()->replot(QCustomPlot::rpImmediateRefresh);
    }
};

Rig& window_rig() {
    static std::unique_ptr<Rig> rig = [] {
        auto r = std::make_unique<Rig>();
        r->fill(10.0);
        return r;
    }();
    return *rig;
}

double g_fill_seconds = 0;
double g_rss_before_fill = 0;
double g_rss_after_fill = 0;

Rig& full_rig() {
    static std::unique_ptr<Rig> rig = [] {
        g_rss_before_fill = rss_mib();
        auto r = std::make_unique<Rig>();
        const auto t0 = std::chrono::steady_clock::now();
        r->fill(30 * 60 + 10.0); // past the bound: trimming is active from here on
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
        rig.chart.addPoint(k, 1.5);
        if (++k == StripChart::kChannelCount) {
            k = 0;
            ++rig.tick;
            rig.now = double(rig.tick) / kRateHz;
        }
    }
    state.SetItemsProcessed(state.iterations());
    rig.redraw(); // keep the view in step for the next benchmark
}

void redraw(benchmark::State& state, Rig& rig) {
    rig.chart.setTracking(true);
    for (auto _ : state) {
        rig.redraw();
    }
}

// One second of live data per iteration: 3000 points with a redraw after every 100.
void live_second(benchmark::State& state, Rig& rig) {
    rig.chart.setTracking(true);
    constexpr int samples_per_redraw = int(kRateHz) / kRedrawsPerSecond + 1;
    for (auto _ : state) {
        for (int i = 0; i < int(kRateHz); ++i) {
            rig.sample();
            if (i % samples_per_redraw == samples_per_redraw - 1) {
                rig.redraw();
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * kPointsPerSecond);
}

void BM_AddPoint_Window(benchmark::State& s) {
    add_point(s, window_rig());
}
void BM_AddPoint_Full30min(benchmark::State& s) {
    add_point(s, full_rig());
    report_memory(s);
}
void BM_Redraw_Window(benchmark::State& s) {
    redraw(s, window_rig());
}
void BM_Redraw_Full30min(benchmark::State& s) {
    redraw(s, full_rig());
}
void BM_LiveSecond_Window(benchmark::State& s) {
    live_second(s, window_rig());
}
void BM_LiveSecond_Full30min(benchmark::State& s) {
    live_second(s, full_rig());
}

BENCHMARK(BM_AddPoint_Window);
BENCHMARK(BM_Redraw_Window)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LiveSecond_Window)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddPoint_Full30min);
BENCHMARK(BM_Redraw_Full30min)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LiveSecond_Full30min)->Unit(benchmark::kMillisecond);

} // namespace
