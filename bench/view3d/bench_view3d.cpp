// One frame of the 3D window as its 50 ms timer draws it: clear, transforms, twelve overlay
// lines, one draw per material of the board model, read back and shown by the window. Runs on
// whatever OpenGL the X display offers (Mesa's llvmpipe under Xvfb):
//   xvfb-run -a build/release/bench/bench_view3d
// The CPU time is the whole process's (the software renderer draws on worker threads), so
// "cpu / 50 ms" is the share of one CPU the window takes at 20 frames per second.
#include "controls/fonts.h"
#include "view3d/big3d.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

zento::LatestValues g_values;
zento::Big3D* g_window = nullptr;

void finish() {
    g_window->surface()->makeCurrent();
    QOpenGLContext::currentContext()->functions()->glFinish();
    g_window->surface()->doneCurrent();
}

// A new pose and new overlay texts, as the decoders leave them after each frame pair.
void next_values(int k) {
    g_values.Yaw = float((k * 3) % 360 - 180);
    g_values.Roll = -10.0f + float(k % 7);
    g_values.Pitch = 5.0f - float(k % 5);
    g_values.str_yaw = std::to_string(k % 360) + ".5";
    g_values.str_Xjiaosulv = std::to_string(k % 1000 - 500);
    g_values.str_Xjiasudu = std::to_string(16384 - k % 100);
}

void BM_RenderFrame(benchmark::State& state) {
    if (!g_window) {
        state.SkipWithError("no 3D window (no X display or no model)");
        return;
    }
    int k = 0;
    for (auto _ : state) {
        next_values(++k);
        if (state.range(0)) {
            g_window->Render(); // drawn, read back and put on screen
            QCoreApplication::processEvents();
        } else {
            g_window->surface()->render(); // drawn and read back
        }
        finish();
    }
}
// presented:0 the frame drawn off screen and read back; presented:1 also put on screen (the
// window's own paint of the image, sent to the X server).
BENCHMARK(BM_RenderFrame)
    ->ArgName("presented")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// The frame read back as an image (what the tests compare), for comparison.
void BM_RenderAndReadBack(benchmark::State& state) {
    if (!g_window) {
        state.SkipWithError("no 3D window (no X display or no model)");
        return;
    }
    int k = 0;
    for (auto _ : state) {
        next_values(++k);
        benchmark::DoNotOptimize(g_window->surface()->grabFramebuffer());
    }
}
BENCHMARK(BM_RenderAndReadBack)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// The window as it runs: its 50 ms timer drawing for two seconds per iteration. The CPU time over
// the real time is the process's share of one CPU at 20 frames per second (the X server's own
// work to put the frames on screen is not included). live:1 new values every 50 ms (a board at
// 20 Hz); live:0 the record standing still (no board), when the picture does not change.
void BM_TimerAt20fps(benchmark::State& state) {
    if (!g_window) {
        state.SkipWithError("no 3D window (no X display or no model)");
        return;
    }
    const int before = g_window->frames_drawn();
    int k = 0;
    QTimer board;
    board.setInterval(50);
    QObject::connect(&board, &QTimer::timeout, [&k] { next_values(++k); });
    for (auto _ : state) {
        QEventLoop loop;
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        if (state.range(0)) board.start();
        g_window->renderTimer->start();
        loop.exec();
        g_window->renderTimer->stop();
        board.stop();
    }
    state.counters["frames_per_s"] =
        benchmark::Counter(double(g_window->frames_drawn() - before), benchmark::Counter::kIsRate);
}
void BM_IdleShown(benchmark::State& state) {
    for (auto _ : state) {
        QEventLoop loop;
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        loop.exec();
    }
}
BENCHMARK(BM_IdleShown)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Iterations(2);
BENCHMARK(BM_TimerAt20fps)
    ->ArgName("live")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    else
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    zento::use_window_font();

    // The program's folder: ZENTO_BIN_DIR, or bin/ beside this bench/ folder.
    QString folder = qEnvironmentVariable("ZENTO_BIN_DIR");
    if (folder.isEmpty()) folder = QDir(QCoreApplication::applicationDirPath()).filePath("../bin");
    auto window = std::make_unique<zento::Big3D>(g_values, folder);
    bool failed = false;
    window->end_program = [&] { failed = true; };
    window->message_box = [](const QString&, const QString& text) {
        std::fprintf(stderr, "3D window: %s\n", qPrintable(text));
    };
    window->Show3D();
    window->renderTimer->stop(); // the benchmark draws the frames itself
    if (!failed && window->has_device() && window->surface()) g_window = window.get();

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_window = nullptr;
    return 0;
}
