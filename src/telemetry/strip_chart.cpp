#include "telemetry/strip_chart.h"

#include <QFileDialog>
#include <QImageWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSaveFile>
#include <QScopedValueRollback>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace zento {

namespace {

struct ChannelSpec {
    const char* name;  // stored name
    const char* title; // legend title
    QRgb color;
};

constexpr ChannelSpec kChannels[StripChart::kChannelCount] = {
    {"yaw", "YAW", qRgb(255, 64, 64)},  {"pitch", "Roll", qRgb(255, 215, 0)},
    {"roll", "Pitch", qRgb(0, 0, 255)}, {"ax", "Ax", qRgb(139, 69, 19)},
    {"ay", "Ay", qRgb(255, 0, 255)},    {"az", "Az", qRgb(72, 118, 255)},
    {"gx", "Gx", qRgb(151, 255, 255)},  {"gy", "Gy", qRgb(255, 255, 255)},
    {"gz", "Gz", qRgb(0, 238, 0)},      {"hx", "hx", qRgb(245, 204, 176)},
    {"hy", "hy", qRgb(155, 88, 255)},   {"hz", "hz", qRgb(153, 240, 50)},
};

const char* const kTitle = "Quorvex"; // chart title (not drawn) and print document name
const QColor kBackground = StripChart::kBackgroundColor;
const QColor kLegendText(255, 255, 255);
const QColor kLegendTextHidden(160, 160, 160);
const QColor kAxisText(255, 255, 255);
const QColor kAxisLine(220, 220, 220);
const QColor kGridMajor(170, 170, 170);
const QColor kGridMinor(125, 125, 125);
constexpr int kToolbarHeight = 24;
constexpr int kToolButtonSize = 20;

bool valid_channel(int channel) {
    return channel >= 0 && channel < StripChart::kChannelCount;
}

} // namespace

// Point store of one channel: the graph's own data container, append-only, bounded by count
// and by age. Dropping the oldest point only moves the container's start offset (O(1)); the kept
// points are moved back to the front once a batch of limit/16 has been dropped, so the cost per
// point is O(1) amortised and the memory never exceeds limit + batch points.
class ChannelHistory : public QCPGraphDataContainer {
  public:
    ChannelHistory(int limit, double span) : span_(span) { setLimit(limit); }

    void setLimit(int limit) {
        limit_ = std::max(1, limit);
        batch_ = std::max(1, limit_ / 16);
        if (size() > limit_) {
            mPreallocSize += size() - limit_;
        }
        squeeze(true, mData.capacity() > limit_ + batch_);
    }
    int limit() const { return limit_; }
    int batch() const { return batch_; }

    // Points more than `span` seconds older than the newest are dropped.
    void setSpan(double span) {
        span_ = span;
        if (!isEmpty()) {
            dropOlderThan(lastKey() - span_);
            squeeze(true, false);
        }
    }

    // Keys must not decrease (the caller guarantees it).
    void append(double key, double value) {
        if (size() >= limit_) {
            ++mPreallocSize; // drop the oldest
        }
        dropOlderThan(key - span_);
        if (mPreallocSize >= batch_) {
            squeeze(true, false); // move the kept points to the front, keep the capacity
        }
        if (mData.size() == mData.capacity()) {
            const qsizetype want = std::max<qsizetype>(mData.capacity() * 2, 1024);
            mData.reserve(std::min<qsizetype>(want, qsizetype(limit_) + batch_));
        }
        mData.append(QCPGraphData(key, value));
    }

    double lastKey() const { return (constEnd() - 1)->key; }

  private:
    void dropOlderThan(double key) {
        while (!isEmpty() && constBegin()->key < key) {
            ++mPreallocSize;
        }
    }

    int limit_ = 1;
    int batch_ = 1;
    double span_;
};

