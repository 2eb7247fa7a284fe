// Painting of the instrument widgets: stored sizes, lamp colours, pointer direction, lit
// segments, column height, clipping of out-of-range and non-finite values, repaint economy.
#include "platform/widgets/widgets.h"
#include "widget_test_util.h"

#include <QFontInfo>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

using namespace zento;
using namespace zento::test;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Values no widget may break on.
const double kAwkward[] = {0,   -0.0, 1e-300, -1e-300, 200,  50,   250,  -10,
                           1e9, -1e9, 1e308,  -1e308,  kNaN, kInf, -kInf};

// ---- stored sizes and defaults ----------------------------------------------------------

TEST(WidgetDefaults, SizesMatchTheStoredSizes) {
    EXPECT_EQ(LedDiamond().sizeHint(), QSize(21, 21));
    EXPECT_EQ(SwitchLed().sizeHint(), QSize(137, 41));
    EXPECT_EQ(Compass().sizeHint(), QSize(137, 137));
    EXPECT_EQ(LedBar().sizeHint(), QSize(17, 297));
    EXPECT_EQ(Thermometer().sizeHint(), QSize(33, 305));
    EXPECT_EQ(TextLabel().sizeHint(), QSize(26, 14));
    LedRectangle r;
    EXPECT_EQ(r.sizeHint(), QSize(17, 17)); // iLedRectangleX3: no label
    r.setLabel(QStringLiteral("RXD"));
    EXPECT_EQ(r.sizeHint(), QSize(65, 13)); // iLedRectangleX1 / X2
    // A fresh widget already has its stored size, so absolute placement needs no resize.
    EXPECT_EQ(Compass().size(), QSize(137, 137));
    EXPECT_EQ(LedBar().size(), QSize(17, 297));
    EXPECT_EQ(Thermometer().size(), QSize(33, 305));
    EXPECT_EQ(SwitchLed().size(), QSize(137, 41));
}

TEST(WidgetDefaults, CaptionsColoursAndRanges) {
    LedDiamond d;
    EXPECT_EQ(d.activeColor(), QColor(255, 0, 0));
    EXPECT_EQ(d.inactiveColor(), QColor(57, 0, 0));
    EXPECT_TRUE(d.raisedBevel());
    EXPECT_FALSE(d.Active());
    EXPECT_EQ(SwitchLed().caption(), QStringLiteral("Connect AHRS"));
    EXPECT_FALSE(SwitchLed().Active());
    EXPECT_EQ(TextLabel().Caption(), QStringLiteral("Temp"));
    EXPECT_EQ(LedBar().minimum(), 0);
    EXPECT_EQ(LedBar().maximum(), 200);
    EXPECT_EQ(Thermometer().minimum(), 0);
    EXPECT_EQ(Thermometer().maximum(), 50);
    EXPECT_EQ(kTxdOff, QColor(128, 64, 64));
}

TEST(WidgetDefaults, LabelFontIsFixedPitch) {
    LedRectangle r;
    r.setLabel(QStringLiteral("TXD"));
    r.resize(r.sizeHint());
    const QFontInfo info(r.labelFont());
    EXPECT_TRUE(info.fixedPitch()) << info.family().toStdString();
    EXPECT_LE(info.pixelSize(), r.height());

    // A font given to the lamp is used, at its size; a missing family still gives fixed pitch.
    const QImage before = render(r);
    r.setFont(QFont(QStringLiteral("Lucida Console"), 7));
    EXPECT_EQ(r.labelFont().pointSize(), 7);
    EXPECT_TRUE(QFontInfo(r.labelFont()).fixedPitch());
    r.setFont(QFont(QStringLiteral("No Such Family Anywhere"), 7));
    EXPECT_TRUE(QFontInfo(r.labelFont()).fixedPitch());
    r.setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 5));
    EXPECT_NE(render(r), before); // the font change reached the cached picture
}

// ---- no value breaks a widget -----------------------------------------------------------

