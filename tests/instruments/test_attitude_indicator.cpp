#include "instruments/attitude_indicator.h"
#include "instruments/horizon_geometry.h"
#include "instruments/horizon_strip.h"

#include <QAccessible>
#include <QPixmap>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

using namespace zento;

namespace {

constexpr int W = AttitudeIndicator::kOuterWidth - 2 * AttitudeIndicator::kBorder;  // 153
constexpr int H = AttitudeIndicator::kOuterHeight - 2 * AttitudeIndicator::kBorder; // 113
constexpr int CX = 76, CY = 56; // round(W/2), round(H/2)
constexpr QRgb kWhite = 0xFFFFFFFFu, kBlack = 0xFF000000u;

QRgb pix(const QImage& img, int x, int y) {
    return img.pixel(x, y) | 0xFF000000u;
}

QRgb strip_at(int x, int y) {
    static const std::vector<std::uint32_t> s = horizon_strip();
    if (x < 0 || y < 0 || x >= kStripWidth || y >= kStripHeight) return 0; // outside: none
    return s[std::size_t(y) * kStripWidth + std::size_t(x)];
}

const std::array<SymbolRect, 10>& symbol() {
    static const auto s = aircraft_symbol(float(W), float(H));
    return s;
}
bool in_symbol(int x, int y) {
    for (const SymbolRect& r : symbol())
        if (r.contains(x, y)) return true;
    return false;
}

QImage draw(AttitudeIndicator& ind, const QString& roll, const QString& pitch) {
    ind.Draw_attitude(roll, pitch);
    return ind.picture().copy();
}

// Row of the white horizon in a picture column: the first white pixel next to a blend row
// (ladder lines and numerals are white too, but lie on the textures), -1 if none.
int white_row(const QImage& img, int x) {
    for (int y = 0; y < img.height(); ++y) {
        if (in_symbol(x, y) || pix(img, x, y) != kWhite) continue;
        const bool above = y > 0 && pix(img, x, y - 1) == kSkyBlend;
        const bool below = y + 1 < img.height() && pix(img, x, y + 1) == kGroundBlend;
        if (above || below) return y;
    }
    return -1;
}

void expect_symbol(const QImage& img, const char* what) {
    for (int k = 0; k < 10; ++k) {
        const SymbolRect& r = symbol()[std::size_t(k)];
        for (int y = r.top; y <= r.bottom; ++y)
            for (int x = r.left; x <= r.right; ++x) {
                // A white edge shows where no black piece is painted over it.
                bool black = false;
                for (int j = 5; j < 10; ++j)
                    black = black || symbol()[std::size_t(j)].contains(x, y);
                ASSERT_EQ(pix(img, x, y), black ? kBlack : kWhite)
                    << what << " rect " << k + 1 << " at " << x << ',' << y;
            }
    }
}

} // namespace

// Before any frame the indicator shows the level picture, the one a level frame draws.
TEST(AttitudeIndicator, ConstructorDrawsTheLevelPicture) {
    AttitudeIndicator a;
    const QImage at_start = a.picture().copy();
    a.Draw_attitude(QStringLiteral("25"), QStringLiteral("-12"));
    EXPECT_NE(a.picture(), at_start);
    EXPECT_EQ(draw(a, QStringLiteral("0"), QStringLiteral("0")), at_start);
}

