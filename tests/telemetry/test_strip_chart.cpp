// Strip chart: channel table, visibility, tracking, y range, bounded history, coalesced
// redraws, printing and image saving. Runs offscreen with a fake clock.
#include "telemetry/strip_chart.h"

#include <QApplication>
#include <QImage>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using zento::StripChart;

namespace {

class StripChartTest : public ::testing::Test {
  protected:
    void SetUp() override {
        chart.setClock([this] { return now; });
    }

    // One point per channel listed, every `step` seconds, from now until now + seconds.
    void feed(std::initializer_list<int> channels, double seconds, double step, double value) {
        const int n = int(std::lround(seconds / step));
        for (int i = 0; i < n; ++i) {
            for (int k : channels) {
                chart.addPoint(k, value);
            }
            now += step;
        }
    }

    // Shows the chart and waits until its first redraw is done and no more is pending.
    void showAndSettle() {
        chart.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
        chart.plot()->replot();
        QTest::qWait(3 * StripChart::kFrameIntervalMs);
    }

    void sendMouse(QEvent::Type type, QPointF pos, Qt::MouseButton button,
                   Qt::MouseButtons buttons) {
        QMouseEvent ev(type, pos, chart.plot()->mapToGlobal(pos), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(chart.plot(), &ev);
    }

    void sendWheel(QPointF pos, int angle, Qt::KeyboardModifiers modifiers) {
        QWheelEvent ev(pos, chart.plot()->mapToGlobal(pos), QPoint(), QPoint(0, angle),
                       Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(chart.plot(), &ev);
    }

    QPointF dataCentre() const { return QRectF(chart.plot()->axisRect()->rect()).center(); }

    double now = 1000.0;
    StripChart chart;
};

TEST_F(StripChartTest, ChannelTableNamesTitlesAndColours) {
    const char* names[] = {"yaw", "pitch", "roll", "ax", "ay", "az",
                           "gx",  "gy",    "gz",   "hx", "hy", "hz"};
    const char* titles[] = {"YAW", "Roll", "Pitch", "Ax", "Ay", "Az",
                            "Gx",  "Gy",   "Gz",    "hx", "hy", "hz"};
    const QColor colours[] = {{255, 64, 64}, {255, 215, 0},   {0, 0, 255},     {139, 69, 19},
                              {255, 0, 255}, {72, 118, 255},  {151, 255, 255}, {255, 255, 255},
                              {0, 238, 0},   {245, 204, 176}, {155, 88, 255},  {153, 240, 50}};
    ASSERT_EQ(chart.plot()->graphCount(), StripChart::kChannelCount);
    ASSERT_EQ(chart.plot()->legend->itemCount(), StripChart::kChannelCount);
    for (int k = 0; k < StripChart::kChannelCount; ++k) {
        SCOPED_TRACE(k);
        QCPGraph* g = chart.plot()->graph(k);
        EXPECT_EQ(StripChart::channelName(k), names[k]);
        EXPECT_EQ(StripChart::channelTitle(k), titles[k]);
        EXPECT_EQ(StripChart::channelColor(k), colours[k]);
        EXPECT_EQ(g->objectName(), names[k]);
        EXPECT_EQ(g->name(), titles[k]); // what the legend shows
        EXPECT_EQ(g->pen().color(), colours[k]);
        EXPECT_EQ(g->lineStyle(), QCPGraph::lsLine);
        EXPECT_TRUE(g->adaptiveSampling());
        EXPECT_TRUE(chart.channelVisible(k));
        // Legend in channel order.
        auto* item = qobject_cast<QCPPlottableLegendItem*>(chart.plot()->legend->item(k));
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->plottable(), g);
    }
    EXPECT_EQ(StripChart::channelTitle(1), "Roll");
    EXPECT_EQ(StripChart::channelTitle(2), "Pitch");
    EXPECT_EQ(StripChart::channelName(12), QString());
    EXPECT_FALSE(StripChart::channelColor(-1).isValid());
}

TEST_F(StripChartTest, LookAndStartingAxes) {
    EXPECT_EQ(chart.size(), QSize(777, 313));
    EXPECT_EQ(chart.accessibleName(), "Strip chart");
    EXPECT_EQ(chart.plot()->axisRect()->backgroundBrush().color(), QColor(84, 84, 84));
    EXPECT_EQ(chart.yRange(), QCPRange(1, 361));
    EXPECT_EQ(chart.xRange().size(), StripChart::kWindowSeconds);
    EXPECT_TRUE(chart.tracking());
    EXPECT_FALSE(chart.plot()->xAxis->tickLabels());
    EXPECT_EQ(chart.plot()->yAxis->tickLabelColor(), QColor(Qt::white));
    EXPECT_EQ(chart.plot()->yAxis->tickLabelFont().pixelSize(), 11);
    EXPECT_EQ(chart.plot()->legend->font().pixelSize(), 12);
    EXPECT_TRUE(chart.plot()->legend->font().bold());
    EXPECT_EQ(chart.plot()->legend->textColor(), QColor(Qt::white));
    EXPECT_EQ(chart.plot()->yAxis->grid()->pen().style(), Qt::DotLine);
    EXPECT_TRUE(chart.plot()->yAxis->grid()->subGridVisible());
    EXPECT_EQ(chart.plot()->xAxis->grid()->subGridPen().style(), Qt::DotLine);
    // Nothing before the first point changes the starting y range.
    chart.updateView();
    EXPECT_EQ(chart.yRange(), QCPRange(1, 361));
}

TEST_F(StripChartTest, LegendAndToolbarLeaveTheDataAreaFree) {
    showAndSettle();
    const QRect data = chart.plot()->axisRect()->rect();
    const QRect legend = chart.plot()->legend->outerRect();
    EXPECT_LE(legend.right(), data.left());
    EXPECT_LE(legend.bottom(), chart.height()); // all twelve rows fit
    EXPECT_GE(legend.height(), 12 * 12);
    for (int k = 0; k < StripChart::kChannelCount; ++k) {
        QCPAbstractLegendItem* item = chart.plot()->legend->item(k);
        // Every title fits its row (nothing cut off by the y axis labels).
        EXPECT_GE(item->outerRect().width(), item->minimumOuterSizeHint().width()) << k;
        EXPECT_GE(item->outerRect().height(), item->minimumOuterSizeHint().height()) << k;
    }
    for (QToolButton* b : {chart.printPreviewButton(), chart.saveImageButton()}) {
        EXPECT_TRUE(b->isVisible());
        EXPECT_LT(b->geometry().right(), data.left());
        EXPECT_LE(b->geometry().bottom(), legend.top());
        EXPECT_FALSE(b->accessibleName().isEmpty());
    }
    EXPECT_GT(data.width(), 600); // the data area keeps most of the width
    if (qEnvironmentVariableIsSet("ZENTO_CHART_SHOT")) {
        chart.grab().save(qEnvironmentVariable("ZENTO_CHART_SHOT"));
    }
}

TEST_F(StripChartTest, PointLandsInItsChannelWithClockTime) {
    for (int k = 0; k < StripChart::kChannelCount; ++k) {
        now = 2000.0 + 0.25 * k;
        ASSERT_TRUE(chart.addPoint(k, 10.5 + k));
    }
    for (int k = 0; k < StripChart::kChannelCount; ++k) {
        SCOPED_TRACE(k);
        auto data = chart.plot()->graph(k)->data();
        ASSERT_EQ(data->size(), 1);
        EXPECT_EQ(chart.pointCount(k), 1);
        EXPECT_DOUBLE_EQ(data->at(0)->key, 2000.0 + 0.25 * k);
        EXPECT_DOUBLE_EQ(data->at(0)->value, 10.5 + k);
    }
    // A second point goes after the first, in the same channel only.
    now = 3000.0;
    ASSERT_TRUE(chart.addPoint(4, -163.84));
    EXPECT_EQ(chart.pointCount(4), 2);
    EXPECT_EQ(chart.pointCount(3), 1);
    EXPECT_DOUBLE_EQ(chart.plot()->graph(4)->data()->at(1)->key, 3000.0);
    EXPECT_DOUBLE_EQ(chart.plot()->graph(4)->data()->at(1)->value, -163.84);
}

TEST_F(StripChartTest, BadInputIsRejectedOrKeptSafely) {
    chart.addPoint(0, 5.0);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(chart.addPoint(-1, 1.0));
    EXPECT_FALSE(chart.addPoint(12, 1.0));
    chart.setChannelVisible(99, false);
    chart.setGroupVisible(4, false);
    chart.setGroupVisible(-1, false);
    const std::string warnings = testing::internal::GetCapturedStderr();
    EXPECT_NE(warnings.find("no channel 12"), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("no group 4"), std::string::npos) << warnings;
    EXPECT_FALSE(chart.channelVisible(99));
    EXPECT_EQ(chart.pointCount(12), 0);
    int total = 0;
    for (int k = 0; k < StripChart::kChannelCount; ++k) {
        total += chart.pointCount(k);
        EXPECT_TRUE(chart.channelVisible(k));
    }
    EXPECT_EQ(total, 1); // the good point is still there, nothing else was added

    // Non-finite values are kept as gaps and never stretch the y range.
    now += 0.1;
    EXPECT_TRUE(chart.addPoint(0, std::numeric_limits<double>::infinity()));
    now += 0.1;
    EXPECT_TRUE(chart.addPoint(0, std::numeric_limits<double>::quiet_NaN()));
    now += 0.1;
    EXPECT_TRUE(chart.addPoint(0, -5.0));
    EXPECT_EQ(chart.pointCount(0), 4);
    EXPECT_TRUE(std::isnan(chart.plot()->graph(0)->data()->at(1)->value));
    chart.updateView();
    EXPECT_LT(chart.yRange().upper, 6.0);
    EXPECT_GT(chart.yRange().lower, -6.0);

    // A clock that runs backwards or breaks never unsorts a channel.
    now = 10.0;
    EXPECT_TRUE(chart.addPoint(0, 1.0));
    chart.setClock([] { return std::numeric_limits<double>::quiet_NaN(); });
    EXPECT_TRUE(chart.addPoint(0, 2.0));
    auto data = chart.plot()->graph(0)->data();
    ASSERT_EQ(data->size(), 6);
    for (int i = 1; i < data->size(); ++i) {
        EXPECT_GE(data->at(i)->key, data->at(i - 1)->key) << i;
    }
    EXPECT_DOUBLE_EQ(data->at(5)->value, 2.0);
    // An empty clock falls back to the built-in monotonic one.
    chart.setClock({});
    EXPECT_TRUE(chart.addPoint(1, 1.0));
}

TEST_F(StripChartTest, GroupHidesExactlyItsChannelsAndKeepsTheirPoints) {
    feed({0, 3, 6, 7, 8, 9}, 2.0, 0.1, 50.0);
    chart.setGroupVisible(2, false);
    for (int k = 0; k < StripChart::kChannelCount; ++k) {
        EXPECT_EQ(chart.channelVisible(k), k < 6 || k > 8) << k;
    }
    EXPECT_EQ(chart.accessibleDescription(),
              "Channels shown: YAW, Roll, Pitch, Ax, Ay, Az, hx, hy, hz");
    auto* item = chart.plot()->legend->itemWithPlottable(chart.plot()->graph(7));
    ASSERT_NE(item, nullptr);
    EXPECT_NE(item->textColor(), QColor(Qt::white)); // dimmed while hidden

    // Points still arrive while hidden.
    feed({6, 7, 8}, 1.0, 0.1, 60.0);
    EXPECT_EQ(chart.pointCount(6), 30);
    EXPECT_EQ(chart.pointCount(8), 30);

    chart.setGroupVisible(2, true);
    for (int k = 0; k < StripChart::kChannelCount; ++k) {
        EXPECT_TRUE(chart.channelVisible(k)) << k;
    }
    EXPECT_EQ(item->textColor(), QColor(Qt::white));
    // The whole trace is there: first and last points, including those added while hidden.
    auto d7 = chart.plot()->graph(7)->data();
    EXPECT_DOUBLE_EQ(d7->at(0)->value, 50.0);
    EXPECT_DOUBLE_EQ(d7->at(d7->size() - 1)->value, 60.0);

    for (int g = 0; g < StripChart::kGroupCount; ++g) {
        chart.setGroupVisible(g, false);
    }
    EXPECT_EQ(chart.accessibleDescription(), "No channel shown");
    EXPECT_EQ(chart.pointCount(0), 20);
}

TEST_F(StripChartTest, TrackingAlignsFirstPointThenScrolls) {
    // Before the newest point reaches the right end, the first point is at the axis start.
    feed({0}, 3.0, 0.02, 1.0);
    chart.updateView();
    EXPECT_DOUBLE_EQ(chart.xRange().lower, 1000.0);
    EXPECT_DOUBLE_EQ(chart.xRange().upper, 1000.0 + StripChart::kWindowSeconds);

    // 20 s of points: the newest sits at the right edge of an 8.64 s window.
    feed({0, 1}, 17.0, 0.02, 1.0);
    const double newest = now - 0.02;
    chart.updateView();
    EXPECT_NEAR(chart.xRange().upper, newest, 1e-9);
    EXPECT_NEAR(chart.xRange().lower, newest - 8.64, 1e-9);

    // The redraw applies the same view on its own.
    showAndSettle();
    feed({0}, 1.0, 0.02, 1.0);
    QSignalSpy replots(chart.plot(), &QCustomPlot::afterReplot);
    ASSERT_TRUE(replots.wait(2000));
    EXPECT_NEAR(chart.xRange().upper, now - 0.02, 1e-9);
}

TEST_F(StripChartTest, UserDragStopsTrackingUntilFollowTheLatest) {
    feed({0}, 20.0, 0.02, 10.0);
    showAndSettle();
    ASSERT_TRUE(chart.tracking());
    QSignalSpy tracking_changes(&chart, &StripChart::trackingChanged);
    const QPointF from = dataCentre();
    const QPointF to = from + QPointF(200, 30); // drag towards older data and down
    sendMouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    sendMouse(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    sendMouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    sendMouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(chart.tracking());
    EXPECT_FALSE(chart.yFollowsData());
    ASSERT_EQ(tracking_changes.count(), 1);
    EXPECT_FALSE(tracking_changes.at(0).at(0).toBool());

    const QCPRange x_after_drag = chart.xRange();
    const QCPRange y_after_drag = chart.yRange();
    EXPECT_LT(x_after_drag.upper, now - 1.0); // moved back in time
    EXPECT_NEAR(x_after_drag.size(), 8.64, 1e-9);

    // More points arrive off-screen; the view stays where the user put it.
    feed({0}, 5.0, 0.02, 500.0);
    QSignalSpy replots(chart.plot(), &QCustomPlot::afterReplot);
    ASSERT_TRUE(replots.wait(2000));
    EXPECT_EQ(chart.xRange(), x_after_drag);
    EXPECT_EQ(chart.yRange(), y_after_drag);
    EXPECT_EQ(chart.pointCount(0), 1250);

    // "Follow the latest": the newest point is back at the right edge, y follows again.
    chart.setTracking(true);
    EXPECT_TRUE(chart.tracking());
    EXPECT_TRUE(chart.yFollowsData());
    EXPECT_NEAR(chart.xRange().upper, now - 0.02, 1e-9);
    EXPECT_NEAR(chart.xRange().lower, now - 0.02 - 8.64, 1e-9);
    EXPECT_GE(chart.yRange().upper, 500.0);
    EXPECT_EQ(tracking_changes.count(), 2);
}

TEST_F(StripChartTest, WheelZoomsTimeAndCtrlWheelZoomsY) {
    feed({0}, 20.0, 0.02, 10.0);
    showAndSettle();
    const QCPRange y_before = chart.yRange();
    sendWheel(dataCentre(), 120, Qt::NoModifier);
    EXPECT_FALSE(chart.tracking());
    EXPECT_TRUE(chart.yFollowsData()); // the y axis was not touched
    EXPECT_LT(chart.xRange().size(), 8.64);
    EXPECT_EQ(chart.yRange(), y_before);

    const QCPRange x_before = chart.xRange();
    sendWheel(dataCentre(), -120, Qt::ControlModifier);
    EXPECT_FALSE(chart.yFollowsData());
    EXPECT_GT(chart.yRange().size(), y_before.size());
    EXPECT_EQ(chart.xRange(), x_before);
}

TEST_F(StripChartTest, YFollowsVisibleWindowAndVisibleChannelsOnly) {
    // A big value on channel 0 that scrolls out of view, then small values.
    chart.addPoint(0, 5000.0);
    now += 0.1;
    feed({0}, 20.0, 0.1, 0.0);
    for (int i = 0; i < 40; ++i) {
        chart.addPoint(0, i % 2 ? 20.0 : -10.0);
        chart.addPoint(3, 1000.0); // hidden below
        chart.addPoint(9, -400.0); // hidden below
        now += 0.1;
    }
    chart.setGroupVisible(1, false);
    chart.setGroupVisible(3, false);
    chart.updateView();
    const double pad = 30.0 * StripChart::kYMarginFraction;
    EXPECT_DOUBLE_EQ(chart.yRange().lower, -10.0 - pad);
    EXPECT_DOUBLE_EQ(chart.yRange().upper, 20.0 + pad);

    chart.setGroupVisible(1, true);
    chart.updateView();
    EXPECT_DOUBLE_EQ(chart.yRange().upper, 1000.0 + 1010.0 * StripChart::kYMarginFraction);
    EXPECT_DOUBLE_EQ(chart.yRange().lower, -10.0 - 1010.0 * StripChart::kYMarginFraction);

    chart.setGroupVisible(3, true);
    chart.updateView();
    EXPECT_DOUBLE_EQ(chart.yRange().lower, -400.0 - 1400.0 * StripChart::kYMarginFraction);

    // A flat trace still gets a usable range around it.
    chart.setGroupVisible(1, false);
    chart.setGroupVisible(3, false);
    chart.setGroupVisible(0, false);
    chart.setChannelVisible(2, true);
    feed({2}, 10.0, 0.1, 7.0);
    chart.updateView();
    EXPECT_LT(chart.yRange().lower, 7.0);
    EXPECT_GT(chart.yRange().upper, 7.0);

    // Points newer than the view (tracking off) do not count either.
    chart.setTracking(false);
    EXPECT_TRUE(chart.yFollowsData());
    const QCPRange x_view = chart.xRange();
    now += 1.0;
    chart.addPoint(2, 99999.0);
    chart.updateView();
    EXPECT_EQ(chart.xRange(), x_view);
    EXPECT_LT(chart.yRange().upper, 100.0);
}

TEST_F(StripChartTest, HistoryIsBoundedOldestDroppedFirst) {
    chart.setHistoryLimit(1000);
    EXPECT_EQ(chart.historyLimit(), 1000);
    for (int i = 0; i < 5000; ++i) {
        now = i;
        chart.addPoint(5, i);
        if (i >= 1000) {
            ASSERT_EQ(chart.pointCount(5), 1000) << i;
        }
    }
    auto data = chart.plot()->graph(5)->data();
    ASSERT_EQ(data->size(), 1000);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_DOUBLE_EQ(data->at(i)->value, 4000 + i) << i; // newest kept, in order
        ASSERT_DOUBLE_EQ(data->at(i)->key, 4000 + i) << i;
    }
    EXPECT_EQ(chart.pointCount(4), 0);

    // A stopped clock (every key equal) is bounded the same way.
    for (int i = 0; i < 3000; ++i) {
        chart.addPoint(6, i);
    }
    ASSERT_EQ(chart.pointCount(6), 1000);
    EXPECT_DOUBLE_EQ(chart.plot()->graph(6)->data()->at(0)->value, 2000);

    // Lowering the limit drops the oldest at once; the rest stay in order.
    chart.setHistoryLimit(10);
    ASSERT_EQ(chart.pointCount(5), 10);
    EXPECT_DOUBLE_EQ(chart.plot()->graph(5)->data()->at(0)->value, 4990);
    EXPECT_DOUBLE_EQ(chart.plot()->graph(5)->data()->at(9)->value, 4999);
    testing::internal::CaptureStderr();
    chart.setHistoryLimit(0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(chart.historyLimit(), 1);
    EXPECT_EQ(chart.pointCount(5), 1);
    EXPECT_DOUBLE_EQ(chart.plot()->graph(5)->data()->at(0)->value, 4999);
}

TEST_F(StripChartTest, RedrawsAreCoalescedAndNeverInsideAddPoint) {
    showAndSettle();
    ASSERT_FALSE(chart.redrawPending());
    int replots = 0;
    QObject::connect(chart.plot(), &QCustomPlot::afterReplot, [&] { ++replots; });
    for (int i = 0; i < 1000; ++i) {
        chart.addPoint(i % StripChart::kChannelCount, i);
        now += 0.001;
    }
    EXPECT_EQ(replots, 0);
    EXPECT_TRUE(chart.redrawPending());
    QTest::qWait(300);
    EXPECT_GE(replots, 1);
    EXPECT_LE(replots, 3);
    // Nothing changes: nothing is drawn.
    const int settled = replots;
    QTest::qWait(150);
    EXPECT_EQ(replots, settled);
    EXPECT_FALSE(chart.redrawPending());
}

TEST_F(StripChartTest, HiddenChartSpendsNothingOnDrawingUntilShown) {
    QApplication::processEvents(); // the plot's own first (queued) replot
    QSignalSpy replots(chart.plot(), &QCustomPlot::afterReplot);
    feed({0}, 12.0, 0.1, 3.0);
    QTest::qWait(4 * StripChart::kFrameIntervalMs);
    EXPECT_EQ(replots.count(), 0);
    chart.show();
    ASSERT_TRUE(replots.wait(2000));
    EXPECT_NEAR(chart.xRange().upper, now - 0.1, 1e-9); // drawn up to date
}

TEST_F(StripChartTest, NewestPointIsDrawnAtTheRightEdge) {
    feed({0}, 12.0, 0.02, 100.0);
    feed({8}, 1.0, 0.02, -100.0);
    chart.updateView();
    const QImage image = chart.plot()->toPixmap().toImage();
    ASSERT_FALSE(image.isNull());
    auto near_colour = [&](double key, double value, QColor want) {
        const int px = int(chart.plot()->xAxis->coordToPixel(key));
        const int py = int(chart.plot()->yAxis->coordToPixel(value));
        for (int dx = -4; dx <= 1; ++dx) {
            for (int dy = -2; dy <= 2; ++dy) {
                const QColor c = image.pixelColor(px + dx, py + dy);
                if (std::abs(c.red() - want.red()) + std::abs(c.green() - want.green()) +
                        std::abs(c.blue() - want.blue()) <
                    60) {
                    return true;
                }
            }
        }
        return false;
    };
    const double newest = now - 0.02;
    EXPECT_TRUE(near_colour(newest, -100.0, StripChart::channelColor(8)));
    EXPECT_TRUE(near_colour(newest - 2.0, 100.0, StripChart::channelColor(0)));
    chart.setChannelVisible(8, false);
    chart.updateView();
    const QImage hidden = chart.plot()->toPixmap().toImage();
    const int px = int(chart.plot()->xAxis->coordToPixel(newest - 0.5));
    const int py = int(chart.plot()->yAxis->coordToPixel(-100.0));
    EXPECT_FALSE(hidden.rect().contains(px, py) &&
                 hidden.pixelColor(px, py) == StripChart::channelColor(8));
}

TEST_F(StripChartTest, PrintsToAPrinter) {
    feed({0, 4}, 10.0, 0.05, 20.0);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("chart.pdf"));
    ASSERT_TRUE(chart.printTo(&printer));
    QFile pdf(dir.filePath("chart.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(4) == "%PDF");
    EXPECT_GT(pdf.size(), 1000);

    QSignalSpy messages(&chart, &StripChart::message);
    EXPECT_FALSE(chart.printTo(nullptr));
    ASSERT_EQ(messages.count(), 1);
    EXPECT_TRUE(messages.at(0).at(0).toString().contains("could not be printed"));
}

TEST_F(StripChartTest, PrintPreviewOpensWithoutBlockingAndCloses) {
    feed({1}, 3.0, 0.05, 20.0);
    chart.show();
    QPointer<QPrintPreviewDialog> dialog = chart.openPrintPreview();
    ASSERT_FALSE(dialog.isNull());
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->printer()->docName(), "Quorvex");
    dialog->close();
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 2000); // deleted on close
    EXPECT_TRUE(dialog.isNull());
}

TEST_F(StripChartTest, SavesImageAndReportsFailures) {
    feed({0, 5}, 10.0, 0.05, 20.0);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("chart.png");
    ASSERT_TRUE(chart.saveImage(path));
    QImage image(path);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), chart.plot()->size());
    EXPECT_EQ(image.pixelColor(image.width() - 2, image.height() - 2), QColor(84, 84, 84));

    QSignalSpy messages(&chart, &StripChart::message);
    const QString missing = dir.filePath("no/such/folder/chart.png");
    EXPECT_FALSE(chart.saveImage(missing));
    EXPECT_FALSE(chart.saveImage(dir.path())); // a folder, not a file
    EXPECT_FALSE(chart.saveImage(QString()));
    ASSERT_EQ(messages.count(), 3);
    EXPECT_TRUE(messages.at(0).at(0).toString().contains(missing));
    EXPECT_TRUE(messages.at(2).at(0).toString().contains("no file name"));
    // The good image is untouched and nothing else was left in the folder.
    EXPECT_EQ(QImage(path).size(), image.size());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"chart.png"});
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
