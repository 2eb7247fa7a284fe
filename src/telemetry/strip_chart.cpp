#include "telemetry/strip_chart.h"

#include "telemetry/chart_cursor.h"
#include "telemetry/chart_marks.h"

#include <QFileDialog>
#include <QImageWriter>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRegion>
#include <QSaveFile>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <cmath>
#include <limits>
#include <vector>

namespace zento {

namespace {

QColor channel_color(int channel) {
    return QColor(QRgb(0xFF000000u | kChannels[std::size_t(channel)].rgb));
}

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
// point is O(1) amortised and the memory never exceeds limit + batch points. It also keeps the
// smallest and largest value of each block of kBlock points (by the order they came), so the
// extent of the points in view costs a few blocks, not every point.
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

        const qint64 block = appended_++ / kBlock;
        if (block - first_block_ == qint64(blocks_.size())) {
            blocks_.push_back(kNoExtent);
        }
        Extent& e = blocks_.back();
        e = {std::min(e.lo, value), std::max(e.hi, value)}; // a NaN changes neither
        // Blocks wholly dropped go once they are half of those kept (O(1) amortised).
        const qint64 dropped = (appended_ - size()) / kBlock - first_block_;
        if (dropped >= 16 && dropped >= qint64(blocks_.size()) / 2) {
            blocks_.erase(blocks_.begin(), blocks_.begin() + dropped);
            first_block_ += dropped;
        }
    }

    double lastKey() const { return (constEnd() - 1)->key; }

    struct Extent {
        double lo;
        double hi;
    };
    static constexpr Extent kNoExtent{std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity()};
    // The smallest and largest value of the points [begin, end) (NaN gaps left out; lo > hi when
    // there is none).
    Extent extent(const_iterator begin, const_iterator end) const {
        const qint64 base = appended_ - size(); // the number of the first kept point
        const qint64 a = base + (begin - constBegin());
        const qint64 z = base + (end - constBegin());
        Extent e = kNoExtent;
        auto points = [&](qint64 from, qint64 to) {
            for (auto it = constBegin() + (from - base), stop = constBegin() + (to - base);
                 it != stop; ++it) {
                e = {std::min(e.lo, it->value), std::max(e.hi, it->value)};
            }
        };
        const qint64 whole_from = (a + kBlock - 1) / kBlock; // blocks wholly inside [a, z)
        const qint64 whole_to = z / kBlock;
        if (whole_from >= whole_to) {
            points(a, z);
            return e;
        }
        points(a, whole_from * kBlock);
        for (qint64 b = whole_from; b < whole_to; ++b) {
            const Extent& x = blocks_[std::size_t(b - first_block_)];
            e = {std::min(e.lo, x.lo), std::max(e.hi, x.hi)};
        }
        points(whole_to * kBlock, z);
        return e;
    }

  private:
    void dropOlderThan(double key) {
        while (!isEmpty() && constBegin()->key < key) {
            ++mPreallocSize;
        }
    }

    static constexpr qint64 kBlock = 64;
    int limit_ = 1;
    int batch_ = 1;
    double span_;
    qint64 appended_ = 0;        // points ever appended; the newest is number appended_ - 1
    std::vector<Extent> blocks_; // of the blocks first_block_, first_block_ + 1, ...
    qint64 first_block_ = 0;
};

namespace {

// QCustomPlot draws its layers' objects only as part of a whole plot. This runs the drawing of
// one object as its layer would (its own clip, moved up one pixel as QCPLayer does, and its
// antialiasing), additionally clipped to `clip`: a slice of the picture drawn this way equals
// the whole plot's drawing there. (Pointers to the protected members, formed through a derived
// class, are the language's way to reach them from outside a subclass.)
struct LayerableAccess : QCPLayerable {
    static void drawClipped(QCPLayerable* item, QCPPainter* painter, const QRectF& clip) {
        if (!item->realVisibility()) {
            return;
        }
        const QRect own = (item->*(&LayerableAccess::clipRect))().translated(0, -1);
        painter->save();
        painter->setClipRect(QRectF(own) & clip);
        (item->*(&LayerableAccess::applyDefaultAntialiasingHint))(painter);
        (item->*(&LayerableAccess::draw))(painter);
        painter->restore();
    }
};

QRect to_device(const QRect& r, int dpr) {
    return {r.x() * dpr, r.y() * dpr, r.width() * dpr, r.height() * dpr};
}
QRectF to_logical(const QRect& r, int dpr) {
    return {double(r.x()) / dpr, double(r.y()) / dpr, double(r.width()) / dpr,
            double(r.height()) / dpr};
}

} // namespace

