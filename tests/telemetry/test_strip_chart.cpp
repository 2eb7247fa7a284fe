// Strip chart: visibility, tracking, y range, bounded history, coalesced redraws, printing and
// image saving. Runs offscreen with a fake clock.
#include "telemetry/chart_cursor.h"
#include "telemetry/strip_chart.h"

#include <QApplication>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

using zento::StripChart;
using zento::YRangeFollower;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class StripChartTest : public ::testing::Test {
  protected:
    // One point per listed channel every `step` seconds for `seconds`.
    void feed(std::initializer_list<int> channels, double seconds, double step, double value) {
        for (long i = 0, n = std::lround(seconds / step); i < n; ++i, now += step) {
            for (int k : channels) {
                chart.addPoint(k, now, value);
            }
        }
    }

    // Waits until no redraw is scheduled.
    bool settled() {
        return QTest::qWaitFor([this] { return !chart.redrawPending(); }, 10000);
    }
    // Shows the chart and waits until its first redraws are over.
    void showAndSettle() {
        chart.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
        chart.plot()->replot();
        ASSERT_TRUE(settled());
    }

    void mouse(QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent ev(type, pos, chart.plot()->mapToGlobal(pos), button, held, Qt::NoModifier);
        QApplication::sendEvent(chart.plot(), &ev);
    }

    void wheel(int angle, Qt::KeyboardModifiers modifiers) {
        const QPointF pos = centre();
        QWheelEvent ev(pos, chart.plot()->mapToGlobal(pos), QPoint(), QPoint(0, angle),
                       Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(chart.plot(), &ev);
    }

    QPointF centre() const { return QRectF(chart.plot()->axisRect()->rect()).center(); }
    double last(int k, bool key) const {
        auto d = chart.plot()->graph(k)->data();
        return key ? d->at(d->size() - 1)->key : d->at(d->size() - 1)->value;
    }

    double now = 1000.0;
    StripChart chart;
};

TEST_F(StripChartTest, LegendAndToolbarLeaveTheDataFree) {
    feed({0}, 12.0, 0.02, 100.0);
    feed({8}, 1.0, 0.02, -100.0);
    showAndSettle();
    const QRect data = chart.plot()->axisRect()->rect();
    const QRect legend = chart.plot()->legend->outerRect();
    EXPECT_LE(legend.right(), data.left());
    EXPECT_LE(legend.bottom(), chart.height());
    for (int k = 0; k < 12; ++k) { // every title fits its row
        QCPAbstractLegendItem* item = chart.plot()->legend->item(k);
        EXPECT_GE(item->outerRect().width(), item->minimumOuterSizeHint().width()) << k;
    }
    for (QToolButton* b : {chart.printPreviewButton(), chart.saveImageButton()}) {
        EXPECT_TRUE(b->isVisible());
        EXPECT_LT(b->geometry().right(), data.left());
        EXPECT_LE(b->geometry().bottom(), legend.top());
    }
}

TEST_F(StripChartTest, BadInputIsRejectedOrKeptSafely) {
    chart.updateView(); // nothing to follow yet: the starting range stays
    EXPECT_EQ(chart.yRange(), QCPRange(StripChart::kInitialYLower, StripChart::kInitialYUpper));
    chart.addPoint(0, now, 5.0);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(chart.addPoint(-1, now, 1.0));
    EXPECT_FALSE(chart.addPoint(12, now, 1.0));
    chart.setChannelVisible(99, false);
    chart.setGroupVisible(4, false);
    const std::string warnings = testing::internal::GetCapturedStderr();
    EXPECT_NE(warnings.find("no channel 12"), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("no group 4"), std::string::npos) << warnings;
    int total = 0;
    for (int k = 0; k < 12; ++k) {
        total += chart.pointCount(k);
        EXPECT_TRUE(chart.channelVisible(k));
    }
    EXPECT_EQ(total, 1); // the good point is kept, nothing else added

    // Non-finite values are gaps that never stretch the y range.
    for (double v : {std::numeric_limits<double>::infinity(), kNaN, -5.0}) {
        now += 0.1;
        EXPECT_TRUE(chart.addPoint(0, now, v));
    }
    EXPECT_TRUE(std::isnan(chart.plot()->graph(0)->data()->at(1)->value));
    chart.updateView();
    EXPECT_LT(chart.yRange().upper, 6.0);
    EXPECT_GT(chart.yRange().lower, -6.0);

    // A time that runs backwards or breaks never unsorts a channel.
    now = 10.0;
    EXPECT_TRUE(chart.addPoint(0, now, 1.0));
    EXPECT_TRUE(chart.addPoint(0, kNaN, 2.0));
    auto data = chart.plot()->graph(0)->data();
    ASSERT_EQ(data->size(), 6);
    for (int i = 1; i < data->size(); ++i) {
        EXPECT_GE(data->at(i)->key, data->at(i - 1)->key) << i;
    }
    EXPECT_DOUBLE_EQ(last(0, false), 2.0);
}

TEST_F(StripChartTest, GroupHidesExactlyItsChannelsAndKeepsTheirPoints) {
    feed({0, 3, 6, 7, 8, 9}, 2.0, 0.1, 50.0);
    chart.setGroupVisible(2, false);
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(chart.channelVisible(k), k < 6 || k > 8) << k;
    }
    EXPECT_EQ(chart.accessibleDescription(),
              "Channels shown: YAW, Roll, Pitch, Ax, Ay, Az, hx, hy, hz");
    feed({6, 7, 8}, 1.0, 0.1, 60.0); // still added while hidden
    EXPECT_EQ(chart.pointCount(8), 30);
    chart.setGroupVisible(2, true);
    for (int k = 0; k < 12; ++k) {
        EXPECT_TRUE(chart.channelVisible(k)) << k;
    }
    EXPECT_DOUBLE_EQ(chart.plot()->graph(7)->data()->at(0)->value, 50.0); // the full trace
    EXPECT_DOUBLE_EQ(last(7, false), 60.0);
    for (int g = 0; g < 4; ++g) {
        chart.setGroupVisible(g, false);
    }
    EXPECT_EQ(chart.accessibleDescription(), "No channel shown");
    EXPECT_EQ(chart.pointCount(0), 20);
}

