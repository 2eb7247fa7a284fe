// The strip chart's y range policy on its own, without a display.
#include "telemetry/y_range_follower.h"

#include <gtest/gtest.h>

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