// A channel's graph. Where points are denser than pixel columns, it draws per device pixel column
// the first point, the smallest and largest value (in the order they came) and the last point, so
// the column shows every value's extent and the lines between columns join real points. Unlike
// QCustomPlot's own adaptive sampling, whose columns are counted from the first point in view, the
// columns here are the screen's: the drawing of a column depends only on the points in it and its
// neighbours, so the picture is the same whether it is drawn whole or scrolled and drawn in
// slices. It can also draw only the part of its trace between two keys, with the same lines the
// whole drawing gives there (with a few pixels of margin beyond the clip on each side).
class LiveGraph : public QCPGraph {
  public:
    using QCPGraph::QCPGraph;

    // The trace's lines between the keys, clipped as its whole drawing is (the caller adds its
    // own clip to the painter's; see graphClip()).
    void drawKeys(QCPPainter* painter, double from, double to) const {
        if (!realVisibility() || mDataContainer->isEmpty() || mKeyAxis->range().size() <= 0) {
            return;
        }
        const auto first = mDataContainer->constBegin();
        const int begin = int(mDataContainer->findBegin(from, true) - first);
        const int end = int(mDataContainer->findEnd(to, true) - first);
        if (begin >= end) {
            return;
        }
        QVector<QPointF> lines;
        getLines(&lines, QCPDataRange(begin, end));
        applyDefaultAntialiasingHint(painter);
        painter->setPen(mPen);
        painter->setBrush(Qt::NoBrush);
        drawLinePlot(painter, lines);
    }
    // The clip of the whole drawing (QCPLayer moves every object's clip up one pixel).
    QRect graphClip() const { return clipRect().translated(0, -1); }

  protected:
    void getOptimizedLineData(QVector<QCPGraphData>* lineData,
                              const QCPGraphDataContainer::const_iterator& begin,
                              const QCPGraphDataContainer::const_iterator& end) const override {
        if (!mAdaptiveSampling) {
            QCPGraph::getOptimizedLineData(lineData, begin, end);
            return;
        }
        lineData->clear();
        lineData->reserve(int(end - begin));
        const QCPAxis* keys = mKeyAxis.data();
        const double ratio = mParentPlot->devicePixelRatioF();
        // A point exactly on a column's edge (sample times and pixels commensurate) must not
        // change sides with rounding noise when the axis moves by whole pixels.
        auto column = [&](const QCPGraphData& d) {
            return std::floor(keys->coordToPixel(d.key) * ratio + 1e-6);
        };
        for (auto it = begin; it != end;) {
            if (std::isnan(it->value)) {
                lineData->append(*it++); // a gap
                continue;
            }
            const double col = column(*it);
            auto low = it, high = it, last = it;
            const auto head = it;
            for (++it; it != end && !std::isnan(it->value) && column(*it) == col; ++it) {
                if (it->value < low->value) {
                    low = it;
                }
                if (it->value > high->value) {
                    high = it;
                }
                last = it;
            }
            lineData->append(*head);
            for (auto extreme : {std::min(low, high), std::max(low, high)}) {
                if (extreme != head && extreme != last) {
                    lineData->append(*extreme);
                }
            }
            if (last != head) {
                lineData->append(*last);
            }
        }
    }
};

