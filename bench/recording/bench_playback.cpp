// The playback port "as fast as possible": a 10-minute 20 Hz recording (12 000 batches) through
// the port, the event loop and the receiver with the decoders and value texts, as the window
// takes it without its drawing. The counter is how many times faster than real time it plays.
#include "board_stream.h"
#include "link/receiver.h"
#include "recording/pcap_format.h"
#include "recording/playback_port.h"
#include "telemetry/decoders.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

using namespace zento;
namespace fs = std::filesystem;

struct Decode final : ReceiverEvents {
    std::size_t frames = 0;
    void Show_msg(std::string_view) override {}
    void Rec_LedON() override {}
    void Rec_attitude(std::span<const std::uint8_t> f) override {
        if (const auto r = decode_attitude(f)) benchmark::DoNotOptimize(attitude_texts(*r));
        ++frames;
    }
    void Rec_sensor(std::span<const std::uint8_t> f) override {
        if (const auto r = decode_sensor(f)) benchmark::DoNotOptimize(sensor_texts(*r));
        ++frames;
    }
};

void BM_PlaybackFastest(benchmark::State& state) {
    const fs::path file = fs::temp_directory_path() /
                          ("zento-bench-" + std::to_string(std::random_device{}()) + ".pcap");
    constexpr int kTicks = 20 * 600;
    {
        board::BoardStream stream(3, 20.0, 0.0);
        std::vector<std::uint8_t> bytes, tick;
        append_pcap_header(bytes);
        for (int k = 0; k < kTicks; ++k) {
            tick.clear();
            stream.append_tick(tick, std::uint64_t(k));
            append_pcap_records(bytes, 1'765'000'000'000'000 + std::int64_t(k) * 50'000,
                                Direction::received, tick);
        }
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    double seconds = 0;
    for (auto _ : state) {
        PlaybackPort port(file);
        port.setSpeed(PlaybackSpeed::fastest);
        Decode d;
        Receiver rx(d);
        port.setRThreshold(1);
        port.OnComm = [&] { rx.OnComm(port); };
        const auto begin = std::chrono::steady_clock::now();
        if (!port.setPortOpen(true)) return state.SkipWithError(port.lastError().c_str());
        while (!port.ended())
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        if (d.frames != 2 * kTicks) state.SkipWithError("frames lost");
    }
    state.counters["times_real_time"] = 600.0 / seconds;
    std::error_code ec;
    fs::remove(file, ec);
}
BENCHMARK(BM_PlaybackFastest)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
