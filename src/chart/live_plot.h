#pragma once
// The strip chart's plot widget and live renderer. While live (the chart follows the data), it
// shows a kept picture of the plot that each redraw brings up to date in place: the data area
// scrolls by the whole device pixels the time axis has moved, and only the columns that changed
// are drawn again, as the whole drawing draws them: background, grid lines and the traces'
// newest slice (QCustomPlot's own line data and painting, clipped). What the layers above the
// traces draw inside the data area (the y axis' line and ticks) is kept apart as an overlay
// image, laid over the picture when it is painted, so it never scrolls with the data. The picture
// is drawn whole when the y range, the visible channels, the marks, the time span or the size
// change. Otherwise it is QCustomPlot as it is: every redraw draws everything.
//
// The key axis is kept on a pixel grid: its lower bound is origin + n pixels' worth of time, so
// content drawn at one redraw lies exactly where the next one's whole drawing would put it after
// the scroll; the part of a pixel that time has moved beyond that waits for the next redraw. The
// dotted horizontal grid lines keep their dots on the same grid (dash offset n), so that they
// scroll with the data as the vertical ones do. (The steps are whole pixels, not device pixels:
// QCPPainter rounds the grid's lines to whole pixels.)
//
// What this needs of QCustomPlot's insides is in qcustomplot_internals.h.
#include "chart/qcustomplot_internals.h"

#include <QImage>

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include <qcustomplot.h>

namespace zento {

class ChartMarks;

class LivePlot : public QCustomPlot {
  public:
    using QCustomPlot::QCustomPlot;

    // A graph of `keys` against `values` whose drawing the live picture can slice (a trace).
    QCPGraph* addTrace(QCPAxis* keys, QCPAxis* values);

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
    void drawLive(bool whole);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct Trace { // what the picture shows of one channel
        double first_key;
        double last_key;
        double last_value;
        int count;
    };

    int deviceRatio() const; // 0: not a whole number
    bool pictureFits() const;
    quint64 visibleMask() const;
    qint64 pixelStep(double lower) const;
    int deviceColumn(double key) const;
    void snapKeyAxis(qint64 n);
    void rememberTraces();
    void drawWhole();
    void drawOverlay();
    bool drawChanges(QRect* changed);
    std::array<std::pair<QRect, int>, 2> ringParts(const QRect& r) const;
    void blit(QPainter& painter, const QRect& r) const;
    void drawColumns(QCPPainter* painter, const QRect& r);

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
    std::vector<qcp::GridLines> grid_lines_;
    bool live_ = true;
    bool valid_ = false;
};

} // namespace zento
