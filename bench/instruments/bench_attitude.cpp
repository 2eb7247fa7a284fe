// Cost of one attitude indicator redraw (Draw_attitude) at varying angles, and of its parts.
#include "instruments/attitude_indicator.h"
#include "instruments/horizon_geometry.h"

#include <QApplication>
#include <QStringList>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

// Counts operator new calls (the program's and Qt's), to report allocations per redraw.
static std::atomic<long> g_news{0};
void* operator new(std::size_t n) {
    g_news.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

using namespace zento;

namespace {

// Value texts as the decoders produce them: tenths of a degree, roll -180..180, pitch -90..90.
struct Angles {
    std::vector<QString> roll, pitch;
    Angles() {
        for (int k = 0; k < 997; ++k) {
            roll.push_back(QString::number((k * 373 % 3601 - 1800) / 10.0));
            pitch.push_back(QString::number((k * 211 % 1801 - 900) / 10.0));
        }
    }
};
const Angles& angles() {
    static const Angles a;
    return a;
}

void BM_DrawAttitude_Varying(benchmark::State& state) {
    AttitudeIndicator ind;
    const Angles& a = angles();
    std::size_t i = 0;
    const long before = g_news.load();
    for (auto _ : state) {
        ind.Draw_attitude(a.roll[i], a.pitch[i]);
        benchmark::DoNotOptimize(ind.picture().constBits());
        if (++i == a.roll.size()) i = 0;
    }
    state.counters["news/call"] =
        double(g_news.load() - before) / double(std::max<std::int64_t>(state.iterations(), 1));
}
BENCHMARK(BM_DrawAttitude_Varying);

void BM_DrawAttitude_Level(benchmark::State& state) {
    AttitudeIndicator ind;
    const QString zero = QStringLiteral("0");
    for (auto _ : state) {
        ind.Draw_attitude(zero, zero);
        benchmark::DoNotOptimize(ind.picture().constBits());
    }
}
BENCHMARK(BM_DrawAttitude_Level);

// The rotated blit alone, at 37 degrees, into a reused picture.
void BM_RotateBlt(benchmark::State& state) {
    AttitudeIndicator ind;
    QImage dst(153, 113, QImage::Format_RGB32);
    for (auto _ : state) {
        AttitudeIndicator::Rotate_blt(dst, 76, 56, 397, ind.strip(), 0, -30, 200, 1000);
        benchmark::DoNotOptimize(dst.constBits());
    }
}
BENCHMARK(BM_RotateBlt);

void BM_Geometry(benchmark::State& state) {
    const Angles& a = angles();
    std::size_t i = 0;
    for (auto _ : state) {
        const QString& r = a.roll[i];
        const double roll = text_number(std::u16string_view(QStringView(r).utf16(), r.size()));
        const BltPoints b = rotate_blt_points(roll_angle(roll), 76, 56, 200, 1000);
        benchmark::DoNotOptimize(b);
        benchmark::DoNotOptimize(aircraft_symbol(153, 113));
        if (++i == a.roll.size()) i = 0;
    }
}
BENCHMARK(BM_Geometry);

} // namespace
