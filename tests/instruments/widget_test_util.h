#pragma once
// Helpers for the widget tests: render a widget into an image and look at its pixels.
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QWidget>

#include <cmath>
#include <ostream>

// Readable colours in failure messages.
inline void PrintTo(const QColor& c, std::ostream* os) {
    *os << "rgb(" << c.red() << "," << c.green() << "," << c.blue() << "," << c.alpha() << ")";
}

namespace zento::test {

// A colour no widget paints, so untouched pixels can be told apart.
inline const QColor kBackdrop{255, 0, 255};

// The widget as it paints itself, on the backdrop, at the given device pixel ratio.
inline QImage render(QWidget& w, qreal dpr = 1) {
    QImage img(QSize(int(w.width() * dpr), int(w.height() * dpr)), QImage::Format_ARGB32);
    img.setDevicePixelRatio(dpr);
    img.fill(kBackdrop);
    // Without the window background: a parentless widget would otherwise fill it.
    w.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    return img;
}

inline QColor pixel(const QImage& img, QPointF logical) {
    const qreal dpr = img.devicePixelRatio();
    return img.pixelColor(int(logical.x() * dpr), int(logical.y() * dpr));
}

inline bool near_colour(const QColor& a, const QColor& b, int tol = 6) {
    return std::abs(a.red() - b.red()) <= tol && std::abs(a.green() - b.green()) <= tol &&
           std::abs(a.blue() - b.blue()) <= tol;
}

// Pointer red: strong red, little green or blue.
inline bool is_red(const QColor& c) {
    return c.red() > 190 && c.green() < 70 && c.blue() < 70;
}

} // namespace zento::test
