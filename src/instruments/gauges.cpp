#include "instruments/gauges.h"

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
    if (changes_picture(e))
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

} // namespace zento
