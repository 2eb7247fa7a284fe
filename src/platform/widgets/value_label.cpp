#include "platform/widgets/value_label.h"

#include "platform/widgets/form_controls.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace zento {

// ---- TextRun ------------------------------------------------------------------------------

TextRun::TextRun() = default;
TextRun::~TextRun() = default;
TextRun::TextRun(TextRun&&) noexcept = default;
TextRun& TextRun::operator=(TextRun&&) noexcept = default;

bool TextRun::fits(QStringView text) {
    // Control characters, line and paragraph separators and '&' are what drawText treats
    // specially (line breaks, tabs, mnemonics); a run holds none of them.
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c == u'&' ||
            c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph)
            return false;
    return true;
}

TextRun::TextRun(const QString& text, const QFont& font, const QPaintDevice* device)
    : text_(text), font_(font), device_(device) {
    lay_out();
    const QFontMetricsF metrics(layout_->font(), device);
    left_overhang_ = std::max<qreal>(0, -metrics.minLeftBearing());
    right_overhang_ = std::max<qreal>(0, -metrics.minRightBearing());
}

TextRun TextRun::relaid(const QString& text) const {
    TextRun run;
    run.text_ = text;
    run.font_ = font_;
    run.device_ = device_;
    run.left_overhang_ = left_overhang_;
    run.right_overhang_ = right_overhang_;
    run.lay_out();
    return run;
}

// Laid out as QPainter::drawText lays out a single line: one line of unbounded width at the
// origin, left to right, the font resolved for the device.
void TextRun::lay_out() {
    layout_ = std::make_unique<QTextLayout>(text_, font_, device_);
    layout_->setCacheEnabled(true);
    QTextOption option;
    option.setTextDirection(Qt::LeftToRight);
    layout_->setTextOption(option);
    layout_->beginLayout();
    QTextLine line = layout_->createLine();
    line.setLineWidth(0x01000000);
    line.setPosition(QPointF(0, 0));
    layout_->endLayout();
    width_ = line.horizontalAdvance();
    height_ = line.ascent() + line.descent();
}

qreal TextRun::x_offset(const QRect& r, int flags) const {
    if (flags & Qt::AlignRight) return r.width() - width_;
    if (flags & Qt::AlignHCenter) return (r.width() - width_) / 2;
    return 0;
}

qreal TextRun::cursor_x(int index) const {
    return layout_->lineAt(0).cursorToX(index);
}

void TextRun::draw(QPainter& painter, const QRect& r, int flags) const {
    if (!layout_ || text_.isEmpty()) return;
    qreal yoff = 0;
    if (flags & Qt::AlignBottom)
        yoff = r.height() - height_;
    else if (flags & Qt::AlignVCenter)
        yoff = (r.height() - height_) / 2;
    const qreal xoff = x_offset(r, flags);
    const QRectF bounds(r.x() + xoff, r.y() + yoff, width_, height_);
    // Like drawText: clipped to the rectangle only when the text reaches beyond it.
    const bool clip = !(flags & Qt::TextDontClip) && !QRectF(r).contains(bounds);
    if (clip) {
        painter.save();
        painter.setClipRect(r, Qt::IntersectClip);
    }
    layout_->lineAt(0).draw(&painter, QPointF(r.x() + xoff, r.y() + yoff));
    if (clip) painter.restore();
}

