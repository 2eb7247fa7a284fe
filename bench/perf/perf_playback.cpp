// perf_playback [--minutes M]: a recording of M minutes (default 10) of the simulated board at
// 20 Hz, played "as fast as possible" through the whole main window, shown (offscreen, or on X
// when DISPLAY is set). Prints the wall time, the process's CPU time and the speed as a multiple
// of real time, and checks that every attitude frame reached the window.
#include "controls/fonts.h"
#include "board_stream.h"
#include "platform/serial/mock_serial_port.h"
#include "recording/playback_port.h"
#include "recording/recorder.h"
#include "shell/playback_control.h"
#include "shell/zento.h"

#include <QApplication>
#include <QElapsedTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>

using namespace zento;
using namespace std::chrono;

namespace {

double cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

struct Count : TelemetrySink {
    void batch(const TelemetryBatch& b) override {
        for (const TelemetryFrame& f : b.frames)
            n += f.type == TelemetryFrame::Type::attitude;
    }
    long n = 0;
};

} // namespace

int main(int argc, char** argv) {
    double minutes = 10;
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::string(argv[i]) == "--minutes") minutes = std::atof(argv[i + 1]);
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zento::use_window_font();

    std::random_device rd;
    const auto dir =
        std::filesystem::temp_directory_path() / ("zento-perf-playback-" + std::to_string(rd()));
    std::string error;
    const auto t0 = Recorder::now();
    auto rec = Recorder::start(dir, t0, error);
    if (!rec) {
        std::fprintf(stderr, "perf_playback: %s\n", error.c_str());
        return 1;
    }
    board::BoardStream stream(7, 20, 0.0);
    std::vector<std::uint8_t> tick;
    const auto ticks = long(minutes * 60 * 20);
    for (long k = 0; k < ticks; ++k) {
        tick.clear();
        stream.append_tick(tick, std::uint64_t(k));
        rec->received(tick, t0 + milliseconds(50 * k));
    }
    rec->finish();
    const auto pcap = rec->pcap_path();

    MockSerialPort port;
    Zento window(port, QString::fromStdString(dir.string()));
    window.exit_program = [] {};
    Count count;
    window.dispatch().add_sink(count);
    window.show();
    QApplication::processEvents();

    QElapsedTimer wall;
    wall.start();
    const double cpu0 = cpu_seconds();
    if (!window.playback().play(QString::fromStdString(pcap.string()), PlaybackSpeed::fastest)) {
        std::fprintf(stderr, "perf_playback: the recording did not play\n");
        return 1;
    }
    while (window.playback().playing())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    const double cpu = cpu_seconds() - cpu0;
    std::printf("played %.0f min of 20 Hz (%ld attitude frames shown of %ld) in %.2f s wall, "
                "%.2f s CPU: %.0f x real time\n",
                minutes, count.n, ticks, seconds, cpu, minutes * 60 / seconds);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return count.n == ticks ? 0 : 1;
}
