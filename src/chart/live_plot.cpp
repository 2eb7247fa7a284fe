#include "chart/live_plot.h"

#include "chart/chart_marks.h"

#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QSignalBlocker>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

namespace zento {

namespace {

QRect to_device(const QRect& r, int dpr) {
    return {r.x() * dpr, r.y() * dpr, r.width() * dpr, r.height() * dpr};
}
QRectF to_logical(const QRect& r, int dpr) {
    return {double(r.x()) / dpr, double(r.y()) / dpr, double(r.width()) / dpr,
            double(r.height()) / dpr};
}

} // namespace

QCPGraph* LivePlot::addTrace(QCPAxis* keys, QCPAxis* values) {
    return new qcp::LiveGraph(keys, values);
}

// Brings the picture up to date with the axes (the key axis snapped onto the pixel grid) and
// the data, and asks for the paint of what changed. On a screen whose device pixel ratio is
// not a whole number, pixels do not map to device pixels one to one: QCustomPlot draws it all.
void LivePlot::drawLive(bool whole) {
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

void LivePlot::paintEvent(QPaintEvent* event) {
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

void LivePlot::resizeEvent(QResizeEvent* event) {
    if (!live_ || deviceRatio() == 0) {
        QCustomPlot::resizeEvent(event);
        return;
    }
    setViewport(rect()); // the picture no longer fits: the next paint draws it whole
}

int LivePlot::deviceRatio() const {
    const qreal r = devicePixelRatioF();
    return r == std::floor(r) && r >= 1 ? int(r) : 0;
}

bool LivePlot::pictureFits() const {
    return valid_ && deviceRatio() == dpr_ && picture_.size() == size() * dpr_;
}

quint64 LivePlot::visibleMask() const {
    quint64 mask = 0;
    for (int k = 0; k < std::min(graphCount(), 64); ++k) {
        mask |= quint64(graph(k)->visible()) << k;
    }
    return mask;
}

qint64 LivePlot::pixelStep(double lower) const {
    return qint64(std::floor((lower - origin_) / key_per_px_ + 1e-6));
}

int LivePlot::deviceColumn(double key) const {
    return int(std::floor(xAxis->coordToPixel(key) * dpr_));
}

// Moves the key axis onto the pixel grid (step n), and the horizontal grid lines' dots with it.
void LivePlot::snapKeyAxis(qint64 n) {
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

void LivePlot::rememberTraces() {
    traces_.resize(graphCount());
    for (int k = 0; k < graphCount(); ++k) {
        const QCPGraphDataContainer& d = *graph(k)->data();
        const double nan = std::numeric_limits<double>::quiet_NaN();
        traces_[k] = d.isEmpty() ? Trace{nan, nan, nan, 0}
                                 : Trace{d.constBegin()->key, (d.constEnd() - 1)->key,
                                         (d.constEnd() - 1)->value, d.size()};
    }
}

void LivePlot::drawWhole() {
    dpr_ = deviceRatio();
    qcp::layOut(this); // the axis rect's place for this size and these tick labels
    const QRect data = xAxis->axisRect()->rect();
    // Traces may draw one row above the axis rect (their clip is moved up one pixel).
    area_ = to_device(QRect(data.left(), data.top() - 1, data.width(), data.height() + 1), dpr_);
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
    painter.fillRect(QRectF(viewport()), qcp::plotBackground(this));
    qcp::drawPlot(this, &painter);
    drawOverlay();
    grid_lines_ = qcp::findGridLines(xAxis->axisRect());
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
void LivePlot::drawOverlay() {
    QImage over(size() * dpr_, QImage::Format_ARGB32_Premultiplied);
    over.setDevicePixelRatio(dpr_);
    over.fill(Qt::transparent);
    QCPPainter painter(&over);
    const QRectF all(viewport());
    const QRect area = to_logical(area_, dpr_).toAlignedRect();
    for (int i = layer(QStringLiteral("main"))->index() + 1; i < layerCount(); ++i) {
        if (!layer(i)->visible()) {
            continue;
        }
        for (QCPLayerable* item : layer(i)->children()) {
            const auto* element = qobject_cast<QCPLayoutElement*>(item);
            if (!element || element->outerRect().intersects(area)) { // (the legend is not)
                qcp::drawClipped(item, &painter, all);
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
bool LivePlot::drawChanges(QRect* changed) {
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
    grid_lines_ = qcp::findGridLines(xAxis->axisRect());
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
std::array<std::pair<QRect, int>, 2> LivePlot::ringParts(const QRect& r) const {
    const int wrap = area_.right() + 1 - shift_; // the first column kept at the left edge
    return {
        std::pair(r & QRect(QPoint(area_.left(), area_.top()), QPoint(wrap - 1, area_.bottom())),
                  shift_),
        std::pair(r & QRect(QPoint(wrap, area_.top()), area_.bottomRight()),
                  shift_ - area_.width())};
}

// Copies the device rectangle `r` of the plot from the picture: the data area's columns from
// where the ring keeps them, the rest as it is.
void LivePlot::blit(QPainter& painter, const QRect& r) const {
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
void LivePlot::drawColumns(QCPPainter* painter, const QRect& r) {
    if (r.isEmpty()) {
        return;
    }
    const QRectF clip = to_logical(r, dpr_);
    painter->save();
    painter->setClipRect(clip);
    painter->fillRect(clip, qcp::plotBackground(this));
    for (QCPLayerable* item : layer(QStringLiteral("background"))->children()) {
        qcp::drawClipped(item, painter, clip);
    }
    for (const qcp::GridLines& g : grid_lines_) {
        qcp::drawGridLines(painter, g, clip, dpr_);
    }
    const double margin = 3.0; // pixels of data beyond each side
    const double from = xAxis->pixelToCoord(clip.left() - margin);
    const double to = xAxis->pixelToCoord(clip.right() + margin);
    bool clipped = false;
    for (QCPLayerable* item : layer(QStringLiteral("main"))->children()) {
        if (const auto* g = dynamic_cast<const qcp::LiveGraph*>(item)) {
            if (!clipped) {
                painter->setClipRect(QRectF(g->graphClip()) & clip);
                clipped = true;
            }
            g->drawKeys(painter, from, to);
        } else if (auto* m = dynamic_cast<ChartMarks*>(item)) {
            qcp::drawClipped(m, painter, clip); // over the traces, as whole
        }
    }
    painter->restore();
}

} // namespace zento
