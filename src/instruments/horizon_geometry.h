#pragma once
// Attitude indicator geometry, without any drawing: how the roll and pitch texts become a turn
// angle and a strip offset, where the rotated blit puts the strip's corners, and the rectangles
// of the fixed aircraft symbol.
//
// Contract of the indicator: the horizon strip (200 x 1000, horizon on row 500) is turned by the
// roll in whole degrees about the centre of the surface and shifted by the pitch in whole rows.
// Strip row r lands, before turning, on y = centre_y - 500 + (r - pitch_offset). Every real
// number that becomes an integer is rounded to the nearest integer, halves to the even neighbour.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zento {

// Reads the leading decimal number of a text: leading blanks (space, tab), an optional sign, then
// digits with an optional "." and more digits (".5" and "5." are numbers; no exponent). Whatever
// follows is ignored; a text with no leading number reads as 0. "12.5abc" -> 12.5, "abc" -> 0.
// A number too large for a double reads as +-infinity.
double text_number(std::string_view text);
double text_number(std::u16string_view text);

// Nearest integer, halves to the even neighbour (0.5 -> 0, 1.5 -> 2, -2.5 -> -2). Exact for every
// finite double; NaN and infinities come back unchanged.
double round_half_even(double v);

// round_half_even, saturated to the 32-bit range; NaN gives 0.
std::int32_t round_to_i32(double v);

// The turn angle in whole degrees, always in 1..719: the rounded roll, remainder by 360 with the
// sign of the dividend, plus 360 (0 gives 360, 30 and 390 both give 390, -30 gives 330).
// The remainder is taken exactly for any finite roll (no 32-bit overflow); a non-finite roll
// counts as 0.
std::int16_t roll_angle(double roll_degrees);

// The strip's source row offset: 1 - 2.7 x pitch - 2 in double precision, rounded half-even,
// saturated to 32 bits. 0 -> -1, 10 -> -28, -10 -> 26, 1 -> -4, 90 -> -244, -90 -> 242.
std::int32_t pitch_offset(double pitch_degrees);

// Degree-to-radian factor as the indicator stores it (3.14159265238 / 180, not exactly pi/180).
inline constexpr double kDegToRad = 0.01745329251322222;

// Sine and cosine of the turn, kept in single precision.
struct TurnSinCos {
    float s = 0, c = 1;
};
TurnSinCos turn_sin_cos(int angle_degrees);

struct IntPoint {
    std::int32_t x = 0, y = 0;
    friend bool operator==(const IntPoint&, const IntPoint&) = default;
};

// The three destination points of the rotated blit: where the source rectangle's top-left (p[0]),
// top-right (p[1]) and bottom-left (p[2]) corners land when the width x height rectangle is
// centred on (centre_x, centre_y) and turned by angle degrees (clockwise on a y-down screen).
struct BltPoints {
    std::array<IntPoint, 3> p;
    // The bottom-right corner completes the parallelogram: p1 + p2 - p0.
    IntPoint bottom_right() const { return {p[1].x + p[2].x - p[0].x, p[1].y + p[2].y - p[0].y}; }
};
BltPoints rotate_blt_points(int angle, std::int32_t centre_x, std::int32_t centre_y,
                            std::int32_t width, std::int32_t height);

// The centre of a surface of inner size W x H: (round(W/2), round(H/2)), half-even.
IntPoint surface_centre(float W, float H);

// One filled rectangle of the aircraft symbol: the two corners as computed (single precision)
// and the pixel box they cover, both corners included (left <= right, top <= bottom).
struct SymbolRect {
    bool white = false; // RGB(255,255,255) when true, RGB(0,0,0) otherwise
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool contains(std::int32_t x, std::int32_t y) const {
        return x >= left && x <= right && y >= top && y <= bottom;
    }
};

// The ten rectangles of the aircraft symbol, in painting order: five white edges (left wing bar,
// left leg, right wing bar, right leg, centre block), then the five black pieces, each 2 pixels
// inside its edge. The black bars' tops lie on the centre row H/2.
std::array<SymbolRect, 10> aircraft_symbol(float W, float H);

} // namespace zento
