#include "instruments/panel.h"

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
