#pragma once
// The strip chart's test fixture: a chart not shown until asked, its redraws paced on a driven
// clock (they come when the test moves it), the points' time (`now`, seconds) and points fed at
// a steady rate. Shared by the chart's tests and the live renderer's.
#include "chart/strip_chart.h"
#include "driven_clock.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <limits>

namespace zento_test {

using zento::StripChart;

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

    // Moves the clock on until no redraw is scheduled (the redraws due on the way drawn).
    bool settled() {
        QApplication::processEvents();
        return clock.advance_until([this] { return !chart.redrawPending(); }, 10'000);
    }
    // Moves the clock on to the next redraw; true when it replotted.
    bool redrawn() {
        QSignalSpy replots(chart.plot(), &QCustomPlot::afterReplot);
        return settled() && (replots.count() > 0 || replots.wait(2000));
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
    DrivenClock clock;
    StripChart chart{nullptr, clock};
};

} // namespace zento_test
