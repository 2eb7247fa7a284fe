#pragma once
// When the health figures write "Health: " lines to the message log (the lines' texts are the
// figure table's, health/figure_table.h):
//   - nothing in the first 2 s after connect (what waited in the port settles first);
//   - a figure that turns bad writes its line, at most once a minute per figure;
//   - a figure that was reported bad and has been good for a whole window (10 s) since says
//     once that it is good again, so that a figure near its threshold does not chatter.
// A new connection forgets which figures were reported bad, not when each last wrote: the
// minute is per figure, not per connection.
#include <array>
#include <span>
#include <string>
#include <vector>

#include "health/health_monitor.h"

namespace zento::health {

class LogPolicy {
  public:
    static constexpr double kWarmUp = 2.0;     // s after connect with nothing judged
    static constexpr double kRepeat = 60.0;    // s between two bad lines of one figure
    static constexpr double kRecovered = 10.0; // s good before "good again" is said

    void connected(double t);
    // Whether the figures are judged at `now` (not in the warm-up).
    bool judging(double now) const { return now - t_connect_ >= kWarmUp; }
    // Appends the lines due at `now` for the figures as they are now (in FigureId order).
    void judge(double now, std::span<const HealthFigure> figures, std::vector<std::string>& lines);

  private:
    struct Figure {
        double last_line = -1e300;
        double good_since = -1.0; // < 0: not good now
        bool reported_bad = false;
    };
    double t_connect_ = 0;
    std::array<Figure, kFigureCount> figures_{};
};

} // namespace zento::health
