#include "platform/widgets/value_label.h"

#include "platform/widgets/form_controls.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QRawFont>
#include <QStyle>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <unordered_map>
#include <utility>

namespace zento {

namespace {

// `text` laid out as QPainter::drawText lays out a single line: one line of unbounded width at
// the origin, left to right, the font resolved for the device.
std::unique_ptr<QTextLayout> single_line(const QString& text, const QFont& font,
                                         const QPaintDevice* device) {
    auto layout = std::make_unique<QTextLayout>(text, font, device);
    layout->setCacheEnabled(true);
    QTextOption option;
    option.setTextDirection(Qt::LeftToRight);
    layout->setTextOption(option);
    layout->beginLayout();
    QTextLine line = layout->createLine();
    line.setLineWidth(0x01000000);
    line.setPosition(QPointF(0, 0));
    layout->endLayout();
    return layout;
}

int to64(qreal x) {
    return int(std::lround(x * 64));
}

} // namespace

struct TextRun::Learnt {
    bool plain = false;
    int face = 0; // TextRun::Glyphs::face()
    quint32 index = 0;
    int advance = 0;               // 1/64 pixel
    qreal ascent = 0, descent = 0; // of a line holding the glyph alone
};

// ---- TextRun::Glyphs ----------------------------------------------------------------------

// What a font's layouts have shown of its characters and their pairs: each character's face
// (the font's own or a fallback), glyph, advance and line metrics; each pair's kerning. A line's
// ascent and descent are the largest of its glyphs' (a pair is plain only where Qt's layout
// agrees).
class TextRun::Glyphs {
  public:
    static constexpr int kMaxFaces = 8;

    Glyphs(const QFont& font, const QPaintDevice* device) : font_(font), device_(device) {}

    // The character's glyph; null when it is not plain (or past the bound).
    const Learnt* glyph(QChar c) {
        const char16_t u = c.unicode();
        const Learnt* g = u < latin_.size() ? latin_[u] : nullptr;
        if (!g) {
            auto it = chars_.find(u);
            if (it == chars_.end()) {
                if (int(chars_.size()) >= kMaxChars) return nullptr;
                it = chars_.emplace(u, learn(c)).first;
            }
            g = &it->second;
            if (u < latin_.size()) latin_[u] = g;
        }
        return g->plain ? g : nullptr;
    }

    // The kerning between `a` and `b` (1/64 pixel), when the pair is plain; both are plain.
    std::optional<int> kern(QChar a, QChar b) {
        const quint32 key = quint32(a.unicode()) << 16 | b.unicode();
        const auto it = pairs_.find(key);
        if (it != pairs_.end()) return it->second;
        if (int(pairs_.size()) >= kMaxPairs) return std::nullopt;
        return pairs_.emplace(key, learn(a, b)).first->second;
    }

    const QRawFont& face(int i) const { return faces_[std::size_t(i)]; }

  private:
    struct Laid {
        QList<int> face;
        QList<quint32> index;
        QList<QPointF> pos;
        qreal width = 0, ascent = 0, descent = 0;
    };

    // The glyphs of a one-line layout and the faces they are drawn in; false when a run has
    // flags (right to left, decorations) or there are more faces than kept.
    bool lay(const QString& text, Laid& out) {
        const auto layout = single_line(text, font_, device_);
        const QTextLine line = layout->lineAt(0);
        for (const QGlyphRun& run : line.glyphRuns()) {
            if (run.flags() != QGlyphRun::GlyphRunFlags() || !run.rawFont().isValid()) return false;
            const int f = face_of(run.rawFont());
            if (f < 0) return false;
            for (qsizetype i = 0; i < run.glyphIndexes().size(); ++i)
                out.face.push_back(f);
            out.index += run.glyphIndexes();
            out.pos += run.positions();
        }
        out.width = line.horizontalAdvance();
        out.ascent = line.ascent();
        out.descent = line.descent();
        for (const QPointF& p : out.pos)
            if (p.y() != out.ascent) return false;
        return true;
    }

