#include "instruments/attitude_indicator.h"

#include "instruments/horizon_geometry.h"
#include "instruments/horizon_strip.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QTransform>
#include <qdrawutil.h>

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace zento {
namespace {

constexpr QImage::Format kFormat = QImage::Format_RGB32;

std::u16string_view view(const QString& s) {
    return {QStringView(s).utf16(), std::size_t(s.size())};
}

// Role Graphic, name "Attitude indicator", the current roll and pitch texts as value and
// description.
class AttitudeAccessible : public QAccessibleWidget {
  public:
    explicit AttitudeAccessible(AttitudeIndicator* w)
        : QAccessibleWidget(w, QAccessible::Graphic, QStringLiteral("Attitude indicator")) {}
    QString text(QAccessible::Text t) const override {
        const auto* w = static_cast<const AttitudeIndicator*>(widget());
        switch (t) {
        case QAccessible::Name:
            return QStringLiteral("Attitude indicator");
        case QAccessible::Value:
        case QAccessible::Description:
            return QStringLiteral("Roll %1, pitch %2").arg(w->rollText(), w->pitchText());
        default:
            return QAccessibleWidget::text(t);
        }
    }
};

QAccessibleInterface* accessible_factory(const QString& class_name, QObject* object) {
    if (class_name == QLatin1String(AttitudeIndicator::staticMetaObject.className()))
        if (auto* w = qobject_cast<AttitudeIndicator*>(object)) return new AttitudeAccessible(w);
    return nullptr;
}

} // namespace

const QImage& horizon_strip_image() {
    static const QImage strip = [] {
        const std::vector<std::uint32_t> px = horizon_strip();
        QImage img(kStripWidth, kStripHeight, kFormat);
        for (int y = 0; y < kStripHeight; ++y)
            std::copy_n(px.data() + std::size_t(y) * kStripWidth, kStripWidth,
                        reinterpret_cast<std::uint32_t*>(img.scanLine(y)));
        return img;
    }();
    return strip;
}

AttitudeIndicator::AttitudeIndicator(QWidget* parent)
    : QWidget(parent), strip_(horizon_strip_image()),
      picture_(kOuterWidth - 2 * kBorder, kOuterHeight - 2 * kBorder, kFormat) {
    static const bool factory_installed = [] {
        QAccessible::installFactory(accessible_factory);
        return true;
    }();
    (void)factory_installed;
    setObjectName(QStringLiteral("Piczitai"));
    setAccessibleName(QStringLiteral("Attitude indicator"));
    setFixedSize(kOuterWidth, kOuterHeight);
    setAttribute(Qt::WA_OpaquePaintEvent); // the border and the picture cover every pixel
    Draw_attitude(QStringLiteral("0"), QStringLiteral("0"));
}

void AttitudeIndicator::Rotate_blt(QImage& dest_dc, int centre_x, int centre_y, int angle,
                                   const QImage& src_dc, int src_x, int src_y, int width,
                                   int height) {
    if (width <= 0 || height <= 0 || src_dc.isNull() || dest_dc.isNull()) return;
    const BltPoints pts = rotate_blt_points(angle, centre_x, centre_y, width, height);

    // The affine map that takes the source rectangle's top-left, top-right and bottom-left
    // corners onto the three points: x' = m11 x + m21 y + dx, y' = m12 x + m22 y + dy.
    const double m11 = double(pts.p[1].x - pts.p[0].x) / width;
    const double m12 = double(pts.p[1].y - pts.p[0].y) / width;
    const double m21 = double(pts.p[2].x - pts.p[0].x) / height;
    const double m22 = double(pts.p[2].y - pts.p[0].y) / height;
    const QTransform map(m11, m12, m21, m22, pts.p[0].x - m11 * src_x - m21 * src_y,
                         pts.p[0].y - m12 * src_x - m22 * src_y);

    // Only the part of the source rectangle that lies inside the source image is copied
    // (64-bit: the offsets may be anywhere in the 32-bit range).
    const std::int64_t left = std::max<std::int64_t>(src_x, 0);
    const std::int64_t top = std::max<std::int64_t>(src_y, 0);
    const std::int64_t right = std::min<std::int64_t>(std::int64_t(src_x) + width, src_dc.width());
    const std::int64_t bottom =
        std::min<std::int64_t>(std::int64_t(src_y) + height, src_dc.height());
    if (left >= right || top >= bottom) return;
    const QRectF part(double(left), double(top), double(right - left), double(bottom - top));

    QPainter p(&dest_dc); // no smoothing, no antialiasing: nearest pixels, rows stay crisp
    p.setTransform(map);
    p.drawImage(part, src_dc, part);
}

void AttitudeIndicator::Draw_attitude(const QString& roll_str, const QString& pitch_str) {
    const bool texts_changed = roll_str != roll_str_ || pitch_str != pitch_str_;
    roll_str_ = roll_str;
    pitch_str_ = pitch_str;
    const int angle = roll_angle(text_number(view(roll_str)));
    const std::int32_t offset = pitch_offset(text_number(view(pitch_str)));

    if (!picture_.isNull() && drawn_ != std::pair(angle, offset)) {
        drawn_ = std::pair(angle, offset);
        picture_.fill(kClearColour);
        const float W = float(picture_.width());
        const float H = float(picture_.height());
        const IntPoint centre = surface_centre(W, H);
        Rotate_blt(picture_, centre.x, centre.y, angle, strip_, 0, offset, kStripWidth,
                   kStripHeight);
        for (const SymbolRect& r : aircraft_symbol(W, H)) {
            const QRect box =
                QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom)) & picture_.rect();
            const QRgb colour = r.white ? 0xFFFFFFFFu : 0xFF000000u;
            for (int y = box.top(); y <= box.bottom(); ++y)
                std::fill_n(reinterpret_cast<QRgb*>(picture_.scanLine(y)) + box.left(), box.width(),
                            colour);
        }
        // The finished picture replaces the shown one at the next paint; the border stays.
        update(QRect(QPoint(kBorder, kBorder), picture_.size()));
    }

    if (texts_changed && QAccessible::isActive()) {
        QAccessibleEvent ev(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&ev);
    }
}

void AttitudeIndicator::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QRect inside(QPoint(kBorder, kBorder), picture_.size());
    if (!inside.contains(event->rect())) qDrawWinPanel(&p, rect(), palette(), true);
    p.drawImage(kBorder, kBorder, picture_);
}

void AttitudeIndicator::resizeEvent(QResizeEvent* event) {
    const QSize inner = event->size() - QSize(2 * kBorder, 2 * kBorder);
    if (inner.isValid() && !inner.isEmpty()) {
        if (inner != picture_.size()) {
            picture_ = QImage(inner, kFormat);
            drawn_.reset();
            Draw_attitude(roll_str_, pitch_str_);
        }
    } else {
        picture_ = QImage();
        drawn_.reset();
    }
}

} // namespace zento
