#include "platform/widgets/widgets.h"

#include <QPainter>

namespace zento {

Lamp::Lamp(QWidget* parent) : QWidget(parent) {}

void Lamp::setActive(bool on) {
    if (on == active_) return;
    active_ = on;
    update();
    emit activeChanged(on);
}

void Lamp::setActiveColor(const QColor& c) {
    if (c == on_color_) return;
    on_color_ = c;
    if (active_) update();
}

void Lamp::setInactiveColor(const QColor& c) {
    if (c == off_color_) return;
    off_color_ = c;
    if (!active_) update();
}

void Lamp::setRaisedBevel(bool raised) {
    if (raised == raised_) return;
    raised_ = raised;
    update();
}

LedDiamond::LedDiamond(QWidget* parent) : Lamp(parent) {
    raised_ = true;
    resize(21, 21);
}

void LedDiamond::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRectF r = rect();
    QPolygonF poly{{r.center().x(), r.top()},
                   {r.right(), r.center().y()},
                   {r.center().x(), r.bottom()},
                   {r.left(), r.center().y()}};
    p.setPen(Qt::NoPen);
    p.setBrush(active_ ? on_color_ : off_color_);
    p.drawPolygon(poly);
}

LedRectangle::LedRectangle(QWidget* parent) : Lamp(parent) { resize(17, 17); }

void LedRectangle::setLabel(const QString& text) {
    if (text == label_) return;
    label_ = text;
    update();
}

void LedRectangle::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), active_ ? on_color_ : off_color_);
    if (!label_.isEmpty()) p.drawText(rect(), Qt::AlignCenter, label_);
}

SwitchLed::SwitchLed(QWidget* parent) : QAbstractButton(parent) {
    setText(QStringLiteral("Connect AHRS"));
    setFocusPolicy(Qt::StrongFocus);
    resize(137, 41);
}

void SwitchLed::setActive(bool on) {
    if (on == active_) return;
    active_ = on;
    update();
}

void SwitchLed::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect lamp(6, height() / 2 - 6, 12, 12);
    p.fillRect(lamp, active_ ? QColor(255, 0, 0) : QColor(57, 0, 0));
    p.drawText(rect().adjusted(24, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, text());
}

Compass::Compass(QWidget* parent) : QWidget(parent) { resize(137, 137); }

void Compass::setDirection(double degrees) {
    if (degrees == direction_) return;
    direction_ = degrees;
    update();
}

void Compass::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c = QRectF(rect()).center();
    const double rad = std::min(width(), height()) / 2.0 - 2;
    p.drawEllipse(c, rad, rad);
}

LedBar::LedBar(QWidget* parent) : QWidget(parent) { resize(17, 297); }

void LedBar::setPosition(double v) {
    if (v == position_) return;
    position_ = v;
    update();
}

void LedBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
}

Thermometer::Thermometer(QWidget* parent) : QWidget(parent) { resize(33, 305); }

void Thermometer::setPosition(double v) {
    if (v == position_) return;
    position_ = v;
    update();
}

void Thermometer::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
}

TextLabel::TextLabel(QWidget* parent) : QWidget(parent), caption_(QStringLiteral("Temp")) {}

void TextLabel::setCaption(const QString& text) {
    if (text == caption_) return;
    caption_ = text;
    update();
}

void TextLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawText(rect(), Qt::AlignCenter, caption_);
}

Panel::Panel(QWidget* parent) : QWidget(parent) {}

void Panel::setTitleText(const QString& text) {
    if (text == title_) return;
    title_ = text;
    update();
}

void Panel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.drawText(rect().adjusted(4, 2, 0, 0), Qt::AlignTop | Qt::AlignLeft, title_);
}

void install_widget_accessibility() {}

} // namespace zento
