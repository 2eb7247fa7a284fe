#pragma once
// Where a strip chart trace is broken rather than joined by a line: across a gap in time (the
// stream stopped: an unplug, a pause) or across the wrap of an angle (+180 to -180) a line would
// draw what never happened. One per channel, told of each point in turn; the chart keeps a gap
// (NaN point) before a point that breaks its trace. Pure (no Qt), and inline: it sees every
// point the chart takes.
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace zento {

class TraceBreak {
  public:
    static constexpr double kGapSeconds = 0.5; // a gap: longer than this
    static constexpr double kGapSteps = 4.0;   // and than this many of the channel's usual step

    // Whether the line from the previous point to this one, `step` seconds later with `value`,
    // is left out: the step is a gap (once the channel has a usual step: its last one that took
    // time and was no gap), or the value crossed the wrap of a value that wraps round with
    // period `wrap` (0: it does not), the values lying more than half of it apart. The
    // previous value is taken in this point's units (a new divisor gives a new period). A NaN
    // value (itself a gap) is never broken before.
    bool next(double step, double value, double wrap) {
        const bool gap = (usual_ > 0 && step > std::max(kGapSeconds, kGapSteps * usual_)) ||
                         std::exchange(forced_, false);
        if (step > 0 && !gap) usual_ = step;
        const double previous = wrap_ > 0 && wrap > 0 ? previous_ * wrap / wrap_ : previous_;
        const bool wrapped = wrap > 0 && std::abs(value - previous) > wrap / 2; // (NaN: no)
        previous_ = value;
        wrap_ = wrap;
        return !std::isnan(value) && (gap || wrapped);
    }
    // The next point starts anew (another stream: a port opened, a recording played).
    void force() { forced_ = true; }

  private:
    double usual_ = 0;
    double previous_ = std::numeric_limits<double>::quiet_NaN();
    double wrap_ = 0;
    bool forced_ = false;
};

} // namespace zento
