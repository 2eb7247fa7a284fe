#pragma once
// The intervals of a recording in which the board lay still, found by the rule the health
// figures judge "still" by (health/still_rule.h): over half a second, roll and pitch within
// 0.3 degrees, each accelerometer axis within 0.02 g and each gyroscope axis within 1.5 deg/s,
// with no frame lost.
//
// The recording is cut into blocks of kStillSeconds from its start (block k holds the frames of
// times k/2 <= t < (k+1)/2). A block is still when
//  - it holds at least two frames of each kind, and at least 3/4 of the frames of that kind a
//    block usually holds (the median over the blocks that hold any): a block that a silence cut
//    short says too little;
//  - no frame may be missing between its first and last frame of either kind (a break of the
//    FrameLog);
//  - over its attitude frames roll and pitch, over its sensor frames each accelerometer and
//    gyroscope axis, stay within the rule's limits (max - min; counts turned into g and deg/s by
//    the scales given; roll unwrapped across +-180, so a board upside down can lie still).
// Adjacent still blocks make one interval, unless a frame may be missing between them. An
// interval runs from its first frame to its last (of either kind): the times to hand to
// interval_stats as from and to.
#include <stop_token>
#include <vector>

#include "health/health_settings.h"
#include "statistics/frame_log.h"

namespace zento {

struct StillInterval {
    double from = 0, to = 0; // seconds from the recording's start
    double length() const { return to - from; }
    bool operator==(const StillInterval&) const = default;
};

// In time order; empty when a stop was requested.
std::vector<StillInterval> still_intervals(const FrameLog& log, const HealthScales& scales = {},
                                           std::stop_token stop = {});

} // namespace zento
