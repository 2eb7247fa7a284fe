#pragma once
// All that the strip chart takes from QCustomPlot's insides rather than from its public
// interface, in one place: protected members written or called (a data container's storage, a
// graph's line data and line drawing, the plot's own layout and drawing), protected members
// reached from outside a subclass through member pointers, and drawing that reproduces
// QCustomPlot's own (a layer's clip, the grid's lines), so that a slice of the chart drawn here
// equals QCustomPlot's whole drawing there.
//
// Written against QCustomPlot 2.1.0 (Debian 12's libqcustomplot-dev), the version below. The
// configure step (src/telemetry/CMakeLists.txt) compares it with the installed qcustomplot.h's
// QCUSTOMPLOT_VERSION and stops on a difference, and so does the compiler: another version may
// lay out, name or draw these members otherwise. Before raising the number, check each piece
// here against the new version's source and run the live picture's tests (test_live_plot:
// slices against the whole drawing, pixel by pixel).
//
// Outside this file the chart uses QCustomPlot's public interface only, and the virtuals meant
// for overriding: the marks (chart_marks.h) are a QCPLayerable drawn through its draw(), and the
// live plot (live_plot.h) takes over the widget's paint and resize events.
#define ZENTO_QCUSTOMPLOT_INTERNALS_VERSION 0x020100

#include <QRect>
#include <QVector>

#include <vector>

#include <qcustomplot.h>

namespace zento::qcp {

// A graph data container whose storage the owner manages: points are kept in one vector after a
// block of dropped ones (the container's "preallocated" front), so dropping the oldest moves only
// the start offset, and appending at the end skips the container's sorted insert. The caller
// keeps the keys in order.
class GraphDataStore : public QCPGraphDataContainer {
  public:
    // Drops the n oldest kept points (n <= size()); squeeze(true, ...) frees their room later.
    void dropFront(int n) { mPreallocSize += n; }
    int droppedFront() const { return mPreallocSize; }
    qsizetype capacity() const { return mData.capacity(); }
    bool full() const { return mData.size() == mData.capacity(); } // the next push reallocates
    void reserve(qsizetype points) { mData.reserve(points); }
    // Appends a point whose key is not below the last one's.
    void push(double key, double value) { mData.append(QCPGraphData(key, value)); }
};

// A channel's graph. Where points are denser than pixel columns, it draws per device pixel
// column the first point, the smallest and largest value (in the order they came) and the last
// point, so the column shows every value's extent and the lines between columns join real points.
// Unlike QCustomPlot's own adaptive sampling, whose columns are counted from the first point in
// view, the columns here are the screen's: the drawing of a column depends only on the points in
// it and its neighbours, so the picture is the same whether it is drawn whole or scrolled and
// drawn in slices. It can also draw only the part of its trace between two keys, with the same
// lines the whole drawing gives there (with a few pixels of margin beyond the clip on each side).
class LiveGraph : public QCPGraph {
  public:
    using QCPGraph::QCPGraph;

    // The trace's lines between the keys, clipped as its whole drawing is (the caller adds its
    // own clip to the painter's; see graphClip()).
    void drawKeys(QCPPainter* painter, double from, double to) const;
    // The clip of the whole drawing (QCPLayer moves every object's clip up one pixel).
    QRect graphClip() const { return clipRect().translated(0, -1); }

  protected:
    void getOptimizedLineData(QVector<QCPGraphData>* lineData,
                              const QCPGraphDataContainer::const_iterator& begin,
                              const QCPGraphDataContainer::const_iterator& end) const override;
};

// Draws one object as its layer does in the whole plot (its own clip moved up one pixel, as
// QCPLayer does, and its antialiasing), additionally clipped to `clip`; nothing if it is hidden.
void drawClipped(QCPLayerable* item, QCPPainter* painter, const QRectF& clip);

// The plot's own layout for its present size and tick labels (the first step of a replot).
void layOut(QCustomPlot* plot);
// The plot's own drawing of all its layers onto `painter` (the background brush not filled).
void drawPlot(QCustomPlot* plot, QCPPainter* painter);
// The brush setBackground() gave the whole plot.
QBrush plotBackground(const QCustomPlot* plot);

// One grid's lines at its axis' present range, as its grid draws them.
struct GridLines {
    QCPGrid* grid;
    QCPAxis* axis;
    QVector<double> ticks;
    QVector<double> sub_ticks;
};
// The visible grids' lines of the axis rect, in the order the grid layer draws them.
std::vector<GridLines> findGridLines(QCPAxisRect* rect);
// The grid's lines within `clip` (pixels), as QCPGrid draws them across the whole axis rect
// (sub-grid, then grid; vertical lines from bottom to top, horizontal ones from left to right),
// `dpr` device pixels to a pixel.
void drawGridLines(QCPPainter* painter, const GridLines& g, const QRectF& clip, int dpr);

} // namespace zento::qcp
