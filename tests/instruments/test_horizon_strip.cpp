#include "instruments/horizon_strip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <set>
#include <string>

using namespace zento;

namespace {

const std::vector<std::uint32_t>& strip() {
    static const std::vector<std::uint32_t> s = horizon_strip();
    return s;
}
std::uint32_t at(int x, int y) {
    return strip()[std::size_t(y) * kStripWidth + std::size_t(x)];
}

// The background under the marks: texture, blend rows, horizon.
std::uint32_t base(int x, int y) {
    if (y == kHorizonRow - 1) return kSkyBlend;
    if (y == kHorizonRow) return kStripWhite;
    if (y == kHorizonRow + 1) return kGroundBlend;
    const auto& shades = y < kHorizonRow ? kSkyShades : kGroundShades;
    return shades[std::size_t(strip_shade(x, y))];
}

// The designed layout, written out here independently of the drawing code's tables.
struct Line {
    int angle, row;
    bool numerals;
};
constexpr Line kRows[] = {
    {90, 259, true},   {80, 285, false},  {70, 311, false}, {60, 337, true},   {50, 363, false},
    {40, 389, true},   {30, 417, true},   {20, 445, true},  {10, 473, true},   {-10, 527, true},
    {-20, 555, true},  {-30, 583, true},  {-40, 611, true}, {-50, 637, false}, {-60, 663, true},
    {-70, 689, false}, {-80, 715, false}, {-90, 741, true},
};
constexpr int kShortRows[] = {396, 410, 424, 438, 452, 466, 480, 494,
                              506, 520, 534, 548, 562, 576, 590, 604};
constexpr int kMiddleRows[] = {403, 431, 459, 487, 513, 541, 569, 597};

// Is (x, y) lit in one of the numerals? Two 7-pixel digits, 2 apart, 9 rows centred on the line.
bool numeral_pixel(int x, int y) {
    for (const Line& l : kRows) {
        if (!l.numerals || y < l.row - 4 || y > l.row + 4) continue;
        const int value = l.angle < 0 ? -l.angle : l.angle;
        for (int left : {55, 64, 129, 138}) {
            if (x < left || x >= left + 7) continue;
            const int digit = (left == 55 || left == 129) ? value / 10 : value % 10;
            return digit_glyph(digit)[std::size_t(y - (l.row - 4))][x - left] == '#';
        }
    }
    return false;
}

bool mark_pixel(int x, int y) {
    for (const Line& l : kRows)
        if (y == l.row && x >= 74 && x <= 125) return true;
    for (int r : kShortRows)
        if (y == r && x >= 92 && x <= 107) return true;
    for (int r : kMiddleRows)
        if (y == r && x >= 84 && x <= 115) return true;
    return false;
}

} // namespace

TEST(HorizonStrip, SizeAndDeterminism) {
    ASSERT_EQ(strip().size(), std::size_t(kStripWidth) * kStripHeight);
    EXPECT_EQ(horizon_strip(), strip());
}

TEST(HorizonStrip, HorizonAndBlendRows) {
    for (int x = 0; x < kStripWidth; ++x) {
        EXPECT_EQ(at(x, 500), kStripWhite) << x;
        EXPECT_EQ(at(x, 499), kSkyBlend) << x;
        EXPECT_EQ(at(x, 501), kGroundBlend) << x;
    }
}

TEST(HorizonStrip, EveryPixelIsTextureOrAKnownMark) {
    // Catches a misplaced mark, a numeral in the wrong rows or a texture fault anywhere.
    for (int y = 0; y < kStripHeight; ++y) {
        for (int x = 0; x < kStripWidth; ++x) {
            const bool lit = mark_pixel(x, y) || numeral_pixel(x, y);
            const std::uint32_t want = lit ? kStripWhite : base(x, y);
            ASSERT_EQ(at(x, y), want) << "x " << x << " y " << y;
        }
    }
}

TEST(HorizonStrip, LadderLinesAreFiftyTwoPixelsCentred) {
    for (const Line& l : kRows) {
        for (int x = 74; x <= 125; ++x)
            ASSERT_EQ(at(x, l.row), kStripWhite);
        // Gaps between the line and the numerals, and nothing at the strip's edges.
        for (int x : {0, 54, 71, 72, 73, 126, 127, 128, 145, 199})
            EXPECT_NE(at(x, l.row), kStripWhite) << l.angle << " x " << x;
    }
    // The drawing code's table is the designed one.
    ASSERT_EQ(kLadder.size(), std::size(kRows));
    for (std::size_t i = 0; i < kLadder.size(); ++i) {
        EXPECT_EQ(kLadder[i].angle, kRows[i].angle);
        EXPECT_EQ(kLadder[i].row, kRows[i].row);
        EXPECT_EQ(kLadder[i].numerals, kRows[i].numerals);
    }
}