TEST(AttitudeIndicator, PitchSlidesTheStrip) {
    AttitudeIndicator ind;
    // Level: the horizon runs one row below the centre, along the top of the black wing bars;
    // nose up 10 degrees: 27 rows lower; nose down: 27 rows higher.
    for (const auto& [pitch, row] : {std::pair{"0", CY + 1}, {"10", CY + 28}, {"-10", CY - 26}}) {
        const QImage img = draw(ind, QStringLiteral("0"), QString::fromLatin1(pitch));
        for (int x : {0, 7, 60, 90, 150})
            EXPECT_EQ(white_row(img, x), row) << pitch << " at " << x;
    }
    // Every whole pitch from -90 to 90 is the strip shifted by its offset.
    for (int p = -90; p <= 90; ++p) {
        const QImage img = draw(ind, QStringLiteral("0"), QString::number(p));
        const int off = pitch_offset(p);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                if (!in_symbol(x, y)) {
                    ASSERT_EQ(pix(img, x, y), strip_at(x + 100 - CX, y - CY + 500 + off))
                        << "pitch " << p << " at " << x << ',' << y;
                }
    }
    // +90: the +90 line (strip row 259) lies 3 rows below the centre.
    const QImage top = draw(ind, QStringLiteral("0"), QStringLiteral("90"));
    EXPECT_EQ(pix(top, 90, CY + 3), kWhite);
    EXPECT_NE(pix(top, 90, CY + 2), kWhite);
    // -90: the -90 line (strip row 741) lies one row above the centre.
    const QImage bottom = draw(ind, QStringLiteral("0"), QStringLiteral("-90"));
    EXPECT_EQ(pix(bottom, 90, CY - 1), kWhite);
}

TEST(AttitudeIndicator, PositiveRollTurnsClockwise) {
    AttitudeIndicator ind;
    const double t = std::tan(std::numbers::pi / 6.0);
    // Clockwise on a y-down screen: the horizon rises on the left and sinks on the right.
    for (int sign : {1, -1}) {
        const QImage img = draw(ind, QString::number(30 * sign), QStringLiteral("0"));
        for (int x : {5, 30, 130, 148})
            EXPECT_NEAR(white_row(img, x), CY + 1 + sign * (x + 0.5 - CX) * t, 2.0) << x;
    }
}

TEST(AttitudeIndicator, RotatedPictureSamplesTheStripAtTheTurnedPositions) {
    // Invert the blit's corner mapping for each pixel centre; where the source position is not
    // on a pixel boundary, nearest sampling must give exactly that strip pixel.
    AttitudeIndicator ind;
    for (int roll : {7, 30, 45, 90, 133, 180, 222, 300, 359}) {
        for (int pitch : {-40, 0, 25}) {
            const QImage img = draw(ind, QString::number(roll), QString::number(pitch));
            const BltPoints b = rotate_blt_points(roll_angle(roll), CX, CY, 200, 1000);
            const double ax = (b.p[1].x - b.p[0].x) / 200.0, ay = (b.p[1].y - b.p[0].y) / 200.0;
            const double bx = (b.p[2].x - b.p[0].x) / 1000.0, by = (b.p[2].y - b.p[0].y) / 1000.0;
            const double det = ax * by - bx * ay;
            int checked = 0;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) {
                    if (in_symbol(x, y)) continue;
                    const double dx = x + 0.5 - b.p[0].x, dy = y + 0.5 - b.p[0].y;
                    const double u = (dx * by - dy * bx) / det;
                    const double v = (ax * dy - ay * dx) / det + pitch_offset(pitch);
                    const double fu = u - std::floor(u), fv = v - std::floor(v);
                    if (fu < 0.02 || fu > 0.98 || fv < 0.02 || fv > 0.98) continue;
                    ++checked;
                    ASSERT_EQ(pix(img, x, y), strip_at(int(std::floor(u)), int(std::floor(v))))
                        << "roll " << roll << " pitch " << pitch << " at " << x << ',' << y;
                }
            EXPECT_GT(checked, W * H / 2) << roll;
        }
    }
}

TEST(AttitudeIndicator, StripCoversTheWholeSurfaceAtEveryAttitude) {
    const std::array<QRgb, 10> allowed = {
        kSkyShades[0],    kSkyShades[1], kSkyShades[2], kGroundShades[0], kGroundShades[1],
        kGroundShades[2], kSkyBlend,     kGroundBlend,  kWhite,           kBlack};
    AttitudeIndicator ind;
    for (int pitch = -90; pitch <= 90; pitch += 10) {
        const QString ps = QString::number(pitch);
        for (int roll = 0; roll < 360; ++roll) {
            ind.Draw_attitude(QString::number(roll), ps);
            const QImage& img = ind.picture();
            for (int y = 0; y < H; ++y) {
                const QRgb* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
                QRgb last_good = 0;
                for (int x = 0; x < W; ++x) {
                    const QRgb c = line[x] | 0xFF000000u;
                    if (c == last_good) continue;
                    last_good = c;
                    // No background, and no blended colour: nearest sampling only.
                    ASSERT_NE(std::find(allowed.begin(), allowed.end(), c), allowed.end())
                        << "roll " << roll << " pitch " << pitch << " at " << x << ',' << y
                        << " colour " << std::hex << c;
                }
            }
        }
    }
}

