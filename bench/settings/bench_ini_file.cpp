// Settings file costs: Read_ini of one key and Write_ini of one key (read, edit, temporary file,
// rename), on a typical small file and on a 10 MB file with the section at its end.
#include "settings/ini_file.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

struct TempFile {
    explicit TempFile(const std::string& text) {
        std::random_device rd;
        dir = fs::temp_directory_path() / ("zento-bench-ini-" + std::to_string(rd()));
        fs::create_directories(dir);
        path = dir / "Zento.ini";
        std::ofstream(path, std::ios::binary) << text;
    }
    ~TempFile() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path dir, path;
};

std::string small_file() {
    return "[COM]\r\nPort=3\r\nSettings=9600,n,8,1\r\n";
}

std::string huge_file() {
    std::string s;
    s.reserve(10'100'000);
    while (s.size() < 10'000'000)
        s += "filler=" + std::string(60, 'f') + "\r\n";
    return s + small_file();
}

void BM_ReadSmall(benchmark::State& state) {
    TempFile f(small_file());
    for (auto _ : state)
        benchmark::DoNotOptimize(zento::Read_ini("COM", "Settings", f.path));
}
BENCHMARK(BM_ReadSmall);

void BM_ReadHuge(benchmark::State& state) {
    TempFile f(huge_file());
    for (auto _ : state)
        benchmark::DoNotOptimize(zento::Read_ini("COM", "Settings", f.path));
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(fs::file_size(f.path)));
}
BENCHMARK(BM_ReadHuge)->Unit(benchmark::kMillisecond);

void BM_WriteSmall(benchmark::State& state) {
    TempFile f(small_file());
    int i = 0;
    for (auto _ : state) {
        const auto r = zento::Write_ini("COM", "Port", std::to_string(1 + (i++ % 14)), f.path);
        if (!r.ok) state.SkipWithError(r.error.c_str());
    }
}
BENCHMARK(BM_WriteSmall)->Unit(benchmark::kMicrosecond);

void BM_WriteHuge(benchmark::State& state) {
    TempFile f(huge_file());
    int i = 0;
    for (auto _ : state) {
        const auto r = zento::Write_ini("COM", "Port", std::to_string(1 + (i++ % 14)), f.path);
        if (!r.ok) state.SkipWithError(r.error.c_str());
    }
}
BENCHMARK(BM_WriteHuge)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
