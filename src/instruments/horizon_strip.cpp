#include "instruments/horizon_strip.h"

namespace zento {
namespace {

// 7 x 9 digits with two-pixel strokes, legible at the indicator's size.
constexpr std::array<std::array<const char*, kDigitHeight>, 10> kGlyphs = {{
    {"..###..", ".##.##.", "##...##", "##...##", "##...##", "##...##", "##...##", ".##.##.",
     "..###.."},
    {"...##..", "..###..", ".####..", "...##..", "...##..", "...##..", "...##..", "...##..",
     ".######"},
    {".#####.", "##...##", ".....##", "....##.", "...##..", "..##...", ".##....", "##.....",
     "#######"},
    {".#####.", "##...##", ".....##", ".....##", "..####.", ".....##", ".....##", "##...##",
     ".#####."},
    {"....##.", "...###.", "..####.", ".##.##.", "##..##.", "#######", "....##.", "....##.",
     "....##."},
    {"#######", "##.....", "##.....", "######.", ".....##", ".....##", ".....##", "##...##",
     ".#####."},
    {"..####.", ".##....", "##.....", "######.", "##...##", "##...##", "##...##", "##...##",
     ".#####."},
    {"#######", ".....##", "....##.", "....##.", "...##..", "...##..", "..##...", "..##...",
     "..##..."},
    {".#####.", "##...##", "##...##", "##...##", ".#####.", "##...##", "##...##", "##...##",
     ".#####."},
    {".#####.", "##...##", "##...##", "##...##", ".######", ".....##", ".....##", "....##.",
     ".####.."},
}};

void hline(std::vector<std::uint32_t>& px, int row, int left, int right, std::uint32_t colour) {
    for (int x = left; x <= right; ++x)
        px[std::size_t(row) * kStripWidth + x] = colour;
}

void draw_digit(std::vector<std::uint32_t>& px, int digit, int left, int top) {
    const auto& g = kGlyphs[std::size_t(digit)];
    for (int r = 0; r < kDigitHeight; ++r)
        for (int c = 0; c < kDigitWidth; ++c)
            if (g[std::size_t(r)][c] == '#')
                px[std::size_t(top + r) * kStripWidth + left + c] = kStripWhite;
}

void draw_numeral(std::vector<std::uint32_t>& px, int value, int left, int centre_row) {
    const int top = centre_row - kDigitHeight / 2;
    draw_digit(px, value / 10, left, top);
    draw_digit(px, value % 10, left + kDigitWidth + kDigitGap, top);
}

} // namespace

const std::array<const char*, kDigitHeight>& digit_glyph(int digit) {
    return kGlyphs[std::size_t(digit % 10)];
}

std::vector<std::uint32_t> horizon_strip() {
    std::vector<std::uint32_t> px(std::size_t(kStripWidth) * kStripHeight);
    for (int y = 0; y < kStripHeight; ++y) {
        const auto& shades = y < kHorizonRow ? kSkyShades : kGroundShades;
        for (int x = 0; x < kStripWidth; ++x)
            px[std::size_t(y) * kStripWidth + x] = shades[std::size_t(strip_shade(x, y))];
    }
    hline(px, kHorizonRow - 1, 0, kStripWidth - 1, kSkyBlend);
    hline(px, kHorizonRow, 0, kStripWidth - 1, kStripWhite);
    hline(px, kHorizonRow + 1, 0, kStripWidth - 1, kGroundBlend);

    for (const LadderLine& l : kLadder) {
        hline(px, l.row, kLadderLeft, kLadderRight, kStripWhite);
        if (l.numerals) {
            const int value = l.angle < 0 ? -l.angle : l.angle;
            draw_numeral(px, value, kNumeralLeftStart, l.row);
            draw_numeral(px, value, kNumeralRightStart, l.row);
        }
    }
    for (const ShortMark& m : kShortMarks)
        hline(px, m.row, m.left, m.right, kStripWhite);
    return px;
}

} // namespace zento