TEST(HorizonStrip, ShortMarksBetweenHorizonAndForty) {
    auto expect_mark = [](int row, int left, int right) {
        for (int x = left; x <= right; ++x)
            ASSERT_EQ(at(x, row), kStripWhite) << row << ' ' << x;
        EXPECT_NE(at(left - 1, row), kStripWhite) << row;
        EXPECT_NE(at(right + 1, row), kStripWhite) << row;
    };
    for (int r : kShortRows)
        expect_mark(r, 92, 107);
    for (int r : kMiddleRows)
        expect_mark(r, 84, 115);
    // Nothing between the marks: the rows in between carry texture only (outside the numerals).
    for (int r = 390; r < 611; ++r) {
        if (r >= 495 && r <= 505) continue;
        const bool marked =
            std::find(std::begin(kShortRows), std::end(kShortRows), r) != std::end(kShortRows) ||
            std::find(std::begin(kMiddleRows), std::end(kMiddleRows), r) != std::end(kMiddleRows);
        const bool ladder = std::any_of(std::begin(kRows), std::end(kRows),
                                        [r](const Line& l) { return l.row == r; });
        if (!marked && !ladder) {
            EXPECT_NE(at(99, r), kStripWhite) << r;
        }
    }
}

TEST(HorizonStrip, NumeralsOnlyOnTheirLines) {
    auto white_in = [](int left, int right, int top, int bottom) {
        int n = 0;
        for (int y = top; y <= bottom; ++y)
            for (int x = left; x <= right; ++x)
                n += at(x, y) == kStripWhite;
        return n;
    };
    for (const Line& l : kRows) {
        const int left = white_in(55, 70, l.row - 4, l.row + 4);
        const int right = white_in(129, 144, l.row - 4, l.row + 4);
        EXPECT_EQ(left, right) << l.angle;
        if (l.numerals) {
            EXPECT_GT(left, 20) << l.angle;
            // 9 rows tall: the rows just above and below are clear.
            EXPECT_EQ(white_in(55, 70, l.row - 5, l.row - 5), 0) << l.angle;
            EXPECT_EQ(white_in(55, 70, l.row + 5, l.row + 5), 0) << l.angle;
        } else {
            EXPECT_EQ(left, 0) << l.angle;
        }
    }
}

TEST(HorizonStrip, TexturesUseThreeShadesEvenly) {
    std::set<std::uint32_t> sky, ground;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) {
            sky.insert(at(x, 10 + y));
            ground.insert(at(x, 900 + y));
        }
    EXPECT_EQ(sky, std::set<std::uint32_t>(kSkyShades.begin(), kSkyShades.end()));
    EXPECT_EQ(ground, std::set<std::uint32_t>(kGroundShades.begin(), kGroundShades.end()));
    // Repeats every 3 pixels across and down.
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 50; ++x) {
            ASSERT_EQ(at(x, y), at(x + 3, y));
            ASSERT_EQ(at(x, y), at(x, y + 3));
        }
    EXPECT_EQ(kSkyShades[0], strip_rgb(7, 137, 184));
    EXPECT_EQ(kGroundShades[2], strip_rgb(148, 100, 37));
}

TEST(HorizonStrip, DigitGlyphsAreDistinctAndWellFormed) {
    for (int d = 0; d < 10; ++d) {
        for (const char* row : digit_glyph(d)) {
            ASSERT_EQ(std::strlen(row), std::size_t(kDigitWidth)) << d;
            EXPECT_EQ(std::string(row).find_first_not_of(".#"), std::string::npos) << d;
        }
        for (int e = 0; e < d; ++e) {
            bool same = true;
            for (int r = 0; r < kDigitHeight; ++r)
                same = same && std::strcmp(digit_glyph(d)[std::size_t(r)],
                                           digit_glyph(e)[std::size_t(r)]) == 0;
            EXPECT_FALSE(same) << d << " and " << e;
        }
    }
}