TEST(AttitudeIndicator, SymbolIsPaintedOverEveryAttitude) {
    AttitudeIndicator ind;
    expect_symbol(draw(ind, QStringLiteral("0"), QStringLiteral("0")), "0/0");
    expect_symbol(draw(ind, QStringLiteral("77"), QStringLiteral("33")), "77/33");
    expect_symbol(draw(ind, QStringLiteral("-150"), QStringLiteral("-90")), "-150/-90");
    expect_symbol(draw(ind, QStringLiteral("0"), QStringLiteral("5000")), "off the strip");
}

TEST(AttitudeIndicator, SameTurnSamePicture) {
    AttitudeIndicator ind;
    auto pic = [&](const char* r, const char* p) {
        return draw(ind, QString::fromLatin1(r), QString::fromLatin1(p));
    };
    EXPECT_EQ(pic("30", "5"), pic("390", "5"));
    EXPECT_EQ(pic("-30", "5"), pic("330", "5"));
    EXPECT_EQ(pic("1.5", "0"), pic("2", "0")); // halves to even
    EXPECT_EQ(pic("-0.5", "0"), pic("0", "0"));
    EXPECT_EQ(pic("0", "1"), pic("0", "1.1")); // -3.7 and -3.97 both give -4
    EXPECT_NE(pic("1", "0"), pic("0", "0"));
    EXPECT_NE(pic("0", "1"), pic("0", "0"));
}

TEST(AttitudeIndicator, BadTextsDrawTheLevelPictureAndLoseNothing) {
    AttitudeIndicator ind;
    const QImage level = draw(ind, QStringLiteral("0"), QStringLiteral("0"));
    const QImage tilted = draw(ind, QStringLiteral("12.5"), QStringLiteral("-7.5"));
    for (const char* bad : {"", "abc", "-", ".", " ", "nan", "inf", "\xe2\x80\x94"}) {
        const QString t = QString::fromUtf8(bad);
        EXPECT_EQ(draw(ind, t, t), level) << bad;
        EXPECT_EQ(ind.rollText(), t); // the texts are kept as given
        // The next good call is drawn in full, as if nothing had happened.
        EXPECT_EQ(draw(ind, QStringLiteral("12.5"), QStringLiteral("-7.5")), tilted) << bad;
    }
    EXPECT_EQ(draw(ind, QStringLiteral("12.5 deg"), QStringLiteral("-7.5abc")), tilted);
    EXPECT_EQ(draw(ind, QStringLiteral("  12.5"), QStringLiteral("\t-7.5")), tilted);
}

TEST(AttitudeIndicator, ExtremeValuesStayInsideThePicture) {
    AttitudeIndicator ind;
    const QString huge = QStringLiteral("9").repeated(400);
    for (const QString& r : {huge, QStringLiteral("-") + huge, QStringLiteral("2147483648.5"),
                             QStringLiteral("-3276.7")}) {
        for (const QString& p :
             {huge, QStringLiteral("-") + huge, QStringLiteral("400"), QStringLiteral("-400"),
              QStringLiteral("200"), QStringLiteral("-3276.7")}) {
            ind.Draw_attitude(r, p);
            ASSERT_EQ(ind.picture().size(), QSize(W, H));
            expect_symbol(ind.picture(), "extreme");
        }
    }
    // Far off the strip there is nothing to copy: only the cleared surface and the symbol.
    const QImage off = draw(ind, QStringLiteral("0"), QStringLiteral("-400"));
    EXPECT_EQ(pix(off, 0, 0), AttitudeIndicator::kClearColour);
    EXPECT_EQ(pix(off, W - 1, H - 1), AttitudeIndicator::kClearColour);
    // Pitch 200 (offset -541): the strip starts 41 rows below the centre, cleared above.
    const QImage half = draw(ind, QStringLiteral("0"), QStringLiteral("200"));
    EXPECT_EQ(pix(half, 0, CY + 40), AttitudeIndicator::kClearColour);
    EXPECT_EQ(pix(half, 0, CY + 41), strip_at(100 - CX, 0));
}

