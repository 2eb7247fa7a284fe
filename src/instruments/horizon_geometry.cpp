#include "instruments/horizon_geometry.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace zento {
namespace {

// Shared by the char and char16_t readers: finds the numeric span, then converts it exactly.
template <typename Ch> double read_number(std::basic_string_view<Ch> t) {
    std::size_t i = 0;
    while (i < t.size() && (t[i] == Ch(' ') || t[i] == Ch('\t')))
        ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == Ch('+') || t[i] == Ch('-'))) {
        negative = t[i] == Ch('-');
        ++i;
    }
    const std::size_t start = i;
    std::size_t digits = 0;
    auto is_digit = [](Ch c) { return c >= Ch('0') && c <= Ch('9'); };
    while (i < t.size() && is_digit(t[i]))
        ++i, ++digits;
    if (i < t.size() && t[i] == Ch('.')) {
        ++i;
        while (i < t.size() && is_digit(t[i]))
            ++i, ++digits;
    }
    if (digits == 0) return 0.0; // "", "abc", "-", "." : no leading number

    // The span holds only ASCII digits and at most one point.
    const std::size_t n = i - start;
    char small[64] = {};
    std::string large;
    char* buf = small;
    if (n > sizeof small) {
        large.resize(n);
        buf = large.data();
    }
    for (std::size_t k = 0; k < n; ++k)
        buf[k] = char(t[start + k]);
    double v = 0.0;
    const auto r = std::from_chars(buf, buf + n, v, std::chars_format::fixed);
    if (r.ec == std::errc::result_out_of_range) {
        // Only a huge number can overflow here (a tiny one underflows towards 0, which from_chars
        // also reports this way); tell them apart by the first non-zero digit's position.
        const char* p = buf;
        while (p < buf + n && (*p == '0' || *p == '.'))
            ++p;
        const char* point = std::find(buf, buf + n, '.');
        v = p < point ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -v : v;
}

} // namespace

double text_number(std::string_view text) {
    return read_number(text);
}
double text_number(std::u16string_view text) {
    return read_number(text);
}

double round_half_even(double v) {
    if (!std::isfinite(v)) return v;
    const double r = std::round(v); // halves away from zero
    // r - v is exact (Sterbenz, or r == 0); on a tie v / 2 is exact and rounds to the even half.
    if (std::fabs(r - v) == 0.5) return 2.0 * std::round(v / 2.0);
    return r;
}

std::int32_t round_to_i32(double v) {
    if (std::isnan(v)) return 0;
    const double r = round_half_even(v);
    if (r >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (r <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(r);
}

std::int16_t roll_angle(double roll_degrees) {
    if (!std::isfinite(roll_degrees)) return 360;
    // fmod is exact and keeps the dividend's sign, the same as the 32-bit remainder where the
    // rounded roll fits in 32 bits.
    const double rem = std::fmod(round_half_even(roll_degrees), 360.0);
    return static_cast<std::int16_t>(static_cast<int>(rem) + 360);
}

std::int32_t pitch_offset(double pitch_degrees) {
    const double v = 1.0 - 2.7 * pitch_degrees - 2.0;
    return round_to_i32(v);
}

TurnSinCos turn_sin_cos(int angle_degrees) {
    const double a = angle_degrees * kDegToRad;
    return {static_cast<float>(std::sin(a)), static_cast<float>(std::cos(a))};
}

BltPoints rotate_blt_points(int angle, std::int32_t centre_x, std::int32_t centre_y,
                            std::int32_t width, std::int32_t height) {
    // Corners relative to the centre: top-left, top-right, bottom-left.
    const std::int32_t x0 = round_to_i32(-double(width) * 0.5);
    const std::int32_t y0 = round_to_i32(-double(height) * 0.5);
    const double corner[3][2] = {{double(x0), double(y0)},
                                 {double(x0) + width, double(y0)},
                                 {double(x0), double(y0) + height}};
    const TurnSinCos sc = turn_sin_cos(angle);
    const double s = sc.s, c = sc.c; // single-precision values, products in double
    BltPoints out;
    for (int k = 0; k < 3; ++k) {
        const double x = corner[k][0], y = corner[k][1];
        out.p[k] = {round_to_i32(x * c - y * s + centre_x), round_to_i32(x * s + y * c + centre_y)};
    }
    return out;
}

IntPoint surface_centre(float W, float H) {
    return {round_to_i32(W / 2.0f), round_to_i32(H / 2.0f)};
}

std::array<SymbolRect, 10> aircraft_symbol(float W, float H) {
    // All single precision, as the symbol's table is written.
    const float cy = H / 2.0f;
    const float bar = H / 35.0f;  // wing bar thickness
    const float leg = H / 10.0f;  // leg reach below the centre row
    const float blk = H / 30.0f;  // centre block height
    const float w3 = W / 3.0f;    // inner end of the left wing
    const float w23 = 2.0f * w3;  // inner end of the right wing (W/3 doubled)
    const float half = W / 45.0f; // centre block half width
    const float cx = W / 2.0f;

    auto rect = [](bool white, float x1, float y1, float x2, float y2) {
        SymbolRect r;
        r.white = white;
        r.x1 = x1, r.y1 = y1, r.x2 = x2, r.y2 = y2;
        const std::int32_t ax = round_to_i32(x1), bx = round_to_i32(x2);
        const std::int32_t ay = round_to_i32(y1), by = round_to_i32(y2);
        r.left = std::min(ax, bx), r.right = std::max(ax, bx);
        r.top = std::min(ay, by), r.bottom = std::max(ay, by);
        return r;
    };
    return {{
        rect(true, 8.0f, cy - 2.0f, w3 + 2.0f, cy + bar + 2.0f),
        rect(true, w3 - bar - 2.0f, cy - 2.0f, w3 + 2.0f, cy + leg + 2.0f),
        rect(true, w23 - 2.0f, cy - 2.0f, W - 10.0f + 2.0f, cy + bar + 2.0f),
        rect(true, w23 - 2.0f, cy - 2.0f, w23 + bar + 2.0f, cy + leg + 2.0f),
        rect(true, cx - half - 2.0f, cy - 2.0f, cx + half + 2.0f, cy + blk + 2.0f),
        rect(false, 10.0f, cy, w3, cy + bar),
        rect(false, w3 - bar, cy, w3, cy + leg),
        rect(false, w23, cy, W - 10.0f, cy + bar),
        rect(false, w23, cy, w23 + bar, cy + leg),
        rect(false, cx - half, cy, cx + half, cy + blk),
    }};
}

} // namespace zento