TEST_F(StripChartTest, TrackingAlignsFirstPointThenScrolls) {
    feed({0}, 3.0, 0.02, 1.0);
    chart.updateView();
    EXPECT_DOUBLE_EQ(chart.xRange().lower, 1000.0); // the first point at the axis start
    EXPECT_DOUBLE_EQ(chart.xRange().upper, 1008.64);
    feed({0, 1}, 17.0, 0.02, 1.0);
    chart.updateView();
    EXPECT_NEAR(chart.xRange().upper, now - 0.02, 1e-9); // newest at the right edge
    EXPECT_NEAR(chart.xRange().lower, now - 0.02 - 8.64, 1e-9);
    // The redraw applies the same view by itself, in whole pixels: the newest point is at most
    // one pixel's worth of time short of the right edge, never beyond it.
    showAndSettle();
    const double pixel = 8.64 / chart.plot()->axisRect()->width();
    for (int i = 0; i < 20; ++i) {
        feed({0}, 0.013 * (i % 4 + 1), 0.013, 1.0);
        QSignalSpy replots(chart.plot(), &QCustomPlot::afterReplot);
        ASSERT_TRUE(replots.wait(2000));
        EXPECT_LE(chart.xRange().upper, now - 0.013 + 1e-9) << i;
        EXPECT_GT(chart.xRange().upper, now - 0.013 - pixel) << i;
        EXPECT_NEAR(chart.xRange().size(), 8.64, 1e-9);
    }
}