TEST(WidgetRobustness, EveryWidgetPaintsAwkwardValues) {
    Compass c;
    LedBar b;
    Thermometer t;
    for (double v : kAwkward) {
        c.setDirection(v);
        b.setPosition(v);
        t.setPosition(v);
        for (QWidget* w :
             {static_cast<QWidget*>(&c), static_cast<QWidget*>(&b), static_cast<QWidget*>(&t)}) {
            const QImage img = render(*w);
            ASSERT_FALSE(img.isNull());
        }
        // The value is kept as set: nothing is lost by the clipping.
        if (std::isnan(v)) {
            EXPECT_TRUE(std::isnan(c.Direction()));
            EXPECT_TRUE(std::isnan(b.Position()));
        } else {
            EXPECT_EQ(c.Direction(), v);
            EXPECT_EQ(b.Position(), v);
            EXPECT_EQ(t.Position(), v);
        }
    }
}

TEST(WidgetRobustness, TinyAndZeroSizesDoNotBreakPainting) {
    Compass c;
    LedBar b;
    Thermometer t;
    SwitchLed s;
    LedDiamond d;
    LedRectangle r;
    TextLabel l;
    Panel p;
    c.setDirection(45);
    b.setPosition(120);
    t.setPosition(20);
    r.setLabel(QStringLiteral("RXD"));
    l.setCaption(QStringLiteral("-3276.7C"));
    p.setTitleText(QStringLiteral("信息显示"));
    QWidget* all[] = {&c, &b, &t, &s, &d, &r, &l, &p};
    for (QSize size : {QSize(1, 1), QSize(3, 2), QSize(7, 300), QSize(300, 7), QSize(0, 0)}) {
        for (QWidget* w : all) {
            w->resize(size);
            if (size.isEmpty()) continue; // nothing to render into
            ASSERT_FALSE(render(*w).isNull());
        }
    }
}

// ---- lamps ------------------------------------------------------------------------------

TEST(Lamps, DiamondCentreShowsLitAndUnlitColour) {
    LedDiamond d;
    const QPointF centre(10.5, 10.5);
    EXPECT_EQ(pixel(render(d), centre), QColor(57, 0, 0));
    d.setActive(true);
    QImage lit = render(d);
    EXPECT_EQ(pixel(lit, centre), QColor(255, 0, 0));
    // A diamond, not a square: the corners stay untouched.
    EXPECT_EQ(pixel(lit, {0, 0}), kBackdrop);
    EXPECT_EQ(pixel(lit, {20, 20}), kBackdrop);
    EXPECT_EQ(pixel(lit, {20, 0}), kBackdrop);
    d.setActive(false);
    EXPECT_EQ(pixel(render(d), centre), QColor(57, 0, 0));
}

TEST(Lamps, RectangleLampsShowTheirColoursAtAnyPixelRatio) {
    LedRectangle txd;
    txd.setLabel(QStringLiteral("TXD"));
    txd.setInactiveColor(kTxdOff);
    txd.resize(txd.sizeHint());
    // Left of the centred label, below the gloss.
    const QPointF face(5, 8);
    for (qreal dpr : {1.0, 2.0}) {
        txd.setActive(false);
        EXPECT_EQ(pixel(render(txd, dpr), face), kTxdOff) << dpr;
        txd.setActive(true);
        EXPECT_EQ(pixel(render(txd, dpr), face), kLampRed) << dpr;
    }

    LedRectangle beat; // iLedRectangleX3: no label, raised bevel
    beat.setRaisedBevel(true);
    const QPointF centre(8.5, 8.5);
    EXPECT_EQ(pixel(render(beat), centre), QColor(57, 0, 0));
    beat.setActive(!beat.Active());
    EXPECT_EQ(pixel(render(beat), centre), QColor(255, 0, 0));
    beat.setActive(!beat.Active());
    EXPECT_FALSE(beat.Active());
}

TEST(Lamps, LabelIsDrawnInAContrastingColour) {
    LedRectangle rxd;
    rxd.resize(65, 13);
    rxd.setActiveColor(kRxdOn);
    rxd.setInactiveColor(kRxdOff);
    rxd.setActive(true);
    const QImage plain = render(rxd);
    rxd.setLabel(QStringLiteral("RXD"));
    const QImage labelled = render(rxd);
    // The label's pixels sit in the middle and differ clearly from the face.
    int ink = 0;
    for (int x = 20; x < 45; ++x)
        for (int y = 2; y < 11; ++y)
            if (!near_colour(labelled.pixelColor(x, y), plain.pixelColor(x, y), 60)) ++ink;
    EXPECT_GT(ink, 10);
}

