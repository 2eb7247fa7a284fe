#include "platform/widgets/widgets.h"

#include "platform/widgets/accessible_events.h"
#include "platform/widgets/fonts.h"
#include "platform/widgets/form_controls.h"
#include "platform/widgets/gauge_scale.h"

#include <QAccessible>
#include <QEvent>
#include <QFontInfo>
#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace zento {
namespace {

// Instrument housing: the bar's body and the bezels, the same on light and dark themes.
constexpr QColor kHousing{34, 36, 40};
constexpr QColor kHousingEdge{12, 12, 14};
constexpr QColor kBevelLight{236, 236, 236};
constexpr QColor kBevelDark{72, 72, 72};

// Device pixels per logical pixel for this painter: the device transform carries it both on
// a high-DPI screen and when the widget is rendered into an image of another pixel ratio.
qreal device_ratio(const QPainter& p) {
    const QTransform& t = p.deviceTransform();
    const qreal s = std::hypot(t.m11(), t.m12());
    if (!(s > 0.05) || !std::isfinite(s)) return 1;
    return std::round(s * 100) / 100;
}

// A cached picture is reused while the widget's size and the device pixel ratio are unchanged.
bool cache_fits(const QPixmap& pm, const QSize& size, qreal dpr) {
    return !pm.isNull() && pm.devicePixelRatio() == dpr &&
           pm.deviceIndependentSize().toSize() == size;
}

QPixmap new_cache(const QSize& size, qreal dpr) {
    QPixmap pm(QSize(qCeil(size.width() * dpr), qCeil(size.height() * dpr)));
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    return pm;
}

// Picks black or white for text drawn on `bg`.
QColor text_on(const QColor& bg) {
    const int luma = (bg.red() * 299 + bg.green() * 587 + bg.blue() * 114) / 1000;
    return luma > 140 ? QColor(0, 0, 0) : QColor(255, 255, 255);
}

QColor mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

void notify_checked(QObject* o) {
    if (!accessible_events::wanted()) return;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent ev(o, changed);
    accessible_events::send(&ev);
}

void notify_value(QObject* o, const QVariant& v) {
    if (!accessible_events::wanted()) return;
    QAccessibleValueChangeEvent ev(o, v);
    accessible_events::send(&ev);
}

void notify_name(QObject* o) {
    if (!accessible_events::wanted()) return;
    QAccessibleEvent ev(o, QAccessible::NameChanged);
    accessible_events::send(&ev);
}

// Lamp face with a bevel: the face itself is one flat colour, so its centre shows exactly
// the lamp colour. `outline` is the lamp's shape in widget coordinates.
void paint_bevelled(QPainter& p, const QPainterPath& outline, const QPainterPath& face, bool raised,
                    const QColor& colour) {
    p.setPen(Qt::NoPen);
    const QRectF b = outline.boundingRect();
    if (raised) {
        QLinearGradient g(b.topLeft(), b.bottomRight());
        g.setColorAt(0.0, kBevelLight);
        g.setColorAt(0.45, kBevelLight);
        g.setColorAt(0.55, kBevelDark);
        g.setColorAt(1.0, kBevelDark);
        p.setBrush(g);
    } else {
        p.setBrush(kBevelDark);
    }
    p.drawPath(outline);
    p.setBrush(colour);
    p.drawPath(face);
    // Gloss over the upper part of the face; the centre keeps the plain lamp colour.
    const QRectF f = face.boundingRect();
    if (f.height() >= 6) {
        const QRectF band(f.left(), f.top(), f.width(), f.height() * 0.4);
        QLinearGradient gloss(band.topLeft(), band.bottomLeft());
        gloss.setColorAt(0, QColor(255, 255, 255, 110));
        gloss.setColorAt(1, QColor(255, 255, 255, 0));
        p.save();
        p.setClipPath(face, Qt::IntersectClip);
        p.fillRect(band, gloss);
        p.restore();
    }
}

} // namespace

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
    if (e->type() == QEvent::PaletteChange || e->type() == QEvent::FontChange ||
        e->type() == QEvent::StyleChange)
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

// ---- Compass ----------------------------------------------------------------------------

Compass::Compass(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    resize(sizeHint());
}

double Compass::heading() const {
    return gauge::heading(direction_);
}

void Compass::setDirection(double degrees) {
    const double before = heading();
    direction_ = degrees;
    const double after = heading();
    if (gauge::same_value(before, after)) return;
    // The face does not change: only where the pointer was and where it is now.
    update(QRegion(pointerBounds(before)) + pointerBounds(after));
    notify_value(this, std::isnan(after) ? QVariant() : QVariant(after));
}

