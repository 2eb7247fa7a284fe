// Painting of the instrument widgets: stored sizes, lamp colours, pointer direction, lit
// segments, column height, clipping of out-of-range and non-finite values, cached parts.
#include "controls/fonts.h"
#include "instruments/lamps.h"
#include "instruments/compass.h"
#include "instruments/gauges.h"
#include "instruments/panel.h"
#include "widget_test_util.h"

#include <QApplication>
#include <QFontInfo>
#include <QPaintEvent>
#include <QScreen>
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

// ---- fonts, robustness -----------------------------------------------------------------

// The lamp labels draw with the program's fixed-pitch family, chosen by name (some monospace
// faces are not reported as fixed pitch), also when the font given names a family that is not
// installed; a font change reaches the cached picture.
TEST(WidgetDefaults, LabelFontIsTheFixedPitchFamilyAndFontChangesRepaint) {
    const auto monospaced = [](const QFont& f) {
        const QFontMetrics m(f);
        return m.horizontalAdvance(QLatin1Char('i')) == m.horizontalAdvance(QLatin1Char('W'));
    };
    LedRectangle r;
    r.setLabel(QStringLiteral("TXD"));
    r.resize(r.sizeHint());
    EXPECT_EQ(r.labelFont().family(), fixed_pitch_family());
    EXPECT_TRUE(monospaced(r.labelFont())) << fixed_pitch_family().toStdString();
    EXPECT_LE(QFontInfo(r.labelFont()).pixelSize(), r.height());
    const QImage before = render(r);
    r.setFont(QFont(QStringLiteral("No Such Family Anywhere"), 7));
    EXPECT_EQ(r.labelFont().pointSize(), 7);
    EXPECT_EQ(r.labelFont().family(), fixed_pitch_family());
    r.setFont(QFont(fixed_pitch_family(), 5));
    EXPECT_NE(render(r), before); // the font change reached the cached picture
}

// Degenerate sizes must paint without dividing by zero or drawing outside the widget (the
// sanitizer builds catch both); awkward values are in each widget's own picture tests.
TEST(WidgetRobustness, TinyAndLopsidedSizesPaint) {
    Compass c;
    c.setDirection(45);
    LedBar b;
    Thermometer t;
    SwitchLed s;
    LedDiamond d;
    LedRectangle r;
    r.setLabel(QStringLiteral("RXD"));
    TextLabel l;
    l.setCaption(QStringLiteral("-3276.7C"));
    Panel p;
    p.setTitleText(QStringLiteral("信息显示"));
    for (QSize size : {QSize(1, 1), QSize(3, 2), QSize(7, 300), QSize(300, 7)})
        for (QWidget* w : std::initializer_list<QWidget*>{&c, &b, &t, &s, &d, &r, &l, &p}) {
            w->resize(size);
            (void)render(*w);
        }
}

// ---- lamps and switch -------------------------------------------------------------------

TEST(Lamps, DiamondShowsLitAndUnlitColourInsideItsCorners) {
    LedDiamond d;
    const QPointF centre(10.5, 10.5);
    EXPECT_EQ(pixel(render(d), centre), kLampRedOff);
    d.setActive(true);
    const QImage lit = render(d);
    EXPECT_EQ(pixel(lit, centre), kLampRed);
    for (QPointF corner : {QPointF(0, 0), QPointF(20, 20), QPointF(20, 0)})
        EXPECT_EQ(pixel(lit, corner), kBackdrop); // a diamond, not a square
}

constexpr QColor kGreenOn{0, 224, 0};

