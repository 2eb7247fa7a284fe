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

namespace {

// The blit from any source: `pixel(p)` is the colour of the source pixel at p, `part` the
// source's pixel at the copied part's top-left.
template <typename Source, typename Pixel>
void rotate_blt_from(const PixelRows& dest, std::int32_t centre_x, std::int32_t centre_y, int angle,
                     const Source& src, std::int32_t src_x, std::int32_t src_y, std::int32_t width,
                     std::int32_t height, Pixel pixel) {
    if (width <= 0 || height <= 0 || !dest.bits || !src.bits) return;
    const BltPoints pts = rotate_blt_points(angle, centre_x, centre_y, width, height);
    // The source rectangle's edges as they land: x' = p0 + (u - src_x) a + (v - src_y) b.
    const double ax = double(pts.p[1].x - pts.p[0].x) / width;
    const double ay = double(pts.p[1].y - pts.p[0].y) / width;
    const double bx = double(pts.p[2].x - pts.p[0].x) / height;
    const double by = double(pts.p[2].y - pts.p[0].y) / height;
    const double det = ax * by - bx * ay;
    if (det == 0) return;
    // Only the part of the rectangle inside the source is copied.
    const double left = std::max<double>(src_x, 0);
    const double top = std::max<double>(src_y, 0);
    const double right = std::min<double>(double(src_x) + width, src.width);
    const double bottom = std::min<double>(double(src_y) + height, src.height);
    if (left >= right || top >= bottom) return;
    const auto* part =
        src.bits + std::ptrdiff_t(top) * src.stride + std::ptrdiff_t(left); // top-left pixel
    // The inverse map, one step right and one step down.
    const double du_dx = by / det, dv_dx = -ay / det;
    const double du_dy = -bx / det, dv_dy = ax / det;
    const auto fixed = [](double v) { return std::int64_t(std::llround(v * 65536.0)); };
    const double rx = 0.5 - pts.p[0].x; // the first column's centre, from the corner
    for (std::int32_t y = 0; y < dest.height; ++y) {
        const double ry = y + 0.5 - pts.p[0].y;
        const double u0 = src_x + rx * du_dx + ry * du_dy;
        const double v0 = src_y + rx * dv_dx + ry * dv_dy;
        // The columns whose centres may map inside (each bound widened by a pixel; the test
        // below decides).
        double first = 0, last = dest.width - 1;
        const auto narrow = [&](double start, double step, double lo, double hi) {
            if (step == 0) {
                if (!(start >= lo && start < hi)) last = -1;
                return;
            }
            double a = (lo - start) / step, b = (hi - start) / step;
            if (a > b) std::swap(a, b);
            first = std::max(first, std::floor(a) - 1);
            last = std::min(last, std::ceil(b) + 1);
        };
        narrow(u0, du_dx, left, right);
        narrow(v0, dv_dx, top, bottom);
        if (last < first) continue;
        // Along the row in 16.16 fixed point, relative to the part's top-left pixel (the error
        // over a row stays far below a pixel's hundredth).
        std::int64_t u = fixed(u0 - left + first * du_dx), v = fixed(v0 - top + first * dv_dx);
        const std::int64_t du = fixed(du_dx), dv = fixed(dv_dx);
        const auto span_u = std::uint64_t(right - left) << 16;
        const auto span_v = std::uint64_t(bottom - top) << 16;
        const auto inside = [&](std::int64_t k) {
            return std::uint64_t(u + k * du) < span_u && std::uint64_t(v + k * dv) < span_v;
        };
        // The pixels inside are one stretch of the row (a line through a parallelogram).
        std::int64_t from = 0, to = std::int64_t(last - first);
        while (from <= to && !inside(from))
            ++from;
        while (to >= from && !inside(to))
            --to;
        std::uint32_t* row = dest.bits + std::ptrdiff_t(y) * dest.stride + std::ptrdiff_t(first);
        u += from * du;
        v += from * dv;
        for (std::int64_t k = from; k <= to; ++k, u += du, v += dv)
            row[k] = pixel(part + (v >> 16) * src.stride + (u >> 16));
    }
}

} // namespace

void rotate_blt(const PixelRows& dest, std::int32_t centre_x, std::int32_t centre_y, int angle,
                const ConstPixelRows& src, std::int32_t src_x, std::int32_t src_y,
                std::int32_t width, std::int32_t height) {
    rotate_blt_from(dest, centre_x, centre_y, angle, src, src_x, src_y, width, height,
                    [](const std::uint32_t* p) { return *p; });
}

void rotate_blt(const PixelRows& dest, std::int32_t centre_x, std::int32_t centre_y, int angle,
                const IndexedPixelRows& src, std::int32_t src_x, std::int32_t src_y,
                std::int32_t width, std::int32_t height) {
    if (!src.colours) return;
    const std::uint32_t* colours = src.colours;
    rotate_blt_from(dest, centre_x, centre_y, angle, src, src_x, src_y, width, height,
                    [colours](const std::uint8_t* p) { return colours[*p]; });
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
