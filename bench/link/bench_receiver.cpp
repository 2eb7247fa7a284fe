// Receiver and decoders over a realistic stream: attitude and sensor frames at equal rates,
// about 1 % of frames with one corrupted, dropped or inserted byte, and some noise between
// frames. Reported as bytes per second of stream.
#include "link/envelope.h"
#include "link/receiver.h"
#include "telemetry/decoders.h"
#include "telemetry/value_text.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

namespace {

using namespace zento;
using Bytes = std::vector<std::uint8_t>;

void put_word(Bytes& p, long v) {
    const auto w = encode_sign_magnitude(v);
    p.push_back(w[0]);
    p.push_back(w[1]);
}

// About 200000 frames (4.4 MB).
const Bytes& stream() {
    static const Bytes s = [] {
        std::mt19937 rng(2024);
        std::normal_distribution<double> jitter(0.0, 1.0);
        Bytes out, f, p;
        out.reserve(5 << 20);
        double t = 0;
        for (int k = 0; k < 200000; ++k, t += 0.01) {
            p.clear();
            if (k % 2 == 0) {
                put_word(p, std::lround(1800 * std::sin(t * 0.3)));        // yaw, 0.1 deg
                put_word(p, std::lround(300 * std::sin(t) + jitter(rng))); // pitch
                put_word(p, std::lround(450 * std::cos(t) + jitter(rng))); // roll
                put_word(p, std::lround(1000 + 30 * std::sin(t * 0.1)));   // altitude, 0.1 m
                put_word(p, 250 + k / 20000);                              // temperature
                put_word(p, std::lround(10132 + 3 * jitter(rng)));         // pressure, 10 Pa
                put_word(p, 100);                                          // solution rate
            } else {
                for (int i = 0; i < 3; ++i)
                    put_word(p, std::lround(16384 * std::sin(t + i)));
                for (int i = 0; i < 3; ++i)
                    put_word(p, std::lround(200 * jitter(rng)));
                for (int i = 0; i < 3; ++i)
                    put_word(p, std::lround(400 * std::cos(t + i)));
            }
            f.clear();
            append_frame(f, k % 2 == 0 ? kTypeAttitude : kTypeSensor, p);
            if (rng() % 100 == 0) { // one damaged frame in a hundred
                const std::size_t at = 2 + rng() % (f.size() - 2);
                switch (rng() % 3) {
                case 0:
                    f[at] ^= std::uint8_t(1 + rng() % 255);
                    break;
                case 1:
                    f.erase(f.begin() + std::ptrdiff_t(at));
                    break;
                default:
                    f.insert(f.begin() + std::ptrdiff_t(at), std::uint8_t(rng()));
                    break;
                }
            }
            out.insert(out.end(), f.begin(), f.end());
            if (rng() % 50 == 0) // a little line noise between frames
                for (unsigned n = rng() % 8; n != 0; --n)
                    out.push_back(std::uint8_t(rng()));
        }
        return out;
    }();
    return s;
}

enum class Work { Frames, Records, Texts };

template <Work W> struct Sink final : ReceiverEvents {
    std::uint64_t frames = 0, logs = 0, lamps = 0;
    float acc = 0;
    std::size_t chars = 0;
    char buf[kValueTextMax];

    void Show_msg(std::string_view) override { ++logs; }
    void Rec_LedON() override { ++lamps; }
    void Rec_attitude(std::span<const std::uint8_t> f) override {
        ++frames;
        if constexpr (W == Work::Frames) return;
        const auto r = decode_attitude(f);
        if (!r) return;
        acc += r->yaw + r->pitch + r->roll + r->altitude + r->temperature + r->pressure_pa() +
               r->rate + r->yaw_3d() + r->roll_3d();
        if constexpr (W == Work::Texts) {
            for (float v : {r->yaw, r->pitch, r->roll, r->altitude, r->temperature,
                            r->pressure_pa(), r->rate})
                chars += value_text(v, buf);
        }
    }
    void Rec_sensor(std::span<const std::uint8_t> f) override {
        ++frames;
        if constexpr (W == Work::Frames) return;
        const auto r = decode_sensor(f);
        if (!r) return;
        for (int i = 0; i < 9; ++i)
            acc += r->reading(i);
        if constexpr (W == Work::Texts) {
            for (int i = 0; i < 9; ++i)
                chars += value_text(r->reading(i), buf);
        }
    }
    void Rec_other(std::span<const std::uint8_t>) override { ++frames; }
};

template <Work W> void BM_Receiver(benchmark::State& state) {
    const Bytes& s = stream();
    Sink<W> sink;
    for (auto _ : state) {
        Receiver rx(sink);
        rx.feed(s);
        benchmark::DoNotOptimize(sink.acc);
        benchmark::DoNotOptimize(sink.chars);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(s.size()));
    const double runs = double(state.iterations());
    state.counters["frames"] = double(sink.frames) / runs;
    state.counters["logs"] = double(sink.logs) / runs;
}

// In batches of the size a serial port delivers (64 bytes).
void BM_ReceiverBatches64(benchmark::State& state) {
    const Bytes& s = stream();
    Sink<Work::Records> sink;
    for (auto _ : state) {
        Receiver rx(sink);
        for (std::size_t at = 0; at < s.size(); at += 64)
            rx.feed(std::span<const std::uint8_t>(s).subspan(
                at, std::min<std::size_t>(64, s.size() - at)));
        benchmark::DoNotOptimize(sink.acc);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(s.size()));
}

void BM_ValueText(benchmark::State& state) {
    char buf[kValueTextMax];
    std::size_t n = 0;
    int w = -32767;
    for (auto _ : state) {
        n += value_text(float(w) / 10.0f, buf);
        if (++w > 32767) w = -32767;
    }
    benchmark::DoNotOptimize(n);
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_Receiver<Work::Frames>)->Name("BM_Receiver/frames_only");
BENCHMARK(BM_Receiver<Work::Records>)->Name("BM_Receiver/decode_records");
BENCHMARK(BM_Receiver<Work::Texts>)->Name("BM_Receiver/decode_records_and_texts");
BENCHMARK(BM_ReceiverBatches64);
BENCHMARK(BM_ValueText);
BENCHMARK_MAIN();
