#include "chart/y_range_follower.h"

#include <algorithm>
#include <cmath>

namespace zento {

YRangeFollower::Range YRangeFollower::fit(double lo, double hi) {
    const double span = hi - lo;
    const double pad = span > 0 ? span * kMarginFraction : std::max(std::abs(hi) * 0.05, 1.0);
    return {lo - pad, hi + pad};
}

YRangeFollower::Range YRangeFollower::follow(Range current, double lo, double hi, double now,
                                             double window) {
    if (refit_) {
        refit_ = false;
        underused_ = false;
        return fit(lo, hi);
    }
    if (lo < current.lower || hi > current.upper) {
        Range r{std::min(current.lower, lo), std::max(current.upper, hi)};
        const double room = (r.upper - r.lower) * kHeadroomFraction;
        if (lo < current.lower) {
            r.lower = lo - room;
        }
        if (hi > current.upper) {
            r.upper = hi + room;
        }
        underused_ = false;
        return r;
    }
    if (hi - lo >= kShrinkBelowFraction * (current.upper - current.lower)) {
        underused_ = false;
    } else if (!underused_) {
        underused_ = true;
        underused_since_ = now;
    } else if (now - underused_since_ >= window) {
        underused_ = false;
        return fit(lo, hi);
    }
    return current;
}

} // namespace zento
