// perf_seek [--gigabytes G] [--rate HZ] [--seeks N] [--dir DIR]: how long a seek takes in a
// large recording. Writes a recording of G GB (default 2) of the simulated board at HZ ticks a
// second (default 250; a record every 16 ms, as the port delivers them; a command every minute)
// into a folder of its own under DIR (default the system's temporary folder), removed at the
// end; opens it in the main window (offscreen unless DISPLAY is set), paused, and measures each
// seek from the call until the window has painted what it shows:
//   - while the recording's index is still being read (seeks within what it has read),
//   - N seeks (default 20) to random places once it is read, from the page cache,
//   - N more with the file's pages dropped from the cache first (read from the disk).
// Prints the index's reading time and each set's median, 90th percentile and largest.
#include "board_stream.h"
#include "link/envelope.h"
#include "platform/serial/mock_serial_port.h"
#include "controls/fonts.h"
#include "recording/pcap_format.h"
#include "recording/playback_port.h"
#include "shell/playback_control.h"
#include "shell/zento.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

using namespace zento;
using namespace std::chrono;

namespace {

// Writes the recording; returns its length in seconds (0 on failure).
double write_recording(const std::filesystem::path& file, double gigabytes, double rate) {
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (!f) return 0;
    board::BoardStream stream(7, rate, 0.0);
    const auto per_record = std::uint64_t(std::max(1.0, std::round(rate * 0.016)));
    const std::int64_t t0_us = 1'765'000'000'000'000;
    std::vector<std::uint8_t> buf, batch;
    append_pcap_header(buf);
    append_pcap_records(buf, t0_us, Direction::received, {}); // the start
    const auto want = std::uint64_t(gigabytes * 1e9);
    std::uint64_t written = 0, tick = 0;
    std::int64_t us = 0;
    while (written + buf.size() < want) {
        batch.clear();
        for (std::uint64_t i = 0; i < per_record; ++i, ++tick)
            stream.append_tick(batch, tick);
        us = std::int64_t(double(tick) / rate * 1e6);
        append_pcap_records(buf, t0_us + us, Direction::received, batch);
        if (tick / per_record % std::uint64_t(60 * rate / double(per_record)) == 0) {
            const auto c = command_frame(kTypeHeightZero);
            append_pcap_records(buf, t0_us + us + 1, Direction::sent, c);
        }
        if (buf.size() >= (8u << 20)) {
            if (std::fwrite(buf.data(), 1, buf.size(), f) != buf.size()) return 0;
            written += buf.size();
            buf.clear();
        }
    }
    const bool ok = std::fwrite(buf.data(), 1, buf.size(), f) == buf.size() &&
                    ::fsync(::fileno(f)) == 0 && std::fclose(f) == 0;
    return ok ? double(us) / 1e6 : 0;
}

void drop_from_cache(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY);
    if (fd < 0) return;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

struct Times {
    std::vector<double> ms;
    void print(const char* what) {
        if (ms.empty()) return;
        std::sort(ms.begin(), ms.end());
        std::printf("%-44s %3zu seeks: median %6.1f ms, p90 %6.1f ms, largest %6.1f ms\n", what,
                    ms.size(), ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back());
    }
};

} // namespace

int main(int argc, char** argv) {
    double gigabytes = 2, rate = 250;
    int seeks = 20;
    std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--gigabytes") gigabytes = std::atof(argv[i + 1]);
        if (a == "--rate") rate = std::atof(argv[i + 1]);
        if (a == "--seeks") seeks = std::atoi(argv[i + 1]);
        if (a == "--dir") base = argv[i + 1];
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zento::use_window_font();

    std::random_device rd;
    const auto dir = base / ("zento-perf-seek-" + std::to_string(rd()));
    std::filesystem::create_directories(dir);
    const auto pcap = dir / "big.pcap";
    QElapsedTimer clock;
    clock.start();
    const double length = write_recording(pcap, gigabytes, rate);
    if (length <= 0) {
        std::fprintf(stderr, "perf_seek: cannot write %s\n", pcap.c_str());
        return 1;
    }
    std::printf("recording: %.2f GB, %.0f ticks a second, %.1f h, written in %.1f s\n",
                double(std::filesystem::file_size(pcap)) / 1e9, rate, length / 3600,
                double(clock.elapsed()) / 1e3);
    drop_from_cache(pcap);

    MockSerialPort port;
    Zento window(port, QString::fromStdString(dir.string()));
    window.exit_program = [] {};
    window.show();
    QApplication::processEvents();
    PlaybackControl& player = window.playback();
    std::mt19937 random(5);
    auto seek = [&](Times& into, std::int64_t reach_ns) {
        const auto target =
            nanoseconds(std::uniform_int_distribution<std::int64_t>(0, reach_ns)(random));
        QElapsedTimer t;
        t.start();
        player.seek(target);
        QApplication::processEvents(); // painted
        into.ms.push_back(double(t.nsecsElapsed()) / 1e6);
    };

    clock.restart();
    if (!player.play(QString::fromStdString(pcap.string()))) return 1;
    player.togglePause();
    Times growing, warm, cold;
    qint64 next = 100;
    while (!player.port()->length()) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        if (clock.elapsed() >= next && growing.ms.size() < std::size_t(seeks)) {
            seek(growing, player.port()->seekable().count());
            next = clock.elapsed() + 250;
        }
    }
    std::printf("index read in %.1f s (from the disk, while seeking)\n",
                double(clock.elapsed()) / 1e3);
    const std::int64_t all = player.port()->length()->count();
    for (int i = 0; i < seeks; ++i)
        seek(warm, all);
    for (int i = 0; i < seeks; ++i) {
        drop_from_cache(pcap);
        seek(cold, all);
    }
    growing.print("while the index is read (within it)");
    warm.print("anywhere, from the page cache");
    cold.print("anywhere, the file's pages dropped first");
    player.Stop_playback();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
