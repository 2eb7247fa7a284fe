#pragma once
// Plain controls the windows are built from, beside the instrument widgets: a group frame that
// paints from a kept picture, and an opaque background that matches the group frames beneath a
// control.
#include <QGroupBox>
#include <QPixmap>
#include <QString>

#include <tuple>

class QPainter;

namespace zento {

// A group frame that keeps its drawn frame and title in a picture: drawing them anew lays out
// the title again each time, a blit of the picture does not. The picture is the same drawing,
// redone when anything it depends on changes.
class GroupFrame : public QGroupBox {
    Q_OBJECT
  public:
    using QGroupBox::QGroupBox;

    // The colour this frame shows inside its border when drawn over `beneath` (the style may
    // draw a translucent interior, so nested frames differ).
    QColor interiorColor(const QColor& beneath);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const QPixmap& picture();

    QPixmap picture_;
    std::tuple<QSize, qreal, QString, int, qint64, QString> key_;
};

// Gives `control` an opaque background of the colour its group frames show where it lies, so a
// change repaints the control alone, not the frames beneath it.
void paint_own_background(QWidget* control);

// For a control whose paintEvent begins with it: the background an auto-filled control shows
// (a solid colour) is filled here, in the control's own painting, and Qt's separate pass for it
// (a painter of its own for every repaint) is left out from the next paint on. Fills the
// event's `region` when the control fills its background; nothing otherwise.
void fill_own_background(QWidget* control, QPainter& painter, const QRegion& region);

} // namespace zento