// The chart's plot widget. While live (the chart follows the data), it shows a kept picture of
// the plot that each redraw brings up to date in place: the data area scrolls by the whole device
// pixels the time axis has moved, and only the columns that changed are drawn again, as the whole
// drawing draws them: background, grid lines and the traces' newest slice (QCustomPlot's own line
// data and painting, clipped). What the layers above the traces draw inside the data area (the
// y axis' line and ticks) is kept apart as an overlay image, laid over the picture when it is
// painted, so it never scrolls with the data. The picture is drawn whole when the y range, the
// visible channels, the time span or the size change. Otherwise it is QCustomPlot as it is:
// every redraw draws everything.
//
// The key axis is kept on a pixel grid: its lower bound is origin + n pixels' worth of time, so
// content drawn at one redraw lies exactly where the next one's whole drawing would put it after
// the scroll; the part of a pixel that time has moved beyond that waits for the next redraw. The
// dotted horizontal grid lines keep their dots on the same grid (dash offset n), so that they
// scroll with the data as the vertical ones do. (The steps are whole pixels, not device pixels:
// QCPPainter rounds the grid's lines to whole pixels.)
class LivePlot : public QCustomPlot {
  public:
    using QCustomPlot::QCustomPlot;

    bool live() const { return live_; }
    // Off: QCustomPlot's own drawing and painting (the caller replots); the picture is dropped.
    void setLive(bool on) {
        live_ = on;
        valid_ = false;
    }
    // The picture no longer shows the data (emptied): the next redraw draws it whole.
    void invalidate() { valid_ = false; }
    const ChartMarks* marks = nullptr; // a change of the marks draws the picture whole

    // Brings the picture up to date with the axes (the key axis snapped onto the pixel grid) and
    // the data, and asks for the paint of what changed. On a screen whose device pixel ratio is
    // not a whole number, pixels do not map to device pixels one to one: QCustomPlot draws it all.
    void drawLive(bool whole) {
        if (deviceRatio() == 0) {
            replot(rpQueuedRefresh);
            return;
        }
        QRect changed;
        if (whole || !drawChanges(&changed)) {
            drawWhole();
            changed = rect();
        }
        if (!changed.isEmpty()) {
            update(changed); // (Qt leaves out opaque widgets over it, such as a button)
        }
        emit afterReplot();
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        if (!live_ || deviceRatio() == 0) {
            QCustomPlot::paintEvent(event);
            return;
        }
        if (!pictureFits()) {
            drawWhole();
        }
        QPainter painter(this);
        const QRectF over = to_logical(overlay_rect_, dpr_);
        for (const QRect& r : event->region()) {
            // One rectangle of the region as the clip: the painter's clip is then a rectangle
            // (the region's own, with a sibling above cut out, is not), and the picture is copied
            // with a plain blit rather than blended scan line by scan line.
            painter.setClipRect(r);
            blit(painter, to_device(r, dpr_));
            if (r.intersects(over.toAlignedRect())) {
                const QRectF part = over & QRectF(r);
                painter.drawImage(part, overlay_,
                                  QRectF(part.topLeft() * dpr_ - QPointF(overlay_rect_.topLeft()),
                                         part.size() * dpr_));
            }
        }
    }

    void resizeEvent(QResizeEvent* event) override {
        if (!live_ || deviceRatio() == 0) {
            QCustomPlot::resizeEvent(event);
            return;
        }
        setViewport(rect()); // the picture no longer fits: the next paint draws it whole
    }

  private:
    struct Trace { // what the picture shows of one channel
        double first_key;
        double last_key;
        double last_value;
        int count;
    };
    struct GridLines { // one grid's lines at the picture's axes
        QCPGrid* grid;
        QCPAxis* axis;
        QVector<double> ticks;
        QVector<double> sub_ticks;
    };

    int deviceRatio() const { // 0: not a whole number
        const qreal r = devicePixelRatioF();
        return r == std::floor(r) && r >= 1 ? int(r) : 0;
    }
    bool pictureFits() const {
        return valid_ && deviceRatio() == dpr_ && picture_.size() == size() * dpr_;
    }
    quint64 visibleMask() const {
        quint64 mask = 0;
        for (int k = 0; k < std::min(graphCount(), 64); ++k) {
            mask |= quint64(graph(k)->visible()) << k;
        }
        return mask;
    }
    qint64 pixelStep(double lower) const {
        return qint64(std::floor((lower - origin_) / key_per_px_ + 1e-6));
    }
    int deviceColumn(double key) const { return int(std::floor(xAxis->coordToPixel(key) * dpr_)); }

