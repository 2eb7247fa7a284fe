#pragma once
// Lamps: the round and rectangular lamps of the main window and the switch with a lamp.
// Instrument widgets are thin QPainter widgets that keep one value and paint it. Values outside
// a widget's range are drawn clipped; no value ever breaks a widget. Each widget exposes its
// role, name (caption) and value/state to assistive technology. Setting a value that would not
// change the picture schedules no repaint, and the static parts (dial face, scales, unlit
// segments) are cached per size and device pixel ratio, so the widgets can be driven hundreds of
// times a second.
#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>
#include <QWidget>

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

} // namespace zento
