#pragma once
// Instrument widgets: thin QPainter widgets that keep one value and paint it.
// Values outside a widget's range are drawn clipped; no value ever breaks a widget.
// Each widget exposes its role, name (caption) and value/state to assistive technology.
//
// Setting a value that would not change the picture schedules no repaint, and the static
// parts (dial face, scales, unlit segments) are cached per size and device pixel ratio, so
// the widgets can be driven hundreds of times a second.
#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <array>

#include "platform/widgets/value_label.h"

class QPainter;

namespace zento {

// Lamp colours of the main window.
inline constexpr QColor kLampRed{255, 0, 0};   // lit: Msg_Led, TXD, the switch lamp
inline constexpr QColor kLampRedOff{57, 0, 0}; // unlit Msg_Led (and the lamp default)
inline constexpr QColor kTxdOff{128, 64, 64};  // unlit TXD

// Lamp base: lit or unlit (Active). Accessible: role Indicator, name = label/accessibleName,
// state checked while lit.
class Lamp : public QWidget {
    Q_OBJECT
  public:
    explicit Lamp(QWidget* parent = nullptr);
    bool Active() const { return active_; }
    void setActive(bool on);
    void setActiveColor(const QColor& c);
    void setInactiveColor(const QColor& c);
    QColor activeColor() const { return on_color_; }
    QColor inactiveColor() const { return off_color_; }
    void setRaisedBevel(bool raised);
    bool raisedBevel() const { return raised_; }
    // The colour the lamp face shows now.
    QColor faceColor() const { return active_ ? on_color_ : off_color_; }
    QSize sizeHint() const override { return {17, 17}; }
    QSize minimumSizeHint() const override { return {5, 5}; }
  signals:
    void activeChanged(bool on);

  protected:
    // Draws the whole lamp with the given face colour. Paints are served from a picture per
    // state (lit, unlit), so blinking costs one blit; call invalidateLamp() when anything
    // drawLamp() uses changes.
    virtual void drawLamp(QPainter& p, const QColor& face) const;
    void invalidateLamp();
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void changeEvent(QEvent*) override;

    bool active_ = false;
    bool raised_ = false;
    QColor on_color_{255, 0, 0};
    QColor off_color_{57, 0, 0};

  private:
    QPixmap lamp_[2]; // unlit, lit
};

// Msg_Led: diamond lamp (21 x 21, lit red, unlit RGB(57,0,0), raised bevel).
class LedDiamond : public Lamp {
    Q_OBJECT
  public:
    explicit LedDiamond(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {21, 21}; }

  protected:
    void paintEvent(QPaintEvent*) override;
    void drawLamp(QPainter& p, const QColor& face) const override;
};

// iLedRectangleX: rectangular lamp with an optional centre label ("Lucida Console", or the
// system's fixed-pitch font where that family is missing). 65 x 13 with a label, 17 x 17 without.
class LedRectangle : public Lamp {
    Q_OBJECT
  public:
    explicit LedRectangle(QWidget* parent = nullptr);
    void setLabel(const QString& text);
    QString label() const { return label_; }
    QFont labelFont() const;
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent*) override;
    void drawLamp(QPainter& p, const QColor& face) const override;

  private:
    QString label_;
};

// iSwitchLedX1: a switch with a lamp on the left of its caption (137 x 41, lamp red).
// Operated by mouse, keyboard (space) and assistive technology (press action): emits clicked().
// Accessible: role Button, name = caption, state checked while the lamp is lit.
class SwitchLed : public QAbstractButton {
    Q_OBJECT
  public:
    explicit SwitchLed(QWidget* parent = nullptr);
    bool Active() const { return active_; }
    void setActive(bool on);
    void setCaption(const QString& text) { setText(text); }
    QString caption() const { return text(); }
    QSize sizeHint() const override { return {137, 41}; }
    QSize minimumSizeHint() const override { return {40, 20}; }
    // Where the lamp is drawn, in widget coordinates.
    QRectF lampRect() const;
    QColor lampColor() const { return active_ ? kLampRed : lamp_off_; }
  signals:
    void activeChanged(bool on);

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    bool active_ = false;
    QColor lamp_off_{72, 0, 0};
};

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

// iLabelX1: text label (caption "Temp" until the first attitude frame). The text is shrunk
// to fit the widget's width, down to a readable minimum.
class TextLabel : public QWidget {
    Q_OBJECT
  public:
    explicit TextLabel(QWidget* parent = nullptr);
    QString Caption() const { return caption_; }
    void setCaption(const QString& text);
    QSize sizeHint() const override { return {26, 14}; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    // The widget's font, shrunk so that `text` fits the width.
    QFont fittedFont(const QString& text) const;

    QString caption_;
};

// iPanelX: titled panel, decoration only; children are placed inside it. The contents margins
// keep laid-out children clear of the title.
class Panel : public QWidget {
    Q_OBJECT
  public:
    explicit Panel(QWidget* parent = nullptr);
    QString TitleText() const { return title_; }
    void setTitleText(const QString& text);
    // Height of the title band at the top.
    int titleHeight() const;

  protected:
    void paintEvent(QPaintEvent*) override;
    void changeEvent(QEvent*) override;

  private:
    void updateMargins();
    QString title_;
};

// Registers the accessibility factory for the widgets above (idempotent).
void install_widget_accessibility();

} // namespace zento
