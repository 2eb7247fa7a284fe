// Recording and reading recordings, on the simulated board's stream.
//
//  BM_RecorderReceived/BYTES  the caller's cost of Recorder::received for one batch of BYTES
//                             (44: one tick of 250 + 250 Hz as its own batch; 176: the four
//                             ticks one 16 ms receive event takes at 250 Hz), the writer thread
//                             running: 400 slices of 2 s of data each, the writer caught up
//                             between slices (untimed) so the buffer never fills
//  BM_RecordedHour/HZ         one hour of board time at HZ recorded as fast as it goes; the
//                             counters are the bytes of each file per hour
//  BM_ReadPcap / BM_ReadPlain the reader over a 20 Hz recording / plain capture held in the page
//                             cache, bytes of file per second
//  BM_ReadPcapng              the same recording as Wireshark's tools save it (pcapng: a section,
//                             an interface, an enhanced packet block per record)
//  BM_DecodeCsv               reader + receiver + CSV rows (zento-decode --csv without output)
//  BM_TickExportCopy / Write  "Export chart data" of 30 minutes at 250 Hz (450 000 ticks that
//                             went through the receive path into the window's tick history):
//                             the copy taken on the user-interface thread, and the file written
//                             by the export's thread
#include "board_stream.h"
#include "recording/file_io.h"
#include "recording/recorder.h"
#include "recording/recording_csv.h"
#include "recording/recording_reader.h"
#include "recording/tick_csv.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace zento;
using namespace std::chrono;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class Folder {
  public:
    Folder() {
        std::random_device rd;
        path_ = fs::temp_directory_path() / ("zento-bench-" + std::to_string(rd()));
        fs::create_directories(path_);
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// `ticks` ticks of the board, each its own batch.
std::vector<Bytes> board_ticks(std::uint64_t ticks, double rate) {
    board::BoardStream stream(7, rate, 0.0);
    std::vector<Bytes> out(ticks);
    for (std::uint64_t k = 0; k < ticks; ++k)
        stream.append_tick(out[k], k);
    return out;
}

void wait_written(const Recorder& rec) {
    while (rec.status().waiting_bytes != 0)
        std::this_thread::sleep_for(milliseconds(1));
}

void BM_RecorderReceived(benchmark::State& state) {
    const auto ticks = board_ticks(500 * 4, 250);
    std::vector<Bytes> batches;
    const std::size_t per = std::size_t(state.range(0)) / 44;
    for (std::size_t k = 0; k + per <= ticks.size(); k += per) {
        Bytes b;
        for (std::size_t i = 0; i < per; ++i)
            b.insert(b.end(), ticks[k + i].begin(), ticks[k + i].end());
        batches.push_back(std::move(b));
    }
    const std::size_t slice = 500 / per; // 2 s of data at 250 Hz
    Folder folder;
    std::string error;
    const auto t0 = Recorder::now();
    // The writer wakes every 10 ms instead of 500, only so that the untimed catching up between
    // slices is short; the caller's side is the same.
    RecorderOptions options;
    options.flush_period = milliseconds(10);
    auto rec = Recorder::start(folder.path(), t0, error, options);
    if (!rec) return state.SkipWithError(error.c_str());
    std::size_t i = 0;
    auto t = t0;
    for (auto _ : state) {
        const auto begin = steady_clock::now();
        for (std::size_t k = 0; k < slice; ++k) {
            rec->received(batches[i], t);
            t += microseconds(4000 * per);
            i = (i + 1) % batches.size();
        }
        state.SetIterationTime(duration<double>(steady_clock::now() - begin).count());
        wait_written(*rec);
    }
    rec->finish();
    if (!rec->status().failure.empty()) state.SkipWithError(rec->status().failure.c_str());
    // One iteration is a slice; the counter gives the cost of one batch.
    state.counters["per_batch"] = benchmark::Counter(
        double(slice), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RecorderReceived)->Arg(44)->Arg(176)->UseManualTime()->Iterations(400);

void BM_RecordedHour(benchmark::State& state) {
    const double hz = double(state.range(0));
    const auto ticks = board_ticks(std::uint64_t(hz * 3600), hz);
    for (auto _ : state) {
        Folder folder;
        std::string error;
        const auto t0 = Recorder::now();
        auto rec = Recorder::start(folder.path(), t0, error);
        if (!rec) return state.SkipWithError(error.c_str());
        for (std::size_t k = 0; k < ticks.size(); ++k) {
            rec->received(ticks[k], t0 + nanoseconds(std::int64_t(double(k) * 1e9 / hz)));
            if (k % 20000 == 0) wait_written(*rec);
        }
        rec->finish();
        const RecorderStatus st = rec->status();
        if (!st.failure.empty()) return state.SkipWithError(st.failure.c_str());
        state.counters["pcap_MB_per_hour"] = double(st.pcap_bytes) / 1e6;
        state.counters["csv_MB_per_hour"] = double(st.csv_bytes) / 1e6;
    }
}
BENCHMARK(BM_RecordedHour)->Arg(20)->Arg(250)->Iterations(1)->Unit(benchmark::kMillisecond);

// A pcapng block (little-endian): type, length, the words, the data padded to 4, length again.
void put_block(Bytes& out, std::uint32_t type, std::initializer_list<std::uint32_t> words,
               std::span<const std::uint8_t> data = {}) {
    const auto n = std::uint32_t(12 + 4 * words.size() + (data.size() + 3) / 4 * 4);
    const auto put = [&](std::uint32_t w) {
        for (int i = 0; i < 4; ++i)
            out.push_back(std::uint8_t(w >> (8 * i)));
    };
    put(type);
    put(n);
    for (std::uint32_t w : words)
        put(w);
    out.insert(out.end(), data.begin(), data.end());
    out.resize(out.size() + (4 - data.size() % 4) % 4);
    put(n);
}

// 30 minutes at 20 Hz as a recording, as pcapng and as a plain capture, written once.
struct Files {
    Folder folder;
    fs::path pcap, pcapng, plain;
    std::uint64_t pcap_size = 0, pcapng_size = 0, plain_size = 0;
    Files() {
        const auto ticks = board_ticks(20 * 1800, 20);
        std::string error;
        const auto t0 = Recorder::now();
        auto rec = Recorder::start(folder.path(), t0, error);
        Bytes plain_bytes;
        for (std::size_t k = 0; k < ticks.size(); ++k) {
            rec->received(ticks[k], t0 + milliseconds(50 * std::int64_t(k)));
            plain_bytes.insert(plain_bytes.end(), ticks[k].begin(), ticks[k].end());
            if (k % 20000 == 0) wait_written(*rec);
        }
        rec->finish();
        pcap = rec->pcap_path();
        pcap_size = fs::file_size(pcap);
        plain = folder.path() / "plain.bin";
        WriteFile f;
        std::size_t written = 0;
        f.create_new(plain, error);
        f.write_all(plain_bytes, written, error);
        plain_size = plain_bytes.size();

        const auto rf = RecordingFile::open(pcap, error);
        Bytes ng, record;
        put_block(ng, kPcapngMagic, {kPcapngByteOrder, 1, ~0u, ~0u});
        put_block(ng, kPcapngInterface, {kLinktypeUser0, kPcapSnaplen});
        while (const auto b = rf->reader().next()) {
            const auto us = std::uint64_t(b->time_ns / 1000);
            record.assign(1, std::uint8_t(b->direction));
            record.insert(record.end(), b->bytes.begin(), b->bytes.end());
            const auto n = std::uint32_t(record.size());
            put_block(ng, kPcapngEnhancedPacket,
                      {0, std::uint32_t(us >> 32), std::uint32_t(us), n, n}, record);
        }
        pcapng = folder.path() / "recording.pcapng";
        WriteFile g;
        g.create_new(pcapng, error);
        g.write_all(ng, written, error);
        pcapng_size = ng.size();
    }
};

const Files& files() {
    static const Files f;
    return f;
}

template <bool kCsv>
void read_through(benchmark::State& state, const fs::path& path, std::uint64_t size) {
    std::size_t batches = 0;
    for (auto _ : state) {
        std::string error, csv;
        const auto f = RecordingFile::open(path, error);
        if (!f) return state.SkipWithError(error.c_str());
        CsvRows rows;
        std::int64_t origin = -1;
        batches = 0;
        while (const auto b = f->reader().next()) {
            ++batches;
            if (origin < 0) origin = b->time_ns;
            if constexpr (kCsv) {
                rows.feed(b->bytes, (b->time_ns - origin) / 1000, csv);
                if (csv.size() > (1u << 20)) csv.clear();
            }
            benchmark::DoNotOptimize(b->bytes.data());
        }
    }
    state.counters["batches"] = double(batches);
    state.SetBytesProcessed(std::int64_t(state.iterations() * size));
}

void BM_ReadPcap(benchmark::State& state) {
    read_through<false>(state, files().pcap, files().pcap_size);
}
void BM_ReadPcapng(benchmark::State& state) {
    read_through<false>(state, files().pcapng, files().pcapng_size);
}
void BM_ReadPlain(benchmark::State& state) {
    read_through<false>(state, files().plain, files().plain_size);
}
void BM_DecodeCsv(benchmark::State& state) {
    read_through<true>(state, files().pcap, files().pcap_size);
}
BENCHMARK(BM_ReadPcap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadPcapng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeCsv)->Unit(benchmark::kMillisecond);

const TickHistory& thirty_minutes_at_250() {
    static const TickHistory* h = [] {
        auto* history = new TickHistory;
        FrameDispatch dispatch;
        dispatch.add_sink(*history);
        const auto ticks = board_ticks(250 * 1800, 250);
        for (std::size_t k = 0; k < ticks.size(); ++k)
            dispatch.feed(ticks[k], 1'765'000'000'000'000'000 + std::int64_t(k) * 4'000'000);
        return history;
    }();
    return *h;
}

void BM_TickExportCopy(benchmark::State& state) {
    const TickHistory& h = thirty_minutes_at_250();
    for (auto _ : state)
        benchmark::DoNotOptimize(h.rows());
    state.counters["ticks"] = double(h.size());
}
void BM_TickExportWrite(benchmark::State& state) {
    const std::vector<TickRow> rows = thirty_minutes_at_250().rows();
    Folder folder;
    const fs::path file = folder.path() / "ticks.csv";
    for (auto _ : state) {
        const std::string error = save_tick_csv(file, rows, rows.front().time_ns, {});
        if (!error.empty()) return state.SkipWithError(error.c_str());
    }
    state.counters["MB"] = double(fs::file_size(file)) / 1e6;
}
BENCHMARK(BM_TickExportCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TickExportWrite)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
