// What the health figures cost per frame pair: the simulated board's stream at 250 + 250
// frames a second, in the batches the main window takes (every 16 ms), through the receiver
// and the decoders alone, then also through a HealthMonitor polled at most twice a second
// (window closed: the log lines only), then also with a report twice a second (window open,
// its drawing not counted; bench_health_window has that). Each run is 60 s of board time
// through a fresh receiver and monitor; the figure is per frame pair.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <span>
#include <vector>

#include "board_stream.h"
#include "health/health_monitor.h"
#include "telemetry/decoders.h"
#include "telemetry/frame_dispatch.h"

namespace {

using namespace zento;

constexpr double kRate = 250;
constexpr int kSeconds = 60;
constexpr double kBatch = 0.016;

struct Batch {
    double t;
    std::vector<std::uint8_t> bytes;
};

const std::vector<Batch>& stream() {
    static const std::vector<Batch> s = [] {
        board::BoardStream b(3, kRate);
        std::vector<Batch> out;
        std::uint64_t k = 0;
        for (double t = kBatch; t <= kSeconds; t += kBatch) {
            Batch batch{t, {}};
            while (double(k) / kRate <= t)
                b.append_tick(batch.bytes, k++);
            out.push_back(std::move(batch));
        }
        return out;
    }();
    return s;
}

enum class Use { none, closed, open };

// The receive path (receiver, decoders, frame times) with or without the monitor.
template <Use U> struct Sink final : TelemetrySink {
    FrameDispatch dispatch;
    HealthMonitor monitor;
    float acc = 0;
    Sink() { dispatch.add_sink(*this); }
    void feed(const std::vector<std::uint8_t>& bytes, double t) {
        dispatch.feed(bytes, std::int64_t(t * 1e6) * 1000);
    }
    void batch(const TelemetryBatch& b) override {
        for (const TelemetryFrame& f : b.frames)
            acc += f.type == TelemetryFrame::Type::attitude ? f.attitude.yaw : f.sensor.acc[0];
        if constexpr (U != Use::none) monitor.batch(b);
    }
};

template <Use U> void BM_HealthStream(benchmark::State& state) {
    const auto& s = stream();
    std::size_t lines = 0, reports = 0;
    for (auto _ : state) {
        Sink<U> sink;
        sink.monitor.connected(0, 115200);
        double next_report = 0.5;
        for (const Batch& b : s) {
            sink.feed(b.bytes, b.t);
            if constexpr (U != Use::none) {
                lines += sink.monitor.poll(b.t).size();
            }
            if constexpr (U == Use::open) {
                if (b.t >= next_report) {
                    benchmark::DoNotOptimize(sink.monitor.report(b.t));
                    next_report += 0.5;
                    ++reports;
                }
            }
        }
        benchmark::DoNotOptimize(sink.acc);
    }
    const double pairs = kRate * kSeconds;
    state.SetItemsProcessed(std::int64_t(double(state.iterations()) * pairs));
    state.counters["ns_per_pair"] =
        benchmark::Counter(double(state.iterations()) * pairs,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["lines"] = double(lines) / double(state.iterations());
}

// One report (every figure as text) of a monitor that has seen a minute at 250 Hz.
void BM_HealthReport(benchmark::State& state) {
    Sink<Use::closed> sink;
    sink.monitor.connected(0, 115200);
    for (const Batch& b : stream()) {
        sink.feed(b.bytes, b.t);
        sink.monitor.poll(b.t);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(sink.monitor.report(kSeconds));
}

} // namespace

BENCHMARK(BM_HealthStream<Use::none>)
    ->Name("BM_HealthStream/receiver_and_decoders")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HealthStream<Use::closed>)
    ->Name("BM_HealthStream/plus_monitor_window_closed")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HealthStream<Use::open>)
    ->Name("BM_HealthStream/plus_monitor_report_2_per_s")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HealthReport)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
