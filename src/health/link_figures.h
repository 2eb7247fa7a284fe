#pragma once
// The link figures' records: the receiver's counters at connect and about once a second
// (rates and counts over the last 10 s and since connect), when the latest byte and frames
// arrived, and the gaps between attitude frames by their arrival (batch) time, kept as the
// latest gaps (the last 10 s) and a histogram since connect. A gap across lost frames counts for
// the longest gap only: the median and p99 say how delivered frames are spaced, not how many
// were lost. Time is the receive path's, in seconds; the owner says when.
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

#include "health/measures.h"
#include "link/receiver.h"

namespace zento::health {

class LinkFigures {
  public:
    static constexpr int kGapBins = 141; // the histogram's: 20 a decade from 0.1 ms to 1000 s

    LinkFigures();

    // The receiver's counters as of the latest batch, connected or not.
    void count(const ReceiverCounters& c) { counters_ = c; }
    // Connected at t: counts start from the latest counters.
    void connect(double t);
    // An attitude frame arrived at t with this loss stamp (telemetry/telemetry_batch.h).
    void attitude(double t, std::uint64_t loss);
    void sensor(double t) { last_sensor_t_ = t; }
    // The end of a batch that arrived at t.
    void batch(double t);
    // Works the attitude frames' arrivals into gaps (and takes a snapshot when one is due).
    void update(double t);

    // The link's measures as of now: rates, counts, line use (for `baud`) and gaps per span, and
    // the seconds since the latest byte and frames.
    void measure(double now, int baud, Measures& m) const;

  private:
    struct Snap {
        double t = 0;
        ReceiverCounters c;
    };
    void snapshot(double t);
    const Snap& snap_from(double from) const;
    void measure_gaps(double now, Measures& m) const;

    ReceiverCounters counters_;
    double t_connect_ = 0;
    Snap base_;              // at connect
    std::deque<Snap> snaps_; // one a second at most, for the last minute
    // The first snapshot a settling second after connect: rates since connect count from it.
    std::optional<Snap> settled_;
    double last_bytes_t_ = 0;
    std::uint64_t last_bytes_ = 0;
    double last_att_t_ = 0, last_sensor_t_ = 0;

    // Arrival times (and loss stamps) of attitude frames not yet made into gaps.
    std::vector<std::pair<double, std::uint64_t>> arrivals_;
    bool any_att_ = false;
    double last_gap_t_ = 0;
    std::uint64_t last_gap_loss_ = 0;
    struct Gap {
        double t;
        float gap;
        bool clean; // nothing lost in between
    };
    std::vector<Gap> gaps_; // the latest kGapRing gaps, a ring from gap_next_
    std::size_t gap_next_ = 0;
    std::array<std::uint32_t, kGapBins> gap_hist_{};
    std::uint64_t gap_count_ = 0;
    double gap_max_ = 0;
};

} // namespace zento::health
