#pragma once
// The compass dial.
// (See instruments/lamps.h for what every instrument widget promises.)
#include <QColor>
#include <QPixmap>
#include <QRect>
#include <QWidget>

class QPainter;

namespace zento {

// iCompassX1: dial (137 x 137), red pointer, ticks "0" "90" "180" "270" at N E S W and
// "NE" "SE" "SW" "NW". Any direction is accepted (negative, beyond 360) and shown modulo 360;
// NaN or infinity shows the dial without a pointer. Direction() returns the value as set.
class Compass : public QWidget {
    Q_OBJECT
  public:
    explicit Compass(QWidget* parent = nullptr);
    double Direction() const { return direction_; }
    void setDirection(double degrees);
    // The heading shown, in [0, 360); NaN while no pointer is drawn.
    double heading() const;
    QSize sizeHint() const override { return {137, 137}; }
    QSize minimumSizeHint() const override { return {40, 40}; }

  protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void changeEvent(QEvent*) override;

  private:
    struct Dial { // the pointer's geometry at the widget's size
        QPointF centre;
        qreal R, tip, tail, half, hub;
        // The pointer's outline about the centre, heading up: tip, right, tail, left.
        std::array<QPointF, 4> pointer() const {
            return {QPointF(0, -tip), QPointF(half, 0), QPointF(0, tail), QPointF(-half, 0)};
        }
    };
    Dial dial() const;
    // Where the pointer at heading h (NaN: none) and the hub paint.
    QRect pointerBounds(double h) const;

    double direction_ = 0;
    QPixmap face_;
};

} // namespace zento
