// The strip chart's y range policy on its own, without a display.
#include "chart/y_range_follower.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

using zento::YRangeFollower;

// The y range's hysteresis, step by step: (data extent, time) -> range.
TEST(YRangeFollowerTest, GrowsAtOnceShrinksOnceUnderusedForAWhile) {
    using R = YRangeFollower::Range;
    const double w = 0.5; // the chart's kYShrinkSeconds
    const R fitted = YRangeFollower::fit(0, 100);
    EXPECT_EQ(fitted, (R{-3, 103}));
    EXPECT_EQ(YRangeFollower::fit(7, 7), (R{6, 8}));             // flat: at least 1 each side
    EXPECT_EQ(YRangeFollower::fit(-500, -500), (R{-525, -475})); // or 5 % of its size

    YRangeFollower f;
    R r{1, 361}; // the starting range: the first data are fitted at once
    struct Step {
        double lo, hi, now;
        R expected;
    };
    const Step steps[] = {
        {0, 100, 0, fitted},
        {10, 90, 1, fitted},                  // inside: holds
        {0, 150, 2, {-3, 150 + 15.3}},        // grows at once, with headroom, on its side only
        {-60, 150, 3, {-60 - 22.53, 165.3}},  // the other side
        {40, 60, 4, {-82.53, 165.3}},         // uses less than 80 %: waits a while...
        {40, 200, 5, {-82.53, 200 + 28.253}}, // (growing resets the wait)
        {40, 60, 6, {-82.53, 228.253}},
        {40, 60, 6 + w - 0.01, {-82.53, 228.253}},    // ...
        {40, 60, 6 + w, YRangeFollower::fit(40, 60)}, // ...then fits
        {41, 59, 20, YRangeFollower::fit(40, 60)},
        {-50, 100, 21, {-50 - 15, 100 + 15}},
        {-50, 95, 22, {-65, 115}}, // at least 80 % used: holds however long
        {-50, 95, 60, {-65, 115}},
    };
    for (const Step& s : steps) {
        r = f.follow(r, s.lo, s.hi, s.now, w);
        EXPECT_NEAR(r.lower, s.expected.lower, 1e-9) << s.now;
        EXPECT_NEAR(r.upper, s.expected.upper, 1e-9) << s.now;
    }
    f.refit(); // channels shown or hidden, following resumed: fits at once
    EXPECT_EQ(f.follow(r, 10, 20, 61, w), YRangeFollower::fit(10, 20));
}

// Both sides grow at once when the data leaves on both; data on the range's edge is inside; the
// wait to shrink starts again when the data uses enough of the range before it is over.
TEST(YRangeFollowerTest, GrowsBothSidesAndTheWaitStartsAnew) {
    using R = YRangeFollower::Range;
    const double w = 0.5;
    YRangeFollower f;
    R r = f.follow({1, 361}, 0, 100, 0, w); // fitted: -3 .. 103
    r = f.follow(r, -10, 110, 1, w);
    EXPECT_NEAR(r.lower, -10 - 12, 1e-9); // headroom: 10 % of the span taken in (-10 .. 110)
    EXPECT_NEAR(r.upper, 110 + 12, 1e-9);
    EXPECT_EQ(f.follow(r, r.lower, r.upper, 2, w), r); // on the edges: holds
    const R held = r;
    EXPECT_EQ(f.follow(r, 0, 10, 3, w), held);      // underused from 3 ...
    EXPECT_EQ(f.follow(r, -20, 120, 3.3, w), held); // ... used again ...
    EXPECT_EQ(f.follow(r, 0, 10, 3.4, w), held);    // ... underused from 3.4 ...
    EXPECT_EQ(f.follow(r, 0, 10, 3 + w, w), held);  // (not since 3)
    EXPECT_EQ(f.follow(r, 0, 10, 3.4 + w, w), YRangeFollower::fit(0, 10));
}

// Whatever the data do, what is in view stays inside the range, and the range changes only when
// the data leave it, when the data have used too little of it for the whole wait, or on refit().
TEST(YRangeFollowerTest, TheDataStayInsideAndTheRangeChangesOnlyForAReason) {
    const double w = 0.5;
    std::uint32_t seed = 3;
    auto random = [&] {
        seed = seed * 1664525u + 1013904223u;
        return double(seed >> 8) / double(1 << 24);
    };
    YRangeFollower f;
    YRangeFollower::Range r{1, 361};
    double underused_since = -1; // -1: the data use enough of the range
    for (int i = 0; i < 20000; ++i) {
        const double now = i * 0.01;
        const double scale = std::pow(10.0, 4 * random() - 1), centre = 100 * random() - 50;
        const double a = centre + scale * (random() - 0.5), b = centre + scale * (random() - 0.5);
        const double lo = std::min(a, b), hi = std::max(a, b);
        const bool refit = i % 997 == 0;
        if (refit) f.refit();
        const YRangeFollower::Range was = r;
        r = f.follow(r, lo, hi, now, w);
        ASSERT_LE(r.lower, lo) << i;
        ASSERT_GE(r.upper, hi) << i;
        const bool left = lo < was.lower || hi > was.upper;
        const bool underused =
            hi - lo < YRangeFollower::kShrinkBelowFraction * (was.upper - was.lower);
        const bool waited = underused && underused_since >= 0 && now - underused_since >= w - 1e-9;
        if (!(r == was)) {
            ASSERT_TRUE(refit || left || waited) << i;
        }
        underused_since = refit || left || !underused || !(r == was) ? -1
                          : underused_since < 0                      ? now
                                                                     : underused_since;
    }
}
