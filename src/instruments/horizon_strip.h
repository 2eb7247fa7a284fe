#pragma once
// The horizon strip: the tall sky-and-ground picture with the pitch ladder that the attitude
// indicator turns and slides behind its aircraft symbol.
//
// It is drawn once at start-up by horizon_strip() with a fixed built-in 7 x 9 pixel font for the
// numerals, so it is the same on every run and on every machine (no font or image file involved).
//
// Layout (rows from 0 at the top, columns from 0 at the left, marks centred on x = 99.5):
//   0..498    sky, three shades in a texture that repeats every 3 pixels
//   499       pale blue blend       500  white horizon, full width      501  pale brown blend
//   502..999  ground, three shades, same texture
//   ladder    white 52-pixel lines (columns 74..125) every 10 degrees, +90 on row 259 to -90 on
//             row 741; between the horizon and +-40 three short marks per 10 degrees, 7 rows
//             apart, 16/32/16 pixels long (columns 92..107 and 84..115)
//   numerals  "10" to "40", "60", "90" on both sides (columns 55..70 and 129..144), 9 rows tall,
//             centred on their line's row
#include <array>
#include <cstdint>
#include <vector>

namespace zento {

inline constexpr int kStripWidth = 200;
inline constexpr int kStripHeight = 1000;
inline constexpr int kHorizonRow = 500;

// Pixels are 0xFFRRGGBB.
constexpr std::uint32_t strip_rgb(int r, int g, int b) {
    return 0xFF000000u | std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | std::uint32_t(b);
}

inline constexpr std::array<std::uint32_t, 3> kSkyShades = {
    strip_rgb(7, 137, 184), strip_rgb(8, 154, 195), strip_rgb(9, 169, 204)};
inline constexpr std::array<std::uint32_t, 3> kGroundShades = {
    strip_rgb(108, 72, 27), strip_rgb(129, 87, 32), strip_rgb(148, 100, 37)};
inline constexpr std::uint32_t kSkyBlend = strip_rgb(140, 200, 226);    // row 499
inline constexpr std::uint32_t kGroundBlend = strip_rgb(196, 172, 140); // row 501
inline constexpr std::uint32_t kStripWhite = strip_rgb(255, 255, 255);

// Texture shade at (x, y): diagonal bands, period 3 both ways.
constexpr int strip_shade(int x, int y) {
    return (x + y) % 3;
}

struct LadderLine {
    int angle;     // degrees, above the horizon positive
    int row;       // strip row of the 52-pixel line
    bool numerals; // the angle's digits left and right
};
inline constexpr std::array<LadderLine, 18> kLadder = {{
    {90, 259, true},
    {80, 285, false},
    {70, 311, false},
    {60, 337, true},
    {50, 363, false},
    {40, 389, true},
    {30, 417, true},
    {20, 445, true},
    {10, 473, true},
    {-10, 527, true},
    {-20, 555, true},
    {-30, 583, true},
    {-40, 611, true},
    {-50, 637, false},
    {-60, 663, true},
    {-70, 689, false},
    {-80, 715, false},
    {-90, 741, true},
}};
struct ShortMark {
    int row;
    int left, right; // columns, inclusive
};
// Three marks in each 10-degree interval between the horizon and +-40 degrees.
inline constexpr std::array<ShortMark, 24> kShortMarks = {{
    {396, 92, 107}, {403, 84, 115}, {410, 92, 107}, {424, 92, 107}, {431, 84, 115}, {438, 92, 107},
    {452, 92, 107}, {459, 84, 115}, {466, 92, 107}, {480, 92, 107}, {487, 84, 115}, {494, 92, 107},
    {506, 92, 107}, {513, 84, 115}, {520, 92, 107}, {534, 92, 107}, {541, 84, 115}, {548, 92, 107},
    {562, 92, 107}, {569, 84, 115}, {576, 92, 107}, {590, 92, 107}, {597, 84, 115}, {604, 92, 107},
}};

inline constexpr int kLadderLeft = 74, kLadderRight = 125;
// The two digits of a numeral: 7 columns each with 2 blank columns between them.
inline constexpr int kNumeralLeftStart = 55, kNumeralRightStart = 129;
inline constexpr int kDigitWidth = 7, kDigitHeight = 9, kDigitGap = 2;

// The built-in digit glyph: '#' marks a lit pixel, row 0 at the top.
const std::array<const char*, kDigitHeight>& digit_glyph(int digit);

// The strip, kStripWidth x kStripHeight pixels, row-major.
std::vector<std::uint32_t> horizon_strip();

} // namespace zento