Compass::Dial Compass::dial() const {
    Dial d;
    d.centre = QPointF(width() / 2.0, height() / 2.0);
    d.R = std::min(width(), height()) / 2.0 - 0.5;
    d.tip = d.R * 0.74;
    d.tail = d.R * 0.30;
    d.half = std::max<qreal>(2, d.R * 0.075);
    d.hub = std::max<qreal>(2, d.R * 0.08);
    return d;
}

QRect Compass::pointerBounds(double h) const {
    const Dial d = dial();
    if (d.R < 4) return rect();
    QRectF box(d.centre.x() - d.hub, d.centre.y() - d.hub, 2 * d.hub, 2 * d.hub);
    if (!std::isnan(h)) {
        QTransform turn;
        turn.translate(d.centre.x(), d.centre.y());
        turn.rotate(h);
        const std::array<QPointF, 4> outline = d.pointer();
        box |= turn.map(QPolygonF(QList<QPointF>(outline.begin(), outline.end()))).boundingRect();
    }
    // The pen and the smoothing reach a pixel beyond the outline.
    return box.adjusted(-2, -2, 2, 2).toAlignedRect() & rect();
}

void Compass::resizeEvent(QResizeEvent*) {
    face_ = QPixmap();
}

void Compass::changeEvent(QEvent* e) {
    if (e->type() == QEvent::PaletteChange || e->type() == QEvent::FontChange ||
        e->type() == QEvent::StyleChange)
        face_ = QPixmap();
    QWidget::changeEvent(e);
}

void Compass::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    fill_own_background(this, p, e->region());
    p.setRenderHint(QPainter::Antialiasing);
    const qreal dpr = device_ratio(p);
    const Dial d = dial();
    const QPointF c = d.centre;
    const qreal R = d.R;
    if (R < 4) return;
    const qreal faceR = R * 0.92;

    if (!cache_fits(face_, size(), dpr)) {
        face_ = new_cache(size(), dpr);
        QPainter f(&face_);
        f.setRenderHint(QPainter::Antialiasing);
        f.setRenderHint(QPainter::TextAntialiasing);
        // Bezel.
        QLinearGradient bezel(c.x() - R, c.y() - R, c.x() + R, c.y() + R);
        bezel.setColorAt(0, QColor(205, 208, 212));
        bezel.setColorAt(1, QColor(70, 72, 78));
        f.setPen(QPen(kHousingEdge, 1));
        f.setBrush(bezel);
        f.drawEllipse(c, R, R);
        // Face in the theme's base colour, so the labels read on light and dark themes.
        const QColor base = palette().color(QPalette::Base);
        const QColor ink = palette().color(QPalette::Text);
        f.setPen(Qt::NoPen);
        f.setBrush(base);
        f.drawEllipse(c, faceR, faceR);
        // Ticks every 5 degrees, longer every 15 and 45.
        for (int a = 0; a < 360; a += 5) {
            const qreal len = a % 45 == 0 ? R * 0.13 : (a % 15 == 0 ? R * 0.08 : R * 0.045);
            const qreal w = a % 45 == 0 ? 1.6 : 1.0;
            const qreal s = std::sin(qDegreesToRadians(double(a)));
            const qreal co = std::cos(qDegreesToRadians(double(a)));
            const qreal r0 = faceR - 1.5;
            f.setPen(QPen(a % 15 == 0 ? ink : mix(base, ink, 0.55), w, Qt::SolidLine, Qt::FlatCap));
            f.drawLine(QPointF(c.x() + r0 * s, c.y() - r0 * co),
                       QPointF(c.x() + (r0 - len) * s, c.y() - (r0 - len) * co));
        }
        // Labels: degrees at the cardinal points, letters between them.
        struct Mark {
            int angle;
            const char* text;
            bool cardinal;
        };
        static constexpr Mark marks[] = {{0, "0", true},     {45, "NE", false},  {90, "90", true},
                                         {135, "SE", false}, {180, "180", true}, {225, "SW", false},
                                         {270, "270", true}, {315, "NW", false}};
        QFont big = font();
        big.setPixelSize(std::max(6, int(R * 0.17)));
        big.setBold(true);
        QFont small = font();
        small.setPixelSize(std::max(5, int(R * 0.13)));
        const qreal lr = faceR - R * 0.13 - R * 0.16;
        for (const Mark& m : marks) {
            f.setFont(m.cardinal ? big : small);
            f.setPen(m.cardinal ? ink : mix(base, ink, 0.75));
            const qreal s = std::sin(qDegreesToRadians(double(m.angle)));
            const qreal co = std::cos(qDegreesToRadians(double(m.angle)));
            const QPointF at(c.x() + lr * s, c.y() - lr * co);
            const QRectF box(at.x() - R * 0.4, at.y() - R * 0.15, R * 0.8, R * 0.3);
            f.drawText(box, Qt::AlignCenter, QString::fromLatin1(m.text));
        }
    }
    p.drawPixmap(QPointF(0, 0), face_);

    const double h = heading();
    if (!std::isnan(h)) {
        p.save();
        p.translate(c);
        p.rotate(h); // clockwise on screen: 0 up (N), 90 right (E)
        const auto [tip, right, tail, left] = d.pointer();
        QPainterPath north;
        north.moveTo(tip);
        north.lineTo(right);
        north.lineTo(left);
        north.closeSubpath();
        QPainterPath south;
        south.moveTo(right);
        south.lineTo(tail);
        south.lineTo(left);
        south.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(128, 132, 140));
        p.drawPath(south);
        p.setBrush(kLampRed);
        p.drawPath(north);
        p.restore();
    }
    // Hub.
    p.setPen(QPen(kHousingEdge, 1));
    p.setBrush(QColor(90, 94, 102));
    p.drawEllipse(c, d.hub, d.hub);
}

