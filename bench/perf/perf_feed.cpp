// A board with moving data for the live measurement (live.sh): the simulated board's virtual
// serial port (a pseudo-terminal in raw mode) streaming the harness's ticks (frames.h), in
// which every value changes at every tick as on a real board in motion. zento-board's own
// motion leaves some values standing for several ticks (temperature, altitude and pressure
// change by less than their last digit), which draws less than a moving board makes a program
// draw.
//
//   perf_feed --link PATH [--rate HZ]
//
// Prints the device path on the first line of standard output, then sends one tick (attitude
// frame, then sensor frame, in one write) every 1/HZ s (default 20) from a monotonic clock,
// until SIGINT or SIGTERM; then, on standard error, the same summary zento-board gives:
// "... N ticks sent, D dropped, B unread backlogs discarded". Bytes nobody reads for about half a
// second are discarded (and counted), as the board does. What the program writes to the port
// is read and ignored. Linux only.
#include "frames.h"
#include "pty_port.h"

#include <signal.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

std::int64_t now_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

[[noreturn]] void usage(const std::string& problem) {
    std::fprintf(stderr, "perf_feed: %s\nusage: perf_feed --link PATH [--rate HZ]\n",
                 problem.c_str());
    std::exit(2);
}

} // namespace

int main(int argc, char** argv) {
    std::string link;
    double rate = 20;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) usage("missing value after " + a);
        const char* v = argv[++i];
        if (a == "--link") {
            link = v;
        } else if (a == "--rate") {
            char* end = nullptr;
            rate = std::strtod(v, &end);
            if (*v == '\0' || *end != '\0' || !(rate > 0 && rate <= 10000))
                usage("--rate " + std::string(v) + ": give ticks per second, 0 < HZ <= 10000");
        } else {
            usage("unknown option " + a);
        }
    }
    if (link.empty()) usage("--link PATH is needed");

    // SIGINT and SIGTERM are taken by the wait between ticks, so the summary is always given.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigprocmask(SIG_BLOCK, &stop, nullptr);

    std::unique_ptr<zento::board::PtyPort> pty;
    std::unique_ptr<zento::board::PortLink> port_link;
    try {
        pty = std::make_unique<zento::board::PtyPort>();
        port_link = std::make_unique<zento::board::PortLink>(link, pty->path());
    } catch (const std::exception& e) {
        usage(e.what());
    }
    std::printf("%s\n", pty->path().c_str());
    std::fflush(stdout);

    constexpr std::size_t kTickBytes = 44;
    // About half a second of the stream may wait unread, at least two ticks, at most 2 KiB.
    const auto limit =
        std::clamp(std::size_t(0.5 * rate * double(kTickBytes)), 2 * kTickBytes, std::size_t(2048));
    zento::board::PortWriter writer(*pty, limit);
    zento::perf::TickMaker maker(11);
    zento::perf::Bytes tick;
    std::uint8_t ignored[256];
    const std::int64_t t0 = now_ns();
    const auto due = [&](std::uint64_t k) {
        return t0 + std::int64_t(std::llround((long double)k * 1e9L / (long double)rate));
    };
    std::uint64_t k = 0, sent = 0, skipped = 0;
    for (;;) {
        const std::int64_t wait = std::max<std::int64_t>(0, due(k) - now_ns());
        const timespec ts{time_t(wait / 1'000'000'000), long(wait % 1'000'000'000)};
        if (sigtimedwait(&stop, nullptr, &ts) > 0) break;
        while (pty->read_some(ignored) > 0) {
        }
        if (now_ns() < due(k)) continue;
        tick.clear();
        maker.tick(tick, k);
        if (writer.offer(tick)) ++sent;
        ++k;
        // More than a quarter of a second behind (the machine was busy): skip ahead.
        const auto behind = std::uint64_t(double(now_ns() - due(k)) * rate / 1e9);
        if (now_ns() > due(k) && behind > std::max(1.0, rate / 4)) {
            skipped += behind;
            k += behind;
        }
    }
    std::fprintf(stderr,
                 "perf_feed: stopping after %.1f s; %llu ticks sent, %llu dropped, %llu unread "
                 "backlogs discarded\n",
                 double(now_ns() - t0) / 1e9, static_cast<unsigned long long>(sent),
                 static_cast<unsigned long long>(writer.dropped_ticks() + skipped),
                 static_cast<unsigned long long>(writer.discards()));
    return 0;
}
