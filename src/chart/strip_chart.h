#pragma once
// iPlotX1: the twelve-channel scrolling strip chart of the main window, drawn with QCustomPlot.
//
// Channels (stored name, legend title, colour, group): the table in telemetry/channels.h.
//
// Time axis (hidden): x is the points' time in seconds (the frames' times, link/link_time.h:
// seconds since 1970, so the axis can show the time of day); the view spans kWindowSeconds (0.0001
// day). While tracking, the first point aligns the axis start until the newest point reaches the
// right end; from then on the newest point stays at the right edge (within one pixel: a redraw
// moves the axis by whole pixels only, see below). A user drag or zoom of the x axis turns
// tracking off; setTracking(true) ("Follow the latest") turns it on again.
// Y axis: starts at 1..361, then follows the smallest and largest values in view of the visible
// channels (3 % inner margin) with hysteresis (YRangeFollower): it grows at once and shrinks
// once the data has used less than 80 % of it for kYShrinkSeconds; it fits the data at once
// when data first arrives, when channels are shown or hidden and on setTracking(true). A user drag
// or zoom of the y axis stops that until setTracking(true).
// Traces break (TraceBreak) rather than draw a line across a gap in time (the stream stopped)
// or across the wrap of an angle (+180 to -180).
// Events of the link (a command sent, a gap) are marks with a short label (chart_marks.h); the
// mouse over the data area shows a cursor with the time and the visible channels' values there
// (chart_cursor.h), and a click says the time clicked (timeClicked). clear() empties the chart
// for another source (a recording played, the port after it, a seek).
//
// Cost stays flat however long it runs, and a live redraw does not grow with the chart's size:
//  - addPoint is O(1) amortised and never draws: redraws are coalesced by a single-shot timer
//    (kFrameIntervalMs, at most one redraw per interval, none while nothing changed; flush()
//    may draw kFlushLeadMs sooner);
//  - each channel keeps at most historyLimit() points (default kDefaultHistoryLimit = 30 min at
//    250 Hz) and none older than historySeconds() (default kHistorySeconds, 30 min) before its
//    newest point, so a slow stream holds its 30 minutes too, not hours; beyond that the oldest
//    points are dropped, the memory being compacted in batches;
//  - a redraw looks only at the points inside the visible key range (binary search on time; the
//    y extent from per-block minima and maxima);
//  - while the chart follows the data (tracking, y following) it shows a kept picture: a redraw
//    scrolls its data area by the whole pixels time has moved (the axis range moves by exactly
//    that many pixels' worth of time, the remainder waits for the next redraw) and draws only
//    the columns that changed, the traces' newest slice with the background and grid lines
//    under it, as QCustomPlot's own drawing would; what lies over the data area (the y axis'
//    ticks) is laid on when painted. Axes, grids and legend are drawn whole only when the y
//    range, the visible channels or the size change. Dragging, zooming, a paused view, printing
//    and image export use QCustomPlot's whole drawing.
//
// The parts: this widget (strip_chart.cpp; its look in strip_chart_look.cpp, printing and image
// export in strip_chart_output.cpp), each channel's point store (channel_history.h), the live
// renderer (live_plot.h), the y range policy (y_range_follower.h) and the trace breaks
// (trace_break.h), both pure; what they take from QCustomPlot's insides is all in
// qcustomplot_internals.h.
#include "platform/timing/clock.h"
#include "telemetry/channels.h"
#include "chart/trace_break.h"
#include "chart/y_range_follower.h"

#include <QWidget>

#include <array>
#include <functional>

#include <qcustomplot.h>

class QPrinter;
class QPrintPreviewDialog;
class QToolButton;

namespace zento {

class ChannelHistory;
class ChartCursor;
class ChartMarks;
class LivePlot;

class StripChart : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kChannelCount = zento::kChannelCount;
    static constexpr int kGroupCount = kChannelGroupCount;
    static constexpr double kWindowSeconds = 8.64; // 0.0001 day
    static constexpr double kInitialYLower = 1.0;  // y starts at 1..361
    static constexpr double kInitialYUpper = 361.0;
    static constexpr double kYMarginFraction = YRangeFollower::kMarginFraction;
    static constexpr double kYShrinkSeconds = 0.5; // the data's time it uses too little of y
    static constexpr int kFrameIntervalMs = 40;    // the redraw timer's interval
    // A caller's flush() may draw this much before the interval ends: at high rates the stream's
    // receive events (every 16 ms at 250 Hz) then carry the redraws, every second one draws
    // (30 a second), each in the paint pass of the window's other changes, and the timer, which
    // would draw in a pass of its own, does not run out.
    static constexpr int kFlushLeadMs = 10;
    static constexpr int kDefaultHistoryLimit = 30 * 60 * 250; // 450 000 points per channel
    static constexpr double kHistorySeconds = 30 * 60.0;       // age bound of the kept points
    static constexpr QColor kBackgroundColor{84, 84, 84};      // behind the axes and the traces
    static constexpr int kWidth = 777;
    static constexpr int kHeight = 313;

    // `clock`: what the redraws are paced on (the system's; a test drives its own).
    explicit StripChart(QWidget* parent = nullptr, Clock& clock = system_clock());
    ~StripChart() override;

    QSize sizeHint() const override { return {kWidth, kHeight}; }