// ---- LedBar -----------------------------------------------------------------------------

LedBar::LedBar(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    resize(sizeHint());
}

int LedBar::litSegments() const {
    return gauge::lit_segments(position_, minimum(), maximum(), kSegments);
}

void LedBar::setPosition(double v) {
    if (gauge::same_value(v, position_)) return;
    const int before = litSegments();
    const double shownBefore = gauge::clip(position_, minimum(), maximum());
    position_ = v;
    if (litSegments() != before) update();
    const double shown = gauge::clip(position_, minimum(), maximum());
    if (shown != shownBefore) notify_value(this, shown);
}

QRectF LedBar::segmentRect(int i) const {
    const qreal mx = std::max<qreal>(2, width() * 0.18);
    const qreal my = 3;
    const qreal bottom = height() - my;
    const qreal pitch = (height() - 2 * my) / kSegments;
    const qreal gap = pitch >= 5 ? 2 : (pitch >= 3 ? 1 : 0);
    // Edges on whole logical pixels keep the segments crisp.
    const qreal yb = std::round(bottom - i * pitch);
    const qreal yt = std::round(bottom - (i + 1) * pitch) + gap;
    return {mx, yt, width() - 2 * mx, std::max<qreal>(1, yb - yt)};
}

QColor LedBar::segmentColor(int i) {
    const double upper = (i + 1) * (200.0 / kSegments);
    if (upper <= kGreenEnd) return {0, 214, 64};
    if (upper <= kYellowEnd) return {255, 208, 0};
    return {255, 36, 36};
}

void LedBar::resizeEvent(QResizeEvent*) {
    unlit_ = QPixmap();
    lit_ = QPixmap();
}

void LedBar::changeEvent(QEvent* e) {
    if (e->type() == QEvent::StyleChange) {
        unlit_ = QPixmap();
        lit_ = QPixmap();
    }
    QWidget::changeEvent(e);
}

void LedBar::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    fill_own_background(this, p, e->region());
    const qreal dpr = device_ratio(p);
    if (!cache_fits(unlit_, size(), dpr) || !cache_fits(lit_, size(), dpr)) {
        unlit_ = new_cache(size(), dpr);
        lit_ = new_cache(size(), dpr);
        QPainter u(&unlit_);
        u.setRenderHint(QPainter::Antialiasing);
        u.setPen(QPen(kHousingEdge, 1));
        u.setBrush(kHousing);
        u.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
        u.setRenderHint(QPainter::Antialiasing, false);
        QPainter l(&lit_);
        for (int i = 0; i < kSegments; ++i) {
            const QRectF r = segmentRect(i);
            const QColor on = segmentColor(i);
            u.fillRect(r, mix(kHousing, on, 0.22));
            l.fillRect(r, on);
            if (r.height() >= 4) // a lighter top edge reads as a lit diode
                l.fillRect(QRectF(r.left(), r.top(), r.width(), 1), on.lighter(135));
        }
    }
    p.drawPixmap(QPointF(0, 0), unlit_);
    const int n = litSegments();
    if (n > 0) {
        p.setClipRect(QRectF(0, segmentRect(n - 1).top(), width(), height()));
        p.drawPixmap(QPointF(0, 0), lit_);
    }
}

