// perf_record_day [--hours H] [--rate HZ]: H hours (default 24) of the simulated board at HZ
// (default 20) recorded as fast as the recorder takes it, the batch times those of the board.
// Prints, for every recorded hour, the bytes of each file so far and the process's resident
// memory, so that the bytes per hour and a flat memory can be read off.
#include "../proc_status.h"
#include "board_stream.h"
#include "recording/recorder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace zento;
using namespace std::chrono;

namespace {

using zento::bench::rss_mib;

} // namespace

int main(int argc, char** argv) {
    double hours = 24, rate = 20;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--hours") hours = std::atof(argv[i + 1]);
        else if (a == "--rate") rate = std::atof(argv[i + 1]);
    }
    std::random_device rd;
    const auto folder =
        std::filesystem::temp_directory_path() / ("zento-record-day-" + std::to_string(rd()));
    std::string error;
    const auto t0 = Recorder::now();
    auto rec = Recorder::start(folder, t0, error);
    if (!rec) {
        std::fprintf(stderr, "perf_record_day: %s\n", error.c_str());
        return 1;
    }
    board::BoardStream stream(7, rate, 0.0);
    std::vector<std::uint8_t> tick;
    const auto per_hour = std::uint64_t(rate * 3600);
    const auto wall = steady_clock::now();
    std::printf("hour  pcap_MB  csv_MB  rss_MiB\n");
    std::printf("%4d %8.1f %7.1f %8.1f\n", 0, 0.0, 0.0, rss_mib());
    for (std::uint64_t k = 0; k < std::uint64_t(hours * double(per_hour)); ++k) {
        tick.clear();
        stream.append_tick(tick, k);
        rec->received(tick, t0 + nanoseconds(std::int64_t(double(k) * 1e9 / rate)));
        // Keep within the buffer: the caller never waits in the program, but here board time
        // runs thousands of times faster than the disk is asked to follow.
        if (k % 2000 == 0)
            while (rec->status().waiting_bytes > (1u << 20))
                std::this_thread::sleep_for(milliseconds(1));
        if ((k + 1) % per_hour == 0) {
            while (rec->status().waiting_bytes != 0)
                std::this_thread::sleep_for(milliseconds(1));
            const RecorderStatus s = rec->status();
            if (!s.failure.empty()) {
                std::fprintf(stderr, "perf_record_day: %s\n", s.failure.c_str());
                return 1;
            }
            std::printf("%4llu %8.1f %7.1f %8.1f\n", (unsigned long long)((k + 1) / per_hour),
                        double(s.pcap_bytes) / 1e6, double(s.csv_bytes) / 1e6, rss_mib());
            std::fflush(stdout);
        }
    }
    rec->finish();
    std::printf("done in %.0f s\n", duration<double>(steady_clock::now() - wall).count());
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return 0;
}
