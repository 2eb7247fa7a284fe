#pragma once
// The strip chart's event marks (link/link_event.h): a thin vertical line across the data area
// at the event's time, with its short label at the bottom, right of it ("gyro bias", "gap 2.3 s";
// the top right corner has "Follow the latest"). A command is a solid orange line, a gap a dashed
// grey one. Labels that would overlap the one before take the next row up (up to three rows;
// placed over all the marks, so scrolling never moves one).
//
// The marks are one object on the plot's main layer, after the traces: drawn over them, by
// QCustomPlot's whole drawing and, clipped, by the live picture's slices, the same pixels either
// way (a mark's column is its time's pixel rounded down, as the traces' columns are, its label at
// whole pixels from it). revision() changes whenever the marks do, so that the live picture is
// drawn whole then.
#include <QColor>
#include <QFont>
#include <QString>

#include <cstdint>
#include <deque>

#include <qcustomplot.h>

namespace zento {

class ChartMarks : public QCPLayerable {
  public:
    static constexpr int kMaxMarks = 10000; // the oldest go first
    static constexpr QColor kCommandColor{255, 170, 0};
    static constexpr QColor kGapColor{200, 200, 200};

    enum class Kind : std::uint8_t { command, gap };
    struct Mark {
        double key; // seconds, on the chart's time axis
        QString label;
        Kind kind;
        int row = 0;   // of its label, from the top
        int width = 0; // of its label, pixels
    };

    // On `keys`' axis rect, drawn on the plot's current layer (create it after the traces).
    explicit ChartMarks(QCPAxis* keys);

    // A mark at `key` (not before the last one's; an earlier one counts as at that one's).
    void add(double key, const QString& label, Kind kind);
    void clear();

    const std::deque<Mark>& marks() const { return marks_; }
    std::uint64_t revision() const { return revision_; }

  protected:
    QRect clipRect() const override;
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override;
    void draw(QCPPainter* painter) override;

  private:
    void placeLabels();

    QCPAxis* keys_;
    QFont font_;
    int line_height_ = 0;
    double key_per_px_ = 0; // of the labels' places
    std::deque<Mark> marks_;
    std::uint64_t revision_ = 0;
};

} // namespace zento