// ---- Thermometer ------------------------------------------------------------------------

namespace {
struct ThermoGeometry {
    QRectF tube;  // inside of the tube, scale minimum at its bottom, maximum at its top
    QPointF bulb; // bulb centre
    qreal bulbR;  // bulb radius
    qreal glassW; // wall thickness
    qreal scaleX; // where the ticks start
};

ThermoGeometry thermo_geometry(const QSize& s) {
    ThermoGeometry g;
    const qreal w = s.width();
    const qreal h = s.height();
    g.bulbR = std::clamp<qreal>(w * 0.22, 4, 12);
    const qreal tubeW = std::max<qreal>(2, g.bulbR * 0.75);
    const qreal cx = g.bulbR + 2.5;
    g.bulb = QPointF(cx, h - g.bulbR - 2);
    g.glassW = 1.5;
    const qreal top = 8;
    const qreal zero = g.bulb.y() - g.bulbR - 4;
    g.tube = QRectF(cx - tubeW / 2, top, tubeW, std::max<qreal>(1, zero - top));
    g.scaleX = cx + tubeW / 2 + g.glassW + 1.5;
    return g;
}
} // namespace

Thermometer::Thermometer(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    resize(sizeHint());
}

QRectF Thermometer::tubeRect() const {
    return thermo_geometry(size()).tube;
}

QRectF Thermometer::columnRect() const {
    const QRectF t = tubeRect();
    const qreal h = gauge::fraction(position_, minimum(), maximum()) * t.height();
    return {t.left(), t.bottom() - h, t.width(), h};
}

void Thermometer::setPosition(double v) {
    if (gauge::same_value(v, position_)) return;
    const QRectF before = columnRect();
    const double shownBefore = gauge::clip(position_, minimum(), maximum());
    position_ = v;
    const QRectF after = columnRect();
    // Only the tube changes: repaint it alone, and only when the column moved.
    if (after != before) update(tubeRect().adjusted(-1, -1, 1, 1).toAlignedRect());
    const double shown = gauge::clip(position_, minimum(), maximum());
    if (shown != shownBefore) notify_value(this, shown);
}

void Thermometer::resizeEvent(QResizeEvent*) {
    scale_ = QPixmap();
}

void Thermometer::changeEvent(QEvent* e) {
    if (e->type() == QEvent::PaletteChange || e->type() == QEvent::FontChange ||
        e->type() == QEvent::StyleChange)
        scale_ = QPixmap();
    QWidget::changeEvent(e);
}

void Thermometer::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    fill_own_background(this, p, e->region());
    const qreal dpr = device_ratio(p);
    const ThermoGeometry g = thermo_geometry(size());
    const QColor glass = mix(palette().color(QPalette::Base), QColor(200, 206, 214), 0.35);
    if (!cache_fits(scale_, size(), dpr)) {
        scale_ = new_cache(size(), dpr);
        QPainter s(&scale_);
        s.setRenderHint(QPainter::Antialiasing);
        const QColor ink = palette().color(QPalette::WindowText);
        const QColor edge = mix(palette().color(QPalette::Window), ink, 0.55);
        // Glass: tube and bulb outline, then their inside.
        const QRectF outer = g.tube.adjusted(-g.glassW, -g.glassW - 2, g.glassW, 0);
        QPainterPath shape;
        shape.addRoundedRect(outer.adjusted(0, 0, 0, g.bulb.y() - outer.bottom()),
                             outer.width() / 2, outer.width() / 2);
        shape.addEllipse(g.bulb, g.bulbR + g.glassW, g.bulbR + g.glassW);
        s.setPen(Qt::NoPen);
        s.setBrush(edge);
        s.drawPath(shape.simplified());
        s.setBrush(glass);
        s.drawRect(QRectF(g.tube.left(), g.tube.top() - 2, g.tube.width(), g.tube.height() + 2));
        // Reservoir: the bulb and the neck under the scale's minimum are always filled.
        s.setBrush(kColumnColor);
        s.drawEllipse(g.bulb, g.bulbR, g.bulbR);
        s.setRenderHint(QPainter::Antialiasing, false);
        s.fillRect(
            QRectF(g.tube.left(), g.tube.bottom(), g.tube.width(), g.bulb.y() - g.tube.bottom()),
            kColumnColor);
        s.setRenderHint(QPainter::Antialiasing);
        s.setBrush(QColor(255, 255, 255, 90));
        s.drawEllipse(QPointF(g.bulb.x() - g.bulbR * 0.35, g.bulb.y() - g.bulbR * 0.35),
                      g.bulbR * 0.28, g.bulbR * 0.28);
        // Scale: a tick per degree, longer every 5, labelled every 10.
        QFont lf = font();
        lf.setPixelSize(std::clamp(int(width() * 0.27), 6, 11));
        s.setFont(lf);
        const double lo = minimum();
        const double hi = maximum();
        for (int v = int(lo); v <= int(hi); ++v) {
            const qreal y = g.tube.bottom() - (v - lo) / (hi - lo) * g.tube.height();
            const bool major = v % 10 == 0;
            const qreal len = major ? 5 : (v % 5 == 0 ? 3.5 : 2);
            s.setPen(QPen(major ? ink : edge, 1, Qt::SolidLine, Qt::FlatCap));
            const qreal yy = std::round(y) + 0.5;
            s.drawLine(QPointF(g.scaleX, yy), QPointF(g.scaleX + len, yy));
            if (major) {
                s.setPen(ink);
                const QRectF box(g.scaleX + 6, y - 6, width() - g.scaleX - 6.5, 12);
                s.drawText(box, Qt::AlignRight | Qt::AlignVCenter, QString::number(v));
            }
        }
    }
    p.drawPixmap(QPointF(0, 0), scale_);
    const QRectF col = columnRect();
    if (col.height() > 0) p.fillRect(col, kColumnColor);
}

