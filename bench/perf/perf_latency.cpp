// Latency probe: the real main window with the real QSerialPort adapter on a pseudo-terminal
// that the probe creates. A writer thread sends board ticks (attitude frame, then raw sensor
// frame) at RATE per second; the attitude frame's altitude word carries the tick counter.
// For each frame: t_write = CLOCK_MONOTONIC just before the write() that carries its last byte;
// t_label = right after the batch that carried it has set Label16 ("Height:" + counter/10 + "m")
// to it or to a later frame of the same batch (the label shows a batch's latest frame only);
// t_paint = after the window's update pass that painted Label16 with it (frames superseded
// before a paint are not counted there).
//
//   perf_latency [--rate HZ] [--frames N] [--warmup N]
//
// Runs with any Qt platform (offscreen when DISPLAY is unset; under xvfb-run on xcb).
// Output: one line starting "latency".
#include "frames.h"
#include "platform/serial/qt_serial_port.h"
#include "controls/fonts.h"
#include "shell/port_connection.h"
#include "shell/zento.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <fcntl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

std::int64_t now_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

constexpr long kCounterModulo = 30000; // fits the altitude word (magnitude <= 32767)

// Label16 reads "Height:" + Text(counter / 10) + "m"; -1 when it does not.
long counter_of(const QString& text) {
    if (!text.startsWith(QStringLiteral("Height:")) || !text.endsWith(QLatin1Char('m'))) return -1;
    bool ok = false;
    const double v = text.mid(7, text.size() - 8).toDouble(&ok);
    if (!ok) return -1;
    return std::lround(v * 10.0);
}

class ProbeWindow : public zento::Zento, public zento::TelemetrySink {
  public:
    ProbeWindow(zento::SerialPort& port, const QString& dir) : Zento(port, dir) {
        dispatch().add_sink(*this); // after the display's own sink: sees the label set
    }
    std::function<void()> after_attitude;
    std::function<void()> after_batch;
    std::function<void()> after_update;
    void batch(const zento::TelemetryBatch& b) override {
        for (const zento::TelemetryFrame& f : b.frames)
            if (f.type == zento::TelemetryFrame::Type::attitude && after_attitude) after_attitude();
        if (after_batch) after_batch();
    }

  protected:
    bool event(QEvent* e) override {
        const bool r = Zento::event(e);
        if (e->type() == QEvent::UpdateRequest && after_update) after_update();
        return r;
    }
};

// Sees Label16 being painted.
class PaintWatch : public QObject {
  public:
    std::function<void()> on_paint;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint && on_paint) on_paint();
        return QObject::eventFilter(o, e);
    }
};

struct Stats {
    std::size_t n = 0;
    double median = 0, p99 = 0, max = 0, mean = 0;
};

Stats stats(std::vector<double> v) {
    Stats s;
    s.n = v.size();
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    auto at = [&v](double q) {
        const double pos = q * double(v.size() - 1);
        const auto i = std::size_t(pos);
        const double f = pos - double(i);
        return i + 1 < v.size() ? v[i] * (1 - f) + v[i + 1] * f : v[i];
    };
    s.median = at(0.5);
    s.p99 = at(0.99);
    s.max = v.back();
    double sum = 0;
    for (double x : v)
        sum += x;
    s.mean = sum / double(v.size());
    return s;
}

[[noreturn]] void fail(const std::string& why) {
    std::fprintf(stderr, "perf_latency: %s\n", why.c_str());
    std::exit(1);
}

} // namespace