StripChart::StripChart(QWidget* parent)
    : QWidget(parent), first_key_(std::numeric_limits<double>::quiet_NaN()),
      newest_key_(std::numeric_limits<double>::quiet_NaN()) {
    setObjectName(QStringLiteral("iPlotX1"));
    setAccessibleName(QStringLiteral("Strip chart"));
    resize(kWidth, kHeight);
    setClock({});

    plot_ = new QCustomPlot(this);
    plot_->setObjectName(QStringLiteral("plot"));
    plot_->setGeometry(rect());
    plot_->setBackground(kBackground);
    plot_->setAttribute(Qt::WA_OpaquePaintEvent); // its paint covers it: nothing below repaints
    plot_->axisRect()->setBackground(kBackground);
    plot_->setNoAntialiasingOnDrag(true);
    plot_->setPlottingHint(QCP::phFastPolylines, true);
    plot_->setNotAntialiasedElements(QCP::aePlottables); // crisp 1 px traces, cheaper to draw
    // Nothing is drawn on the overlay layer: without a buffer of its own, a redraw clears and
    // blends one full-size buffer instead of two.
    if (QCPLayer* overlay = plot_->layer(QStringLiteral("overlay")))
        overlay->setMode(QCPLayer::lmLogical);

    // Time axis: hidden (no line, ticks or labels), but its dotted grid is drawn.
    QCPAxis* x = plot_->xAxis;
    QSharedPointer<QCPAxisTickerTime> time_ticker(new QCPAxisTickerTime);
    time_ticker->setTimeFormat(QStringLiteral("%h:%m:%s"));
    x->setTicker(time_ticker);
    x->setTicks(false);
    x->setTickLabels(false);
    x->setBasePen(Qt::NoPen);
    x->setPadding(0);
    x->setRange(0, kWindowSeconds);

    QCPAxis* y = plot_->yAxis;
    QFont axis_font(QStringLiteral("MS Sans Serif"));
    axis_font.setStyleHint(QFont::SansSerif);
    axis_font.setPixelSize(11);
    y->setTickLabelFont(axis_font);
    y->setTickLabelColor(kAxisText);
    y->setBasePen(QPen(kAxisLine, 0));
    y->setTickPen(QPen(kAxisLine, 0));
    y->setSubTickPen(QPen(kAxisLine, 0));
    y->setRange(kInitialYLower, kInitialYUpper);

    for (QCPAxis* axis : {x, y}) {
        axis->grid()->setVisible(true);
        axis->grid()->setSubGridVisible(true);
        axis->grid()->setPen(QPen(kGridMajor, 0, Qt::DotLine));
        axis->grid()->setSubGridPen(QPen(kGridMinor, 0, Qt::DotLine));
        axis->grid()->setZeroLinePen(Qt::NoPen);
    }

    // Legend: a narrow column at the left edge, outside the data area, below the toolbar.
    QFont legend_font(QStringLiteral("Arial"));
    legend_font.setStyleHint(QFont::SansSerif);
    legend_font.setBold(true);
    legend_font.setPixelSize(12);
    QCPLegend* legend = plot_->legend;
    legend->setVisible(true);
    legend->setFont(legend_font);
    legend->setTextColor(kLegendText);
    legend->setBrush(Qt::NoBrush);
    legend->setBorderPen(Qt::NoPen);
    legend->setIconSize(14, 8);
    legend->setIconTextPadding(4);
    legend->setRowSpacing(0);
    legend->setMargins(QMargins(4, 2, 4, 2));
    legend->setSelectableParts(QCPLegend::spNone);

    for (int k = 0; k < kChannelCount; ++k) {
        QCPGraph* g = plot_->addGraph(x, y);
        g->setObjectName(QLatin1String(kChannels[k].name));
        g->setName(QLatin1String(kChannels[k].title));
        g->setPen(QPen(QColor(kChannels[k].color), 1));
        g->setLineStyle(QCPGraph::lsLine);
        g->setAdaptiveSampling(true);
        g->setSelectable(QCP::stNone);
        history_[k] = QSharedPointer<ChannelHistory>::create(history_limit_, history_seconds_);
        g->setData(history_[k]);
        graphs_[k] = g;
        if (auto* item = legend->itemWithPlottable(g)) {
            item->setMargins(QMargins(2, 1, 2, 1));
            item->setSelectable(false);
        }
    }

    plot_->axisRect()->insetLayout()->take(legend);
    auto* column = new QCPLayoutGrid;
    plot_->plotLayout()->insertColumn(0);
    plot_->plotLayout()->addElement(0, 0, column);
    plot_->plotLayout()->setColumnStretchFactor(0, 0.001);
    column->setMargins(QMargins(0, kToolbarHeight, 0, 0));
    column->addElement(0, 0, legend);
    column->addElement(1, 0, new QCPLayoutElement(plot_)); // takes the rest of the height
    const QSize legend_size = legend->minimumOuterSizeHint();
    legend->setMaximumSize(legend_size);
    // A set minimum replaces the hint: it must cover both the legend and the toolbar.
    column->setMinimumSize(std::max(legend_size.width(), 2 * kToolButtonSize + 8), 0);
    plot_->axisRect()->setMinimumMargins(QMargins(0, 4, 6, 4));

    // Mouse: drag both axes, wheel zooms time (Ctrl + wheel zooms the y axis).
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

    // Toolbar: print preview and save image, small buttons in the top-left corner.
    auto make_button = [this](QStyle::StandardPixmap icon, const QString& text) {
        auto* b = new QToolButton(this);
        b->setIcon(style()->standardIcon(icon));
        b->setIconSize(QSize(14, 14));
        b->setFixedSize(kToolButtonSize, kToolButtonSize);
        b->setAutoRaise(true);
        b->setToolTip(text);
        b->setAccessibleName(text);
        b->setFocusPolicy(Qt::TabFocus);
        return b;
    };
    print_button_ = make_button(QStyle::SP_FileDialogContentsView, tr("Print preview"));
    save_button_ = make_button(QStyle::SP_DialogSaveButton, tr("Save image"));
    connect(print_button_, &QToolButton::clicked, this, [this] { openPrintPreview(); });
    connect(save_button_, &QToolButton::clicked, this, &StripChart::askImagePath);
    placeChildren();

    redraw_timer_ = new QTimer(this);
    redraw_timer_->setSingleShot(true);
    redraw_timer_->setInterval(kFrameIntervalMs);
    connect(redraw_timer_, &QTimer::timeout, this, &StripChart::redraw);

    updateAccessibleDescription();
}

