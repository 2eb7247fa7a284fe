// The strip chart's live picture (live_plot.h): kept up to date by slices, it equals the whole
// drawing, and only the data area is painted again while it scrolls.
#include "strip_chart_test_util.h"

#include <QPaintEvent>
#include <QRegion>

#include <cstdint>

using zento::StripChart;
using zento_test::kNaN;
using zento_test::StripChartTest;
using LivePlotTest = StripChartTest;

namespace {

// A picture kept up to date by redraws of what changed equals the whole drawing of the same
// data (QCustomPlot's own, from the same axes) within a pixel, over many redraws, at the board's
// rate and at 250 Hz, with channels hidden and shown, the y range growing and shrinking, and a
// resize in between.
class IncrementalChartTest : public StripChartTest, public ::testing::WithParamInterface<int> {
  protected:
    // `seconds` of samples at the test's rate on channels `first` to 11: a wave of its own per
    // channel plus noise, scaled by `gain`, so every value changes at every sample; channel 5 has
    // a gap (NaN) now and then.
    // Channel 0 is an angle that wraps round every 4 s (its trace breaks there). An event's mark
    // every 0.7 s, a command or a gap in turn.
    void stream(double seconds, double gain = 1.0, int first = 0) {
        const double step = 1.0 / GetParam();
        for (long i = 0, n = std::lround(seconds / step); i < n; ++i, now += step) {
            if (++samples % (GetParam() * 7 / 10) == 0)
                chart.addMark(now, samples % 2 ? "gap 2.3 s" : "height zero", samples % 2);
            for (int k = first; k < 12; ++k) {
                noise = noise * 1664525u + 1013904223u;
                const double jitter = double(noise >> 24) / 256.0 - 0.5;
                const bool gap = k == 5 && (noise >> 8) % 61 == 0;
                const double wave = k == 0 ? std::fmod(90.0 * now, 360.0) - 180.0
                                           : 60.0 * std::sin(2.1 * now + k) + 25.0 * jitter;
                chart.addPoint(k, now, gap ? kNaN : gain * wave + 10.0 * k - 60.0,
                               k == 0 ? 360.0 * gain : 0.0);
            }
        }
    }

    // Pixels of the shown picture without their like within one pixel in the whole drawing, and
    // the other way round, in the data area; both pictures' count of drawn (non-background)
    // pixels there.
    struct Difference {
        int unmatched = 0;
        int drawn = 0;
    };
    Difference compareWithWhole() {
        QCustomPlot* plot = chart.plot();
        const QImage shown = plot->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage whole = plot->toPixmap().toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(shown.size(), whole.size());
        const QRect ar = plot->axisRect()->rect();
        const QRect area(ar.left(), ar.top() - 1, ar.width(), ar.height() + 1);
        const QRgb ground = StripChart::kBackgroundColor.rgb();
        Difference d;
        auto one_way = [&](const QImage& a, const QImage& b) {
            for (int y = area.top(); y <= area.bottom(); ++y) {
                for (int x = area.left(); x <= area.right(); ++x) {
                    const QRgb c = a.pixel(x, y);
                    if (c == ground) {
                        continue;
                    }
                    ++d.drawn;
                    bool found = false;
                    for (int dy = -1; dy <= 1 && !found; ++dy) {
                        for (int dx = -1; dx <= 1 && !found; ++dx) {
                            found = b.valid(x + dx, y + dy) && b.pixel(x + dx, y + dy) == c;
                        }
                    }
                    d.unmatched += !found;
                }
            }
        };
        one_way(shown, whole);
        one_way(whole, shown);
        return d;
    }

