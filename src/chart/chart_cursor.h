#pragma once
// The strip chart's cursor: while the mouse is over the data area (no button held), a vertical
// line there, and beside it the time under it ("hh:nn:ss.zzz": the time of day, milliseconds)
// and each visible channel's value at that time (its last point at or before it, as drawn: after
// the scale chooser's divisor; "-" where there is none or the trace is broken), in the channel's
// colour. It follows the chart as it scrolls under a still mouse. A click (press and release
// within a few pixels) says the time clicked (clicked()).
//
// A transparent widget over the plot, shown only while the mouse is there: the plot's kept
// picture is not touched, and the cursor costs nothing while the mouse is elsewhere.
#include <QColor>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QStringList>
#include <QWidget>

#include <vector>

class QCustomPlot;

namespace zento {

class ChartCursor : public QWidget {
    Q_OBJECT
  public:
    // Over `plot` (a sibling laid over it by the caller: setGeometry(plot->geometry())).
    ChartCursor(QCustomPlot* plot, QWidget* parent);

    bool active() const { return isVisible(); }
    // The texts shown: the time, then "YAW 12.3", ... one per visible channel.
    const QStringList& texts() const { return texts_; }
    // Puts the cursor at `x` (pixels of the plot), as a mouse move there does.
    void moveTo(int x);
    void hideCursor();

    static QString timeText(double seconds); // "hh:nn:ss.zzz", local time of day

  signals:
    void clicked(double key);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void refresh();
    QRect textBox() const;
    QRect box() const; // of the texts and the line

    QCustomPlot* plot_;
    QFont font_;
    int x_ = -1;
    QPoint pressed_;
    bool press_valid_ = false;
    QStringList texts_;
    std::vector<QColor> colours_;
    QRect drawn_; // what the last refresh asked to paint
};

} // namespace zento
