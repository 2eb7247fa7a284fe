#pragma once
// The strip chart's point store of one channel: the graph's own data container (QCustomPlot
// draws from it directly), append-only, bounded by count and by age. Dropping the oldest point
// only moves the container's start offset (O(1)); the kept points are moved back to the front
// once a batch of limit/16 has been dropped, so the cost per point is O(1) amortised and the
// memory never exceeds limit + batch points. It also keeps the smallest and largest value of
// each block of kBlock points (in the order they came), so the extent of the points in view
// costs a few blocks, not every point.
#include "chart/qcustomplot_internals.h"

#include <algorithm>
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

    // Keys must not decrease (the caller guarantees it). A NaN value is a gap. (Inline: the
    // chart calls it for every point.)
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
    void dropOlderThan(double key) {
        while (!isEmpty() && constBegin()->key < key) {
            dropFront(1);
        }
    }

    static constexpr qint64 kBlock = 64;
    int limit_ = 1;
    int batch_ = 1;
    double span_;
    qint64 appended_ = 0;        // points ever appended; the newest is number appended_ - 1
    std::vector<Extent> blocks_; // of the blocks first_block_, first_block_ + 1, ...
    qint64 first_block_ = 0;
};

inline void ChannelHistory::append(double key, double value) {
    if (size() >= limit_) {
        dropFront(1); // the oldest
    }
    dropOlderThan(key - span_);
    if (droppedFront() >= batch_) {
        squeeze(true, false); // move the kept points to the front, keep the capacity
    }
    if (full()) {
        const qsizetype want = std::max<qsizetype>(capacity() * 2, 1024);
        reserve(std::min<qsizetype>(want, qsizetype(limit_) + batch_));
    }
    push(key, value);

    const qint64 block = appended_++ / kBlock;
    if (block - first_block_ == qint64(blocks_.size())) {
        blocks_.push_back(kNoExtent);
    }
    Extent& e = blocks_.back();
    e = {std::min(e.lo, value), std::max(e.hi, value)}; // a NaN changes neither
    // Blocks wholly dropped go once they are half of those kept (O(1) amortised).
    const qint64 dropped = (appended_ - size()) / kBlock - first_block_;
    if (dropped >= 16 && dropped >= qint64(blocks_.size()) / 2) {
        blocks_.erase(blocks_.begin(), blocks_.begin() + dropped);
        first_block_ += dropped;
    }
}

} // namespace zento