TEST(Lamps, ColourChangesShowAtOnceAndSignalsOnlyOnChange) {
    LedRectangle rxd;
    QSignalSpy spy(&rxd, &Lamp::activeChanged);
    rxd.setActive(true);
    rxd.setActive(true);
    rxd.setActive(false);
    rxd.setActive(false);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_TRUE(spy.at(0).at(0).toBool());
    EXPECT_FALSE(spy.at(1).at(0).toBool());

    // Both states painted once with the default colours, then recoloured.
    EXPECT_EQ(pixel(render(rxd), {8.5, 8.5}), QColor(57, 0, 0));
    rxd.setActive(true);
    EXPECT_EQ(pixel(render(rxd), {8.5, 8.5}), QColor(255, 0, 0));
    rxd.setActiveColor(kRxdOn);
    EXPECT_EQ(pixel(render(rxd), {8.5, 8.5}), kRxdOn);
    rxd.setActive(false);
    rxd.setInactiveColor(kRxdOff);
    EXPECT_EQ(pixel(render(rxd), {8.5, 8.5}), kRxdOff);
    // Bevel changes show as well (the edge changes, the face does not).
    const QImage flat = render(rxd);
    rxd.setRaisedBevel(!rxd.raisedBevel());
    EXPECT_NE(render(rxd), flat);
}

// ---- switch -----------------------------------------------------------------------------

TEST(Switch, LampLeftOfCaptionFollowsActive) {
    SwitchLed s;
    const QRectF lamp = s.lampRect();
    EXPECT_LT(lamp.right(), s.width() / 3.0); // on the left of the caption
    const QPointF centre = lamp.center();
    EXPECT_FALSE(is_red(pixel(render(s), centre)));
    s.setActive(true);
    EXPECT_EQ(pixel(render(s), centre), QColor(255, 0, 0));
    s.setActive(false);
    EXPECT_FALSE(is_red(pixel(render(s), centre)));
}

TEST(Switch, MouseAndKeyboardClickIt) {
    SwitchLed s;
    QSignalSpy clicked(&s, &QAbstractButton::clicked);
    QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(60, 20));
    EXPECT_EQ(clicked.count(), 1);
    QTest::keyClick(&s, Qt::Key_Space);
    EXPECT_EQ(clicked.count(), 2);
    // The click decides nothing by itself: the lamp follows setActive only.
    EXPECT_FALSE(s.Active());
    EXPECT_TRUE(s.focusPolicy() & Qt::TabFocus);
}

// ---- compass ----------------------------------------------------------------------------

struct RedPixels {
    int count = 0;
    double angle = 0; // compass degrees of their centroid, 0 = up, clockwise
    double reach = 0; // distance of the farthest red pixel from the centre
};

RedPixels red_pixels(const QImage& img) {
    const qreal dpr = img.devicePixelRatio();
    const double cx = img.width() / 2.0;
    const double cy = img.height() / 2.0;
    RedPixels r;
    double sx = 0, sy = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (is_red(img.pixelColor(x, y))) {
                const double dx = x + 0.5 - cx;
                const double dy = y + 0.5 - cy;
                sx += dx;
                sy += dy;
                ++r.count;
                r.reach = std::max(r.reach, std::hypot(dx, dy) / dpr);
            }
    if (r.count) {
        double a = std::atan2(sx, -sy) * 180 / std::numbers::pi;
        r.angle = a < 0 ? a + 360 : a;
    }
    return r;
}

double angle_between(double a, double b) {
    const double d = std::fmod(std::abs(a - b), 360.0);
    return std::min(d, 360 - d);
}

TEST(CompassDial, RedPointerPointsAtTheHeading) {
    Compass c;
    const struct {
        double set;
        double expect;
    } cases[] = {{0, 0},   {90, 90},  {180, 180},     {270, 270},     {-90, 270},
                 {45, 45}, {450, 90}, {-12.7, 347.3}, {359.9, 359.9}, {-3276.7, 323.3}};
    for (const auto& k : cases) {
        c.setDirection(k.set);
        const RedPixels red = red_pixels(render(c));
        ASSERT_GT(red.count, 30) << k.set;
        EXPECT_LT(angle_between(red.angle, k.expect), 4.0) << "set " << k.set;
        EXPECT_GT(red.reach, 137 / 2.0 * 0.6) << k.set; // a pointer, not a dot
        EXPECT_NEAR(c.heading(), k.expect, 1e-9);
    }
}