// ---- TextLabel --------------------------------------------------------------------------

TextLabel::TextLabel(QWidget* parent) : QWidget(parent), caption_(QStringLiteral("Temp")) {
    resize(sizeHint());
}

namespace {
constexpr int kTextLabelFlags = Qt::AlignCenter | Qt::TextSingleLine;
}

QFont TextLabel::fittedFont(const QString& text) const {
    QFont f = font();
    // Shrink to the widget's width, never below a readable size.
    QFontMetricsF fm(f);
    const qreal w = fm.horizontalAdvance(text);
    if (w > width() && w > 0) {
        const qreal px = f.pixelSize() > 0 ? f.pixelSize() : QFontInfo(f).pixelSize();
        f.setPixelSize(std::max(7, int(px * width() / w)));
    }
    return f;
}

void TextLabel::setCaption(const QString& text) {
    if (text == caption_) return;
    caption_ = text;
    update();
    notify_name(this);
}

void TextLabel::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    fill_own_background(this, p, e->region());
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(palette().color(QPalette::WindowText));
    p.setFont(fittedFont(caption_));
    p.drawText(rect(), kTextLabelFlags, caption_);
}

// ---- Panel ------------------------------------------------------------------------------

Panel::Panel(QWidget* parent) : QWidget(parent) {
    updateMargins();
}

int Panel::titleHeight() const {
    return fontMetrics().height() + 6;
}

void Panel::updateMargins() {
    setContentsMargins(4, titleHeight() + 4, 4, 4);
}

void Panel::setTitleText(const QString& text) {
    if (text == title_) return;
    title_ = text;
    update();
    notify_name(this);
}

void Panel::changeEvent(QEvent* e) {
    if (e->type() == QEvent::FontChange) updateMargins();
    QWidget::changeEvent(e);
}

void Panel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal th = titleHeight();
    const QColor edge = pal.color(QPalette::Mid);
    // Body.
    p.setPen(QPen(edge, 1));
    p.setBrush(mix(pal.color(QPalette::Window), pal.color(QPalette::Base), 0.35));
    p.drawRoundedRect(r, 4, 4);
    // Title band.
    QPainterPath band;
    band.addRoundedRect(r, 4, 4);
    QPainterPath top;
    top.addRect(QRectF(r.left(), r.top(), r.width(), th));
    p.setPen(Qt::NoPen);
    QLinearGradient g(0, r.top(), 0, r.top() + th);
    const QColor button = pal.color(QPalette::Button);
    g.setColorAt(0, button.lighter(108));
    g.setColorAt(1, button.darker(106));
    p.setBrush(g);
    p.drawPath(band.intersected(top));
    p.setPen(QPen(edge, 1));
    p.drawLine(QPointF(r.left(), r.top() + th), QPointF(r.right(), r.top() + th));
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    p.setPen(pal.color(QPalette::ButtonText));
    p.drawText(QRectF(r.left() + 6, r.top(), r.width() - 12, th),
               Qt::AlignCenter | Qt::TextSingleLine, title_);
}

} // namespace zento
