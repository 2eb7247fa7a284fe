#include "instruments/value_label.h"

#include "controls/form_controls.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <utility>

namespace zento {

namespace {

// The number's characters: the ten digits, '+', '-' and '.'.
constexpr int kNumberChars = 13;
constexpr char16_t kNumber[] = u"0123456789+-.";

int number_char(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    return u == u'+' ? 10 : u == u'-' ? 11 : u == u'.' ? 12 : -1;
}

// Where the number lies in `text`, [from, to): the first digit with the signs and points just
// before it and the digits and points after it; from == to when there is no digit.
std::pair<qsizetype, qsizetype> find_number(QStringView text) {
    const auto digit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    const qsizetype n = text.size();
    qsizetype first = 0;
    while (first < n && !digit(text[first]))
        ++first;
    if (first == n) return {n, n};
    qsizetype from = first, to = first;
    while (from > 0 && number_char(text[from - 1]) >= 10)
        --from;
    while (to < n && (digit(text[to]) || text[to] == u'.'))
        ++to;
    return {from, to};
}

// Texts drawn as a single line: no control characters, line or paragraph separators, or '&'
// (what drawText treats specially: line breaks, tabs, mnemonics).
bool single_line(QStringView text) {
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c == u'&' ||
            c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph)
            return false;
    return true;
}

// Lays `layout` out as QPainter::drawText lays out a single line: one line of unbounded width at
// the origin, left to right.
QTextLine lay_out(QTextLayout& layout) {
    QTextOption option;
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(0x01000000);
    line.setPosition(QPointF(0, 0));
    layout.endLayout();
    return line;
}

// The glyphs of runs in the order of their pen positions; none when a run is not a plain one
// (right to left, decorated, without a font).
struct Glyph {
    QRawFont face;
    quint32 index;
    QPointF pos;
};
std::vector<Glyph> glyphs_of(const QList<QGlyphRun>& runs) {
    std::vector<Glyph> out;
    for (const QGlyphRun& run : runs) {
        if (run.flags() != QGlyphRun::GlyphRunFlags() || !run.rawFont().isValid()) return {};
        const QList<quint32> index = run.glyphIndexes();
        const QList<QPointF> pos = run.positions();
        for (qsizetype i = 0; i < index.size(); ++i)
            out.push_back({run.rawFont(), index[i], pos[i]});
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Glyph& a, const Glyph& b) { return a.pos.x() < b.pos.x(); });
    return out;
}

QRectF ink_of(const QList<QGlyphRun>& runs) {
    QRectF ink;
    for (const QGlyphRun& run : runs)
        ink |= run.boundingRect();
    return ink;
}

} // namespace

// The number's characters in a font for a device, next to the caption's characters `before`
// and `after` (null where the number begins or ends the text): each one's glyph and advance,
// taken from one layout of a text of character pairs: each number character followed by each
// number character and by `after`, and `before` followed by each number character. Valid when
// every pair places its second character where the first one's advance ends, the same advance
// in every pair (so nothing shapes them but their advances), and the number's characters are
// single glyphs of one face.
struct ValueLabel::Digits {
    QFont font;
    int dpi = 0;
    QChar before, after;
    bool valid = false;
    QRawFont face;
    std::array<quint32, kNumberChars> index{};
    std::array<qreal, kNumberChars> advance{};
    qreal reach_left = 0, reach_right = 0; // how far ink reaches beyond pen position and advance

    Digits(const QFont& f, const QPaintDevice* device, QChar b, QChar a)
        : font(f), dpi(device->logicalDpiY()), before(b), after(a) {
        QString probe;
        const auto pair = [&](QChar first, QChar second) {
            probe += first;
            probe += second;
        };
        for (int first = 0; first < kNumberChars; ++first) {
            for (int second = 0; second < kNumberChars; ++second)
                pair(kNumber[first], kNumber[second]);
            if (!after.isNull()) pair(kNumber[first], after);
        }
        if (!before.isNull())
            for (int second = 0; second < kNumberChars; ++second)
                pair(before, kNumber[second]);
        QTextLayout layout(probe, font, device);
        const QTextLine line = lay_out(layout);
        const std::vector<Glyph> g = glyphs_of(line.glyphRuns());
        if (g.size() != std::size_t(probe.size())) return;
        std::array<bool, kNumberChars> seen{};
        qreal before_advance = -1;
        for (std::size_t i = 0; i < g.size(); i += 2) {
            if (g[i].pos.y() != line.ascent() || g[i + 1].pos.y() != line.ascent()) return;
            const qreal adv = g[i + 1].pos.x() - g[i].pos.x();
            const int k = number_char(probe[qsizetype(i)]);
            if (k < 0) { // `before`
                if (before_advance >= 0 && adv != before_advance) return;
                before_advance = adv;
            } else if (!seen[std::size_t(k)]) {
                seen[std::size_t(k)] = true;
                index[std::size_t(k)] = g[i].index;
                advance[std::size_t(k)] = adv;
                if (k == 0) face = g[i].face;
            } else if (g[i].index != index[std::size_t(k)] || adv != advance[std::size_t(k)]) {
                return;
            }
            if (k >= 0 && g[i].face != face) return;
        }
        for (int k = 0; k < kNumberChars; ++k) {
            const QRectF ink = face.boundingRect(index[std::size_t(k)]);
            reach_left = std::max(reach_left, -ink.left());
            reach_right = std::max(reach_right, ink.right() - advance[std::size_t(k)]);
        }
        valid = true;
    }