// A change shows in the next picture (at any pixel ratio) and signals once; setting the same
// state again signals nothing.
TEST(Lamps, RectangleShowsChangesAtOnceAndSignalsOnlyOnChange) {
    LedRectangle txd;
    txd.setLabel(QStringLiteral("TXD"));
    txd.setInactiveColor(kTxdOff);
    txd.resize(txd.sizeHint());
    QSignalSpy spy(&txd, &Lamp::activeChanged);
    const QPointF face(5, 8); // left of the centred label, below the gloss
    for (qreal dpr : {1.0, 2.0})
        for (bool on : {false, false, true, true}) {
            txd.setActive(on);
            EXPECT_EQ(pixel(render(txd, dpr), face), on ? kLampRed : kTxdOff) << dpr;
        }
    ASSERT_EQ(spy.count(), 3); // on, off, on
    EXPECT_FALSE(spy.at(1).at(0).toBool());
    txd.setActiveColor(kGreenOn);
    EXPECT_EQ(pixel(render(txd), face), kGreenOn);
    const QImage flat = render(txd);
    txd.setRaisedBevel(!txd.raisedBevel());
    EXPECT_NE(render(txd), flat);
}

TEST(Lamps, LabelIsDrawnInAContrastingColour) {
    LedRectangle rxd;
    rxd.resize(65, 13);
    rxd.setActiveColor(kGreenOn);
    rxd.setActive(true);
    const QImage plain = render(rxd);
    rxd.setLabel(QStringLiteral("RXD"));
    const QImage labelled = render(rxd);
    int ink = 0;
    for (int x = 20; x < 45; ++x)
        for (int y = 2; y < 11; ++y)
            ink += !near_colour(labelled.pixelColor(x, y), plain.pixelColor(x, y), 60);
    EXPECT_GT(ink, 10);
}

TEST(Switch, LampLeftOfCaptionFollowsActiveNotClicks) {
    SwitchLed s;
    const QRectF lamp = s.lampRect();
    EXPECT_LT(lamp.right(), s.width() / 3.0);
    EXPECT_FALSE(is_red(pixel(render(s), lamp.center())));
    s.setActive(true);
    EXPECT_EQ(pixel(render(s), lamp.center()), kLampRed);
    s.setActive(false);
    QSignalSpy clicked(&s, &QAbstractButton::clicked);
    QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(60, 20));
    QTest::keyClick(&s, Qt::Key_Space);
    EXPECT_EQ(clicked.count(), 2);
    EXPECT_FALSE(s.Active()); // a click decides nothing by itself
    EXPECT_FALSE(is_red(pixel(render(s), lamp.center())));
}

// ---- compass ----------------------------------------------------------------------------

struct RedPixels {
    int count = 0;
    double angle = 0; // compass degrees of their centroid, 0 = up, clockwise
    double reach = 0; // distance of the farthest red pixel from the centre
};

RedPixels red_pixels(const QImage& img) {
    const qreal dpr = img.devicePixelRatio();
    const double cx = img.width() / 2.0, cy = img.height() / 2.0;
    RedPixels r;
    double sx = 0, sy = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (is_red(img.pixelColor(x, y))) {
                const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
                sx += dx;
                sy += dy;
                ++r.count;
                r.reach = std::max(r.reach, std::hypot(dx, dy) / dpr);
            }
    if (r.count) {
        const double a = std::atan2(sx, -sy) * 180 / std::numbers::pi;
        r.angle = a < 0 ? a + 360 : a;
    }
    return r;
}

double angle_between(double a, double b) {
    const double d = std::fmod(std::abs(a - b), 360.0);
    return std::min(d, 360 - d);
}

TEST(CompassDial, RedPointerPointsAtTheHeadingAtAnyPixelRatio) {
    Compass c;
    const std::pair<double, double> cases[] = {{0, 0},         {90, 90},        {180, 180},
                                               {-90, 270},     {450, 90},       {-12.7, 347.3},
                                               {359.9, 359.9}, {-3276.7, 323.3}};
    for (qreal dpr : {1.0, 2.0})
        for (const auto& [set, expect] : cases) {
            c.setDirection(set);
            const RedPixels red = red_pixels(render(c, dpr));
            ASSERT_GT(red.count, 30) << set;
            EXPECT_LT(angle_between(red.angle, expect), 4.0) << "set " << set << " ratio " << dpr;
            EXPECT_GT(red.reach, 137 / 2.0 * 0.6) << set; // a pointer, not a dot
            EXPECT_LT(red.reach, 137 / 2.0) << set;
        }
}