TEST_F(StripChartTest, UserDragOrZoomStopsTrackingUntilFollowTheLatest) {
    feed({0}, 20.0, 0.02, 10.0);
    showAndSettle();
    QSignalSpy changes(&chart, &StripChart::trackingChanged);
    const QPointF from = centre(), to = centre() + QPointF(200, 30);
    mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(chart.tracking());
    EXPECT_FALSE(chart.yFollowsData());
    ASSERT_EQ(changes.count(), 1);
    const QCPRange x = chart.xRange(), y = chart.yRange();
    EXPECT_LT(x.upper, now - 1.0); // moved back in time

    feed({0}, 5.0, 0.02, 500.0); // arriving off-screen: the view stays put
    QSignalSpy replots(chart.plot(), &QCustomPlot::afterReplot);
    ASSERT_TRUE(replots.wait(2000));
    EXPECT_EQ(chart.xRange(), x);
    EXPECT_EQ(chart.yRange(), y);

    chart.setTracking(true); // "Follow the latest"
    EXPECT_TRUE(chart.yFollowsData());
    EXPECT_NEAR(chart.xRange().upper, now - 0.02, 1e-9);
    EXPECT_NEAR(chart.xRange().size(), 8.64, 1e-9);
    EXPECT_GE(chart.yRange().upper, 500.0);
    EXPECT_EQ(changes.count(), 2);

    // The wheel zooms time only; Ctrl + wheel zooms y only.
    const QCPRange y_before = chart.yRange();
    wheel(120, Qt::NoModifier);
    EXPECT_FALSE(chart.tracking());
    EXPECT_TRUE(chart.yFollowsData());
    EXPECT_LT(chart.xRange().size(), 8.64);
    EXPECT_EQ(chart.yRange(), y_before);
    const QCPRange x_before = chart.xRange();
    wheel(-120, Qt::ControlModifier);
    EXPECT_FALSE(chart.yFollowsData());
    EXPECT_GT(chart.yRange().size(), y_before.size());
    EXPECT_EQ(chart.xRange(), x_before);

    chart.addMark(now, "gyro bias", false);
    chart.clear(); // another source: nothing of this one; the view keeps its span at the new data
    EXPECT_EQ(chart.pointCount(0) + chart.markCount(), 0);
    now += 100;
    feed({0}, 1.0, 0.02, 3.0);
    chart.updateView();
    EXPECT_NEAR(chart.xRange().upper, now - 0.02, 1e-9);
    EXPECT_NEAR(chart.xRange().size(), x_before.size(), 1e-9);
}

// The cursor shows the time and each visible channel's last value at or before it (as drawn);
// a click says the time; it goes when the mouse leaves.
TEST_F(StripChartTest, TheCursorShowsTheTimeAndTheVisibleValuesAndAClickTheTime) {
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:40\\.250$")
                    .match(zento::ChartCursor::timeText(1000.25))
                    .hasMatch());
    for (int i = 0; i < 100; ++i, now += 0.05) {
        chart.addPoint(0, now, i);
        chart.addPoint(3, now, i == 60 ? kNaN : -i);
    }
    chart.setGroupVisible(2, false);
    chart.setGroupVisible(3, false);
    showAndSettle();
    QSignalSpy clicks(&chart, &StripChart::timeClicked);
    for (const double at : {1003.01, 1003.0}) { // Ax's gap at 1003.0
        const QPoint p(int(chart.plot()->xAxis->coordToPixel(at)), int(centre().y()));
        mouse(QEvent::MouseMove, p, Qt::NoButton, Qt::NoButton);
        ASSERT_TRUE(chart.cursor()->active());
        const double t = chart.plot()->xAxis->pixelToCoord(p.x());
        const int i = int(std::floor((t - 1000.0) / 0.05 + 1e-6));
        EXPECT_EQ(chart.cursor()->texts(),
                  (QStringList{zento::ChartCursor::timeText(t), "YAW " + QString::number(i),
                               "Roll -", "Pitch -", i == 60 ? "Ax -" : "Ax " + QString::number(-i),
                               "Ay -", "Az -"}));
        mouse(QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
        EXPECT_DOUBLE_EQ(clicks.takeFirst().at(0).toDouble(), t);
    }
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(chart.plot(), &leave);
    EXPECT_FALSE(chart.cursor()->active());
}

