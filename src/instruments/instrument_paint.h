#pragma once
// What the instrument widgets share in their paint code: the housing colours, the cached
// pictures' fit, the lamp bevel and the accessibility notifications. Internal to src/instruments.
#include "instruments/accessible_events.h"

#include <QAccessible>
#include <QColor>
#include <QEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>

namespace zento::instrument_paint {

// Instrument housing: the bar's body and the bezels, the same on light and dark themes.
constexpr QColor kHousing{34, 36, 40};
constexpr QColor kHousingEdge{12, 12, 14};
constexpr QColor kBevelLight{236, 236, 236};
constexpr QColor kBevelDark{72, 72, 72};

// Device pixels per logical pixel for this painter: the device transform carries it both on
// a high-DPI screen and when the widget is rendered into an image of another pixel ratio.
inline qreal device_ratio(const QPainter& p) {
    const QTransform& t = p.deviceTransform();
    const qreal s = std::hypot(t.m11(), t.m12());
    if (!(s > 0.05) || !std::isfinite(s)) return 1;
    return std::round(s * 100) / 100;
}

// A cached picture is reused while the widget's size and the device pixel ratio are unchanged.
inline bool cache_fits(const QPixmap& pm, const QSize& size, qreal dpr) {
    return !pm.isNull() && pm.devicePixelRatio() == dpr &&
           pm.deviceIndependentSize().toSize() == size;
}

inline QPixmap new_cache(const QSize& size, qreal dpr) {
    QPixmap pm(QSize(qCeil(size.width() * dpr), qCeil(size.height() * dpr)));
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    return pm;
}

// Picks black or white for text drawn on `bg`.
inline QColor text_on(const QColor& bg) {
    const int luma = (bg.red() * 299 + bg.green() * 587 + bg.blue() * 114) / 1000;
    return luma > 140 ? QColor(0, 0, 0) : QColor(255, 255, 255);
}

inline QColor mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

inline void notify_checked(QObject* o) {
    if (!accessible_events::wanted()) return;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent ev(o, changed);
    accessible_events::send(&ev);
}

inline void notify_value(QObject* o, const QVariant& v) {
    if (!accessible_events::wanted()) return;
    QAccessibleValueChangeEvent ev(o, v);
    accessible_events::send(&ev);
}

inline void notify_name(QObject* o) {
    if (!accessible_events::wanted()) return;
    QAccessibleEvent ev(o, QAccessible::NameChanged);
    accessible_events::send(&ev);
}

// Lamp face with a bevel: the face itself is one flat colour, so its centre shows exactly
// the lamp colour. `outline` is the lamp's shape in widget coordinates.
inline void paint_bevelled(QPainter& p, const QPainterPath& outline, const QPainterPath& face, bool raised,
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

// Whether `e` changes what a cached picture drawn with the widget's palette, font and style shows.
inline bool changes_picture(const QEvent* e) {
    return e->type() == QEvent::PaletteChange || e->type() == QEvent::FontChange ||
           e->type() == QEvent::StyleChange;
}

} // namespace zento::instrument_paint