TEST(AttitudeIndicator, RotateBltMapsCornersOntoThePoints) {
    // A 20 x 10 source with four coloured quadrants, turned about (50, 50).
    QImage src(20, 10, QImage::Format_RGB32);
    const QRgb tl = 0xFFFF0000u, tr = 0xFF00FF00u, bl = 0xFF0000FFu, br = 0xFFFFFF00u;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            src.setPixel(x, y, y < 5 ? (x < 10 ? tl : tr) : (x < 10 ? bl : br));
    QImage dst(100, 100, QImage::Format_RGB32);
    auto blit = [&](int angle, int sx, int sy, int w, int h) {
        dst.fill(0xFF000000u);
        AttitudeIndicator::Rotate_blt(dst, 50, 50, angle, src, sx, sy, w, h);
    };
    // Where each quadrant's outer corner lands, and two pixels just outside the copy.
    struct Landing {
        int angle;
        std::array<QPoint, 4> tl_tr_bl_br;
        std::array<QPoint, 2> outside;
    };
    for (const Landing& l :
         {Landing{360, {{{40, 45}, {59, 45}, {40, 54}, {59, 54}}}, {{{39, 45}, {60, 54}}}},
          // A quarter turn clockwise: rows become columns, the top-left quadrant lands top right.
          Landing{90, {{{54, 40}, {54, 59}, {45, 40}, {45, 59}}}, {{{55, 40}, {50, 60}}}}}) {
        blit(l.angle, 0, 0, 20, 10);
        const QRgb quadrant[4] = {tl, tr, bl, br};
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(pix(dst, l.tl_tr_bl_br[i].x(), l.tl_tr_bl_br[i].y()), quadrant[i]) << l.angle;
        for (const QPoint& p : l.outside)
            EXPECT_EQ(pix(dst, p.x(), p.y()), kBlack) << l.angle;
    }
    // (Other turns: the picture tests invert the mapping at many angles.)
    blit(360, 0, -5, 20, 10); // half the rectangle above the source: copies the rest only
    EXPECT_EQ(pix(dst, 40, 49), kBlack);
    EXPECT_EQ(pix(dst, 40, 50), tl);
    EXPECT_EQ(pix(dst, 40, 54), tl);
    // Nothing to copy: an empty or negative rectangle, or one entirely outside the source.
    for (auto [sx, sy, w, h] :
         {std::array{0, 0, 0, 10}, std::array{0, 0, 20, -10}, std::array{100, 100, 20, 10},
          std::array{INT32_MIN, INT32_MAX, 20, 10}, std::array{INT32_MAX, 0, INT32_MAX, 10}}) {
        blit(360, sx, sy, w, h);
        EXPECT_EQ(pix(dst, 50, 50), kBlack);
    }
}

TEST(AttitudeIndicator, PaintShowsTheFinishedPictureInsideTheBorder) {
    AttitudeIndicator ind;
    ind.Draw_attitude(QStringLiteral("40"), QStringLiteral("12"));
    const QImage shown = ind.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(157, 117));
    EXPECT_EQ(shown.copy(2, 2, W, H), ind.picture());
}

// Assistive technology is told the attitude as drawn.
TEST(AttitudeIndicator, AccessibleValueFollowsTheDrawnAttitude) {
    AttitudeIndicator ind;
    ind.Draw_attitude(QStringLiteral("-12.5"), QStringLiteral("3"));
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&ind);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->text(QAccessible::Value), QStringLiteral("Roll -12.5, pitch 3"));
}