    // Moves the key axis onto the pixel grid (step n), and the horizontal grid lines' dots with it.
    void snapKeyAxis(qint64 n) {
        const double span = xAxis->range().size();
        const double lower = origin_ + double(n) * key_per_px_;
        {
            const QSignalBlocker quiet(xAxis); // not a user's change of the view
            xAxis->setRange(lower, lower + span);
        }
        for (QCPAxis* axis : xAxis->axisRect()->axes(QCPAxis::atLeft | QCPAxis::atRight)) {
            QCPGrid* grid = axis->grid();
            for (bool sub : {false, true}) {
                QPen pen = sub ? grid->subGridPen() : grid->pen();
                qreal period = 0;
                for (qreal d : pen.dashPattern()) {
                    period += d;
                }
                if (pen.style() == Qt::SolidLine || pen.style() == Qt::NoPen || period <= 0) {
                    continue;
                }
                const double offset = std::fmod(double(n) * dpr_, period);
                pen.setDashOffset(offset < 0 ? offset + period : offset);
                sub ? grid->setSubGridPen(pen) : grid->setPen(pen);
            }
        }
    }

    void rememberTraces() {
        traces_.resize(graphCount());
        for (int k = 0; k < graphCount(); ++k) {
            const QCPGraphDataContainer& d = *graph(k)->data();
            const double nan = std::numeric_limits<double>::quiet_NaN();
            traces_[k] = d.isEmpty() ? Trace{nan, nan, nan, 0}
                                     : Trace{d.constBegin()->key, (d.constEnd() - 1)->key,
                                             (d.constEnd() - 1)->value, d.size()};
        }
    }

    // The grid lines at the axes' present ranges, in the order the grid layer draws them.
    void findGridLines() {
        grid_lines_.clear();
        const QList<QCPAxis*> axes = xAxis->axisRect()->axes();
        for (QCPLayerable* item : layer(QStringLiteral("grid"))->children()) {
            auto* grid = qobject_cast<QCPGrid*>(item);
            if (!grid || !grid->realVisibility()) {
                continue;
            }
            for (QCPAxis* axis : axes) {
                if (axis->grid() == grid && axis->range().size() > 0) {
                    GridLines g{grid, axis, {}, {}};
                    axis->ticker()->generate(axis->range(), locale(), QLatin1Char('g'), 6, g.ticks,
                                             axis->subTicks() ? &g.sub_ticks : nullptr, nullptr);
                    grid_lines_.push_back(std::move(g));
                }
            }
        }
    }

    void drawWhole() {
        dpr_ = deviceRatio();
        updateLayout(); // the axis rect's place for this size and these tick labels
        const QRect data = xAxis->axisRect()->rect();
        // Traces may draw one row above the axis rect (their clip is moved up one pixel).
        area_ =
            to_device(QRect(data.left(), data.top() - 1, data.width(), data.height() + 1), dpr_);
        const double span = xAxis->range().size();
        const double kpp = data.width() > 0 ? span / data.width() : 0;
        if (!(std::abs(kpp - key_per_px_) <= 1e-9 * kpp) || kpp <= 0) {
            key_per_px_ = kpp;
            origin_ = xAxis->range().lower;
        }
        if (key_per_px_ > 0) {
            step_ = pixelStep(xAxis->range().lower);
            snapKeyAxis(step_);
        }
        if (picture_.size() != size() * dpr_) {
            picture_ = QImage(size() * dpr_, QImage::Format_RGB32);
        }
        shift_ = 0;
        picture_.setDevicePixelRatio(dpr_);
        QCPPainter painter(&picture_);
        painter.fillRect(QRectF(mViewport), mBackgroundBrush);
        draw(&painter);
        drawOverlay();
        findGridLines();
        drawColumns(&painter, overlay_rect_); // the overlay is laid on when painted
        painter.end();
        y_range_ = yAxis->range();
        visible_ = visibleMask();
        marks_revision_ = marks ? marks->revision() : 0;
        rememberTraces();
        valid_ = true;
    }

