// One hour of a still board at 250 Hz (900 000 sensor and attitude frames), every axis white
// noise of a few counts: the overlapping Allan deviation of the nine sensor axes at octave
// tau up to a tenth of the hour (and 1 s), and interval_stats() as a window would run it (the
// stretches and period found, the table, the curve). The figure to watch is the real time.
#include "statistics/interval_stats.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

using namespace zento;

namespace {

const FrameLog& hour_at_250_hz() {
    static const FrameLog log = [] {
        FrameLog l;
        std::mt19937_64 rng(5);
        std::normal_distribution<double> gauss(0.0, 3.0);
        for (int k = 0; k < 900'000; ++k) {
            SensorRecord r;
            for (int c = 0; c < 3; ++c) {
                r.acc[c] = float(std::round(gauss(rng))) + (c == 2 ? 16384.0f : 0.0f);
                r.gyro[c] = float(std::round(gauss(rng))) + 40.0f;
                r.mag[c] = float(std::round(gauss(rng))) + 300.0f;
            }
            const double t = std::ceil(k / 250.0 / 0.016) * 0.016; // batches of 16 ms
            l.add_sensor(t, r);
            l.add_attitude(t, AttitudeRecord{});
        }
        return l;
    }();
    return log;
}

void BM_AllanNineAxesOneHour(benchmark::State& state) {
    const FrameLog& log = hour_at_250_hz();
    const std::vector<Stretch> whole{{0, log.sensor().size()}};
    const auto factors = allan_factors(log.sensor().size(), 250);
    for (auto _ : state)
        for (int c = 0; c < 9; ++c)
            benchmark::DoNotOptimize(
                allan_deviation(log.sensor().channel[std::size_t(c)], whole, factors));
    state.counters["taus"] = double(factors.size());
}
BENCHMARK(BM_AllanNineAxesOneHour)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_IntervalStatsOneHour(benchmark::State& state) {
    const FrameLog& log = hour_at_250_hz();
    for (auto _ : state)
        benchmark::DoNotOptimize(interval_stats(log));
}
BENCHMARK(BM_IntervalStatsOneHour)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
