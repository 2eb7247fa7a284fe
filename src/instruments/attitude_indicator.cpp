#include "instruments/attitude_indicator.h"

#include "instruments/horizon_geometry.h"
#include "instruments/horizon_strip.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <qdrawutil.h>

#include <algorithm>
#include <array>
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
    // Ten colours: one byte a pixel keeps the 200 x 1000 strip at 200 KB, a quarter of what the
    // turned blit, which walks it crosswise, would otherwise pull through the caches.
    static const QImage strip = [] {
        const std::vector<std::uint32_t> px = horizon_strip();
        QList<QRgb> colours;
        QImage img(kStripWidth, kStripHeight, QImage::Format_Indexed8);
        for (int y = 0; y < kStripHeight; ++y) {
            uchar* line = img.scanLine(y);
            for (int x = 0; x < kStripWidth; ++x) {
                const QRgb c = px[std::size_t(y) * kStripWidth + std::size_t(x)];
                qsizetype i = colours.indexOf(c);
                if (i < 0) {
                    i = colours.size();
                    colours.push_back(c);
                }
                line[x] = uchar(i);
            }
        }
        img.setColorTable(colours);
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
    if (dest_dc.depth() != 32) return;
    const PixelRows dest{reinterpret_cast<std::uint32_t*>(dest_dc.bits()), dest_dc.width(),
                         dest_dc.height(), dest_dc.bytesPerLine() / 4};
    if (src_dc.format() == QImage::Format_Indexed8) {
        std::array<std::uint32_t, 256> colours;
        colours.fill(0xFF000000u); // an index past the table reads as black
        const QList<QRgb> table = src_dc.colorTable();
        std::copy_n(table.begin(), std::min<qsizetype>(table.size(), 256), colours.begin());
        const IndexedPixelRows src{src_dc.constBits(), src_dc.width(), src_dc.height(),
                                   src_dc.bytesPerLine(), colours.data()};
        rotate_blt(dest, centre_x, centre_y, angle, src, src_x, src_y, width, height);
    } else if (src_dc.depth() == 32) {
        const ConstPixelRows src{reinterpret_cast<const std::uint32_t*>(src_dc.constBits()),
                                 src_dc.width(), src_dc.height(), src_dc.bytesPerLine() / 4};
        rotate_blt(dest, centre_x, centre_y, angle, src, src_x, src_y, width, height);
    }
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