    // What the layers above the traces draw inside the data area, on transparent ground, cut to
    // its bounding rectangle.
    void drawOverlay() {
        QImage over(size() * dpr_, QImage::Format_ARGB32_Premultiplied);
        over.setDevicePixelRatio(dpr_);
        over.fill(Qt::transparent);
        QCPPainter painter(&over);
        const QRectF all(mViewport);
        const QRect area = to_logical(area_, dpr_).toAlignedRect();
        for (int i = layer(QStringLiteral("main"))->index() + 1; i < layerCount(); ++i) {
            if (!layer(i)->visible()) {
                continue;
            }
            for (QCPLayerable* item : layer(i)->children()) {
                const auto* element = qobject_cast<QCPLayoutElement*>(item);
                if (!element || element->outerRect().intersects(area)) { // (the legend is not)
                    LayerableAccess::drawClipped(item, &painter, all);
                }
            }
        }
        painter.end();
        int left = INT_MAX, right = -1, top = INT_MAX, bottom = -1;
        const QRect scan = area_ & over.rect();
        for (int y = scan.top(); y <= scan.bottom(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(over.constScanLine(y));
            int first = scan.left();
            while (first <= scan.right() && row[first] == 0) { // transparent (premultiplied)
                ++first;
            }
            if (first > scan.right()) {
                continue;
            }
            int last = scan.right();
            while (row[last] == 0) {
                --last;
            }
            left = std::min(left, first);
            right = std::max(right, last);
            top = std::min(top, y);
            bottom = y;
        }
        const QRect box = right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
        overlay_rect_ = box;
        overlay_ = box.isEmpty() ? QImage() : over.copy(box);
    }

    // False when only a whole drawing will do.
    bool drawChanges(QRect* changed) {
        if (!pictureFits() || key_per_px_ <= 0 || yAxis->range() != y_range_ ||
            visibleMask() != visible_ || (marks && marks->revision() != marks_revision_)) {
            return false;
        }
        const QCPRange x = xAxis->range();
        const double kpp = x.size() / (area_.width() / dpr_);
        if (!(std::abs(kpp - key_per_px_) <= 1e-9 * kpp)) {
            return false; // the time span changed
        }
        const qint64 n = pixelStep(x.lower);
        const qint64 dx = n - step_;
        if (dx < 0 || dx * dpr_ >= area_.width()) {
            return false; // back in time, or nothing of the picture stays
        }
        const double lower = origin_ + double(n) * key_per_px_;
        snapKeyAxis(n);
        step_ = n;

        // From which column on the traces changed: each changed channel's previous newest point's
        // column (its extremes and last point change; the line into it does not), and one more
        // for rounding.
        int x0 = area_.right() + 1 - int(dx) * dpr_;
        for (int k = 0; k < graphCount(); ++k) {
            if (!graph(k)->visible()) {
                continue;
            }
            const QCPGraphDataContainer& d = *graph(k)->data();
            const Trace& was = traces_[k];
            if (d.isEmpty()) {
                continue;
            }
            const double first = d.constBegin()->key;
            if (first != was.first_key && first >= lower) {
                return false; // points inside the view were dropped (a history bound)
            }
            const auto last = d.constEnd() - 1;
            if (d.size() != was.count || last->key != was.last_key ||
                !(last->value == was.last_value ||
                  (std::isnan(last->value) && std::isnan(was.last_value)))) {
                const double from = std::isnan(was.last_key) ? first : was.last_key;
                x0 = std::min(x0, deviceColumn(from) - dpr_);
            }
        }
        x0 = std::max(x0, area_.left());

        shift_ = (shift_ + int(dx) * dpr_) % area_.width(); // the picture scrolls
        findGridLines();
        QCPPainter painter(&picture_);
        const QRect slice(x0, area_.top(), area_.right() + 1 - x0, area_.height());
        for (const auto& [part, offset] : ringParts(slice)) {
            if (part.isEmpty()) {
                continue;
            }
            painter.save();
            painter.translate(double(offset) / dpr_, 0);
            drawColumns(&painter, part);
            painter.restore();
        }
        painter.end();
        rememberTraces();
        *changed = to_logical(dx > 0 ? area_ : slice, dpr_).toAlignedRect();
        return true;
    }

    // The parts of the device rectangle `r` (within the data area) as the ring keeps them: the
    // columns up to the one kept at the area's right edge, and the rest (empty unless `r` wraps
    // round), each with the offset from its columns to where they are kept.
    std::array<std::pair<QRect, int>, 2> ringParts(const QRect& r) const {
        const int wrap = area_.right() + 1 - shift_; // the first column kept at the left edge
        return {std::pair(
                    r & QRect(QPoint(area_.left(), area_.top()), QPoint(wrap - 1, area_.bottom())),
                    shift_),
                std::pair(r & QRect(QPoint(wrap, area_.top()), area_.bottomRight()),
                          shift_ - area_.width())};
    }

    // Copies the device rectangle `r` of the plot from the picture: the data area's columns from
    // where the ring keeps them, the rest as it is.
    void blit(QPainter& painter, const QRect& r) const {
        auto copy = [&](const QRect& to, int from_x) {
            if (!to.isEmpty()) {
                painter.drawImage(to_logical(to, dpr_), picture_,
                                  QRectF(from_x, to.y(), to.width(), to.height()));
            }
        };
        const QRect inside = r & area_;
        if (inside.isEmpty() || shift_ == 0) {
            copy(r, r.x());
            return;
        }
        for (const QRect& rest : QRegion(r).subtracted(inside)) {
            copy(rest, rest.x());
        }
        for (const auto& [part, offset] : ringParts(inside)) {
            copy(part, part.x() + offset);
        }
    }

    // Draws the device rectangle `r` of the data area anew as the whole drawing draws it below
    // the overlay: the background, the grid lines, the traces.
    void drawColumns(QCPPainter* painter, const QRect& r) {
        if (r.isEmpty()) {
            return;
        }
        const QRectF clip = to_logical(r, dpr_);
        painter->save();
        painter->setClipRect(clip);
        painter->fillRect(clip, mBackgroundBrush);
        for (QCPLayerable* item : layer(QStringLiteral("background"))->children()) {
            LayerableAccess::drawClipped(item, painter, clip);
        }
        for (const GridLines& g : grid_lines_) {
            drawGridColumns(painter, g, clip);
        }
        const double margin = 3.0; // pixels of data beyond each side
        const double from = xAxis->pixelToCoord(clip.left() - margin);
        const double to = xAxis->pixelToCoord(clip.right() + margin);
        bool clipped = false;
        for (QCPLayerable* item : layer(QStringLiteral("main"))->children()) {
            if (const auto* g = dynamic_cast<const LiveGraph*>(item)) {
                if (!clipped) {
                    painter->setClipRect(QRectF(g->graphClip()) & clip);
                    clipped = true;
                }
                g->drawKeys(painter, from, to);
            } else if (auto* m = dynamic_cast<ChartMarks*>(item)) {
                LayerableAccess::drawClipped(m, painter, clip); // over the traces, as whole
            }
        }
        painter->restore();
    }

    // The grid's lines within `clip`, as QCPGrid draws them across the whole axis rect (sub-grid,
    // then grid; vertical lines from bottom to top, horizontal ones from left to right): a
    // horizontal line is drawn from near the clip only, its dash offset advanced by the part
    // left out, which draws the same dots and spares walking the dots of the whole width. (The
    // chart's grids draw no zero line of their own, so none is drawn here.)
    void drawGridColumns(QCPPainter* painter, const GridLines& g, const QRectF& clip) const {
        const QCPAxisRect* ar = g.axis->axisRect();
        const bool vertical_lines = g.axis->orientation() == Qt::Horizontal;
        const double lo = std::max<double>(ar->left(), std::floor(clip.left()) - 2);
        const double hi = std::min<double>(ar->right(), std::ceil(clip.right()) + 2);
        auto lines = [&](const QVector<double>& ticks, QPen pen) {
            if (!vertical_lines) {
                pen.setDashOffset(pen.dashOffset() + (lo - ar->left()) * dpr_);
            }
            painter->setPen(pen);
            for (double tick : ticks) {
                const double t = g.axis->coordToPixel(tick);
                if (vertical_lines) {
                    if (t >= clip.left() - 1 && t <= clip.right() + 1) {
                        painter->drawLine(QLineF(t, ar->bottom(), t, ar->top()));
                    }
                } else {
                    painter->drawLine(QLineF(lo, t, hi, t));
                }
            }
        };
        auto antialias = [&](bool own, QCP::AntialiasedElement element) {
            painter->setAntialiasing(!notAntialiasedElements().testFlag(element) &&
                                     (antialiasedElements().testFlag(element) || own));
        };
        if (g.axis->subTicks() && g.grid->subGridVisible()) {
            antialias(g.grid->antialiasedSubGrid(), QCP::aeSubGrid);
            lines(g.sub_ticks, g.grid->subGridPen());
        }
        antialias(g.grid->antialiased(), QCP::aeGrid);
        lines(g.ticks, g.grid->pen());
    }

    QImage picture_; // the plot, without the overlay inside the data area
    QImage overlay_;
    QRect overlay_rect_; // device pixels
    QRect area_;         // device pixels: the rows and columns that scroll
    // The data area is a ring: its column c (from area_.left()) is kept at column
    // (c + shift_) mod width of the picture's area, so scrolling moves no pixels.
    int shift_ = 0;
    int dpr_ = 1; // device pixels per pixel
    QCPRange y_range_;
    quint64 visible_ = 0;
    std::uint64_t marks_revision_ = 0;
    double origin_ = 0; // the pixel grid of the key axis: lower = origin_ + n * key_per_px_
    double key_per_px_ = 0;
    qint64 step_ = 0; // n of the picture
    std::vector<Trace> traces_;
    std::vector<GridLines> grid_lines_;
    bool live_ = true;
    bool valid_ = false;
};

StripChart::StripChart(QWidget* parent)
    : QWidget(parent), first_key_(std::numeric_limits<double>::quiet_NaN()),
      newest_key_(std::numeric_limits<double>::quiet_NaN()) {
    setObjectName(QStringLiteral("iPlotX1"));
    setAccessibleName(QStringLiteral("Strip chart"));
    resize(kWidth, kHeight);

    plot_ = new LivePlot(this);
    plot_->setObjectName(QStringLiteral("plot"));
    plot_->setGeometry(rect());
    plot_->setBackground(kBackground);
    plot_->setAttribute(Qt::WA_OpaquePaintEvent); // its paint covers it: nothing below repaints
    plot_->axisRect()->setBackground(kBackground);
    plot_->setNoAntialiasingOnDrag(true);
    // Traces as polylines (not line by line), however they are drawn: on screen, in slices of
    // the live picture, in print and image export; the same pixels every way.
    plot_->setPlottingHint(QCP::phFastPolylines, false);
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
        QCPGraph* g = new LiveGraph(x, y);
        g->setObjectName(QLatin1String(kChannels[k].name));
        g->setName(QLatin1String(kChannels[k].title));
        g->setPen(QPen(channel_color(k), 1));
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

    marks_ = new ChartMarks(x); // on the main layer after the traces: drawn over them
    plot_->marks = marks_;

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
    cursor_ = new ChartCursor(plot_, this);
    connect(cursor_, &ChartCursor::clicked, this, &StripChart::timeClicked);
    placeChildren();

    redraw_timer_ = new QTimer(this);
    redraw_timer_->setSingleShot(true);
    redraw_timer_->setInterval(kFrameIntervalMs);
    connect(redraw_timer_, &QTimer::timeout, this, [this] { redraw(); });

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

QString StripChart::channelName(int channel) {
    return valid_channel(channel) ? QLatin1String(kChannels[channel].name) : QString();
}

QString StripChart::channelTitle(int channel) {
    return valid_channel(channel) ? QLatin1String(kChannels[channel].title) : QString();
}

QColor StripChart::channelColor(int channel) {
    return valid_channel(channel) ? channel_color(channel) : QColor();
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
        const qint64 since = since_redraw_.isValid() ? since_redraw_.elapsed() : 0;
        redraw_timer_->start(
            int(std::clamp<qint64>(kFrameIntervalMs - since, 0, kFrameIntervalMs)));
    }
}

void StripChart::flush() {
    if (!dirty_ || !isVisible() ||
        (since_redraw_.isValid() && since_redraw_.elapsed() < kFrameIntervalMs - kFlushLeadMs)) {
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
    since_redraw_.start();
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
    const QString file =
        suggest_image_file ? suggest_image_file() : QLatin1String(kTitle) + QStringLiteral(".png");
    auto* dialog = new QFileDialog(this, tr("Save image"), file, tr("PNG image (*.png)"));
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
    cursor_->setGeometry(rect());
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
