#include "instruments/horizon_strip.h"

#include <gtest/gtest.h>

#include <cstring>
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

// Is (x, y) lit in one of the numerals? Numerals sit on the numbered ladder lines.
bool numeral_pixel(int x, int y) {
    for (const LadderLine& l : kLadder) {
        if (!l.numerals) continue;
        const int top = l.row - kDigitHeight / 2;
        if (y < top || y >= top + kDigitHeight) continue;
        const int value = l.angle < 0 ? -l.angle : l.angle;
        for (int start : {kNumeralLeftStart, kNumeralRightStart}) {
            for (int d = 0; d < 2; ++d) {
                const int left = start + d * (kDigitWidth + kDigitGap);
                if (x < left || x >= left + kDigitWidth) continue;
                const int digit = d == 0 ? value / 10 : value % 10;
                return digit_glyph(digit)[std::size_t(y - top)][x - left] == '#';
            }
        }
    }
    return false;
}

bool mark_pixel(int x, int y) {
    for (const LadderLine& l : kLadder)
        if (y == l.row && x >= kLadderLeft && x <= kLadderRight) return true;
    for (const ShortMark& m : kShortMarks)
        if (y == m.row && x >= m.left && x <= m.right) return true;
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
    ASSERT_EQ(kLadderRight - kLadderLeft + 1, 52);
    EXPECT_DOUBLE_EQ((kLadderLeft + kLadderRight) / 2.0, 99.5);
    for (const LadderLine& l : kLadder) {
        for (int x = kLadderLeft; x <= kLadderRight; ++x)
            ASSERT_EQ(at(x, l.row), kStripWhite);
        // Gaps between the line and the numerals, and nothing at the strip's edges.
        for (int x : {0, 54, 71, 72, 73, 126, 127, 128, 145, 199})
            EXPECT_NE(at(x, l.row), kStripWhite) << l.angle << " x " << x;
    }
    // Rows as designed: 26 to 28 rows per 10 degrees.
    for (std::size_t i = 1; i < kLadder.size(); ++i) {
        const int step = kLadder[i].row - kLadder[i - 1].row;
        EXPECT_TRUE(step == 26 || step == 28 || step == 54) << kLadder[i].angle;
    }
}

TEST(HorizonStrip, ShortMarksBetweenHorizonAndForty) {
    int middles = 0;
    for (const ShortMark& m : kShortMarks) {
        const int len = m.right - m.left + 1;
        ASSERT_TRUE(len == 16 || len == 32) << m.row;
        EXPECT_DOUBLE_EQ((m.left + m.right) / 2.0, 99.5) << m.row;
        middles += len == 32;
        EXPECT_EQ(at(m.left, m.row), kStripWhite);
        EXPECT_EQ(at(m.right, m.row), kStripWhite);
        EXPECT_NE(at(m.left - 1, m.row), kStripWhite) << m.row;
        EXPECT_NE(at(m.right + 1, m.row), kStripWhite) << m.row;
        EXPECT_GE(m.row, 389);
        EXPECT_LE(m.row, 611);
    }
    EXPECT_EQ(middles, 8);
}

TEST(HorizonStrip, NumeralsOnlyOnTheirLines) {
    auto white_in = [](int left, int right, int top, int bottom) {
        int n = 0;
        for (int y = top; y <= bottom; ++y)
            for (int x = left; x <= right; ++x)
                n += at(x, y) == kStripWhite;
        return n;
    };
    for (const LadderLine& l : kLadder) {
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