    int face_of(const QRawFont& raw) {
        for (std::size_t i = 0; i < faces_.size(); ++i)
            if (faces_[i] == raw) return int(i);
        if (int(faces_.size()) >= kMaxFaces) return -1;
        faces_.push_back(raw);
        return int(faces_.size()) - 1;
    }

    Learnt learn(QChar c) {
        if (c.isSurrogate() || !TextRun::fits(QStringView(&c, 1))) return {};
        Laid l;
        if (!lay(QString(c), l) || l.index.size() != 1 || l.pos[0].x() != 0) return {};
        return {true, l.face[0], l.index[0], to64(l.width), l.ascent, l.descent};
    }

    std::optional<int> learn(QChar a, QChar b) {
        const Learnt* pa = glyph(a);
        const Learnt* pb = glyph(b);
        if (!pa || !pb) return std::nullopt;
        const Learnt &ga = *pa, &gb = *pb;
        Laid l;
        if (!lay(QString(a) + b, l) || l.index.size() != 2 || l.face[0] != ga.face ||
            l.face[1] != gb.face || l.index[0] != ga.index || l.index[1] != gb.index ||
            l.pos[0].x() != 0 || l.ascent != std::max(ga.ascent, gb.ascent) ||
            l.descent != std::max(ga.descent, gb.descent))
            return std::nullopt;
        const int k = to64(l.pos[1].x()) - ga.advance;
        if (to64(l.width) != ga.advance + k + gb.advance) return std::nullopt;
        return k;
    }

