#include "controls/form_controls.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionGroupBox>

#include <vector>

namespace zento {

QColor GroupFrame::interiorColor(const QColor& beneath) {
    const QImage image = picture().toImage().convertToFormat(QImage::Format_ARGB32);
    const QColor c = image.pixelColor(image.width() / 2, image.height() * 3 / 4);
    const double a = c.alphaF();
    auto mix = [a](double over, double under) { return over * a + under * (1 - a); };
    return QColor::fromRgbF(float(mix(c.redF(), beneath.redF())),
                            float(mix(c.greenF(), beneath.greenF())),
                            float(mix(c.blueF(), beneath.blueF())));
}

void GroupFrame::paintEvent(QPaintEvent* event) {
    const QPixmap& frame = picture();
    const qreal ratio = frame.devicePixelRatio();
    QPainter painter(this);
    for (const QRect& r : event->region())
        painter.drawPixmap(r, frame,
                           QRectF(QPointF(r.topLeft()) * ratio, QSizeF(r.size()) * ratio));
}

const QPixmap& GroupFrame::picture() {
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const qreal ratio = devicePixelRatioF();
    const auto key = std::make_tuple(size(), ratio, option.text, int(option.state),
                                     palette().cacheKey(), font().key());
    if (picture_.isNull() || key != key_) {
        picture_ = QPixmap((QSizeF(size()) * ratio).toSize());
        picture_.setDevicePixelRatio(ratio);
        picture_.fill(Qt::transparent);
        QPainter painter(&picture_);
        style()->drawComplexControl(QStyle::CC_GroupBox, &option, &painter, this);
        key_ = key;
    }
    return picture_;
}

void paint_own_background(QWidget* control) {
    std::vector<GroupFrame*> frames;
    QWidget* w = control->parentWidget();
    for (; w && qobject_cast<GroupFrame*>(w); w = w->parentWidget())
        frames.push_back(static_cast<GroupFrame*>(w));
    QColor color = (w ? w : control)->palette().color(QPalette::Window);
    for (auto it = frames.rbegin(); it != frames.rend(); ++it)
        color = (*it)->interiorColor(color);
    QPalette pal = control->palette();
    pal.setColor(QPalette::Window, color);
    control->setPalette(pal);
    control->setAutoFillBackground(true);
}

void fill_own_background(QWidget* control, QPainter& painter, const QRegion& region) {
    const QBrush brush = control->palette().brush(control->backgroundRole());
    const bool fill = control->autoFillBackground() && brush.style() == Qt::SolidPattern;
    const bool took_over = control->testAttribute(Qt::WA_OpaquePaintEvent);
    if (fill != took_over) {
        control->setAttribute(Qt::WA_OpaquePaintEvent, fill);
        if (took_over) control->update(); // nothing was painted beneath this time
    }
    if (!fill) return;
    for (const QRect& r : region)
        painter.fillRect(r, brush);
}

} // namespace zento
