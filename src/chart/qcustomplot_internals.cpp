#include "chart/qcustomplot_internals.h"

#include <algorithm>
#include <cmath>

static_assert(QCUSTOMPLOT_VERSION == ZENTO_QCUSTOMPLOT_INTERNALS_VERSION,
              "qcustomplot_internals.h was written against another QCustomPlot version");

namespace zento::qcp {

namespace {

// Pointers to protected members, formed through a derived class, are the language's way to
// reach them from outside a subclass.
struct LayerableAccess : QCPLayerable {
    static QRect clip(QCPLayerable* item) { return (item->*(&LayerableAccess::clipRect))(); }
    static void antialiasing(QCPLayerable* item, QCPPainter* painter) {
        (item->*(&LayerableAccess::applyDefaultAntialiasingHint))(painter);
    }
    static void drawItem(QCPLayerable* item, QCPPainter* painter) {
        (item->*(&LayerableAccess::draw))(painter);
    }
};

struct PlotAccess : QCustomPlot {
    static void layOut(QCustomPlot* plot) { (plot->*(&PlotAccess::updateLayout))(); }
    static void drawAll(QCustomPlot* plot, QCPPainter* painter) {
        (plot->*(&PlotAccess::draw))(painter);
    }
    static QBrush background(const QCustomPlot* plot) {
        return plot->*(&PlotAccess::mBackgroundBrush);
    }
};

} // namespace

void LiveGraph::drawKeys(QCPPainter* painter, double from, double to) const {
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

void LiveGraph::getOptimizedLineData(QVector<QCPGraphData>* lineData,
                                     const QCPGraphDataContainer::const_iterator& begin,
                                     const QCPGraphDataContainer::const_iterator& end) const {
    if (!mAdaptiveSampling) {
        QCPGraph::getOptimizedLineData(lineData, begin, end);
        return;
    }
    lineData->clear();
    lineData->reserve(int(end - begin));
    const QCPAxis* keys = mKeyAxis.data();
    const double ratio = mParentPlot->devicePixelRatioF();
    // A point exactly on a column's edge (sample times and pixels commensurate) must not change
    // sides with rounding noise when the axis moves by whole pixels.
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

void drawClipped(QCPLayerable* item, QCPPainter* painter, const QRectF& clip) {
    if (!item->realVisibility()) {
        return;
    }
    const QRect own = LayerableAccess::clip(item).translated(0, -1);
    painter->save();
    painter->setClipRect(QRectF(own) & clip);
    LayerableAccess::antialiasing(item, painter);
    LayerableAccess::drawItem(item, painter);
    painter->restore();
}

void layOut(QCustomPlot* plot) {
    PlotAccess::layOut(plot);
}

void drawPlot(QCustomPlot* plot, QCPPainter* painter) {
    PlotAccess::drawAll(plot, painter);
}

QBrush plotBackground(const QCustomPlot* plot) {
    return PlotAccess::background(plot);
}

std::vector<GridLines> findGridLines(QCPAxisRect* rect) {
    std::vector<GridLines> found;
    QCustomPlot* plot = rect->parentPlot();
    const QList<QCPAxis*> axes = rect->axes();
    for (QCPLayerable* item : plot->layer(QStringLiteral("grid"))->children()) {
        auto* grid = qobject_cast<QCPGrid*>(item);
        if (!grid || !grid->realVisibility()) {
            continue;
        }
        for (QCPAxis* axis : axes) {
            if (axis->grid() == grid && axis->range().size() > 0) {
                GridLines g{grid, axis, {}, {}};
                axis->ticker()->generate(axis->range(), plot->locale(), QLatin1Char('g'), 6,
                                         g.ticks, axis->subTicks() ? &g.sub_ticks : nullptr,
                                         nullptr);
                found.push_back(std::move(g));
            }
        }
    }
    return found;
}

// A horizontal line is drawn from near the clip only, its dash offset advanced by the part left
// out, which draws the same dots and spares walking the dots of the whole width. (The chart's
// grids draw no zero line of their own, so none is drawn here.)
void drawGridLines(QCPPainter* painter, const GridLines& g, const QRectF& clip, int dpr) {
    const QCPAxisRect* ar = g.axis->axisRect();
    const QCustomPlot* plot = g.axis->parentPlot();
    const bool vertical_lines = g.axis->orientation() == Qt::Horizontal;
    const double lo = std::max<double>(ar->left(), std::floor(clip.left()) - 2);
    const double hi = std::min<double>(ar->right(), std::ceil(clip.right()) + 2);
    auto lines = [&](const QVector<double>& ticks, QPen pen) {
        if (!vertical_lines) {
            pen.setDashOffset(pen.dashOffset() + (lo - ar->left()) * dpr);
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
        painter->setAntialiasing(!plot->notAntialiasedElements().testFlag(element) &&
                                 (plot->antialiasedElements().testFlag(element) || own));
    };
    if (g.axis->subTicks() && g.grid->subGridVisible()) {
        antialias(g.grid->antialiasedSubGrid(), QCP::aeSubGrid);
        lines(g.sub_ticks, g.grid->subGridPen());
    }
    antialias(g.grid->antialiased(), QCP::aeGrid);
    lines(g.ticks, g.grid->pen());
}

} // namespace zento::qcp
