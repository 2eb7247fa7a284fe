#include "chart/strip_chart.h"

#include "chart/channel_history.h"
#include "chart/chart_cursor.h"
#include "chart/chart_marks.h"
#include "chart/live_plot.h"

#include <QScopedValueRollback>

#include <algorithm>
#include <cmath>
#include <limits>

namespace zento {

namespace {

bool valid_channel(int channel) {
    return channel >= 0 && channel < StripChart::kChannelCount;
}

} // namespace

StripChart::StripChart(QWidget* parent, Clock& clock)
    : QWidget(parent), clock_(clock), first_key_(std::numeric_limits<double>::quiet_NaN()),
      newest_key_(std::numeric_limits<double>::quiet_NaN()) {
    setObjectName(QStringLiteral("iPlotX1"));
    setAccessibleName(QStringLiteral("Strip chart"));
    resize(kWidth, kHeight);

    buildPlot();

    // Mouse: drag both axes, wheel zooms time (Ctrl + wheel zooms the y axis).
    QCPAxis* x = plot_->xAxis;
    QCPAxis* y = plot_->yAxis;
    plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot_->axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    plot_->axisRect()->setRangeZoom(Qt::Horizontal);
    plot_->axisRect()->setRangeDragAxes(x, y);
    plot_->axisRect()->setRangeZoomAxes(x, y);
    connect(plot_, &QCustomPlot::mouseWheel, this, &StripChart::onMouseWheel);
    connect(x, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            &StripChart::onXRangeChanged);
    connect(y, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            &StripChart::onYRangeChanged);

    buildToolbar();
    cursor_ = new ChartCursor(plot_, this);
    connect(cursor_, &ChartCursor::clicked, this, &StripChart::timeClicked);
    placeChildren();

    redraw_timer_ = clock_.make_timer(this);
    redraw_timer_->setSingleShot(true);
    redraw_timer_->setInterval(kFrameIntervalMs);
    connect(redraw_timer_, &Timer::timeout, this, [this] { redraw(); });

    updateAccessibleDescription();
}

StripChart::~StripChart() = default;

bool StripChart::addPoint(int channel, double x, double y, double wrap) {
    if (!valid_channel(channel)) {
        qWarning("Strip chart: no channel %d (channels are 0 to %d); point ignored", channel,
                 kChannelCount - 1);
        return false;
    }
    ChannelHistory& h = *history_[channel];
    if (!std::isfinite(x)) {
        x = std::isnan(newest_key_) ? 0.0 : newest_key_;
    }
    if (!h.isEmpty() && x < h.lastKey()) {
        x = h.lastKey(); // time never runs backwards within a channel
    }
    if (!std::isfinite(y)) {
        y = std::numeric_limits<double>::quiet_NaN(); // drawn as a gap
    }
    if (breaks_[channel].next(h.isEmpty() ? 0.0 : x - h.lastKey(), y, wrap) && !h.isEmpty()) {
        h.append(x, std::numeric_limits<double>::quiet_NaN()); // no line into this point
    }
    h.append(x, y);
    if (std::isnan(first_key_)) {
        first_key_ = x;
    }
    if (std::isnan(newest_key_) || x > newest_key_) {
        newest_key_ = x;
    }
    scheduleRedraw();
    return true;
}

void StripChart::clear() {
    for (int k = 0; k < kChannelCount; ++k) {
        history_[k] = QSharedPointer<ChannelHistory>::create(history_limit_, history_seconds_);
        graphs_[k]->setData(history_[k]);
        breaks_[k] = TraceBreak();
    }
    marks_->clear();
    first_key_ = newest_key_ = std::numeric_limits<double>::quiet_NaN();
    y_follower_.refit();
    align_ = !tracking_;
    plot_->invalidate();
    scheduleRedraw();
}

void StripChart::addMark(double t, const QString& label, bool gap) {
    marks_->add(t, label, gap ? ChartMarks::Kind::gap : ChartMarks::Kind::command);
    scheduleRedraw();
}

int StripChart::markCount() const {
    return int(marks_->marks().size());
}

void StripChart::setChannelVisible(int channel, bool visible) {
    if (!valid_channel(channel)) {
        qWarning("Strip chart: no channel %d (channels are 0 to %d)", channel, kChannelCount - 1);
        return;
    }
    if (graphs_[channel]->visible() == visible) {
        return;
    }
    graphs_[channel]->setVisible(visible);
    y_follower_.refit(); // the y range fits what is shown now
    updateLegendEntry(channel);
    updateAccessibleDescription();
    scheduleRedraw();
}

bool StripChart::channelVisible(int channel) const {
    return valid_channel(channel) && graphs_[channel]->visible();
}

void StripChart::setGroupVisible(int group, bool visible) {
    if (group < 0 || group >= kGroupCount) {
        qWarning("Strip chart: no group %d (groups are 0 to %d)", group, kGroupCount - 1);
        return;
    }
    for (int k = 3 * group; k < 3 * group + 3; ++k) {
        setChannelVisible(k, visible);
    }
}

void StripChart::setTracking(bool on) {
    const bool changed = tracking_ != on;
    tracking_ = on;
    if (on) {
        y_auto_ = true;
        y_follower_.refit();
        updateView();
        scheduleRedraw();
    }
    if (changed) {
        emit trackingChanged(on);
    }
}

void StripChart::setHistoryLimit(int points) {
    if (points < 1) {
        qWarning("Strip chart: history limit %d raised to 1 point", points);
        points = 1;
    }
    history_limit_ = points;
    for (auto& h : history_) {
        h->setLimit(points);
    }
    scheduleRedraw();
}

void StripChart::setHistorySeconds(double seconds) {
    if (!(seconds >= kWindowSeconds)) {
        qWarning("Strip chart: history span %g s raised to the view's %g s", seconds,
                 kWindowSeconds);
        seconds = kWindowSeconds;
    }
    history_seconds_ = seconds;
    for (auto& h : history_) {
        h->setSpan(seconds);
    }
    scheduleRedraw();
}

int StripChart::pointCount(int channel) const {
    return valid_channel(channel) ? history_[channel]->size() : 0;
}

QCustomPlot* StripChart::plot() const {
    return plot_;
}

QCPRange StripChart::xRange() const {
    return plot_->xAxis->range();
}
QCPRange StripChart::yRange() const {
    return plot_->yAxis->range();
}

void StripChart::updateView() {
    QScopedValueRollback<bool> guard(applying_view_, true);
    if (tracking_ && !std::isnan(newest_key_)) {
        // The first point aligns the axis start until the newest reaches the right end.
        const double lower = std::max(first_key_, newest_key_ - kWindowSeconds);
        plot_->xAxis->setRange(lower, lower + kWindowSeconds);
    } else if (align_ && !std::isnan(newest_key_)) {
        align_ = false; // cleared: the user's span, ending at the new data
        const double span = plot_->xAxis->range().size();
        plot_->xAxis->setRange(newest_key_ - span, newest_key_);
    }
    if (!y_auto_) {
        return;
    }
    // Smallest and largest value in view of the visible channels: of the points inside the key
    // range (binary search on the sorted keys), from the histories' block extents.
    const QCPRange xr = plot_->xAxis->range();
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    for (int k = 0; k < kChannelCount; ++k) {
        if (!graphs_[k]->visible()) {
            continue;
        }
        const ChannelHistory& h = *history_[k];
        const ChannelHistory::Extent e =
            h.extent(h.findBegin(xr.lower, false), h.findEnd(xr.upper, false));
        lo = std::min(lo, e.lo);
        hi = std::max(hi, e.hi);
    }
    if (lo > hi) {
        return; // nothing in view: keep the range
    }
    const QCPRange now = plot_->yAxis->range();
    const YRangeFollower::Range r =
        y_follower_.follow({now.lower, now.upper}, lo, hi, newest_key_, kYShrinkSeconds);
    if (r.lower != now.lower || r.upper != now.upper) {
        plot_->yAxis->setRange(r.lower, r.upper);
    }
}

bool StripChart::redrawPending() const {
    return redraw_timer_->isActive();
}

void StripChart::scheduleRedraw() {
    dirty_ = true;
    if (!redraw_timer_->isActive()) {
        // Due when the interval since the last redraw ends, not a whole interval from now: a
        // timer that ran from the point would draw between two frames of a 20 Hz stream (40 ms
        // after one, 10 ms before the next, which flush() then skips), a paint pass of its own
        // for every frame, and it would stay out of step for good.
        const qint64 since = since_redraw();
        redraw_timer_->start(
            int(std::clamp<qint64>(kFrameIntervalMs - since, 0, kFrameIntervalMs)));
    }
}

void StripChart::flush() {
    if (!dirty_ || !isVisible() ||
        (last_redraw_ms_ >= 0 && since_redraw() < kFrameIntervalMs - kFlushLeadMs)) {
        return;
    }
    redraw_timer_->stop();
    redraw();
}

void StripChart::redrawNow(Redraw how) {
    redraw_timer_->stop();
    redraw(how);
}

void StripChart::redraw(Redraw how) {
    updateView();
    if (!isVisible()) {
        return; // stays dirty: drawn when shown
    }
    dirty_ = false;
    last_redraw_ms_ = clock_.now_ms();
    const bool live = tracking_ && y_auto_;
    if (!live) {
        plot_->setLive(false);
        plot_->replot(QCustomPlot::rpQueuedRefresh);
        return;
    }
    if (!plot_->live()) {
        plot_->setLive(true);
    }
    QScopedValueRollback<bool> guard(applying_view_, true);
    plot_->drawLive(how == Redraw::Whole);
}

void StripChart::leaveLive() {
    // The user moved an axis: QCustomPlot's own drawing from now on (its interaction replots).
    plot_->setLive(false);
    scheduleRedraw();
}

void StripChart::onXRangeChanged() {
    if (applying_view_ || !tracking_) {
        return;
    }
    tracking_ = false; // the user moved the time axis: leave it where it was put
    leaveLive();
    emit trackingChanged(false);
}

void StripChart::onYRangeChanged() {
    if (!applying_view_ && y_auto_) {
        y_auto_ = false;
        leaveLive();
    }
}

void StripChart::onMouseWheel(QWheelEvent* event) {
    plot_->axisRect()->setRangeZoom((event->modifiers() & Qt::ControlModifier) ? Qt::Vertical
                                                                               : Qt::Horizontal);
}

void StripChart::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeChildren();
}

void StripChart::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (dirty_) {
        scheduleRedraw();
    }
}

} // namespace zento
