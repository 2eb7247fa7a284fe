// One refresh of the "Link and sensor health" window, offscreen, while the board streams at
// 250 + 250 Hz: the window asks the monitor for its report (which works the last half second's
// frames into the figures) and updates the table, and Qt repaints the cells that changed. At
// two refreshes a second this is the window's cost while open. With full_render the whole
// window is also drawn into a picture each time (an upper bound: every pixel repainted).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPixmap>

#include "health/health_window.h"
#include "health_rig.h"

namespace {

void BM_HealthWindowRefresh(benchmark::State& state) {
    health_test::Rig rig(3, 250);
    rig.run_until(60);
    zento::HealthWindow w(
        rig.monitor, [&] { return rig.now; }, std::filesystem::path("/nonexistent/Zento.ini"));
    w.show();
    QApplication::processEvents();
    QPixmap into(w.size());
    const bool full = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        rig.run_for(0.5); // half a second of frames, fed to the monitor as the window does
        state.ResumeTiming();
        w.refresh();
        if (full) w.render(&into);
        QApplication::processEvents(); // the repaint of what changed
    }
}

} // namespace

BENCHMARK(BM_HealthWindowRefresh)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("full_render")
    ->Unit(benchmark::kMicrosecond);
