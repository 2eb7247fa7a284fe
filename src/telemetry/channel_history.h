#pragma once
// The strip chart's point store of one channel: the graph's own data container (QCustomPlot
// draws from it directly), append-only, bounded by count and by age. Dropping the oldest point
// only moves the container's start offset (O(1)); the kept points are moved back to the front
// once a batch of limit/16 has been dropped, so the cost per point is O(1) amortised and the
// memory never exceeds limit + batch points. It also keeps the smallest and largest value of
// each block of kBlock points (in the order they came), so the extent of the points in view
// costs a few blocks, not every point.
#include "telemetry/qcustomplot_internals.h"

#include <limits>
#include <vector>

namespace zento {

class ChannelHistory : public qcp::GraphDataStore {
  public:
    ChannelHistory(int limit, double span) : span_(span) { setLimit(limit); }

    // At most `limit` points (at least 1) are kept; the oldest go first, at once.
    void setLimit(int limit);
    int limit() const { return limit_; }
    // Points more than `span` seconds older than the newest are dropped, at once too.
    void setSpan(double span);

    // Keys must not decrease (the caller guarantees it). A NaN value is a gap.
    void append(double key, double value);

    double lastKey() const { return (constEnd() - 1)->key; }

    struct Extent {
        double lo;
        double hi;
    };
    static constexpr Extent kNoExtent{std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity()};
    // The smallest and largest value of the points [begin, end) (NaN gaps left out; lo > hi when
    // there is none).
    Extent extent(const_iterator begin, const_iterator end) const;

  private:
    void dropOlderThan(double key);

    static constexpr qint64 kBlock = 64;
    int limit_ = 1;
    int batch_ = 1;
    double span_;
    qint64 appended_ = 0;        // points ever appended; the newest is number appended_ - 1
    std::vector<Extent> blocks_; // of the blocks first_block_, first_block_ + 1, ...
    qint64 first_block_ = 0;
};

} // namespace zento
