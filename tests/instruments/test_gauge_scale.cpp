#include "instruments/gauge_scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace zento::gauge;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
} // namespace

TEST(GaugeScale, ClipAndFractionKeepEveryValueInsideTheRange) {
    const double clips[][2] = {{120, 120},  {250, 200}, {-10, 0},    {kNaN, 0},
                               {kInf, 200}, {-kInf, 0}, {1e308, 200}};
    for (const auto& [v, want] : clips)
        EXPECT_EQ(clip(v, 0, 200), want) << v;
    const double fractions[][4] = {{25, 0, 50, 0.5}, {60, 0, 50, 1}, {-3, 0, 50, 0},
                                   {kNaN, 0, 50, 0}, {5, 10, 10, 0}, {5, 10, 0, 0},
                                   {15, 10, 20, 0.5}}; // degenerate scales give 0
    for (const auto& [v, lo, hi, want] : fractions)
        EXPECT_DOUBLE_EQ(fraction(v, lo, hi), want) << v << " in " << lo << ".." << hi;
}

TEST(GaugeScale, HeadingFoldsAnyFiniteAngleIntoOneTurn) {
    const double cases[][2] = {{0, 0},      {-90, 270},     {360, 0},         {725, 5},
                               {-725, 355}, {-12.7, 347.3}, {-3276.7, 323.3}, // smallest yaw
                               {-1e-20, 0}}; // a tiny negative angle must not come out as 360
    for (const auto& [v, want] : cases)
        EXPECT_NEAR(heading(v), want, 1e-9) << v;
    const double big = heading(1e300);
    EXPECT_TRUE(big >= 0 && big < 360);
    for (double v : {kNaN, kInf, -kInf})
        EXPECT_TRUE(std::isnan(heading(v))) << v;
}

TEST(GaugeScale, LitSegmentsCountFromTheBottomAndClip) {
    // 40 segments over 0..200: 5 units each.
    const double cases[][2] = {{0, 0},    {0.1, 1},    {5, 1},     {5.01, 2},    {50, 10},
                               {75, 15},  {199.9, 40}, {200, 40},  {250, 40},    {-10, 0},
                               {kNaN, 0}, {kInf, 40},  {-kInf, 0}, {3276.7, 40}, {-3276.7, 0}};
    for (const auto& [v, want] : cases)
        EXPECT_EQ(lit_segments(v, 0, 200, 40), int(want)) << v;
    EXPECT_EQ(lit_segments(100, 0, 200, 0), 0);
    EXPECT_EQ(lit_segments(100, 0, 200, -3), 0);
    EXPECT_EQ(lit_segments(100, 200, 0, 40), 0);
}

TEST(GaugeScale, SameValueTreatsNaNAsEqual) {
    EXPECT_TRUE(same_value(1.5, 1.5));
    EXPECT_TRUE(same_value(kNaN, kNaN));
    EXPECT_TRUE(same_value(0.0, -0.0));
    EXPECT_FALSE(same_value(kNaN, 0));
    EXPECT_FALSE(same_value(kInf, -kInf));
}
