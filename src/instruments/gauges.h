#pragma once
// The vertical gauges: the segmented LED bar (altitude) and the thermometer.
// (See instruments/lamps.h for what every instrument widget promises.)
#include <QPixmap>
#include <QWidget>
#include <array>

class QPainter;

namespace zento {

// iLedBarX1: segmented vertical bar (17 x 297), range 0..200, colour sections ending at 50
// (green), 75 (yellow), then red. Position() returns the value as set; the picture is clipped.
class LedBar : public QWidget {
    Q_OBJECT
  public:
    explicit LedBar(QWidget* parent = nullptr);
    double Position() const { return position_; }
    void setPosition(double v);
    double minimum() const { return 0; }
    double maximum() const { return 200; }
    static constexpr int kSegments = 40; // 5 units each: sections end on segment edges
    static constexpr double kGreenEnd = 50;
    static constexpr double kYellowEnd = 75;
    // Segments lit for the current value (0..kSegments), counted from the bottom.
    int litSegments() const;
    // Segment i (0 = bottom) in widget coordinates, and its lit colour.
    QRectF segmentRect(int i) const;
    static QColor segmentColor(int i);
    QSize sizeHint() const override { return {17, 297}; }
    QSize minimumSizeHint() const override { return {8, 60}; }

  protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void changeEvent(QEvent*) override;

  private:
    double position_ = 0;
    QPixmap unlit_;
    QPixmap lit_;
};

// iThermometerX1: thermometer (33 x 305), range 0..50, column filled from the low end, with a
// scale. Position() returns the value as set; the column is clipped to the range.
class Thermometer : public QWidget {
    Q_OBJECT
  public:
    explicit Thermometer(QWidget* parent = nullptr);
    double Position() const { return position_; }
    void setPosition(double v);
    double minimum() const { return 0; }
    double maximum() const { return 50; }
    // The tube's inside: the column fills it from the bottom (minimum) to the top (maximum).
    QRectF tubeRect() const;
    // The filled part of the tube for the current value.
    QRectF columnRect() const;
    static constexpr QColor kColumnColor{220, 0, 0};
    QSize sizeHint() const override { return {33, 305}; }
    QSize minimumSizeHint() const override { return {20, 80}; }

  protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void changeEvent(QEvent*) override;

  private:
    double position_ = 0;
    QPixmap scale_;
};

} // namespace zento
