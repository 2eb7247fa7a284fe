#include "chart/channel_history.h"

#include <algorithm>

namespace zento {

void ChannelHistory::setLimit(int limit) {
    limit_ = std::max(1, limit);
    batch_ = std::max(1, limit_ / 16);
    if (size() > limit_) {
        dropFront(size() - limit_);
    }
    squeeze(true, capacity() > limit_ + batch_);
}

void ChannelHistory::setSpan(double span) {
    span_ = span;
    if (!isEmpty()) {
        dropOlderThan(lastKey() - span_);
        squeeze(true, false);
    }
}

ChannelHistory::Extent ChannelHistory::extent(const_iterator begin, const_iterator end) const {
    const qint64 base = appended_ - size(); // the number of the first kept point
    const qint64 a = base + (begin - constBegin());
    const qint64 z = base + (end - constBegin());
    Extent e = kNoExtent;
    auto points = [&](qint64 from, qint64 to) {
        for (auto it = constBegin() + (from - base), stop = constBegin() + (to - base); it != stop;
             ++it) {
            e = {std::min(e.lo, it->value), std::max(e.hi, it->value)};
        }
    };
    const qint64 whole_from = (a + kBlock - 1) / kBlock; // blocks wholly inside [a, z)
    const qint64 whole_to = z / kBlock;
    if (whole_from >= whole_to) {
        points(a, z);
        return e;
    }
    points(a, whole_from * kBlock);
    for (qint64 b = whole_from; b < whole_to; ++b) {
        const Extent& x = blocks_[std::size_t(b - first_block_)];
        e = {std::min(e.lo, x.lo), std::max(e.hi, x.hi)};
    }
    points(whole_to * kBlock, z);
    return e;
}

} // namespace zento
