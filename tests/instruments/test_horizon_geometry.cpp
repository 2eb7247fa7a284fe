#include "instruments/horizon_geometry.h"
#include "telemetry/value_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using namespace zento;

TEST(TextNumber, ReadsTheLeadingNumberOrZero) {
    const std::pair<const char*, double> cases[] = {
        {"12.5abc", 12.5}, {"  -3.25", -3.25}, {"\t 4", 4},  {"+7", 7},
        {".5", 0.5},       {"-.5", -0.5},      {"5.", 5},    {"1.2.3", 1.2},
        {"007", 7},        {"101320", 101320}, {"12,5", 12}, // "," is not a decimal point
        {"1e3", 1},                                          // no exponent
        {"1 2", 1},
    };
    for (const auto& [t, want] : cases)
        EXPECT_EQ(text_number(t), want) << '"' << t << '"';
    for (const char* t : {"", "abc", "-", "+", ".", "-.", " ", "--5", "- 5", "x12", "0x", "\n5"})
        EXPECT_EQ(text_number(t), 0.0) << '"' << t << '"';
    EXPECT_EQ(text_number(u"  -0.25"), -0.25);
    EXPECT_EQ(text_number(u"\u0663"), 0.0);  // a non-ASCII digit is not a digit here
    EXPECT_EQ(text_number(u"7\u00b0"), 7.0); // "7°"
}

TEST(TextNumber, ExtremeLengthsDoNotBreak) {
    const std::string huge = "1" + std::string(400, '0');
    EXPECT_EQ(text_number(huge), std::numeric_limits<double>::infinity());
    EXPECT_EQ(text_number("-" + huge), -std::numeric_limits<double>::infinity());
    const std::string tiny = "0." + std::string(400, '0') + "1";
    EXPECT_EQ(text_number(tiny), 0.0);
    const std::string long_exact = std::string(100, '0') + "42.5" + std::string(100, '0');
    EXPECT_EQ(text_number(long_exact), 42.5);
}

