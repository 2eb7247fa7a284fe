// Measurements of the health figures on the simulated board (not a test; prints a table):
//   - for each fault of tests/health/health_faults.h, over several seeds: the seconds of board
//     time from its start to its figure turning bad, and the other figures that turned bad;
//   - the hard-iron offset from connect: seconds until the sphere fit calls it, and its error;
//   - false alarms: "Health: " lines and bad figures over 10 minutes of a clean stream.
// health_faults [SEEDS]   (default 5)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "health_faults.h"

using namespace health_test;
using namespace zento;

namespace {

constexpr double kStart = 30.0;

struct Result {
    double seconds = -1;
    std::map<std::string, int> others;
};

Result run_fault(const FaultCase& c, std::uint64_t seed) {
    Rig rig(seed, 20);
    rig.run_until(20);
    rig.marked_bias();
    rig.run_until(kStart);
    c.start(rig);
    Result r;
    while (rig.now < kStart + 120) {
        rig.run_for(0.05);
        const HealthReport rep = rig.report();
        if (rep[c.figure].state == HealthState::bad) {
            r.seconds = rig.now - kStart;
            for (const HealthFigure& f : rep.figures)
                if (f.state == HealthState::bad && f.id != c.figure)
                    ++r.others[std::string(f.name)];
            break;
        }
    }
    return r;
}

} // namespace

int main(int argc, char** argv) {
    const int seeds = argc > 1 ? std::atoi(argv[1]) : 5;
    std::printf("Fault (started at %.0f s, 20 ticks/s)          | seconds to bad, %d seeds: "
                "min / median / max | also bad at that moment\n",
                kStart, seeds);
    for (const FaultCase& c : fault_cases()) {
        std::vector<double> t;
        std::map<std::string, int> others;
        for (int s = 1; s <= seeds; ++s) {
            const Result r = run_fault(c, std::uint64_t(100 + s));
            t.push_back(r.seconds);
            for (const auto& [name, n] : r.others)
                others[name] += n;
        }
        std::sort(t.begin(), t.end());
        std::string also;
        for (const auto& [name, n] : others)
            also += name + " (" + std::to_string(n) + "), ";
        std::printf("%-40s -> %-28s | %5.2f / %5.2f / %5.2f | %s\n", c.name,
                    std::string(figure_name(c.figure)).substr(0, 28).c_str(), t.front(),
                    t[t.size() / 2], t.back(), also.c_str());
    }

    std::printf("\nHard-iron offset 300,-200,150 counts from connect: seconds until the sphere "
                "fit says bad, its error (%% of |B|), directions covered then\n");
    for (int s = 1; s <= seeds; ++s) {
        Rig rig(std::uint64_t(200 + s), 20);
        rig.board.model().set_faults(with([](auto& f) { f.mag_offset = {300, -200, 150}; }));
        double heading_bad = -1;
        while (rig.now < 600) {
            rig.run_for(0.5);
            const HealthReport r = rig.report();
            if (heading_bad < 0 && r[FigureId::heading].state == HealthState::bad)
                heading_bad = rig.now;
            if (r[FigureId::hard_iron].state == HealthState::bad) {
                const double err = std::hypot(r.fit->center[0] - 300, r.fit->center[1] + 200,
                                              r.fit->center[2] - 150);
                std::printf("  seed %d: heading bad at %.1f s, hard iron bad at %.1f s, error "
                            "%.2f %%, covered %s\n",
                            200 + s, heading_bad, rig.now, 100 * err / 545.0,
                            r[FigureId::directions].total.c_str());
                break;
            }
        }
    }

    std::printf("\nClean stream, 10 minutes each (Marked bias at 10 s): \"Health: \" lines and "
                "seconds with any figure bad\n");
    int lines = 0, bad_seconds = 0;
    for (int s = 1; s <= seeds; ++s) {
        for (double rate : {20.0, 250.0}) {
            Rig rig(std::uint64_t(300 + s), rate);
            for (int sec = 1; sec <= 600; ++sec) {
                rig.run_until(sec);
                if (sec == 10) rig.marked_bias();
                for (const HealthFigure& f : rig.report().figures)
                    if (f.state == HealthState::bad) {
                        ++bad_seconds;
                        std::printf("  seed %d %g Hz at %d s: %s bad (%s)\n", 300 + s, rate, sec,
                                    std::string(f.name).c_str(), f.recent.c_str());
                    }
            }
            for (const auto& [t, line] : rig.log)
                std::printf("  seed %d %g Hz at %.1f s: %s\n", 300 + s, rate, t, line.c_str());
            lines += int(rig.log.size());
        }
    }
    std::printf("  %d runs of 10 minutes: %d lines, %d seconds with a figure bad\n", 2 * seeds,
                lines, bad_seconds);
}