    bool made_for(const QFont& f, int d, QChar b, QChar a) const {
        return dpi == d && before == b && after == a && font == f;
    }
};

// The caption: the text before and after the number, laid out by Qt with the stand-in digit '0'
// where the number goes. Valid when the stand-in is the digit table's '0' (face, glyph and
// advance), so that the number's glyphs take its place.
struct ValueLabel::Caption {
    QString before, after;
    QList<QGlyphRun> runs_before, runs_after;
    QRectF ink_before, ink_after;
    qreal number_x = 0;                      // where the number begins
    qreal width = 0, ascent = 0, height = 0; // of the line with the stand-in
    bool valid = false;

    Caption(QStringView b, QStringView a, const QFont& font, const QPaintDevice* device,
            const Digits& digits)
        : before(b.toString()), after(a.toString()) {
        QTextLayout layout(before + u'0' + after, font, device);
        const QTextLine line = lay_out(layout);
        const int at = int(before.size());
        if (at > 0) runs_before = line.glyphRuns(0, at);
        if (!after.isEmpty()) runs_after = line.glyphRuns(at + 1, int(after.size()));
        const std::vector<Glyph> stand_in = glyphs_of(line.glyphRuns(at, 1));
        const std::vector<Glyph> rest = glyphs_of(runs_after);
        if (stand_in.size() != 1 || (!after.isEmpty() && rest.empty()) ||
            (!before.isEmpty() && glyphs_of(runs_before).empty()))
            return;
        number_x = stand_in[0].pos.x();
        width = line.horizontalAdvance();
        ascent = line.ascent();
        height = line.ascent() + line.descent();
        const qreal next = rest.empty() ? width : rest.front().pos.x();
        ink_before = ink_of(runs_before);
        ink_after = ink_of(runs_after);
        valid = digits.valid && stand_in[0].face == digits.face &&
                stand_in[0].index == digits.index[0] && next - number_x == digits.advance[0];
    }
};

ValueLabel::ValueLabel(const QString& text, QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText); // a reading is never markup (and is not scanned for it)
    setText(text);
}

ValueLabel::~ValueLabel() = default;

bool ValueLabel::numberPlaced() const {
    return !placed_.isEmpty() && placed_ == text();
}

bool ValueLabel::placedForScreen() {
    // (Someone may have called QLabel::setText; the resolution follows the window's screen.)
    if (!numberPlaced() || digits_->dpi != logicalDpiY()) placed_.clear();
    return !placed_.isEmpty();
}

bool ValueLabel::plainLine() const {
    if (!isEnabled() || wordWrap() || textFormat() == Qt::RichText || buddy() ||
        frameWidth() != 0 || margin() != 0 || indent() > 0)
        return false;
    const QString t = text();
    // A QLabel holds a text or a picture: with a text there is no pixmap to ask for.
    if (t.isEmpty() && !pixmap().isNull()) return false;
    return !(textFormat() == Qt::AutoText && Qt::mightBeRichText(t)) && !t.isRightToLeft() &&
           single_line(t);
}

// QLabel's own drawing flags for a left-to-right text without a mnemonic.
int ValueLabel::drawFlags() const {
    return int(QStyle::visualAlignment(Qt::LeftToRight, alignment())) | Qt::TextForceLeftToRight;
}

qreal ValueLabel::textWidth() const {
    return caption_->width + number_width_ - digits_->advance[0];
}

qreal ValueLabel::xOffset(qreal width) const {
    const int flags = drawFlags();
    const qreal room = contentsRect().width();
    if (flags & Qt::AlignRight) return room - width;
    if (flags & Qt::AlignHCenter) return (room - width) / 2;
    return 0;
}

