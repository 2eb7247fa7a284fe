#include "instruments/lamps.h"

#include "instruments/instrument_paint.h"
#include "controls/fonts.h"
#include "controls/form_controls.h"
#include "instruments/gauge_scale.h"

#include <QEvent>
#include <QFontInfo>
#include <QPaintEvent>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace zento {

using namespace instrument_paint;

// ---- Lamp -------------------------------------------------------------------------------

Lamp::Lamp(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void Lamp::setActive(bool on) {
    if (on == active_) return;
    active_ = on;
    if (on_color_ != off_color_) update();
    notify_checked(this);
    emit activeChanged(on);
}

void Lamp::setActiveColor(const QColor& c) {
    if (c == on_color_) return;
    on_color_ = c;
    lamp_[1] = QPixmap();
    if (active_) update();
}

void Lamp::setInactiveColor(const QColor& c) {
    if (c == off_color_) return;
    off_color_ = c;
    lamp_[0] = QPixmap();
    if (!active_) update();
}

void Lamp::setRaisedBevel(bool raised) {
    if (raised == raised_) return;
    raised_ = raised;
    invalidateLamp();
    update();
}

void Lamp::invalidateLamp() {
    lamp_[0] = QPixmap();
    lamp_[1] = QPixmap();
}

void Lamp::resizeEvent(QResizeEvent*) {
    invalidateLamp();
}

void Lamp::changeEvent(QEvent* e) {
    if (changes_picture(e))
        invalidateLamp();
    QWidget::changeEvent(e);
}

void Lamp::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    fill_own_background(this, p, e->region());
    const qreal dpr = device_ratio(p);
    QPixmap& pm = lamp_[active_ ? 1 : 0];
    if (!cache_fits(pm, size(), dpr)) {
        pm = new_cache(size(), dpr);
        QPainter c(&pm);
        drawLamp(c, faceColor());
    }
    p.drawPixmap(QPointF(0, 0), pm);
}

void Lamp::drawLamp(QPainter& p, const QColor& face) const {
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();
    QPainterPath outline;
    outline.addRect(r);
    QPainterPath inner;
    inner.addRect(r.adjusted(1.5, 1.5, -1.5, -1.5));
    paint_bevelled(p, outline, inner, raised_, face);
}

// ---- LedDiamond -------------------------------------------------------------------------

LedDiamond::LedDiamond(QWidget* parent) : Lamp(parent) {
    raised_ = true;
    on_color_ = kLampRed;
    off_color_ = kLampRedOff;
    resize(sizeHint());
}

void LedDiamond::paintEvent(QPaintEvent* e) {
    Lamp::paintEvent(e);
}

void LedDiamond::drawLamp(QPainter& p, const QColor& face) const {
    p.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(width(), height());
    const QPointF c(width() / 2.0, height() / 2.0);
    auto diamond = [&](qreal half) {
        QPainterPath path;
        path.moveTo(c.x(), c.y() - half);
        path.lineTo(c.x() + half, c.y());
        path.lineTo(c.x(), c.y() + half);
        path.lineTo(c.x() - half, c.y());
        path.closeSubpath();
        return path;
    };
    const qreal half = side / 2.0;
    const qreal bevel = std::max<qreal>(1.5, side * 0.12);
    paint_bevelled(p, diamond(half), diamond(std::max<qreal>(1, half - bevel)), raised_, face);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kHousingEdge, 1));
    p.drawPath(diamond(half - 0.5));
}

// ---- LedRectangle -----------------------------------------------------------------------

LedRectangle::LedRectangle(QWidget* parent) : Lamp(parent) {
    resize(sizeHint());
}

void LedRectangle::setLabel(const QString& text) {
    if (text == label_) return;
    label_ = text;
    invalidateLamp();
    updateGeometry();
    update();
    notify_name(this);
}

QFont LedRectangle::labelFont() const {
    QFont f;
    if (testAttribute(Qt::WA_SetFont)) {
        // A font given to this lamp wins; a family that is not installed falls back to the
        // fixed-pitch one at the same size.
        f = font();
        if (QFontInfo(f).family().compare(f.family(), Qt::CaseInsensitive) != 0)
            f.setFamily(fixed_pitch_family());
    } else {
        f = QFont(fixed_pitch_family());
        f.setPixelSize(std::max(6, int(height() * 0.72)));
    }
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    return f;
}

QSize LedRectangle::sizeHint() const {
    return label_.isEmpty() ? QSize(17, 17) : QSize(65, 13);
}

void LedRectangle::paintEvent(QPaintEvent* e) {
    Lamp::paintEvent(e);
}

void LedRectangle::drawLamp(QPainter& p, const QColor& face) const {
    const QRectF r = rect();
    const qreal bevel =
        raised_ ? std::clamp<qreal>(std::min(r.width(), r.height()) * 0.12, 1, 3) : 1.0;
    QPainterPath outline;
    outline.addRect(r);
    QPainterPath inner;
    inner.addRect(r.adjusted(bevel, bevel, -bevel, -bevel));
    paint_bevelled(p, outline, inner, raised_, face);
    p.setPen(QPen(kHousingEdge, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
    if (!label_.isEmpty()) {
        p.setFont(labelFont());
        p.setPen(text_on(face));
        p.drawText(r, Qt::AlignCenter, label_);
    }
}

// ---- SwitchLed --------------------------------------------------------------------------

SwitchLed::SwitchLed(QWidget* parent) : QAbstractButton(parent) {
    setText(QStringLiteral("Connect AHRS"));
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    resize(sizeHint());
}

void SwitchLed::setActive(bool on) {
    if (on == active_) return;
    active_ = on;
    update();
    notify_checked(this);
    emit activeChanged(on);
}

QRectF SwitchLed::lampRect() const {
    const qreal lh = std::clamp<qreal>(height() - 16, 6, 24);
    const qreal lw = std::clamp<qreal>(width() * 0.08, 6, 12);
    return {10, (height() - lh) / 2.0, lw, lh};
}

void SwitchLed::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QStyleOptionButton opt;
    opt.initFrom(this);
    opt.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
    style()->drawControl(QStyle::CE_PushButtonBevel, &opt, &p, this);

    p.setRenderHint(QPainter::Antialiasing);
    const QRectF lamp = lampRect().translated(isDown() ? 1 : 0, isDown() ? 1 : 0);
    QPainterPath outline;
    outline.addRoundedRect(lamp, 2, 2);
    QPainterPath face;
    face.addRoundedRect(lamp.adjusted(1.5, 1.5, -1.5, -1.5), 1, 1);
    paint_bevelled(p, outline, face, false, lampColor());
    if (active_) {
        // Soft glow around a lit lamp.
        p.setPen(QPen(QColor(255, 60, 60, 90), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(lamp.adjusted(-1.5, -1.5, 1.5, 1.5), 3, 3);
    }

    QRectF textRect = rect();
    textRect.setLeft(lamp.right() + 8);
    textRect.setRight(width() - 6);
    if (isDown()) textRect.translate(1, 1);
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    p.setPen(palette().color(QPalette::ButtonText));
    p.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, text());
    if (hasFocus()) {
        QStyleOptionFocusRect fr;
        fr.initFrom(this);
        fr.rect = rect().adjusted(4, 4, -4, -4);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &fr, &p, this);
    }
}

} // namespace zento
