#include "platform/widgets/gauge_scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace zento::gauge;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
} // namespace

TEST(GaugeScale, ClipKeepsEveryValueInsideTheRange) {
    EXPECT_EQ(clip(120, 0, 200), 120);
    EXPECT_EQ(clip(250, 0, 200), 200);
    EXPECT_EQ(clip(-10, 0, 200), 0);
    EXPECT_EQ(clip(kNaN, 0, 200), 0);
    EXPECT_EQ(clip(kInf, 0, 50), 50);
    EXPECT_EQ(clip(-kInf, 0, 50), 0);
    EXPECT_EQ(clip(1e308, 0, 50), 50);
}

TEST(GaugeScale, FractionIsProportionalAndSafeOnADegenerateScale) {
    EXPECT_DOUBLE_EQ(fraction(25, 0, 50), 0.5);
    EXPECT_DOUBLE_EQ(fraction(12.5, 0, 50), 0.25);
    EXPECT_DOUBLE_EQ(fraction(60, 0, 50), 1.0);
    EXPECT_DOUBLE_EQ(fraction(-3, 0, 50), 0.0);
    EXPECT_DOUBLE_EQ(fraction(kNaN, 0, 50), 0.0);
    EXPECT_DOUBLE_EQ(fraction(5, 10, 10), 0.0);
    EXPECT_DOUBLE_EQ(fraction(5, 10, 0), 0.0);
    EXPECT_DOUBLE_EQ(fraction(15, 10, 20), 0.5);
}

TEST(GaugeScale, HeadingFoldsAnyFiniteAngleIntoOneTurn) {
    EXPECT_DOUBLE_EQ(heading(0), 0);
    EXPECT_DOUBLE_EQ(heading(90), 90);
    EXPECT_DOUBLE_EQ(heading(-90), 270);
    EXPECT_DOUBLE_EQ(heading(360), 0);
    EXPECT_DOUBLE_EQ(heading(725), 5);
    EXPECT_DOUBLE_EQ(heading(-725), 355);
    EXPECT_NEAR(heading(-12.7), 347.3, 1e-9);
    EXPECT_NEAR(heading(-3276.7), 323.3, 1e-9); // the smallest yaw a frame can carry
    // A tiny negative angle must not come out as 360.
    EXPECT_DOUBLE_EQ(heading(-1e-20), 0);
    const double big = heading(1e300);
    EXPECT_GE(big, 0);
    EXPECT_LT(big, 360);
}

TEST(GaugeScale, HeadingOfNonFiniteIsNaN) {
    EXPECT_TRUE(std::isnan(heading(kNaN)));
    EXPECT_TRUE(std::isnan(heading(kInf)));
    EXPECT_TRUE(std::isnan(heading(-kInf)));
}

TEST(GaugeScale, LitSegmentsCountFromTheBottom) {
    // 40 segments over 0..200: 5 units each.
    EXPECT_EQ(lit_segments(0, 0, 200, 40), 0);
    EXPECT_EQ(lit_segments(0.1, 0, 200, 40), 1);
    EXPECT_EQ(lit_segments(5, 0, 200, 40), 1);
    EXPECT_EQ(lit_segments(5.01, 0, 200, 40), 2);
    EXPECT_EQ(lit_segments(50, 0, 200, 40), 10);
    EXPECT_EQ(lit_segments(75, 0, 200, 40), 15);
    EXPECT_EQ(lit_segments(100, 0, 200, 40), 20);
    EXPECT_EQ(lit_segments(199.9, 0, 200, 40), 40);
    EXPECT_EQ(lit_segments(200, 0, 200, 40), 40);
}

TEST(GaugeScale, LitSegmentsClipOutOfRangeAndBadValues) {
    EXPECT_EQ(lit_segments(250, 0, 200, 40), 40);
    EXPECT_EQ(lit_segments(-10, 0, 200, 40), 0);
    EXPECT_EQ(lit_segments(kNaN, 0, 200, 40), 0);
    EXPECT_EQ(lit_segments(kInf, 0, 200, 40), 40);
    EXPECT_EQ(lit_segments(-kInf, 0, 200, 40), 0);
    EXPECT_EQ(lit_segments(3276.7, 0, 200, 40), 40);
    EXPECT_EQ(lit_segments(-3276.7, 0, 200, 40), 0);
    EXPECT_EQ(lit_segments(100, 0, 200, 0), 0);
    EXPECT_EQ(lit_segments(100, 0, 200, -3), 0);
    EXPECT_EQ(lit_segments(100, 200, 0, 40), 0);
}

TEST(GaugeScale, SameValueTreatsNaNAsEqual) {
    EXPECT_TRUE(same_value(1.5, 1.5));
    EXPECT_TRUE(same_value(kNaN, kNaN));
    EXPECT_TRUE(same_value(0.0, -0.0));
    EXPECT_FALSE(same_value(kNaN, 0));
    EXPECT_FALSE(same_value(1, 2));
    EXPECT_FALSE(same_value(kInf, -kInf));
}