TEST(CompassDial, PointerPixelsLieInTheHeadingsQuadrant) {
    Compass c;
    const QPointF centre(68.5, 68.5);
    const double off = 137 / 2.0 * 0.5;
    const struct {
        double heading;
        QPointF on;   // half way out along the pointer
        QPointF away; // the opposite side
    } cases[] = {{0, {centre.x(), centre.y() - off}, {centre.x(), centre.y() + off}},
                 {90, {centre.x() + off, centre.y()}, {centre.x() - off, centre.y()}},
                 {180, {centre.x(), centre.y() + off}, {centre.x(), centre.y() - off}},
                 {270, {centre.x() - off, centre.y()}, {centre.x() + off, centre.y()}},
                 {-90, {centre.x() - off, centre.y()}, {centre.x() + off, centre.y()}}};
    for (const auto& k : cases) {
        c.setDirection(k.heading);
        const QImage img = render(c);
        EXPECT_TRUE(is_red(pixel(img, k.on))) << k.heading;
        EXPECT_FALSE(is_red(pixel(img, k.away))) << k.heading;
    }
}

TEST(CompassDial, NonFiniteDirectionDrawsTheDialWithoutPointer) {
    Compass c;
    c.setDirection(30);
    for (double v : {kNaN, kInf, -kInf}) {
        c.setDirection(v);
        const QImage img = render(c);
        EXPECT_EQ(red_pixels(img).count, 0) << v;
        EXPECT_TRUE(std::isnan(c.heading()));
        // The dial itself is still there.
        EXPECT_NE(pixel(img, {68.5, 2}), kBackdrop);
    }
    c.setDirection(90);
    EXPECT_LT(angle_between(red_pixels(render(c)).angle, 90), 4.0);
}

TEST(CompassDial, ResizeRedrawsTheFaceAtTheNewSize) {
    Compass c;
    c.setDirection(90);
    (void)render(c); // fills the face cache at 137 x 137
    c.resize(220, 220);
    const QImage big = render(c);
    // The bezel reaches the new edges, and the pointer grew with the dial.
    EXPECT_NE(pixel(big, {110, 2}), kBackdrop);
    EXPECT_NE(pixel(big, {2, 110}), kBackdrop);
    const RedPixels red = red_pixels(big);
    EXPECT_LT(angle_between(red.angle, 90), 4.0);
    EXPECT_GT(red.reach, 110 * 0.6);
}

TEST(CompassDial, HighPixelRatioKeepsTheGeometry) {
    Compass c;
    c.setDirection(-90);
    const RedPixels red = red_pixels(render(c, 2.0));
    EXPECT_LT(angle_between(red.angle, 270), 4.0);
    EXPECT_GT(red.reach, 137 / 2.0 * 0.6);
    EXPECT_LT(red.reach, 137 / 2.0);
}

// ---- bar --------------------------------------------------------------------------------

// Segments whose centre shows their lit colour, and whether they are the bottom ones.
int lit_segments_in(const QImage& img, const LedBar& bar, bool* contiguous) {
    int lit = 0;
    bool gap = false;
    *contiguous = true;
    for (int i = 0; i < LedBar::kSegments; ++i) {
        const bool on =
            near_colour(pixel(img, bar.segmentRect(i).center()), LedBar::segmentColor(i), 2);
        if (on) {
            ++lit;
            if (gap) *contiguous = false;
        } else {
            gap = true;
        }
    }
    return lit;
}

TEST(Bar, LightsTheRightNumberOfSegmentsFromTheBottom) {
    // The count itself is checked in the scale tests; here the picture must match it.
    LedBar bar;
    const struct {
        double v;
        int lit;
    } cases[] = {{0, 0},    {5.01, 2}, {50, 10},  {50.5, 11}, {75, 15},
                 {100, 20}, {200, 40}, {250, 40}, {-10, 0},   {kNaN, 0}};
    for (const auto& k : cases) {
        bar.setPosition(k.v);
        EXPECT_EQ(bar.litSegments(), k.lit) << k.v;
        bool contiguous = false;
        EXPECT_EQ(lit_segments_in(render(bar), bar, &contiguous), k.lit) << k.v;
        EXPECT_TRUE(contiguous) << k.v;
    }
}

