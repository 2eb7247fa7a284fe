#include "telemetry/channel_history.h"

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

void ChannelHistory::append(double key, double value) {
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

void ChannelHistory::dropOlderThan(double key) {
    while (!isEmpty() && constBegin()->key < key) {
        dropFront(1);
    }
}

} // namespace zento
