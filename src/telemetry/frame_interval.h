#pragma once
// The board's frame interval, from what the receiver counts: its ticks (attitude or sensor
// frames, whichever more, plus half the frames lost) over the last minute of batch times, the
// first second after a restart left out (it brings what waited in the port) and stretches of
// more than a second without a byte taken out (the board's ticks in a pause never came).
// Worked out once a second of batch time, so it depends only on the batches' times and counters:
// a recording played at any speed gives the same figures as the live run that made it.
#include "link/receiver.h"

#include <cstdint>
#include <deque>
#include <utility>

namespace zento {

class FrameIntervalEstimator {
  public:
    void restart();
    // After each batch: its time (ns) and the receiver's counters as of its end.
    void batch(std::int64_t time_ns, const ReceiverCounters& c);
    // Seconds between two board ticks; 0 while not known.
    double seconds() const { return interval_; }

  private:
    struct Snap {
        std::int64_t t;
        ReceiverCounters c;
    };
    std::deque<Snap> snaps_; // one a second at most, for the last minute
    std::deque<std::pair<std::int64_t, std::int64_t>> pauses_;
    bool started_ = false;
    std::int64_t start_ = 0, last_bytes_t_ = 0;
    std::uint64_t last_bytes_ = 0;
    double interval_ = 0;
};

} // namespace zento