    QFont font_;
    const QPaintDevice* device_;
    std::vector<QRawFont> faces_;
    std::unordered_map<char16_t, Learnt> chars_; // (its entries stay where they are)
    std::array<const Learnt*, 256> latin_{};     // the Latin-1 entries of chars_, once found
    std::unordered_map<quint32, std::optional<int>> pairs_;
};

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
    : text_(text), font_(font), device_(device), glyphs_(std::make_shared<Glyphs>(font, device)) {
    lay_out();
    const QFontMetricsF metrics(layout_->font(), device);
    left_overhang_ = std::max<qreal>(0, -metrics.minLeftBearing());
    right_overhang_ = std::max<qreal>(0, -metrics.minRightBearing());
}

TextRun TextRun::relaid(const QString& text, TextRun spare) const {
    TextRun run = std::move(spare);
    run.text_ = text;
    run.font_ = font_;
    run.device_ = device_;
    run.glyphs_ = glyphs_;
    run.layout_.reset();
    run.placed_ = false;
    run.left_overhang_ = left_overhang_;
    run.right_overhang_ = right_overhang_;
    if (!run.place(*this)) run.lay_out();
    return run;
}

void TextRun::lay_out() {
    layout_ = single_line(text_, font_, device_);
    const QTextLine line = layout_->lineAt(0);
    width_ = line.horizontalAdvance();
    height_ = line.ascent() + line.descent();
}

// The glyphs at the pen positions Qt's layout gives them: each advance, and the kerning of each
// pair, in the layout's own 1/64-pixel units, summed from the origin. A glyph's position depends
// only on the characters up to it: those `before` placed for the same leading characters keep
// theirs.
bool TextRun::place(const TextRun& before) {
    if (!glyphs_ || text_.isEmpty()) return false;
    const auto n = std::size_t(text_.size());
    if (n > std::size_t(kMaxPlaced)) return false;
    std::size_t same = 0;
    if (before.placed_ && before.glyphs_ == glyphs_) {
        const std::size_t m = std::min(n, before.learnt_.size());
        while (same < m && text_[same] == before.text_[same])
            ++same;
    }
    // The last shared character is placed again: its pair with the next one is new.
    const std::size_t from = same > 0 ? same - 1 : 0;
    learnt_.resize(n);
    index_.resize(n);
    pos_.resize(n);
    end_.resize(n);
    int x64[kMaxPlaced + 1]; // pen positions, 1/64 pixel
    int end64[kMaxPlaced];   // where each glyph's advance ends
    for (std::size_t i = 0; i < from; ++i) {
        learnt_[i] = before.learnt_[i];
        x64[i] = int(before.pos_[i].x() * 64); // (exact: positions are 1/64 pixels)
        end64[i] = int(before.end_[i] * 64);
    }
    int x = from > 0 ? int(before.pos_[from].x() * 64) : 0;
    for (std::size_t i = from; i < n; ++i) {
        learnt_[i] = glyphs_->glyph(text_[qsizetype(i)]);
        if (!learnt_[i]) return false;
        x64[i] = x;
        x += learnt_[i]->advance;
        end64[i] = x;
        if (i + 1 < n) {
            const std::optional<int> k =
                glyphs_->kern(text_[qsizetype(i)], text_[qsizetype(i + 1)]);
            if (!k) return false;
            x += *k;
        }
    }
    qreal ascent = 0, descent = 0;
    for (const Learnt* g : learnt_) {
        ascent = std::max(ascent, g->ascent);
        descent = std::max(descent, g->descent);
    }
    by_face_.clear();
    for (std::size_t i = 0; i < n; ++i) {
        index_[i] = learnt_[i]->index;
        pos_[i] = QPointF(x64[i] / 64.0, ascent);
        end_[i] = end64[i] / 64.0;
        if (i == 0 || learnt_[i]->face != learnt_[i - 1]->face)
            by_face_.push_back({glyphs_->face(learnt_[i]->face), i, 0});
        ++by_face_.back().count;
    }
    width_ = x / 64.0;
    height_ = ascent + descent;
    placed_ = true;
    return true;
}

qreal TextRun::x_offset(const QRect& r, int flags) const {
    if (flags & Qt::AlignRight) return r.width() - width_;
    if (flags & Qt::AlignHCenter) return (r.width() - width_) / 2;
    return 0;
}

qreal TextRun::cursor_x(int index) const {
    if (placed_)
        return index < int(pos_.size()) ? pos_[std::size_t(std::max(index, 0))].x() : width_;
    return layout_->lineAt(0).cursorToX(index);
}

void TextRun::draw(QPainter& painter, const QRect& r, int flags, const QRect& only) const {
    if (empty() || text_.isEmpty()) return;
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
    if (placed_) { // the origin in the layout's 1/64-pixel units, as the layout's drawing takes it
        const QPointF origin(int((r.x() + xoff) * 64) / 64.0, int((r.y() + yoff) * 64) / 64.0);
        // A glyph's ink lies within its pen position less the font's left overhang and the end
        // of its advance plus the right one, and a pixel of smoothing each side.
        const auto reaches = [&](std::size_t i) {
            return only.isEmpty() ||
                   (origin.x() + pos_[i].x() - left_overhang_ - 2 <= only.right() + 1 &&
                    origin.x() + end_[i] + right_overhang_ + 2 >= only.left());
        };
        for (const FaceRun& run : by_face_) {
            std::size_t first = run.start, end = run.start + run.count;
            while (first < end && !reaches(first))
                ++first;
            while (end > first && !reaches(end - 1))
                --end;
            if (first == end) continue;
            drawn_.setRawFont(run.face);
            drawn_.setRawData(index_.data() + first, pos_.data() + first, int(end - first));
            painter.drawGlyphRun(origin, drawn_);
        }
    } else
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

ValueLabel::ValueLabel(const QString& text, QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText); // a reading is never markup (and is not scanned for it)
    setText(text);
}

bool ValueLabel::plainLine() const {
    if (!isEnabled() || wordWrap() || textFormat() == Qt::RichText || buddy() ||
        frameWidth() != 0 || margin() != 0 || indent() > 0)
        return false;
    const QString t = text();
    // A QLabel holds a text or a picture: with a text there is no pixmap to ask for.
    if (t.isEmpty() && !pixmap().isNull()) return false;
    return !(textFormat() == Qt::AutoText && Qt::mightBeRichText(t)) && !t.isRightToLeft() &&
           TextRun::fits(t);
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
    TextRun next = run_.relaid(s, std::move(spare_));
    const QRect dirty = TextRun::changed(run_, next, contentsRect(), drawFlags()) & rect();
    spare_ = std::exchange(run_, std::move(next));
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
    run_.draw(painter, contentsRect(), drawFlags(), event->region().boundingRect());
}

void ValueLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) run_ = TextRun();
    QLabel::changeEvent(event);
}

} // namespace zento
