// Endurance driver: board time at RATE ticks per second (one attitude and one raw sensor frame
// per tick) pushed through the whole main window as fast as it goes, offscreen, through the
// feeding port control of feed_port.h. The strip chart's clock is driven by the frames (board
// time), not the wall clock, so one run covers hours of board time. Resident memory is read at the
// start and after every simulated hour.
//
//   perf_endurance [--hours H] [--rate HZ] [--faults F] [--events-every N] [--seed S]
//                  [--chart-history-seconds S] [--log-undo-off]
//
//   --hours H         simulated hours (default 24)
//   --rate HZ         ticks per second of board time (default 20)
//   --faults F        share of frames with one damaged byte (default 0.01)
//   --events-every N  run the event loop (timers, repaints, chart redraws) after every N ticks
//                     (default 1: every tick is painted, like a live run at 20 Hz)
//   --chart-history-seconds S  the chart's age bound (default: its own; "inf" = count bound only)
//   --log-undo-off    switch off the message log's undo history (a diagnosis aid)
//
// Output: "hour H rss_mib R heap_mib M ..." lines, then one summary line starting "endurance".
#include "controls/fonts.h"
#include "../proc_status.h"
#include "feed_port.h"
#include "frames.h"
#include "shell/port_connection.h"
#include "shell/zento.h"
#include "chart/strip_chart.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTextDocument>

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

using zento::bench::status_mib;

// Bytes in use from malloc: arenas plus the blocks it mapped on their own (large ones).
double heap_mib() {
    const struct mallinfo2 mi = mallinfo2();
    return double(mi.uordblks + mi.hblkhd) / (1024.0 * 1024.0);
}

[[noreturn]] void usage(const char* why) {
    std::fprintf(stderr,
                 "perf_endurance: %s\n"
                 "usage: perf_endurance [--hours H] [--rate HZ] [--faults F] [--events-every N] "
                 "[--seed S] [--chart-history-seconds S] [--log-undo-off]\n",
                 why);
    std::exit(2);
}

} // namespace

int main(int argc, char** argv) {
    double hours = 24, rate = 20, faults = 0.01;
    long events_every = 1;
    unsigned seed = 1;
    double chart_seconds = 0;
    bool log_undo_off = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--log-undo-off") {
            log_undo_off = true;
            continue;
        }
        if (i + 1 >= argc) usage(("missing value after " + a).c_str());
        const char* v = argv[++i];
        char* end = nullptr;
        const double d = std::strtod(v, &end);
        if (*v == '\0' || *end != '\0' || !(d >= 0)) usage(("bad value " + std::string(v)).c_str());
        if (a == "--hours" && d > 0)
            hours = d;
        else if (a == "--rate" && d > 0)
            rate = d;
        else if (a == "--faults" && d <= 1)
            faults = d;
        else if (a == "--events-every" && d >= 1)
            events_every = long(d);
        else if (a == "--seed")
            seed = unsigned(d);
        else if (a == "--chart-history-seconds")
            chart_seconds = d;
        else
            usage(("bad option " + a + " " + v).c_str());
    }

    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zento::use_window_font();

    std::random_device rd;
    const auto dir =
        std::filesystem::temp_directory_path() / ("zento-perf-endurance-" + std::to_string(rd()));
    std::filesystem::create_directories(dir);
    struct Cleanup {
        std::filesystem::path dir;
        ~Cleanup() {
            std::error_code ec;
            std::filesystem::remove_all(dir, ec);
        }
    } cleanup{dir};

    const double rss_start = status_mib("VmRSS:");
    zento::perf::FeedPort port; // records nothing (the test double keeps a log of every call)
    double board_time = 0;
    double rss_h1 = 0, heap_h1 = 0;
    {
        zento::Zento window(port, QString::fromStdString(dir.string()));
        window.exit_program = [] {};
        if (chart_seconds > 0) window.ui.chart->setHistorySeconds(chart_seconds);
        if (log_undo_off) window.ui.messageText->setUndoRedoEnabled(false);
        window.show();
        QApplication::processEvents();
        window.connection().Toggle_port(); // opens the feeding port
        if (!port.PortOpen()) usage("the feeding port did not open");
        QApplication::processEvents();

        const double rss_window = status_mib("VmRSS:");
        std::printf("hour 0 rss_mib %.1f heap_mib %.1f (process start %.1f)\n", rss_window,
                    heap_mib(), rss_start);
        std::fflush(stdout);

        zento::perf::TickMaker maker(seed, faults);
        zento::perf::Bytes tick;
        tick.reserve(128);
        const auto ticks_per_hour = std::uint64_t(std::llround(rate * 3600));
        const auto total = std::uint64_t(std::llround(hours * 3600 * rate));
        const auto t0 = std::chrono::steady_clock::now();
        auto wall = [&t0] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        };
        for (std::uint64_t k = 0; k < total; ++k) {
            board_time = double(k) / rate;
            port.time_ns = 1'765'000'000'000'000'000 + std::int64_t(board_time * 1e6) * 1000;
            tick.clear();
            maker.tick(tick, k);
            port.feed(tick);
            if ((k + 1) % std::uint64_t(events_every) == 0) QApplication::processEvents();
            if ((k + 1) % ticks_per_hour == 0 || k + 1 == total) {
                QApplication::processEvents();
                const double h = double(k + 1) / double(ticks_per_hour);
                const double rss = status_mib("VmRSS:"), heap = heap_mib();
                if (k + 1 == ticks_per_hour) {
                    rss_h1 = rss;
                    heap_h1 = heap;
                }
                std::printf("hour %.2f rss_mib %.1f heap_mib %.1f hwm_mib %.1f chart_points %d "
                            "log_lines %d wall_s %.1f\n",
                            h, rss, heap, status_mib("VmHWM:"), window.ui.chart->pointCount(0),
                            window.ui.messageText->document()->blockCount(), wall());
                std::fflush(stdout);
            }
        }
        const double secs = wall();
        const double rss_end = status_mib("VmRSS:");
        if (rss_h1 == 0) { // shorter than an hour: compare with the window's start
            rss_h1 = rss_window;
            heap_h1 = heap_mib();
        }
        std::printf("endurance hours=%.2f rate=%g ticks=%llu faults=%llu wall_s=%.1f "
                    "us_per_tick=%.1f rss_window_mib=%.1f rss_h1_mib=%.1f rss_end_mib=%.1f "
                    "growth_after_h1_mib=%.1f heap_h1_mib=%.1f heap_end_mib=%.1f hwm_mib=%.1f\n",
                    hours, rate, static_cast<unsigned long long>(total),
                    static_cast<unsigned long long>(maker.faults()), secs,
                    1e6 * secs / double(total), rss_window, rss_h1, rss_end, rss_end - rss_h1,
                    heap_h1, heap_mib(), status_mib("VmHWM:"));
        window.exit_program = nullptr;
    }
    return 0;
}