// Channels shown or hidden refit the y range at once; points scrolled out of the view, and with
// tracking off points newer than it, do not count. (A flat trace: YRangeFollowerTest.)
TEST_F(StripChartTest, YFollowsVisibleWindowAndVisibleChannelsOnly) {
    const auto fitted = [](double lo, double hi) {
        const YRangeFollower::Range r = YRangeFollower::fit(lo, hi);
        return QCPRange(r.lower, r.upper);
    };
    chart.addPoint(0, now, 5000.0); // scrolls out of view
    now += 0.1;
    feed({0}, 20.0, 0.1, 0.0);
    for (int i = 0; i < 40; ++i, now += 0.1) {
        chart.addPoint(0, now, i % 2 ? 20.0 : -10.0);
        chart.addPoint(3, now, 1000.0);
        chart.addPoint(9, now, -400.0);
    }
    chart.setGroupVisible(1, false);
    chart.setGroupVisible(3, false);
    chart.updateView();
    EXPECT_EQ(chart.yRange(), fitted(-10.0, 20.0));
    chart.setGroupVisible(1, true);
    chart.setGroupVisible(3, true);
    chart.updateView();
    EXPECT_EQ(chart.yRange(), fitted(-400.0, 1000.0));

    chart.setTracking(false);
    const QCPRange x_view = chart.xRange();
    now += 1.0;
    chart.addPoint(0, now, 99999.0);
    chart.updateView();
    EXPECT_EQ(chart.xRange(), x_view);
    EXPECT_EQ(chart.yRange(), fitted(-400.0, 1000.0));
}

// Data that shrinks is fitted within a second of the larger values leaving the view (1000 for
// 1.5 s, then 0 to 20).
TEST_F(StripChartTest, YRangeFitsWithinASecondOfTheDataShrinking) {
    feed({0}, 1.5, 0.05, 1000.0);
    const double left = now - 0.05 + StripChart::kWindowSeconds;
    for (int i = 0; now < left + 1.0; ++i, now += 0.05) {
        chart.addPoint(0, now, i % 2 ? 20.0 : 0.0);
        chart.updateView(); // as each redraw does
    }
    EXPECT_LT(chart.yRange().upper, 25.0);
}

// A trace breaks (a gap before the new point) where the stream stopped for longer than half a
// second and four of its usual steps, and where an angle wrapped round.
TEST_F(StripChartTest, TracesBreakWhereTheStreamStoppedOrAnAngleWrapped) {
    const double points[][2] = {{0, 170},    {0.05, 179}, {0.05, -179}, {0.05, -170}, {0.45, -160},
                                {0.5, -150}, {2.1, -140}, {0.05, -130}, {0.6, -120}};
    for (const auto& [dt, value] : points) {
        now += dt;
        chart.addPoint(0, now, value, 360.0);
        chart.addPoint(3, now, value); // no wrap: breaks at gaps only
    }
    for (int k : {0, 3}) {
        QStringList drawn;
        for (const QCPGraphData& d : *chart.plot()->graph(k)->data())
            drawn << (std::isnan(d.value) ? QStringLiteral("|") : QString::number(d.value));
        const QString wrap = k ? "" : "|,";
        EXPECT_EQ(drawn.join(','), "170,179," + wrap + "-179,-170,-160,-150,|,-140,-130,|,-120");
    }
}

