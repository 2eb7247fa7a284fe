#pragma once
// Instrument widgets: thin QPainter widgets that keep one value and paint it.
// Values outside a widget's range are drawn clipped; no value ever breaks a widget.
// Each widget exposes its role, name (caption) and value/state to assistive technology.
#include <QAbstractButton>
#include <QColor>
#include <QString>
#include <QWidget>

namespace zento {

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
signals:
    void activeChanged(bool on);

protected:
    bool active_ = false;
    bool raised_ = false;
    QColor on_color_{255, 0, 0};
    QColor off_color_{57, 0, 0};
};

// Msg_Led: diamond lamp (21 x 21, lit red, unlit RGB(57,0,0), raised bevel).
class LedDiamond : public Lamp {
    Q_OBJECT
public:
    explicit LedDiamond(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;
};

// iLedRectangleX: rectangular lamp with an optional centre label ("Lucida Console").
class LedRectangle : public Lamp {
    Q_OBJECT
public:
    explicit LedRectangle(QWidget* parent = nullptr);
    void setLabel(const QString& text);
    QString label() const { return label_; }

protected:
    void paintEvent(QPaintEvent*) override;

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

protected:
    void paintEvent(QPaintEvent*) override;

private:
    bool active_ = false;
};

// iCompassX1: dial (137 x 137), red pointer, ticks "0" "90" "180" "270" at N E S W and
// "NE" "SE" "SW" "NW". Any direction is accepted (negative, beyond 360) and shown modulo 360.
class Compass : public QWidget {
    Q_OBJECT
public:
    explicit Compass(QWidget* parent = nullptr);
    double Direction() const { return direction_; }
    void setDirection(double degrees);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    double direction_ = 0;
};

// iLedBarX1: segmented vertical bar (17 x 297), range 0..200, colour sections ending at 50
// (green), 75 (yellow), then red.
class LedBar : public QWidget {
    Q_OBJECT
public:
    explicit LedBar(QWidget* parent = nullptr);
    double Position() const { return position_; }
    void setPosition(double v);
    double minimum() const { return 0; }
    double maximum() const { return 200; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    double position_ = 0;
};

// iThermometerX1: thermometer (33 x 305), range 0..50, filled from the low end.
class Thermometer : public QWidget {
    Q_OBJECT
public:
    explicit Thermometer(QWidget* parent = nullptr);
    double Position() const { return position_; }
    void setPosition(double v);
    double minimum() const { return 0; }
    double maximum() const { return 50; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    double position_ = 0;
};

// iLabelX1: text label (caption "Temp" until the first attitude frame).
class TextLabel : public QWidget {
    Q_OBJECT
public:
    explicit TextLabel(QWidget* parent = nullptr);
    QString Caption() const { return caption_; }
    void setCaption(const QString& text);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString caption_;
};

// iPanelX: titled panel, decoration only; children are placed inside it.
class Panel : public QWidget {
    Q_OBJECT
public:
    explicit Panel(QWidget* parent = nullptr);
    QString TitleText() const { return title_; }
    void setTitleText(const QString& text);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString title_;
};

// Registers the accessibility factory for the widgets above (idempotent).
void install_widget_accessibility();

} // namespace zento