    std::uint32_t noise = 7;
    int samples = 0;
};

TEST_P(IncrementalChartTest, FramesEqualTheWholeDrawing) {
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    int step = 0;
    auto frames = [&](int count, double gain = 1.0, int first = 0) {
        for (int i = 0; i < count; ++i, ++step) {
            stream(0.013 * (step % 5 + 1), gain, first); // 1.2 to 6 pixels' worth, in parts
            chart.redrawNow();
            if (step % 7 == 0) {
                const Difference d = compareWithWhole();
                EXPECT_GT(d.drawn, 1000) << step;
                // A pixel here and there may differ where a point falls exactly on a pixel's
                // edge (the test's sample times are exact multiples); a trace drawn a pixel off
                // or missing in a slice would differ in hundreds.
                EXPECT_LE(d.unmatched, d.drawn / 5000) << "step " << step << " of " << d.drawn;
            }
        }
    };
    frames(480); // from the first point at the left edge to scrolling more than a whole width
    EXPECT_GT(chart.markCount(), 10);
    chart.setGroupVisible(1, false);
    frames(20);
    chart.setGroupVisible(3, false);
    chart.setGroupVisible(1, true);
    frames(20);
    chart.setGroupVisible(3, true);
    const QCPRange normal = chart.yRange();
    frames(20, 4.0); // taller data: the range grows at once
    const QCPRange grown = chart.yRange();
    EXPECT_GT(grown.size(), 2 * normal.size());
    frames(240); // the tall part leaves the view
    chart.resize(640, 280);
    frames(40);
    chart.resize(StripChart::kWidth, StripChart::kHeight);
    frames(200); // the range fits the data again
    EXPECT_LT(chart.yRange().size(), grown.size() / 2);
    frames(30, 1.0, 3); // the sensor channels stall (only attitude frames come), then resume
    frames(30);
    chart.setHistoryLimit(GetParam() * 4); // points inside the view are dropped as others come
    frames(30);
    EXPECT_EQ(chart.pointCount(0), GetParam() * 4);
}

// While the chart scrolls, only the data area is painted again, and a widget drawn over the
// chart (opaque, as "Follow the latest" is) is left alone; the legend and axis labels are drawn
// again only when the visible channels or the y range change.
TEST_F(LivePlotTest, LiveRedrawsPaintTheDataAreaOnly) {
    QWidget window;
    chart.setParent(&window);
    auto* button = new QWidget(&window); // over the chart's top right corner
    button->setGeometry(667, 4, 105, 25);
    button->setAutoFillBackground(true);
    window.resize(800, 340);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    feed({0, 3, 9}, 10.0, 0.05, 0.0);
    for (int k : {0, 3, 9}) { // a range wide enough for what follows
        chart.addPoint(k, now, k % 2 ? 300.0 : -300.0);
    }
    chart.redrawNow();
    QApplication::processEvents();

    struct Painted : QObject {
        QRegion region;
        int count = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) {
                region += static_cast<QPaintEvent*>(e)->region();
                ++count;
            }
            return false;
        }
    } plot_paints, button_paints;
    chart.plot()->installEventFilter(&plot_paints);
    button->installEventFilter(&button_paints);
    for (int i = 0; i < 20; ++i) {
        for (int k : {0, 3, 9}) {
            chart.addPoint(k, now, 100.0 * std::sin(0.3 * i + k));
        }
        now += 0.05;
        chart.redrawNow();
        QApplication::processEvents();
    }
    const QRect data = chart.plot()->axisRect()->rect().adjusted(0, -1, 0, 0);
    EXPECT_GE(plot_paints.count, 20);
    EXPECT_TRUE(data.contains(plot_paints.region.boundingRect()))
        << plot_paints.region.boundingRect().x() << "," << plot_paints.region.boundingRect().y();
    EXPECT_EQ(button_paints.count, 0);

    plot_paints.region = {};
    chart.setGroupVisible(1, false); // the legend changes: all of it
    chart.redrawNow();
    QApplication::processEvents();
    EXPECT_TRUE(plot_paints.region.contains(chart.plot()->legend->outerRect()));
    chart.plot()->removeEventFilter(&plot_paints);
    button->removeEventFilter(&button_paints);
    chart.setParent(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Rates, IncrementalChartTest, ::testing::Values(20, 250),
                         [](const auto& info) { return std::to_string(info.param) + "Hz"; });
} // namespace