TEST(Bar, SectionsAreGreenToFiftyYellowToSeventyFiveThenRed) {
    LedBar bar;
    bar.setPosition(200);
    const QImage img = render(bar);
    for (int i = 0; i < LedBar::kSegments; ++i) {
        const QColor c = pixel(img, bar.segmentRect(i).center());
        const double top = (i + 1) * 200.0 / LedBar::kSegments;
        if (top <= 50)
            EXPECT_TRUE(c.green() > 150 && c.red() < 80) << "segment " << i;
        else if (top <= 75)
            EXPECT_TRUE(c.red() > 200 && c.green() > 160 && c.blue() < 80) << "segment " << i;
        else
            EXPECT_TRUE(c.red() > 200 && c.green() < 80) << "segment " << i;
    }
    // Unlit segments are dim, whatever their section.
    bar.setPosition(0);
    const QImage dark = render(bar);
    for (int i = 0; i < LedBar::kSegments; ++i) {
        const QColor c = pixel(dark, bar.segmentRect(i).center());
        EXPECT_LT(std::max({c.red(), c.green(), c.blue()}), 110) << "segment " << i;
    }
}

TEST(Bar, OutOfRangeValuesPaintLikeTheNearestEnd) {
    LedBar bar;
    bar.setPosition(200);
    const QImage top = render(bar);
    bar.setPosition(0);
    const QImage bottom = render(bar);
    bar.setPosition(250);
    EXPECT_EQ(render(bar), top);
    bar.setPosition(kInf);
    EXPECT_EQ(render(bar), top);
    bar.setPosition(-10);
    EXPECT_EQ(render(bar), bottom);
    bar.setPosition(kNaN);
    EXPECT_EQ(render(bar), bottom);
    EXPECT_NE(top, bottom);
}

TEST(Bar, SegmentsStayOrderedInsideTheWidgetAtAnySize) {
    LedBar bar;
    for (QSize s : {QSize(17, 297), QSize(8, 60), QSize(30, 600), QSize(17, 100)}) {
        bar.resize(s);
        qreal above = s.height() + 1;
        for (int i = 0; i < LedBar::kSegments; ++i) {
            const QRectF r = bar.segmentRect(i);
            EXPECT_GT(r.height(), 0) << i;
            EXPECT_GE(r.top(), 0);
            EXPECT_LE(r.bottom(), s.height());
            EXPECT_LE(r.bottom(), above) << "segment " << i << " overlaps the one below";
            above = r.top();
        }
    }
    bar.resize(17, 297);
    bar.setPosition(100);
    bool contiguous = false;
    EXPECT_EQ(lit_segments_in(render(bar, 2.0), bar, &contiguous), 20);
}

// ---- thermometer ------------------------------------------------------------------------

// Height of the red column above the scale's minimum, scanning the tube's middle.
double column_height(const QImage& img, const Thermometer& t) {
    const QRectF tube = t.tubeRect();
    const qreal dpr = img.devicePixelRatio();
    const int x = int(tube.center().x() * dpr);
    int n = 0;
    for (int y = int(std::round(tube.bottom() * dpr)) - 1; y >= 0; --y) {
        if (!near_colour(img.pixelColor(x, y), Thermometer::kColumnColor, 8)) break;
        ++n;
    }
    return n / dpr;
}

TEST(ThermometerColumn, HeightIsProportionalToTheValue) {
    Thermometer t;
    const double full = t.tubeRect().height();
    ASSERT_GT(full, 200); // most of the 305 pixels
    for (double v : {0.0, 5.0, 12.5, 25.0, 37.5, 49.0, 50.0}) {
        t.setPosition(v);
        EXPECT_NEAR(column_height(render(t), t), v / 50 * full, 1.5) << v;
        EXPECT_NEAR(t.columnRect().height(), v / 50 * full, 1e-9);
    }
    t.setPosition(25);
    EXPECT_NEAR(column_height(render(t, 2.0), t), full / 2, 1.5);
}