// A new heading repaints where the pointer was and is, not the dial; after any sequence of
// headings (some two per paint, one none) the screen shows what a fresh compass shows.
TEST(CompassDial, NewHeadingsRepaintThePointerOnlyAndLeaveNothingStale) {
    const auto screen = [](QWidget& window) {
        return QGuiApplication::primaryScreen()->grabWindow(window.winId()).toImage();
    };
    QWidget window;
    auto* c = new Compass(&window);
    c->move(5, 5);
    window.resize(150, 150);
    window.show();
    QApplication::processEvents();
    struct PaintLog : QObject {
        QRegion painted;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(e)->region();
            return false;
        }
    } log;
    c->installEventFilter(&log);
    c->setDirection(10);
    QApplication::processEvents();
    log.painted = QRegion();
    c->setDirection(12);
    QApplication::processEvents();
    EXPECT_LT(log.painted.boundingRect().width(), c->width() / 3);
    const double headings[] = {12, 95, 96, 181, kNaN, 270.5, 359, 1, 1.5, -45, 44};
    for (std::size_t i = 0; i < std::size(headings); ++i) {
        c->setDirection(headings[i]);
        if (i % 3 != 1) QApplication::processEvents();
    }
    QApplication::processEvents();
    QWidget fresh_window;
    auto* fresh = new Compass(&fresh_window);
    fresh->move(5, 5);
    fresh->setDirection(44);
    fresh_window.resize(150, 150);
    fresh_window.show();
    QApplication::processEvents();
    EXPECT_EQ(screen(window), screen(fresh_window));
}

TEST(CompassDial, NonFiniteDirectionDrawsTheDialWithoutPointer) {
    Compass c;
    c.setDirection(30);
    for (double v : {kNaN, kInf, -kInf}) {
        c.setDirection(v);
        const QImage img = render(c);
        EXPECT_EQ(red_pixels(img).count, 0) << v;
        EXPECT_NE(pixel(img, {68.5, 2}), kBackdrop); // the dial is still there
    }
    c.setDirection(90);
    EXPECT_LT(angle_between(red_pixels(render(c)).angle, 90), 4.0);
}

// ---- bar --------------------------------------------------------------------------------

// Segments whose centre shows their lit colour; false in *contiguous when not all at the bottom.
int lit_segments_in(const QImage& img, const LedBar& bar, bool* contiguous) {
    int lit = 0;
    bool gap = false;
    *contiguous = true;
    for (int i = 0; i < LedBar::kSegments; ++i) {
        if (near_colour(pixel(img, bar.segmentRect(i).center()), LedBar::segmentColor(i), 2)) {
            ++lit;
            *contiguous = *contiguous && !gap;
        } else {
            gap = true;
        }
    }
    return lit;
}

TEST(Bar, PictureLightsTheCountedSegmentsFromTheBottom) {
    // The count itself is checked in the scale tests; here the picture must match it.
    LedBar bar;
    const std::pair<double, int> cases[] = {{0, 0},    {5.01, 2},  {50.5, 11}, {200, 40},
                                            {250, 40}, {kInf, 40}, {-10, 0},   {kNaN, 0}};
    for (const auto& [v, lit] : cases) {
        bar.setPosition(v);
        EXPECT_EQ(bar.litSegments(), lit) << v;
        bool contiguous = false;
        EXPECT_EQ(lit_segments_in(render(bar), bar, &contiguous), lit) << v;
        EXPECT_TRUE(contiguous) << v;
    }
}

TEST(Bar, SectionsAreGreenToFiftyYellowToSeventyFiveThenRedAndUnlitIsDim) {
    LedBar bar;
    bar.setPosition(200);
    const QImage img = render(bar);
    bar.setPosition(0);
    const QImage dark = render(bar);
    for (int i = 0; i < LedBar::kSegments; ++i) {
        const QColor c = pixel(img, bar.segmentRect(i).center());
        const double top = (i + 1) * 200.0 / LedBar::kSegments;
        if (top <= 50)
            EXPECT_TRUE(c.green() > 150 && c.red() < 80) << "segment " << i;
        else if (top <= 75)
            EXPECT_TRUE(c.red() > 200 && c.green() > 160 && c.blue() < 80) << "segment " << i;
        else
            EXPECT_TRUE(c.red() > 200 && c.green() < 80) << "segment " << i;
        const QColor d = pixel(dark, bar.segmentRect(i).center());
        EXPECT_LT(std::max({d.red(), d.green(), d.blue()}), 110) << "segment " << i;
    }
}