TEST(TextNumber, ReadsEveryValueTextBackToItsFloat) {
    // The decoders hand the indicator value texts of single-precision values.
    for (int k = -32767; k <= 32767; k += 13) {
        const float v = float(k) / 10.0f;
        EXPECT_EQ(float(text_number(value_text(v))), v) << value_text(v);
    }
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    const double cases[][2] = {{0.5, 0},  {1.5, 2},   {2.5, 2},   {3.5, 4},      {-0.4, 0},
                               {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {1e300, 1e300}};
    for (const auto& [v, want] : cases)
        EXPECT_EQ(round_half_even(v), want) << v;
    EXPECT_EQ(round_half_even(2.4999999999999996), 2.0);
    EXPECT_EQ(round_half_even(4503599627370495.5), 4503599627370496.0);
    EXPECT_EQ(round_half_even(std::nextafter(0.5, 0.0)), 0.0);
    EXPECT_EQ(round_half_even(std::nextafter(0.5, 1.0)), 1.0);
    EXPECT_EQ(round_half_even(std::nextafter(-2.5, -3.0)), -3.0);
}

TEST(Rounding, To32BitSaturatesInsteadOfOverflowing) {
    EXPECT_EQ(round_to_i32(2147483646.5), 2147483646);
    EXPECT_EQ(round_to_i32(-2147483648.4), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(round_to_i32(1e12), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(round_to_i32(-1e12), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(round_to_i32(std::numeric_limits<double>::infinity()),
              std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(round_to_i32(std::nan("")), 0);
}

TEST(RollAngle, FoldsIntoOneTo719) {
    const std::pair<double, int> cases[] = {
        {0, 360},  {30, 390},  {390, 390}, {-30, 330},  {330, 690},  {-360, 360},  {359, 719},
        {-359, 1}, {0.5, 360}, {1.5, 362}, {-0.4, 360}, {-180, 180}, {3276.7, 397}};
    for (const auto& [v, want] : cases)
        EXPECT_EQ(roll_angle(v), want) << v;
    for (double r = -1000; r <= 1000; r += 0.25)
        ASSERT_TRUE(roll_angle(r) >= 1 && roll_angle(r) <= 719) << r;
}

TEST(RollAngle, MatchesThe32BitRemainderAndSurvivesHugeValues) {
    for (std::int32_t v : {std::numeric_limits<std::int32_t>::min(), -2147483647, -1000001, -721,
                           -1, 1, 719, 1000001, std::numeric_limits<std::int32_t>::max()})
        EXPECT_EQ(roll_angle(double(v)), v % 360 + 360) << v;
    EXPECT_EQ(roll_angle(1e15), 280 + 360); // 1e15 = 360 x 2777777777777 + 280
    EXPECT_EQ(roll_angle(std::numeric_limits<double>::infinity()), 360);
    EXPECT_EQ(roll_angle(-std::numeric_limits<double>::infinity()), 360);
}

TEST(PitchOffset, TwoPointSevenRowsPerDegree) {
    // 0.5, -0.5 and 12.5 give -2.35, 0.35 and -34.75 before rounding.
    const std::pair<double, int> cases[] = {{0, -1},   {10, -28},  {-10, 26},
                                            {1, -4},   {90, -244}, {-90, 242},
                                            {0.5, -2}, {-0.5, 0},  {12.5, -35}};
    for (const auto& [v, want] : cases)
        EXPECT_EQ(pitch_offset(v), want) << v;
    EXPECT_EQ(pitch_offset(1e12), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(pitch_offset(-1e12), std::numeric_limits<std::int32_t>::max());
}

TEST(RotateBltPoints, LevelIsAPlainShiftAndPositiveAnglesTurnClockwise) {
    // Where the 200 x 1000 strip's top-left, top-right and bottom-left corners land. 90 degrees:
    // the top edge goes to the right, the left edge to the top. 45 degrees: (-100, -500) ->
    // (400 c, -600 s) with s = c = 0.70710677f.
    const struct {
        int angle, cx, cy;
        std::array<IntPoint, 3> want;
    } cases[] = {
        {0, 76, 56, {{{-24, -444}, {176, -444}, {-24, 556}}}},
        {360, 76, 56, {{{-24, -444}, {176, -444}, {-24, 556}}}},
        {720, 76, 56, {{{-24, -444}, {176, -444}, {-24, 556}}}},
        {90, 76, 56, {{{76 + 500, 56 - 100}, {76 + 500, 56 + 100}, {76 - 500, 56 - 100}}}},
        {180, 10, 20, {{{110, 520}, {-90, 520}, {110, -480}}}},
        {270, 0, 0, {{{-500, 100}, {-500, -100}, {500, 100}}}},
        {45, 76, 56, {{{76 + 283, 56 - 424}, {76 + 424, 56 - 283}, {76 - 424, 56 + 283}}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rotate_blt_points(c.angle, c.cx, c.cy, 200, 1000).p, c.want) << c.angle;
    EXPECT_EQ(rotate_blt_points(0, 76, 56, 200, 1000).bottom_right(), (IntPoint{176, 556}));
    EXPECT_EQ(rotate_blt_points(-30, 76, 56, 200, 1000).p,
              rotate_blt_points(330, 76, 56, 200, 1000).p);
    // Odd sizes: the half corner rounds to even (-100.5 -> -100, -101.5 -> -102, -1.5 -> -2).
    EXPECT_EQ(rotate_blt_points(0, 0, 0, 201, 3).p[0], (IntPoint{-100, -2}));
    EXPECT_EQ(rotate_blt_points(0, 0, 0, 203, 1).p[1], (IntPoint{101, 0}));
    // The degree factor is a little short of pi/180: the level turn's sine is not quite 0.
    EXPECT_EQ(turn_sin_cos(360).c, 1.0f);
    EXPECT_NE(turn_sin_cos(360).s, 0.0f);
}

TEST(AircraftSymbol, RectanglesAtTheIndicatorSize) {
    EXPECT_EQ(surface_centre(153, 113), (IntPoint{76, 56})); // halves to even
    EXPECT_EQ(surface_centre(155, 115), (IntPoint{78, 58}));
    // W = 153, H = 113: H/2 = 56.5, H/35 = 3.23, H/10 = 11.3, H/30 = 3.77, W/3 = 51, W/45 = 3.4.
    // The white edges: left wing, left leg, right wing, right leg, centre; then the black
    // pieces painted over them, from the centre row (56.5, rounded to even) down.
    const std::array<int, 4> want[10] = {{8, 54, 53, 62},    {46, 54, 53, 70},   {100, 54, 145, 62},
                                         {100, 54, 107, 70}, {71, 54, 82, 62},   {10, 56, 51, 60},
                                         {48, 56, 51, 68},   {102, 56, 143, 60}, {102, 56, 105, 68},
                                         {73, 56, 80, 60}};
    const auto s = aircraft_symbol(153, 113);
    for (std::size_t k = 0; k < 10; ++k) {
        EXPECT_EQ((std::array{s[k].left, s[k].top, s[k].right, s[k].bottom}), want[k]) << k + 1;
        EXPECT_EQ(s[k].white, k < 5) << k + 1;
    }
}
