#pragma once
// Plain controls the windows are built from, beside the instrument widgets: a group frame that
// paints from a kept picture, and an opaque background that matches the group frames beneath a
// control.
#include <QGroupBox>
#include <QPixmap>
#include <QString>

#include <tuple>

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

} // namespace zento
