#include "instruments/horizon_strip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

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

TEST(HorizonStrip, SizeDeterminismAndHorizonRows) {
    ASSERT_EQ(strip().size(), std::size_t(kStripWidth) * kStripHeight);
    EXPECT_EQ(horizon_strip(), strip());
    for (int x = 0; x < kStripWidth; ++x) {
        ASSERT_EQ(at(x, 500), strip_rgb(255, 255, 255)) << x;
        ASSERT_EQ(at(x, 499), kSkyBlend) << x;
        ASSERT_EQ(at(x, 501), kGroundBlend) << x;
    }
}

TEST(HorizonStrip, EveryPixelIsTextureOrAKnownMark) {
    // Catches a misplaced or missing mark, a numeral in the wrong place or a texture fault.
    for (int y = 0; y < kStripHeight; ++y) {
        for (int x = 0; x < kStripWidth; ++x) {
            const bool lit = mark_pixel(x, y) || numeral_pixel(x, y);
            const std::uint32_t want = lit ? kStripWhite : base(x, y);
            ASSERT_EQ(at(x, y), want) << "x " << x << " y " << y;
        }
    }
}

TEST(HorizonStrip, TexturesUseThreeShadesRepeatingEveryThreePixels) {
    std::set<std::uint32_t> sky, ground;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 50; ++x) {
            ASSERT_EQ(at(x, y), at(x + 3, y));
            ASSERT_EQ(at(x, y), at(x, y + 3));
            sky.insert(at(x, y));
            ground.insert(at(x, 900 + y % 3));
        }
    EXPECT_EQ(sky.size(), 3u);
    EXPECT_EQ(ground.size(), 3u);
}
