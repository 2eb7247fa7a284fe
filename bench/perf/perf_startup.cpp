// Start-up probe.
//
//   perf_startup [--runs N]            exec-to-first-paint of the main window, built as the
//                                      program's main() builds it (QApplication, the QSerialPort
//                                      adapter, Zento, show), in a fresh process per run
//   perf_startup --real BIN [--runs N] the real program BIN under the current X display:
//                                      from exec to its main window being mapped and exposed
//
// Each run is a new process (fork + exec), timed from just before the exec with
// CLOCK_MONOTONIC. Output: one line starting "startup" with the median and every run.
#include "controls/fonts.h"
#include "platform/serial/qt_serial_port.h"
#include "shell/zento.h"

#include <QApplication>
#include <QTimer>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::int64_t now_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string list(const std::vector<double>& v) {
    std::string s;
    char buf[32];
    for (double x : v) {
        std::snprintf(buf, sizeof buf, "%s%.1f", s.empty() ? "" : ",", x);
        s += buf;
    }
    return s;
}

// ---- the window as main() builds it, in this process (child mode) ---------------------------

class Watch : public QObject {
  public:
    std::function<void()> on_first_paint;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint && on_first_paint) {
            auto f = std::move(on_first_paint);
            on_first_paint = nullptr;
            f();
        }
        return QObject::eventFilter(o, e);
    }
};

int child(int argc, char** argv, std::int64_t t0) {
    QApplication app(argc, argv);
    zento::use_window_font();
    const std::int64_t t_app = now_ns();
    const QString program_dir = QCoreApplication::applicationDirPath();
    zento::QtSerialPortControl port(program_dir);
    zento::Zento window(port, program_dir);
    window.exit_program = [] {};
    const std::int64_t t_built = now_ns();
    Watch watch;
    // The first paint pass is synchronous: a zero timer queued from its first Paint event
    // runs once the whole pass (and its flush to the screen) is over.
    watch.on_first_paint = [&] {
        QTimer::singleShot(0, &app, [&] {
            const std::int64_t t = now_ns();
            std::printf("%.3f %.3f %.3f %s\n", double(t_app - t0) / 1e6, double(t_built - t0) / 1e6,
                        double(t - t0) / 1e6, qPrintable(QGuiApplication::platformName()));
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
    };
    app.installEventFilter(&watch);
    window.show();
    QTimer::singleShot(20000, &app, [] { QCoreApplication::exit(4); });
    const int rc = app.exec();
    app.removeEventFilter(&watch);
    return rc;
}

int run_children(const char* self, int runs) {
    std::vector<double> app_ms, built_ms, paint_ms;
    std::string platform;
    for (int r = 0; r < runs; ++r) {
        int fds[2];
        if (pipe(fds) != 0) return 1;
        const std::int64_t t0 = now_ns();
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            close(fds[1]);
            const std::string t = std::to_string(t0);
            setenv("ZENTO_PERF_T0", t.c_str(), 1);
            execl(self, self, "--child", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        char buf[256] = {};
        std::size_t got = 0;
        ssize_t n;
        while (got + 1 < sizeof buf && (n = read(fds[0], buf + got, sizeof buf - 1 - got)) > 0)
            got += std::size_t(n);
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        double a = 0, b = 0, c = 0;
        char name[64] = {};
        if (std::sscanf(buf, "%lf %lf %lf %63s", &a, &b, &c, name) != 4 || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "perf_startup: run %d failed\n", r);
            return 1;
        }
        app_ms.push_back(a);
        built_ms.push_back(b);
        paint_ms.push_back(c);
        platform = name;
    }
    std::printf(
        "startup mode=harness platform=%s runs=%d app_median_ms=%.1f window_built_median_ms=%.1f "
        "first_paint_median_ms=%.1f first_paint_ms=%s\n",
        platform.c_str(), runs, median(app_ms), median(built_ms), median(paint_ms),
        list(paint_ms).c_str());
    return 0;
}

// ---- the real binary under X ------------------------------------------------------------------

int run_real(const char* bin, int runs) {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "perf_startup: no X display (run under xvfb-run -a)\n");
        return 2;
    }
    const Window root = DefaultRootWindow(dpy);
    std::vector<double> map_ms, expose_ms;
    for (int r = 0; r < runs; ++r) {
        XSelectInput(dpy, root, SubstructureNotifyMask);
        XSync(dpy, True);
        const std::int64_t t0 = now_ns();
        const pid_t pid = fork();
        if (pid == 0) {
            execl(bin, bin, static_cast<char*>(nullptr));
            _exit(127);
        }
        double mapped = -1, exposed = -1;
        Window main_window = 0;
        const std::int64_t deadline = t0 + 20'000'000'000;
        while ((mapped < 0 || exposed < 0) && now_ns() < deadline) {
            if (!XPending(dpy)) {
                usleep(200);
                continue;
            }
            XEvent ev;
            XNextEvent(dpy, &ev);
            const double ms = double(now_ns() - t0) / 1e6;
            if (ev.type == CreateNotify && ev.xcreatewindow.parent == root) {
                // Ask for its Expose events too (any client may).
                XSelectInput(dpy, ev.xcreatewindow.window, ExposureMask);
            } else if (ev.type == MapNotify && ev.xmap.event == root && !main_window) {
                char* name = nullptr;
                if (XFetchName(dpy, ev.xmap.window, &name) && name) {
                    if (std::strcmp(name, "Tavro AHRS DEMO") == 0) {
                        main_window = ev.xmap.window;
                        mapped = ms;
                    }
                    XFree(name);
                }
            } else if (ev.type == Expose && ev.xexpose.window == main_window && exposed < 0) {
                exposed = ms;
            }
        }
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        XSelectInput(dpy, root, NoEventMask);
        XSync(dpy, True);
        if (mapped < 0) {
            std::fprintf(stderr, "perf_startup: run %d: no main window mapped\n", r);
            XCloseDisplay(dpy);
            return 1;
        }
        map_ms.push_back(mapped);
        if (exposed >= 0) expose_ms.push_back(exposed);
        usleep(200000);
    }
    XCloseDisplay(dpy);
    std::printf("startup mode=real runs=%d mapped_median_ms=%.1f exposed_median_ms=%.1f "
                "mapped_ms=%s\n",
                runs, median(map_ms), median(expose_ms), list(map_ms).c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--child") == 0) {
        const char* t0 = std::getenv("ZENTO_PERF_T0");
        if (!t0) return 2;
        return child(argc, argv, std::atoll(t0));
    }
    int runs = 7;
    const char* real = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--real") == 0)
            real = argv[i + 1];
        else {
            std::fprintf(stderr, "usage: perf_startup [--runs N] [--real BIN]\n");
            return 2;
        }
    }
    if (real) return run_real(real, runs);
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return 1;
    self[n] = '\0';
    return run_children(self, runs);
}