// The y range fitted to the data is that of exactly the points in view (the chart sums them up
// in blocks): random values with gaps, at irregular times, with points dropped at the front.
TEST_F(StripChartTest, YRangeFitsExactlyThePointsInView) {
    chart.setHistoryLimit(500); // fewer than a window's worth at the end: the oldest in view go
    std::uint32_t seed = 5;
    auto random = [&] {
        seed = seed * 1664525u + 1013904223u;
        return double(seed >> 8) / double(1 << 24);
    };
    chart.setGroupVisible(3, false);
    for (int round = 0; round < 60; ++round) {
        for (int i = 0, n = int(random() * 2000); i < n; ++i) {
            now += random() * 0.002;
            const int k = int(random() * 12);
            chart.addPoint(k, now, random() < 0.02 ? kNaN : 1000 * random() - 500 + round * 20);
        }
        chart.setTracking(true); // fits at once
        const QCPRange x = chart.xRange();
        double lo = INFINITY, hi = -INFINITY;
        for (int k = 0; k < 9; ++k) {
            for (const QCPGraphData& d : *chart.plot()->graph(k)->data()) {
                if (d.key >= x.lower && d.key <= x.upper && !std::isnan(d.value)) {
                    lo = std::min(lo, d.value);
                    hi = std::max(hi, d.value);
                }
            }
        }
        const YRangeFollower::Range fit = YRangeFollower::fit(lo, hi);
        ASSERT_EQ(chart.yRange(), QCPRange(fit.lower, fit.upper)) << round;
    }
}

TEST_F(StripChartTest, HistoryIsBoundedOldestDroppedFirst) {
    chart.setHistoryLimit(1000);
    for (int i = 0; i < 5000; ++i) {
        now = i;
        chart.addPoint(5, now, i);
        ASSERT_EQ(chart.pointCount(5), std::min(i + 1, 1000)) << i;
    }
    auto data = chart.plot()->graph(5)->data();
    for (int i = 0; i < 1000; ++i) { // the newest, in order
        ASSERT_DOUBLE_EQ(data->at(i)->value, 4000 + i) << i;
        ASSERT_DOUBLE_EQ(data->at(i)->key, 4000 + i) << i;
    }
    for (int i = 0; i < 3000; ++i) { // a stopped clock: every key equal
        chart.addPoint(6, now, i);
    }
    ASSERT_EQ(chart.pointCount(6), 1000);
    EXPECT_DOUBLE_EQ(chart.plot()->graph(6)->data()->at(0)->value, 2000);
    chart.setHistoryLimit(10); // lowering the bound drops the oldest at once
    ASSERT_EQ(chart.pointCount(5), 10);
    EXPECT_DOUBLE_EQ(chart.plot()->graph(5)->data()->at(0)->value, 4990);
    EXPECT_DOUBLE_EQ(last(5, false), 4999);
}

TEST_F(StripChartTest, HistoryKeepsOnlyItsSpanOfTimeAtAnyRate) {
    chart.setHistorySeconds(100.0);
    for (int i = 0; i <= 4000; ++i) { // 4 Hz for 1000 s (exact keys)
        now = i * 0.25;
        chart.addPoint(3, now, i);
        if (i % 7 == 0) chart.addPoint(4, now, i); // a slower channel: 100 s before its own newest
    }
    auto data = chart.plot()->graph(3)->data();
    ASSERT_EQ(chart.pointCount(3), 401); // keys 900 .. 1000, the oldest dropped first
    EXPECT_DOUBLE_EQ(data->at(0)->key, 900.0);
    EXPECT_DOUBLE_EQ(data->at(0)->value, 3600);
    EXPECT_DOUBLE_EQ(data->at(400)->value, 4000);
    EXPECT_DOUBLE_EQ(chart.plot()->graph(4)->data()->at(0)->value, 3598);
    chart.setHistorySeconds(10.0); // shortening the span drops at once
    ASSERT_EQ(chart.pointCount(3), 41);
    EXPECT_DOUBLE_EQ(data->at(0)->key, 990.0);
    chart.setHistorySeconds(1.0); // never shorter than the view
    EXPECT_DOUBLE_EQ(chart.historySeconds(), StripChart::kWindowSeconds);
    EXPECT_EQ(chart.pointCount(3), 35); // keys 991.5 .. 1000
}

