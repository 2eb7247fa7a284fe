// Strip chart: visibility, tracking, y range, the history's bounds, coalesced redraws, the
// cursor, printing and image saving. Runs offscreen with a fake clock. (The point store on its
// own: test_channel_history; the live picture: test_live_plot.)
#include "strip_chart_test_util.h"
#include "chart/chart_cursor.h"

#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>

#include <cstdint>

using zento::StripChart;
using zento::YRangeFollower;
using zento_test::kNaN;
using zento_test::StripChartTest;

namespace {

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
        ASSERT_TRUE(redrawn());
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
    ASSERT_TRUE(redrawn());
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

// The bounds reach every channel's store (the store itself: test_channel_history); the span is
// never shorter than the view, nor the limit below one point.
TEST_F(StripChartTest, HistoryBoundsApplyToEveryChannel) {
    feed({3, 11}, 20.0, 0.25, 1.0); // keys 1000 .. 1019.75
    chart.setHistorySeconds(1.0);
    EXPECT_DOUBLE_EQ(chart.historySeconds(), StripChart::kWindowSeconds);
    EXPECT_EQ(chart.pointCount(11), 35); // keys 1011.25 .. 1019.75
    EXPECT_DOUBLE_EQ(chart.plot()->graph(3)->data()->at(0)->key, 1011.25);
    chart.setHistoryLimit(0);
    EXPECT_EQ(chart.historyLimit(), 1);
    EXPECT_EQ(chart.pointCount(3), 1);
    feed({3}, 1.0, 0.25, 2.0);
    EXPECT_EQ(chart.pointCount(3), 1);
    EXPECT_DOUBLE_EQ(last(3, false), 2.0);
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

    // Once the interval since the last redraw is over, a new point is drawn at once (the timer
    // runs out at the next turn of the event loop), not a whole interval after it came (between
    // two frames of a 20 Hz stream); sooner, it waits only for the rest of the interval.
    constexpr int kInterval = StripChart::kFrameIntervalMs, kLead = StripChart::kFlushLeadMs;
    clock.advance(kInterval + 5);
    chart.addPoint(0, now, 1);
    clock.advance(0);
    EXPECT_FALSE(chart.redrawPending());
    EXPECT_EQ(replots, 2);
    clock.advance(kInterval - 15);
    chart.addPoint(0, now, 1.5);
    clock.advance(14);
    EXPECT_EQ(replots, 2) << "drawn before the interval since the last redraw was over";
    clock.advance(1);
    EXPECT_EQ(replots, 3) << "not drawn when the interval was over";

    // A caller's flush() draws what came once the interval less the lead is over (a receive
    // event just before the timer would run out), and not sooner: the timer stays for it then.
    chart.addPoint(0, now, 2);
    clock.advance(kInterval - kLead - 1);
    chart.flush();
    EXPECT_EQ(replots, 3);
    EXPECT_TRUE(chart.redrawPending());
    clock.advance(1);
    chart.flush();
    EXPECT_FALSE(chart.redrawPending());
    EXPECT_EQ(replots, 4);
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

} // namespace