int main(int argc, char** argv) {
    double rate = 20;
    long frames = 1200, warmup = 20;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        const double v = std::atof(argv[i + 1]);
        if (a == "--rate" && v > 0 && v <= 2000)
            rate = v;
        else if (a == "--frames" && v >= 1)
            frames = long(v);
        else if (a == "--warmup" && v >= 0)
            warmup = long(v);
        else
            fail("usage: perf_latency [--rate HZ] [--frames N] [--warmup N]");
    }
    if (argc % 2 == 0) fail("usage: perf_latency [--rate HZ] [--frames N] [--warmup N]");
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zento::use_window_font();

    // The pseudo-terminal: the probe writes the master; the window opens the slave as Com 1
    // through <program folder>/ports/com1. The probe keeps a raw-mode slave descriptor open so
    // the line discipline never echoes and the terminal never hangs up between opens.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) fail("no pseudo-terminal");
    const std::string slave_path = ptsname(master);
    const int slave = open(slave_path.c_str(), O_RDWR | O_NOCTTY);
    if (slave < 0) fail("cannot open " + slave_path);
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);

    std::random_device rd;
    const auto dir =
        std::filesystem::temp_directory_path() / ("zento-perf-latency-" + std::to_string(rd()));
    std::filesystem::create_directories(dir / "ports");
    std::filesystem::create_symlink(slave_path, dir / "ports" / "com1");
    struct Cleanup {
        std::filesystem::path dir;
        ~Cleanup() {
            std::error_code ec;
            std::filesystem::remove_all(dir, ec);
        }
    } cleanup{dir};

    const long total = warmup + frames;
    std::vector<std::int64_t> t_write(std::size_t(total), 0), t_label(std::size_t(total), 0),
        t_paint(std::size_t(total), 0);
    long attitude_frames = 0, unexpected = 0;

    zento::QtSerialPortControl port(QString::fromStdString(dir.string()));
    {
        ProbeWindow window(port, QString::fromStdString(dir.string()));
        window.exit_program = [] {};
        window.show();

        long shown = -1;   // counter that Label16 shows now
        long painted = -1; // counter that the last paint of Label16 drew
        window.after_attitude = [&] { ++attitude_frames; };
        window.after_batch = [&] {
            const long c = counter_of(window.ui.altitudeLabel->text());
            if (c < 0 || c >= total) {
                ++unexpected;
                return;
            }
            // This frame and the ones it superseded are shown now.
            const std::int64_t t = now_ns();
            for (long k = shown + 1; k <= c; ++k)
                if (t_label[std::size_t(k)] == 0) t_label[std::size_t(k)] = t;
            shown = std::max(shown, c);
        };
        PaintWatch watch;
        watch.on_paint = [&] { painted = shown; };
        window.ui.altitudeLabel->installEventFilter(&watch);
        window.after_update = [&] {
            if (painted >= 0 && t_paint[std::size_t(painted)] == 0)
                t_paint[std::size_t(painted)] = now_ns();
        };

        // Let the window appear and the start-up port check run, then connect.
        QTimer::singleShot(300, &window, [&] { window.connection().iSwitchLedX1_Click(); });
        QTimer::singleShot(900, &app, [] { QCoreApplication::exit(0); });
        app.exec();
        if (!port.PortOpen()) fail("the window could not open Com 1: " + port.lastError());

        std::atomic<bool> done{false};
        std::thread writer([&] {
            zento::perf::TickMaker maker(7, 0.0);
            zento::perf::Bytes a, s;
            const std::int64_t start = now_ns() + 50'000'000;
            for (long k = 0; k < total; ++k) {
                const std::int64_t due = start + std::int64_t(double(k) * 1e9 / rate);
                timespec ts{time_t(due / 1000000000), long(due % 1000000000)};
                while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
                }
                a.clear();
                s.clear();
                maker.attitude(a, std::uint64_t(k), k % kCounterModulo);
                maker.sensor(s, std::uint64_t(k));
                t_write[std::size_t(k)] = now_ns();
                for (const auto* bytes : {&a, &s}) {
                    std::size_t off = 0;
                    while (off < bytes->size()) {
                        const ssize_t n = ::write(master, bytes->data() + off, bytes->size() - off);
                        if (n > 0)
                            off += std::size_t(n);
                        else if (n < 0 && errno != EINTR && errno != EAGAIN)
                            return;
                    }
                }
            }
            done = true;
        });
        QTimer poll;
        poll.callOnTimeout([&] {
            if (done) QTimer::singleShot(500, &app, [] { QCoreApplication::exit(0); });
        });
        poll.setSingleShot(false);
        poll.start(100);
        const int timeout_ms = int(1000.0 * double(total) / rate) + 20000;
        QTimer::singleShot(timeout_ms, &app, [] { QCoreApplication::exit(3); });
        app.exec();
        poll.stop();
        writer.join();
        window.after_attitude = nullptr;
        window.after_batch = nullptr;
        window.after_update = nullptr;
        window.ui.altitudeLabel->removeEventFilter(&watch);
        port.setPortOpen(false);
    }
    ::close(slave);
    ::close(master);

    std::vector<double> label_ms, paint_ms, first_ms, last_ms;
    long lost = 0;
    for (long k = warmup; k < total; ++k) {
        const auto i = std::size_t(k);
        if (t_label[i] == 0) {
            ++lost;
            continue;
        }
        const double ms = double(t_label[i] - t_write[i]) / 1e6;
        label_ms.push_back(ms);
        if (k < warmup + 100) first_ms.push_back(ms);
        if (k >= total - 100) last_ms.push_back(ms);
        if (t_paint[i] != 0) paint_ms.push_back(double(t_paint[i] - t_write[i]) / 1e6);
    }
    const Stats l = stats(label_ms), p = stats(paint_ms), f = stats(first_ms), e = stats(last_ms);
    std::printf("latency platform=%s rate=%g frames=%ld seen=%zu lost=%ld unexpected=%ld "
                "label_median_ms=%.3f label_p99_ms=%.3f label_max_ms=%.3f label_mean_ms=%.3f "
                "paint_n=%zu paint_median_ms=%.3f paint_p99_ms=%.3f paint_max_ms=%.3f "
                "first100_median_ms=%.3f last100_median_ms=%.3f\n",
                qPrintable(QGuiApplication::platformName()), rate, frames, l.n, lost, unexpected,
                l.median, l.p99, l.max, l.mean, p.n, p.median, p.p99, p.max, f.median, e.median);
    return lost > frames / 100 ? 1 : 0;
}