TEST(Bar, SegmentsStayOrderedInsideTheWidgetAtAnySize) {
    LedBar bar;
    for (QSize s : {QSize(17, 297), QSize(8, 60), QSize(30, 600)}) {
        bar.resize(s);
        qreal above = s.height() + 1;
        for (int i = 0; i < LedBar::kSegments; ++i) {
            const QRectF r = bar.segmentRect(i);
            EXPECT_TRUE(r.height() > 0 && r.top() >= 0 && r.bottom() <= s.height()) << i;
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
    for (int y = int(std::round(tube.bottom() * dpr)) - 1; y >= 0; --y, ++n)
        if (!near_colour(img.pixelColor(x, y), Thermometer::kColumnColor, 8)) break;
    return n / dpr;
}

TEST(ThermometerColumn, HeightIsProportionalAndTheBulbAlwaysFilled) {
    Thermometer t;
    const double full = t.tubeRect().height();
    ASSERT_GT(full, 200); // most of the 305 pixels
    for (double v : {0.0, 5.0, 12.5, 37.5, 49.0, 50.0}) {
        t.setPosition(v);
        EXPECT_NEAR(column_height(render(t), t), v / 50 * full, 1.5) << v;
    }
    t.setPosition(25);
    EXPECT_NEAR(column_height(render(t, 2.0), t), full / 2, 1.5);
    t.setPosition(kNaN); // no reading: the reservoir below the minimum is red all the same
    EXPECT_TRUE(
        near_colour(pixel(render(t), {t.tubeRect().center().x(), t.tubeRect().bottom() + 2}),
                    Thermometer::kColumnColor, 8));
}

TEST(ThermometerColumn, ClipsAtBothEnds) {
    Thermometer t;
    t.setPosition(50);
    const QImage full = render(t);
    t.setPosition(0);
    const QImage empty = render(t);
    EXPECT_NE(full, empty);
    for (double v : {60.0, 1e9, kInf}) {
        t.setPosition(v);
        EXPECT_EQ(render(t), full) << v;
    }
    for (double v : {-5.0, kNaN, -kInf}) {
        t.setPosition(v);
        EXPECT_EQ(render(t), empty) << v;
    }
}

// ---- label and panel --------------------------------------------------------------------

int ink_pixels(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += img.pixelColor(x, y) != kBackdrop;
    return n;
}

TEST(LabelAndPanel, CaptionsAndTitlesShow) {
    TextLabel l;
    EXPECT_GT(ink_pixels(render(l)), 5);
    l.setCaption(QString());
    EXPECT_EQ(ink_pixels(render(l)), 0);
    l.setCaption(QStringLiteral("-3276.7C")); // far wider than the widget: shrunk, not dropped
    EXPECT_GT(ink_pixels(render(l)), 5);

    Panel p;
    p.resize(300, 150);
    p.setTitleText(QStringLiteral("Port Setting"));
    EXPECT_GT(p.titleHeight(), 8);
    EXPECT_GE(p.contentsMargins().top(), p.titleHeight()); // children stay clear of the title
    const QImage img = render(p);
    int ink = 0;
    const QColor band = img.pixelColor(3, p.titleHeight() / 2);
    for (int x = 60; x < 240; ++x)
        for (int y = 2; y < p.titleHeight() - 2; ++y)
            ink += !near_colour(img.pixelColor(x, y), band, 40);
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
        EXPECT_EQ(render(used, dpr), render(fresh, dpr))
            << W::staticMetaObject.className() << " at ratio " << dpr;
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
            differ += img.pixel(x, y) != img.pixel(x + 1, y);
    EXPECT_GT(differ, 200);
}

} // namespace