    // Appends (t, y) to the channel, t in seconds (a t before the channel's previous point, or
    // not finite, counts as that point's). Returns false, and changes nothing, for a channel
    // outside 0..11. A non-finite y is kept as a gap (NaN) and never widens the y range. `wrap`:
    // the period of a value that wraps round (an angle: 360 / its divisor), 0 for one that does
    // not. Where the trace breaks (TraceBreak), a gap (NaN) at t comes first.
    bool addPoint(int channel, double t, double y, double wrap = 0);

    // Every trace breaks before its next point: what comes next is another stream.
    void breakTraces() {
        for (TraceBreak& b : breaks_)
            b.force();
    }
    // Empties the chart (points, marks, breaks) for another source. The time axis keeps its
    // span; while it does not track, it moves to end at the newest point of the next redraw.
    void clear();
    // An event of the link at t (seconds, as the points): a gap (`gap`) or a command sent.
    void addMark(double t, const QString& label, bool gap);
    int markCount() const;
    ChartCursor* cursor() const { return cursor_; }

    void setChannelVisible(int channel, bool visible);
    bool channelVisible(int channel) const;
    // Shows or hides the group's three channels, in channel order.
    void setGroupVisible(int group, bool visible);

    // X axis tracking; true also resumes the y range following the data.
    void setTracking(bool on);
    bool tracking() const { return tracking_; }
    bool yFollowsData() const { return y_auto_; }

    // Per-channel bound on the points kept (at least 1); the oldest are dropped first.
    void setHistoryLimit(int points);
    int historyLimit() const { return history_limit_; }
    // Age bound (seconds of the points' time, at least kWindowSeconds): points older than this
    // before their channel's newest point are dropped.
    void setHistorySeconds(double seconds);
    double historySeconds() const { return history_seconds_; }

    int pointCount(int channel) const;
    QCPRange xRange() const;
    QCPRange yRange() const;

    static QString channelName(int channel);  // stored name ("yaw", "pitch", ...)
    static QString channelTitle(int channel); // legend title ("YAW", "Roll", ...)
    static QColor channelColor(int channel);

    // Applies tracking and the y range to the axes now, without drawing (a redraw does this
    // first). For tests and for the caller that wants the axes up to date at once.
    void updateView();
    // True while a redraw is scheduled.
    bool redrawPending() const;
    // Draws what was added now if the last redraw is at least kFrameIntervalMs - kFlushLeadMs
    // old; otherwise the scheduled redraw stays. For a caller that has just added a batch of
    // points: the chart then joins the paint pass of the rest of the window instead of causing one
    // of its own.
    void flush();
    // Draws now, without coalescing (for benchmarks and tests): what changed since the last
    // redraw, or the whole chart. Either way the picture asks for its paint (update()).
    enum class Redraw { Changes, Whole };
    void redrawNow(Redraw how = Redraw::Changes);

    // Draws the chart scaled onto the printer's page. Returns false (and emits message()) if
    // the printer cannot be painted on.
    bool printTo(QPrinter* printer);
    // Opens the print preview window (not blocking); it deletes itself when closed.
    QPrintPreviewDialog* openPrintPreview();
    // Writes the chart as a PNG file. Returns false (and emits message()) on failure.
    bool saveImage(const QString& path);

    // The file "Save image" offers (by default "Quorvex.png" in the current folder).
    std::function<QString()> suggest_image_file;

    QCustomPlot* plot() const;
    QToolButton* printPreviewButton() const { return print_button_; }
    QToolButton* saveImageButton() const { return save_button_; }

  signals:
    // A line for the user (e.g. for the message log): failures of printing or saving.
    void message(const QString& text);
    void trackingChanged(bool on);
    // A click in the data area (press and release at one place): the time there.
    void timeClicked(double t);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void scheduleRedraw();
    void redraw(Redraw how = Redraw::Changes);
    void leaveLive();
    void onXRangeChanged();
    void onYRangeChanged();
    void onMouseWheel(QWheelEvent* event);
    void askImagePath();
    void updateLegendEntry(int channel);
    void updateAccessibleDescription();
    void placeChildren();
    void buildPlot();    // the plot, its axes, legend, traces and marks
    void buildToolbar(); // print preview and save image

    LivePlot* plot_ = nullptr;
    ChartMarks* marks_ = nullptr;
    ChartCursor* cursor_ = nullptr;
    bool align_ = false; // cleared while not tracking: the view moves to the new data
    QToolButton* print_button_ = nullptr;
    QToolButton* save_button_ = nullptr;
    Clock& clock_;
    Timer* redraw_timer_ = nullptr;
    std::int64_t last_redraw_ms_ = -1; // on clock_; -1 before the first redraw
    std::int64_t since_redraw() const {
        return last_redraw_ms_ < 0 ? 0 : clock_.now_ms() - last_redraw_ms_;
    }
    std::array<QCPGraph*, kChannelCount> graphs_{};
    std::array<QSharedPointer<ChannelHistory>, kChannelCount> history_{};
    std::array<TraceBreak, kChannelCount> breaks_{};
    int history_limit_ = kDefaultHistoryLimit;
    double history_seconds_ = kHistorySeconds;
    double first_key_;  // NaN until the first point
    double newest_key_; // NaN until the first point
    bool tracking_ = true;
    bool y_auto_ = true;
    bool applying_view_ = false; // the axes are being moved by the chart, not by the user
    YRangeFollower y_follower_;
    bool dirty_ = false;
};

} // namespace zento