ValueLabel::Placed ValueLabel::place(const QString& text) {
    placed_.clear();
    if (!single_line(text)) return Placed::No;
    const auto [from, to] = find_number(text);
    if (from == to) return Placed::No;
    const QChar before = from > 0 ? text[from - 1] : QChar();
    const QChar after = to < text.size() ? text[to] : QChar();
    const int dpi = logicalDpiY();
    if (!digits_ || !digits_->made_for(font(), dpi, before, after)) {
        digits_ = std::make_unique<Digits>(font(), this, before, after);
        caption_.reset();
    }
    if (!digits_->valid) return Placed::No;
    const QStringView text_before = QStringView(text).left(from);
    const QStringView text_after = QStringView(text).mid(to);
    Placed placed = Placed::SameCaption;
    if (!caption_ || caption_->before != text_before || caption_->after != text_after) {
        caption_ = std::make_unique<Caption>(text_before, text_after, font(), this, *digits_);
        placed = Placed::NewCaption;
    }
    if (!caption_->valid) return Placed::No;
    const QStringView number = QStringView(text).mid(from, to - from);
    same_ = 0;
    while (same_ < number.size() && same_ < number_.size() && number_[same_] == number[same_])
        ++same_;
    number_ = number.toString();
    index_.resize(std::size_t(number.size()));
    pos_.resize(std::size_t(number.size()));
    qreal x = caption_->number_x;
    for (std::size_t i = 0; i < index_.size(); ++i) {
        const auto k = std::size_t(number_char(number[qsizetype(i)]));
        index_[i] = digits_->index[k];
        pos_[i] = QPointF(x, caption_->ascent);
        x += digits_->advance[k];
    }
    number_width_ = x - caption_->number_x;
    placed_ = text;
    return placed;
}

void ValueLabel::setValueText(QStringView text) {
    if (QStringView(QLabel::text()) == text) return;
    const QString s = text.toString();
    const bool shown = isVisible() && plainLine() && placedForScreen();
    const qreal width_was = shown ? textWidth() : 0;
    if (shown && place(s) == Placed::SameCaption && xOffset(textWidth()) == xOffset(width_was)) {
        // Only the number changed and the text did not move: the columns from the number's
        // first changed character to its end, or to the end of the caption after it when that
        // moved, with the glyphs' ink and a pixel of smoothing either side.
        const Caption& c = *caption_;
        const qreal shift = std::max(width_was, textWidth()) - c.width; // of what follows
        qreal left = pos_[std::min(std::size_t(same_), pos_.size() - 1)].x() - digits_->reach_left;
        qreal right = c.number_x + digits_->advance[0] + shift + digits_->reach_right;
        if (textWidth() != width_was && !c.ink_after.isNull()) {
            left = std::min(left, c.ink_after.left() + std::min(width_was, textWidth()) - c.width);
            right = std::max(right, c.ink_after.right() + shift);
        }
        const QRect r = contentsRect();
        const qreal x = r.x() + xOffset(width_was);
        const QRect dirty = QRect(QPoint(int(std::floor(x + left)) - 1, r.top()),
                                  QPoint(int(std::ceil(x + right)) + 1, r.bottom())) &
                            rect();
        // setText repaints the whole label: here only those columns are repainted.
        const bool updates_off = testAttribute(Qt::WA_UpdatesDisabled);
        setAttribute(Qt::WA_UpdatesDisabled, true);
        setText(s);
        setAttribute(Qt::WA_UpdatesDisabled, updates_off);
        update(dirty);
        return;
    }
    if (!shown) placed_.clear(); // (placed again at the next paint)
    setText(s);
}

void ValueLabel::paintEvent(QPaintEvent* event) {
    if (!plainLine() || (!placedForScreen() && place(text()) == Placed::No)) {
        {
            QPainter painter(this);
            fill_own_background(this, painter, event->region());
        }
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    fill_own_background(this, painter, event->region());
    // The pen QStyle::drawItemText gives the text: the palette's brush for the label's role.
    painter.setPen(QPen(palette().brush(foregroundRole()), painter.pen().widthF()));
    const QRect r = contentsRect();
    const int flags = drawFlags();
    const Caption& c = *caption_;
    const qreal width = textWidth();
    qreal yoff = 0;
    if (flags & Qt::AlignBottom)
        yoff = r.height() - c.height;
    else if (flags & Qt::AlignVCenter)
        yoff = (r.height() - c.height) / 2;
    const qreal xoff = xOffset(width);
    // As drawText: clipped to the rectangle only when the text reaches beyond it, the origin in
    // the layout's 1/64-pixel units.
    if (!QRectF(r).contains(QRectF(r.x() + xoff, r.y() + yoff, width, c.height)))
        painter.setClipRect(r, Qt::IntersectClip);
    const QPointF origin(int((r.x() + xoff) * 64) / 64.0, int((r.y() + yoff) * 64) / 64.0);
    const QPointF moved = origin + QPointF(number_width_ - digits_->advance[0], 0);
    // The caption's parts only where their ink reaches the repainted columns.
    const QRectF painted = event->region().boundingRect().adjusted(-1, -1, 1, 1);
    if (c.ink_before.translated(origin).intersects(painted))
        for (const QGlyphRun& run : c.runs_before)
            painter.drawGlyphRun(origin, run);
    run_.setRawFont(digits_->face);
    run_.setRawData(index_.data(), pos_.data(), int(index_.size()));
    painter.drawGlyphRun(origin, run_);
    if (c.ink_after.translated(moved).intersects(painted))
        for (const QGlyphRun& run : c.runs_after)
            painter.drawGlyphRun(moved, run);
}

void ValueLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) placed_.clear();
    QLabel::changeEvent(event);
}

} // namespace zento