TEST(ThermometerColumn, ClipsAtBothEnds) {
    Thermometer t;
    t.setPosition(50);
    const QImage full = render(t);
    t.setPosition(0);
    const QImage empty = render(t);
    EXPECT_NE(full, empty);
    const struct {
        double v;
        const QImage* same;
    } cases[] = {{60, &full},  {1e9, &full},   {kInf, &full},
                 {-5, &empty}, {kNaN, &empty}, {-kInf, &empty}};
    for (const auto& k : cases) {
        t.setPosition(k.v);
        EXPECT_EQ(render(t), *k.same) << k.v;
    }
}

TEST(ThermometerColumn, BulbIsAlwaysFilled) {
    Thermometer t;
    t.setPosition(kNaN);
    const QImage img = render(t);
    const QRectF tube = t.tubeRect();
    // Below the scale's minimum the reservoir is red even with no reading.
    EXPECT_TRUE(near_colour(pixel(img, {tube.center().x(), tube.bottom() + 2}),
                            Thermometer::kColumnColor, 8));
}

// ---- label and panel --------------------------------------------------------------------

int ink_pixels(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixelColor(x, y) != kBackdrop) ++n;
    return n;
}

TEST(Label, ShowsItsCaptionAndNothingWhenEmpty) {
    TextLabel l;
    EXPECT_GT(ink_pixels(render(l)), 5);
    l.setCaption(QString());
    EXPECT_EQ(ink_pixels(render(l)), 0);
    l.setCaption(QStringLiteral("25C"));
    EXPECT_EQ(l.Caption(), QStringLiteral("25C"));
    EXPECT_GT(ink_pixels(render(l)), 5);
    // A caption far wider than the widget is shrunk, not dropped.
    l.setCaption(QStringLiteral("-3276.7C"));
    EXPECT_GT(ink_pixels(render(l)), 5);
}

TEST(PanelWidget, TitleAndMarginsKeepChildrenClear) {
    Panel p;
    p.resize(300, 150);
    p.setTitleText(QStringLiteral("Port Setting"));
    EXPECT_EQ(p.TitleText(), QStringLiteral("Port Setting"));
    EXPECT_GT(p.titleHeight(), 8);
    EXPECT_GE(p.contentsMargins().top(), p.titleHeight());
    const QImage img = render(p);
    // The title text: pixels in the band that differ from its left edge.
    int ink = 0;
    const QColor band = img.pixelColor(3, p.titleHeight() / 2);
    for (int x = 60; x < 240; ++x)
        for (int y = 2; y < p.titleHeight() - 2; ++y)
            if (!near_colour(img.pixelColor(x, y), band, 40)) ++ink;
    EXPECT_GT(ink, 20);
}

// ---- cached static parts ----------------------------------------------------------------

// A widget that painted before (its static parts cached) must paint exactly like a fresh one,
// whatever happened in between: another pixel ratio, another size, another value.
template <class W, class Set> void expect_cache_follows(Set set) {
    W used;
    set(used, 30.0);
    (void)render(used, 1.0);
    (void)render(used, 2.0);
    used.resize(used.width() + 10, used.height() + 10);
    (void)render(used);
    used.resize(used.sizeHint());
    set(used, 40.0);
    for (qreal dpr : {2.0, 1.0, 1.5}) {
        W fresh;
        set(fresh, 40.0);
        fresh.resize(used.size());
        const QImage a = render(used, dpr);
        const QImage b = render(fresh, dpr);
        EXPECT_EQ(a, b) << W::staticMetaObject.className() << " at ratio " << dpr;
    }
}

TEST(Caches, FollowPixelRatioAndSize) {
    expect_cache_follows<Compass>([](Compass& w, double v) { w.setDirection(v); });
    expect_cache_follows<LedBar>([](LedBar& w, double v) { w.setPosition(v); });
    expect_cache_follows<Thermometer>([](Thermometer& w, double v) { w.setPosition(v); });
    expect_cache_follows<LedDiamond>([](LedDiamond& w, double v) { w.setActive(v > 35); });
    expect_cache_follows<LedRectangle>([](LedRectangle& w, double v) {
        w.setLabel(QStringLiteral("TXD"));
        w.setActive(v > 35);
    });
}