StripChart::~StripChart() = default;

void StripChart::setClock(std::function<double()> seconds) {
    if (seconds) {
        clock_ = std::move(seconds);
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    clock_ = [start] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
}

bool StripChart::addPoint(int channel, double y) {
    if (!valid_channel(channel)) {
        qWarning("Strip chart: no channel %d (channels are 0 to %d); point ignored", channel,
                 kChannelCount - 1);
        return false;
    }
    ChannelHistory& h = *history_[channel];
    double x = clock_();
    if (!std::isfinite(x)) {
        x = std::isnan(newest_key_) ? 0.0 : newest_key_;
    }
    if (!h.isEmpty() && x < h.lastKey()) {
        x = h.lastKey(); // time never runs backwards within a channel
    }
    if (!std::isfinite(y)) {
        y = std::numeric_limits<double>::quiet_NaN(); // drawn as a gap
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

void StripChart::setChannelVisible(int channel, bool visible) {
    if (!valid_channel(channel)) {
        qWarning("Strip chart: no channel %d (channels are 0 to %d)", channel, kChannelCount - 1);
        return;
    }
    if (graphs_[channel]->visible() == visible) {
        return;
    }
    graphs_[channel]->setVisible(visible);
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

QCPRange StripChart::xRange() const {
    return plot_->xAxis->range();
}
QCPRange StripChart::yRange() const {
    return plot_->yAxis->range();
}

QString StripChart::channelName(int channel) {
    return valid_channel(channel) ? QLatin1String(kChannels[channel].name) : QString();
}

QString StripChart::channelTitle(int channel) {
    return valid_channel(channel) ? QLatin1String(kChannels[channel].title) : QString();
}

QColor StripChart::channelColor(int channel) {
    return valid_channel(channel) ? QColor(kChannels[channel].color) : QColor();
}

void StripChart::updateView() {
    QScopedValueRollback<bool> guard(applying_view_, true);
    if (tracking_ && !std::isnan(newest_key_)) {
        // The first point aligns the axis start until the newest reaches the right end.
        const double lower = std::max(first_key_, newest_key_ - kWindowSeconds);
        plot_->xAxis->setRange(lower, lower + kWindowSeconds);
    }
    if (!y_auto_) {
        return;
    }
    // Smallest and largest value in view of the visible channels: only the points inside the
    // key range are scanned (binary search on the sorted keys). NaN gaps compare false.
    const QCPRange xr = plot_->xAxis->range();
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    for (int k = 0; k < kChannelCount; ++k) {
        if (!graphs_[k]->visible()) {
            continue;
        }
        const ChannelHistory& h = *history_[k];
        const auto end = h.findEnd(xr.upper, false);
        for (auto it = h.findBegin(xr.lower, false); it != end; ++it) {
            if (it->value < lo) {
                lo = it->value;
            }
            if (it->value > hi) {
                hi = it->value;
            }
        }
    }
    if (lo > hi) {
        return; // nothing in view: keep the range
    }
    const double span = hi - lo;
    const double pad = span > 0 ? span * kYMarginFraction : std::max(std::abs(hi) * 0.05, 1.0);
    plot_->yAxis->setRange(lo - pad, hi + pad);
}

bool StripChart::redrawPending() const {
    return redraw_timer_->isActive();
}

void StripChart::scheduleRedraw() {
    dirty_ = true;
    if (!redraw_timer_->isActive()) {
        redraw_timer_->start();
    }
}

void StripChart::flush() {
    if (!dirty_ || !isVisible() ||
        (since_redraw_.isValid() && since_redraw_.elapsed() < kFrameIntervalMs)) {
        return;
    }
    redraw_timer_->stop();
    redraw();
}

void StripChart::redraw() {
    updateView();
    if (!isVisible()) {
        return; // stays dirty: drawn when shown
    }
    dirty_ = false;
    since_redraw_.start();
    plot_->replot(QCustomPlot::rpQueuedRefresh);
}

void StripChart::onXRangeChanged() {
    if (applying_view_ || !tracking_) {
        return;
    }
    tracking_ = false; // the user moved the time axis: leave it where it was put
    emit trackingChanged(false);
}

void StripChart::onYRangeChanged() {
    if (!applying_view_) {
        y_auto_ = false;
    }
}

void StripChart::onMouseWheel(QWheelEvent* event) {
    plot_->axisRect()->setRangeZoom((event->modifiers() & Qt::ControlModifier) ? Qt::Vertical
                                                                               : Qt::Horizontal);
}

bool StripChart::printTo(QPrinter* printer) {
    QCPPainter painter;
    if (!printer || !painter.begin(printer)) {
        emit message(tr("The chart could not be printed: the printer is not ready."));
        return false;
    }
    updateView();
    const QRect page = printer->pageLayout().paintRectPixels(printer->resolution());
    const int w = plot_->width();
    const int h = plot_->height();
    const double scale = std::min(double(page.width()) / w, double(page.height()) / h);
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    painter.scale(scale, scale);
    plot_->toPainter(&painter, w, h);
    painter.end();
    return true;
}

QPrintPreviewDialog* StripChart::openPrintPreview() {
    auto* dialog = new QPrintPreviewDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->printer()->setDocName(QLatin1String(kTitle));
    dialog->printer()->setPageOrientation(QPageLayout::Landscape);
    connect(dialog, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* printer) { printTo(printer); });
    dialog->open();
    return dialog;
}

bool StripChart::saveImage(const QString& path) {
    if (path.isEmpty()) {
        emit message(tr("The chart image was not saved: no file name was given."));
        return false;
    }
    updateView();
    // Written to a temporary file and renamed over the target only when complete, so a failed
    // save never damages an existing file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        emit message(
            tr("The chart image could not be saved to %1: %2").arg(path, file.errorString()));
        return false;
    }
    const QImage image = plot_->toPixmap(plot_->width(), plot_->height()).toImage();
    QImageWriter writer(&file, "png");
    if (image.isNull() || !writer.write(image) || !file.commit()) {
        file.cancelWriting();
        emit message(tr("The chart image could not be saved to %1: %2")
                         .arg(path, writer.error() != QImageWriter::UnknownError
                                        ? writer.errorString()
                                        : file.errorString()));
        return false;
    }
    return true;
}

void StripChart::askImagePath() {
    auto* dialog = new QFileDialog(this, tr("Save image"), QLatin1String(kTitle) + ".png",
                                   tr("PNG image (*.png)"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("png"));
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& f) { saveImage(f); });
    dialog->open();
}

void StripChart::updateLegendEntry(int channel) {
    if (auto* item = plot_->legend->itemWithPlottable(graphs_[channel])) {
        item->setTextColor(graphs_[channel]->visible() ? kLegendText : kLegendTextHidden);
    }
}

void StripChart::updateAccessibleDescription() {
    QStringList shown;
    for (int k = 0; k < kChannelCount; ++k) {
        if (graphs_[k]->visible()) {
            shown << channelTitle(k);
        }
    }
    setAccessibleDescription(shown.isEmpty()
                                 ? tr("No channel shown")
                                 : tr("Channels shown: %1").arg(shown.join(QStringLiteral(", "))));
}

void StripChart::placeChildren() {
    plot_->setGeometry(rect());
    print_button_->move(2, 2);
    save_button_->move(2 + kToolButtonSize + 2, 2);
    print_button_->raise();
    save_button_->raise();
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
