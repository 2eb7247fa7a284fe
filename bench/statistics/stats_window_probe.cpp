// The Statistics window on a real recording, as a user meets it: how long it takes to read the
// file, find the still intervals and compute the figures and the Allan deviation off the GUI
// thread, how long the GUI thread was ever kept from its events meanwhile, and a picture of
// the window.
//
//   stats_window_probe FILE [--rate HZ] [--size WxH] [--still N] [--grab PNG] [--export STEM]
//
// --rate: a plain capture's attitude frames a second; --still N: then the N-th still interval;
// --grab: the window's picture after the last step; --export: STEM-stats.csv, STEM-allan.csv,
// STEM-allan.png and .svg as its buttons write them. Runs offscreen unless QT_QPA_PLATFORM says.
#include "statistics/statistics_window.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <string>

using namespace zento;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString file, grab, stem;
    double rate = 0;
    int still = -1, w = 1200, h = 960;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--rate" && more)
            rate = std::atof(argv[++i]);
        else if (a == "--still" && more)
            still = std::atoi(argv[++i]);
        else if (a == "--grab" && more)
            grab = QString::fromLocal8Bit(argv[++i]);
        else if (a == "--export" && more)
            stem = QString::fromLocal8Bit(argv[++i]);
        else if (a == "--size" && more)
            std::sscanf(argv[++i], "%dx%d", &w, &h);
        else
            file = QString::fromLocal8Bit(argv[i]);
    }
    if (file.isEmpty()) {
        std::fprintf(stderr, "usage: stats_window_probe FILE [--rate HZ] [--size WxH] "
                             "[--still N] [--grab PNG] [--export STEM]\n");
        return 2;
    }
    StatisticsWindow win(SettingsFile("/nonexistent/Zento.ini"));
    win.resize(w, h);
    win.show();
    // The GUI thread's longest wait for its events: a 1 ms timer's largest gap.
    QElapsedTimer beat;
    qint64 longest = 0;
    QTimer pulse;
    pulse.setInterval(1);
    QObject::connect(&pulse, &QTimer::timeout,
                     [&] { longest = std::max(longest, beat.restart()); });
    const auto run = [&](const char* what, const std::function<void()>& step) {
        QElapsedTimer clock;
        clock.start();
        beat.start();
        longest = 0;
        pulse.start();
        step();
        while (win.busy())
            app.processEvents(QEventLoop::WaitForMoreEvents, 50);
        pulse.stop();
        std::printf("%-34s %8.1f ms, GUI thread's longest gap %lld ms: %s\n", what,
                    double(clock.nsecsElapsed()) / 1e6, longest,
                    win.stats() ? "figures shown" : "no figures");
    };
    if (rate > 0) win.rateEdit->setValue(rate);
    run("open (read, still intervals, all)", [&] { win.open(file); });
    std::printf("still intervals: %zu\n", win.stillIntervals().size());
    if (rate > 0 && win.rateEdit->isVisible() && win.rateEdit->value() != rate)
        win.rateEdit->setValue(rate);
    run("whole recording again", [&] { win.chooseWhole(); });
    if (still >= 0) run("a still interval", [&] { win.chooseStill(still); });
    if (!stem.isEmpty()) {
        const bool ok =
            win.exportTable(stem + "-stats.csv") && win.exportCurves(stem + "-allan.csv") &&
            win.exportPlots(stem + "-allan.png") && win.exportPlots(stem + "-allan.svg");
        std::printf("export: %s\n", ok ? "written" : "failed");
    }
    if (!grab.isEmpty()) {
        app.processEvents();
        win.grab().save(grab);
    }
    return 0;
}
