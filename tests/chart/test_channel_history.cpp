// The strip chart's point store of one channel, on its own: bounded by count and by age, the
// oldest dropped first and the rest kept in order, and the extent of any run of its points the
// same as counting them one by one.
#include "chart/channel_history.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

using zento::ChannelHistory;

namespace {

constexpr double kForever = std::numeric_limits<double>::infinity();

TEST(ChannelHistoryTest, BoundedByCountOldestDroppedFirst) {
    ChannelHistory h(1000, kForever);
    for (int i = 0; i < 5000; ++i) {
        h.append(i, i);
        ASSERT_EQ(h.size(), std::min(i + 1, 1000)) << i;
    }
    for (int i = 0; i < 1000; ++i) { // the newest, in order
        ASSERT_DOUBLE_EQ(h.at(i)->value, 4000 + i) << i;
        ASSERT_DOUBLE_EQ(h.at(i)->key, 4000 + i) << i;
    }
    ChannelHistory still(1000, kForever);
    for (int i = 0; i < 3000; ++i) { // a stopped clock: every key equal
        still.append(7, i);
    }
    ASSERT_EQ(still.size(), 1000);
    EXPECT_DOUBLE_EQ(still.at(0)->value, 2000);
    h.setLimit(10); // lowering the bound drops the oldest at once
    ASSERT_EQ(h.size(), 10);
    EXPECT_DOUBLE_EQ(h.at(0)->value, 4990);
    EXPECT_DOUBLE_EQ(h.at(9)->value, 4999);
}

TEST(ChannelHistoryTest, BoundedByAgeAtAnyRate) {
    ChannelHistory fast(1 << 20, 100.0), slow(1 << 20, 100.0);
    for (int i = 0; i <= 4000; ++i) { // 4 Hz for 1000 s (exact keys)
        fast.append(i * 0.25, i);
        if (i % 7 == 0) slow.append(i * 0.25, i); // 100 s before its own newest
    }
    ASSERT_EQ(fast.size(), 401); // keys 900 .. 1000, the oldest dropped first
    EXPECT_DOUBLE_EQ(fast.at(0)->key, 900.0);
    EXPECT_DOUBLE_EQ(fast.at(0)->value, 3600);
    EXPECT_DOUBLE_EQ(fast.at(400)->value, 4000);
    EXPECT_DOUBLE_EQ(slow.at(0)->value, 3598);
    fast.setSpan(10.0); // shortening the span drops at once
    ASSERT_EQ(fast.size(), 41);
    EXPECT_DOUBLE_EQ(fast.at(0)->key, 990.0);
}

// Values rising, falling or flat with noise and gaps (NaN), dropped at the front by the count
// bound; the extent of random runs (within a block, across many) against the points themselves:
// a run's extremes often lie at its ends, where a block taken whole by mistake would show.
TEST(ChannelHistoryTest, ExtentOfAnyRunIsThatOfItsPoints) {
    ChannelHistory h(3000, kForever);
    std::uint32_t seed = 9;
    auto random = [&] {
        seed = seed * 1664525u + 1013904223u;
        return double(seed >> 8) / double(1 << 24);
    };
    for (int round = 0; round < 40; ++round) {
        for (int i = 0, n = int(random() * 900); i < n; ++i)
            h.append(round * 1000 + i, random() < 0.03 ? NAN : (round % 3 - 1) * i + 50 * random());
        for (int run = 0; run < 30; ++run) {
            const int a = int(random() * h.size());
            const int z = std::min(h.size(), a + int(random() * (run % 2 ? 8 : 2000)));
            double lo = kForever, hi = -kForever;
            for (int i = a; i < z; ++i) {
                if (std::isnan(h.at(i)->value)) continue;
                lo = std::min(lo, h.at(i)->value);
                hi = std::max(hi, h.at(i)->value);
            }
            const ChannelHistory::Extent e = h.extent(h.constBegin() + a, h.constBegin() + z);
            ASSERT_EQ(e.lo, lo) << round << " [" << a << ", " << z << ")";
            ASSERT_EQ(e.hi, hi) << round << " [" << a << ", " << z << ")";
        }
    }
}

} // namespace
