#include "chart/chart_marks.h"

#include <QFontMetrics>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace zento {

namespace {
constexpr int kRows = 3;
constexpr int kPadding = 2; // around a label's text
const QColor kLabelGround(60, 60, 60);
} // namespace

ChartMarks::ChartMarks(QCPAxis* keys)
    : QCPLayerable(keys->parentPlot()), keys_(keys), font_(QStringLiteral("Arial")) {
    setObjectName(QStringLiteral("marks"));
    font_.setStyleHint(QFont::SansSerif);
    font_.setPixelSize(10);
    line_height_ = QFontMetrics(font_).height() + 2 * kPadding;
}

void ChartMarks::add(double key, const QString& label, Kind kind) {
    if (!std::isfinite(key)) return;
    if (!marks_.empty()) key = std::max(key, marks_.back().key);
    if (marks_.size() >= std::size_t(kMaxMarks)) marks_.pop_front();
    marks_.push_back({key, label, kind, 0, QFontMetrics(font_).horizontalAdvance(label)});
    key_per_px_ = 0; // places the labels again
    ++revision_;
}

void ChartMarks::clear() {
    if (marks_.empty()) return;
    marks_.clear();
    ++revision_;
}

QRect ChartMarks::clipRect() const {
    return keys_->axisRect()->rect();
}

void ChartMarks::applyDefaultAntialiasingHint(QCPPainter* painter) const {
    painter->setAntialiasing(false); // crisp one-pixel lines, as the traces
}

// Each label on the first row where it clears the labels before it. Rows depend only on the
// marks' distances in pixels, not on what is in view, so they stay as the chart scrolls.
void ChartMarks::placeLabels() {
    const double span = keys_->range().size(), width = keys_->axisRect()->width();
    const double kpp = width > 0 ? span / width : 0;
    if (kpp <= 0 || std::abs(kpp - key_per_px_) <= 1e-9 * kpp) return;
    key_per_px_ = kpp;
    std::array<double, kRows> free_from; // key where each row is free again
    free_from.fill(-std::numeric_limits<double>::infinity());
    for (Mark& m : marks_) {
        m.row = 0;
        while (m.row < kRows - 1 && m.key < free_from[std::size_t(m.row)])
            ++m.row;
        free_from[std::size_t(m.row)] = m.key + (m.width + 2 * kPadding + 6) * kpp;
    }
}

void ChartMarks::draw(QCPPainter* painter) {
    if (marks_.empty()) return;
    placeLabels();
    const QRect area = keys_->axisRect()->rect();
    const QCPRange view = keys_->range();
    const double kpp = key_per_px_ > 0 ? key_per_px_ : 1;
    const auto first = std::lower_bound(
        marks_.begin(), marks_.end(), view.lower - 200 * kpp,
        [](const Mark& m, double key) { return m.key < key; }); // a label reaches 200 px right
    painter->setFont(font_);
    const int ascent = QFontMetrics(font_).ascent();
    for (auto it = first; it != marks_.end() && it->key <= view.upper; ++it) {
        const int x = int(std::floor(keys_->coordToPixel(it->key) + 1e-6));
        const QColor colour = it->kind == Kind::gap ? kGapColor : kCommandColor;
        painter->setPen(QPen(colour, 0, it->kind == Kind::gap ? Qt::DashLine : Qt::SolidLine));
        painter->drawLine(QLineF(x, area.top(), x, area.bottom()));
        const QRect box(x + 1, area.bottom() - (it->row + 1) * line_height_,
                        it->width + 2 * kPadding, line_height_);
        painter->fillRect(box, kLabelGround);
        painter->setPen(colour);
        painter->drawText(QPointF(box.left() + kPadding, box.top() + kPadding + ascent), it->label);
    }
}

} // namespace zento