TEST(Caches, HighRatioPaintsInDevicePixels) {
    // At ratio 2 the dial is drawn at 2 x 137 device pixels, not a 137 pixel picture scaled
    // up: a scaled-up face has every pixel doubled, a real one has detail on odd pixels.
    Compass c;
    c.setDirection(kNaN);
    const QImage img = render(c, 2.0);
    int differ = 0;
    for (int y = 0; y + 1 < img.height(); y += 2)
        for (int x = 0; x + 1 < img.width(); x += 2)
            if (img.pixel(x, y) != img.pixel(x + 1, y)) ++differ;
    EXPECT_GT(differ, 200);
}

// ---- repaint economy --------------------------------------------------------------------

class RepaintTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window.resize(400, 400);
        compass = new Compass(&window);
        bar = new LedBar(&window);
        bar->move(150, 0);
        thermo = new Thermometer(&window);
        thermo->move(180, 0);
        lamp = new LedRectangle(&window);
        lamp->move(0, 150);
        sw = new SwitchLed(&window);
        sw->move(0, 200);
        label = new TextLabel(&window);
        label->move(0, 260);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        settle();
    }

    // Paints caused by `change` on `w`: waits for the first when one is expected.
    template <class F> int paints(QWidget* w, F change, bool expect) {
        PaintCounter counter(w);
        change();
        if (expect)
            (void)QTest::qWaitFor([&] { return counter.count > 0; }, 5000);
        else
            settle();
        w->removeEventFilter(&counter);
        return counter.count;
    }

    QWidget window;
    Compass* compass = nullptr;
    LedBar* bar = nullptr;
    Thermometer* thermo = nullptr;
    LedRectangle* lamp = nullptr;
    SwitchLed* sw = nullptr;
    TextLabel* label = nullptr;
};

TEST_F(RepaintTest, SameValueSchedulesNoRepaint) {
    EXPECT_GT(paints(
                  compass, [&] { compass->setDirection(10); }, true),
              0);
    EXPECT_EQ(paints(
                  compass, [&] { compass->setDirection(10); }, false),
              0);
    EXPECT_EQ(paints(
                  compass, [&] { compass->setDirection(370); }, false),
              0); // same heading
    EXPECT_GT(paints(
                  compass, [&] { compass->setDirection(kNaN); }, true),
              0);
    EXPECT_EQ(paints(
                  compass, [&] { compass->setDirection(kNaN); }, false),
              0);
    EXPECT_EQ(paints(
                  compass, [&] { compass->setDirection(kInf); }, false),
              0);

    EXPECT_GT(paints(
                  bar, [&] { bar->setPosition(100); }, true),
              0);
    EXPECT_EQ(paints(
                  bar, [&] { bar->setPosition(100); }, false),
              0);
    EXPECT_EQ(paints(
                  bar, [&] { bar->setPosition(99); }, false),
              0); // same segments lit
    EXPECT_GT(paints(
                  bar, [&] { bar->setPosition(250); }, true),
              0);
    EXPECT_EQ(paints(
                  bar, [&] { bar->setPosition(300); }, false),
              0);
    EXPECT_EQ(bar->Position(), 300);

    EXPECT_GT(paints(
                  thermo, [&] { thermo->setPosition(20); }, true),
              0);
    EXPECT_EQ(paints(
                  thermo, [&] { thermo->setPosition(20); }, false),
              0);
    EXPECT_GT(paints(
                  thermo, [&] { thermo->setPosition(60); }, true),
              0);
    EXPECT_EQ(paints(
                  thermo, [&] { thermo->setPosition(70); }, false),
              0);

    EXPECT_GT(paints(
                  lamp, [&] { lamp->setActive(true); }, true),
              0);
    EXPECT_EQ(paints(
                  lamp, [&] { lamp->setActive(true); }, false),
              0);
    EXPECT_GT(paints(
                  sw, [&] { sw->setActive(true); }, true),
              0);
    EXPECT_EQ(paints(
                  sw, [&] { sw->setActive(true); }, false),
              0);
    EXPECT_GT(paints(
                  label, [&] { label->setCaption(QStringLiteral("25C")); }, true),
              0);
    EXPECT_EQ(paints(
                  label, [&] { label->setCaption(QStringLiteral("25C")); }, false),
              0);
}

} // namespace