TEST_F(StripChartTest, RedrawsAreCoalescedAndSkippedWhileHidden) {
    QApplication::processEvents(); // the plot's own first (queued) replot
    int replots = 0;
    QObject::connect(chart.plot(), &QCustomPlot::afterReplot, [&] { ++replots; });
    feed({0}, 12.0, 0.1, 3.0);
    ASSERT_TRUE(chart.redrawPending());
    ASSERT_TRUE(settled());
    EXPECT_EQ(replots, 0); // hidden: the redraw came and drew nothing
    showAndSettle();
    EXPECT_NEAR(chart.xRange().upper, now - 0.1, 1e-9); // drawn up to date once shown

    replots = 0;
    for (int i = 0; i < 1000; ++i, now += 0.001) {
        chart.addPoint(i % 12, now, i);
    }
    EXPECT_EQ(replots, 0); // never inside addPoint
    EXPECT_TRUE(chart.redrawPending());
    ASSERT_TRUE(settled());
    EXPECT_EQ(replots, 1); // one redraw for the whole batch
    QApplication::processEvents();
    EXPECT_FALSE(chart.redrawPending()); // nothing changed, nothing scheduled
    EXPECT_EQ(replots, 1);

    // Once the interval since the last redraw is over, a new point is drawn at the next turn of
    // the event loop, not a whole interval after it came (between two frames of a 20 Hz stream).
    QElapsedTimer since;
    since.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return since.elapsed() > StripChart::kFrameIntervalMs; }));
    QElapsedTimer before; // started before the redraw, stopped after it: bounds its age
    before.start();
    chart.addPoint(0, now, 1);
    QApplication::processEvents();
    EXPECT_FALSE(chart.redrawPending());
    EXPECT_EQ(replots, 2);
    QElapsedTimer after;
    after.start();

    // A caller's flush() draws what came once the interval less the lead is over (a receive
    // event just before the timer would run out), and not sooner: the timer stays for it then.
    chart.addPoint(0, now, 2);
    const bool soon = before.elapsed() < StripChart::kFrameIntervalMs - StripChart::kFlushLeadMs;
    chart.flush();
    if (soon) {
        EXPECT_EQ(replots, 2);
        EXPECT_TRUE(chart.redrawPending());
    }
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return after.elapsed() >= StripChart::kFrameIntervalMs - StripChart::kFlushLeadMs;
    }));
    chart.addPoint(0, now, 3);
    chart.flush();
    EXPECT_FALSE(chart.redrawPending());
    EXPECT_EQ(replots, 3);
}

TEST_F(StripChartTest, PrintsPreviewsAndSavesImages) {
    feed({0, 4}, 10.0, 0.05, 20.0);
    chart.show();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("chart.pdf"));
    ASSERT_TRUE(chart.printTo(&printer));
    QFile pdf(dir.filePath("chart.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_EQ(pdf.read(4), "%PDF");

    QPointer<QPrintPreviewDialog> preview = chart.openPrintPreview(); // does not block
    ASSERT_FALSE(preview.isNull());
    EXPECT_TRUE(preview->isVisible());
    preview->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return preview.isNull(); }, 10000)); // deleted on close

    const QString path = dir.filePath("chart.png");
    ASSERT_TRUE(chart.saveImage(path));
    const QImage image(path);
    EXPECT_EQ(image.size(), chart.plot()->size());

    QSignalSpy messages(&chart, &StripChart::message);
    const QString missing = dir.filePath("no/such/folder/chart.png");
    EXPECT_FALSE(chart.saveImage(missing));
    EXPECT_FALSE(chart.saveImage(dir.path())); // a folder
    EXPECT_FALSE(chart.saveImage(QString()));
    EXPECT_FALSE(chart.printTo(nullptr));
    ASSERT_EQ(messages.count(), 4);
    EXPECT_TRUE(messages.at(0).at(0).toString().contains(missing));
    EXPECT_TRUE(messages.at(2).at(0).toString().contains("no file name"));
    EXPECT_TRUE(messages.at(3).at(0).toString().contains("could not be printed"));
    EXPECT_EQ(QImage(path).size(), image.size()); // the good image is untouched
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), (QStringList{"chart.pdf", "chart.png"}));
}

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
TEST_F(StripChartTest, LiveRedrawsPaintTheDataAreaOnly) {
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