QRect TextRun::changed(const TextRun& before, const TextRun& after, const QRect& r, int flags) {
    if (before.empty() || after.empty() || before.font_ != after.font_) return r;
    const QString& a = before.text_;
    const QString& b = after.text_;
    if (a == b) return {};
    const int shorter = int(std::min(a.size(), b.size()));
    int prefix = 0;
    while (prefix < shorter && a[prefix] == b[prefix])
        ++prefix;
    int suffix = 0;
    while (suffix < shorter - prefix && a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
        ++suffix;
    // Glyphs that kerning moves are covered by their positions before and after; a letter next
    // to the change may form a ligature with it, so it counts as changed too.
    const auto joins = [](const QString& s, int i) {
        return i >= 0 && i < int(s.size()) && s[i].isLetter();
    };
    const int first = prefix - (joins(a, prefix - 1) ? 1 : 0);
    const int end_a = int(a.size()) - suffix + (joins(a, int(a.size()) - suffix) ? 1 : 0);
    const int end_b = int(b.size()) - suffix + (joins(b, int(b.size()) - suffix) ? 1 : 0);

    const qreal xa = r.x() + before.x_offset(r, flags);
    const qreal xb = r.x() + after.x_offset(r, flags);
    qreal left, right;
    if (xa != xb) { // the text moved: both whole
        left = std::min(xa, xb);
        right = std::max(xa + before.width_, xb + after.width_);
    } else {
        left = xa + std::min(before.cursor_x(first), after.cursor_x(first));
        const qreal ra = before.cursor_x(end_a), rb = after.cursor_x(end_b);
        // The rest is the same glyphs at the same places, or it moved with the change.
        right = xa + (ra == rb ? ra : std::max(before.width_, after.width_));
    }
    // Ink reaches beyond the pen positions by the font's bearings, and a pixel for smoothing.
    left -= std::max(before.left_overhang_, after.left_overhang_) + 1;
    right += std::max(before.right_overhang_, after.right_overhang_) + 1;
    return QRect(QPoint(int(std::floor(left)), r.top()), QPoint(int(std::ceil(right)), r.bottom()));
}

// ---- ValueLabel ---------------------------------------------------------------------------

ValueLabel::ValueLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

bool ValueLabel::plainLine() const {
    return isEnabled() && !wordWrap() && textFormat() != Qt::RichText &&
           !(textFormat() == Qt::AutoText && Qt::mightBeRichText(text())) && !buddy() &&
           frameWidth() == 0 && margin() == 0 && indent() <= 0 && pixmap().isNull() &&
           !text().isRightToLeft() && TextRun::fits(text());
}

// QLabel's own drawing flags for a left-to-right text without a mnemonic.
int ValueLabel::drawFlags() const {
    return int(QStyle::visualAlignment(Qt::LeftToRight, alignment())) | Qt::TextForceLeftToRight;
}

void ValueLabel::setValueText(QStringView text) {
    const QString shown = QLabel::text();
    if (QStringView(shown) == text) return;
    const QString s = text.toString();
    if (!isVisible() || run_.empty() || run_.text() != shown || !TextRun::fits(s) || !plainLine()) {
        run_ = TextRun();
        setText(s);
        return;
    }
    TextRun next = run_.relaid(s);
    const QRect dirty = TextRun::changed(run_, next, contentsRect(), drawFlags()) & rect();
    run_ = std::move(next);
    // setText repaints the whole label: here only the columns that changed are repainted.
    const bool updates_off = testAttribute(Qt::WA_UpdatesDisabled);
    setAttribute(Qt::WA_UpdatesDisabled, true);
    setText(s);
    setAttribute(Qt::WA_UpdatesDisabled, updates_off);
    if (!dirty.isEmpty()) update(dirty);
}

void ValueLabel::paintEvent(QPaintEvent* event) {
    if (!plainLine()) {
        {
            QPainter painter(this);
            fill_own_background(this, painter, event->region());
        }
        QLabel::paintEvent(event);
        return;
    }
    if (run_.empty() || run_.text() != text()) run_ = TextRun(text(), font(), this);
    QPainter painter(this);
    fill_own_background(this, painter, event->region());
    // The pen QStyle::drawItemText gives the text: the palette's brush for the label's role.
    painter.setPen(QPen(palette().brush(foregroundRole()), painter.pen().widthF()));
    run_.draw(painter, contentsRect(), drawFlags());
}

void ValueLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) run_ = TextRun();
    QLabel::changeEvent(event);
}

} // namespace zento
