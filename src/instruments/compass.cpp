#include "instruments/compass.h"
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
    if (changes_picture(e))
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

} // namespace zento
