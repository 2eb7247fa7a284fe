#pragma once
// Text that a live stream changes many times a second, drawn as Qt draws it, at a fraction of
// the cost.
//
// TextRun is one line of text laid out once and kept: drawing it is what
// QPainter::drawText(rect, flags, text) draws (the same layout, at the same place, pixel for
// pixel), without laying the text out again; and two runs tell which columns of the rectangle
// differ between them, so a change repaints those columns only.
//
// A run relaid from another places its glyphs from what the two have learnt of the font, without
// shaping: each character's face (the font's own or a fallback), glyph and advance, and each
// adjacent pair's kerning, each taken once from Qt's own layout of that character or pair. Only
// texts whose every character is one glyph and whose every pair is plain (its two glyphs,
// kerning at most) are placed so; any other text (a ligature, a mark, right to left) is laid out
// by Qt. What is learnt is bounded (kMaxChars characters, kMaxPairs pairs); past that, texts are
// laid out by Qt.
//
// ValueLabel is a QLabel for such text (a value label of the main window): setValueText()
// keeps the label's text as QLabel::setText does (text(), accessibility) and repaints only the
// columns whose glyphs changed, so a reading whose last digit moves repaints that digit, and
// nothing that lies over the label's unused part (a check box, a frame's edge) is repainted with
// it. It paints from its kept run. A label whose text needs more than a single plain line (rich
// text, word wrap, tabs, a mnemonic, a frame, margins or indent, a pixmap) or that is disabled
// paints as a QLabel.
#include <QGlyphRun>
#include <QLabel>
#include <QRawFont>
#include <QRect>
#include <QString>

#include <memory>
#include <vector>

class QPainter;
class QPaintDevice;
class QTextLayout;

namespace zento {

class TextRun {
  public:
    TextRun();
    ~TextRun();
    TextRun(TextRun&&) noexcept;
    TextRun& operator=(TextRun&&) noexcept;

    // Texts a run can hold: one line without tabs, line breaks or other control characters
    // (others are drawn by QPainter::drawText).
    static bool fits(QStringView text);

    // Lays out `text` in `font` as drawn on `device` (its resolution); `text` must fit().
    TextRun(const QString& text, const QFont& font, const QPaintDevice* device);
    // `text` laid out in this run's font for its device (the leading characters it shares with
    // this run's text keep their places); `spare` lends its storage.
    TextRun relaid(const QString& text, TextRun spare = {}) const;

    static constexpr int kMaxChars = 256;
    static constexpr int kMaxPairs = 4096;
    static constexpr int kMaxPlaced = 128; // longer texts are laid out by Qt

    bool empty() const { return !layout_ && !placed_; }
    const QString& text() const { return text_; }
    const QFont& font() const { return font_; }
    // The text's advance (its width as laid out).
    qreal width() const { return width_; }

    // Draws the text as painter.drawText(r, flags, text()) does for a single line with the
    // given alignment flags, in the painter's pen.
    // With `only` not empty, a placed run leaves out the glyphs whose ink cannot reach into
    // `only` (for a paint whose clip lies within it: those would all be clipped away).
    void draw(QPainter& painter, const QRect& r, int flags, const QRect& only = QRect()) const;

    // The part of `r` whose pixels may differ between `before` and `after`, each drawn in `r`
    // with `flags`: the columns from the first changed glyph to the last (each with its
    // neighbours, for kerning and ligatures, and the font's overhang), the whole height of `r`;
    // both texts whole when the text moved (a centred text of another width). Empty when the
    // texts are equal; all of `r` when either run is empty or their fonts differ.
    static QRect changed(const TextRun& before, const TextRun& after, const QRect& r, int flags);

    // Whether this run was placed from the learnt glyphs (not laid out by Qt).
    bool placed() const { return placed_; }

  private:
    class Glyphs;
    struct Learnt;

    void lay_out();
    bool place(const TextRun& before);
    qreal x_offset(const QRect& r, int flags) const;
    qreal cursor_x(int index) const;

    QString text_;
    QFont font_;
    const QPaintDevice* device_ = nullptr;
    std::shared_ptr<Glyphs> glyphs_; // shared by the runs relaid from one another
    std::unique_ptr<QTextLayout> layout_;
    bool placed_ = false;
    struct FaceRun { // a stretch of placed glyphs of one face
        QRawFont face;
        std::size_t start, count;
    };
    std::vector<const Learnt*> learnt_; // a placed run's characters as learnt
    std::vector<quint32> index_;        // its glyphs
    std::vector<QPointF> pos_;          // and their pen positions
    std::vector<qreal> end_;            // where each one's advance ends
    std::vector<FaceRun> by_face_;
    mutable QGlyphRun drawn_; // what is handed to the painter (pointing into the above)
    qreal width_ = 0;
    qreal height_ = 0;
    qreal left_overhang_ = 0;  // how far ink may reach left of a glyph's pen position
    qreal right_overhang_ = 0; // how far ink may reach right of a glyph's advance
};

class ValueLabel : public QLabel {
    Q_OBJECT
  public:
    explicit ValueLabel(const QString& text, QWidget* parent = nullptr);

    // Shows `text` (as setText) and repaints only the columns that changed.
    void setValueText(QStringView text);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    // Painted from the kept run (a plain single line); otherwise as a QLabel.
    bool plainLine() const;
    int drawFlags() const;

    TextRun run_;   // the text laid out; empty until painted, and after a font change
    TextRun spare_; // the run before, whose storage the next one takes
};

} // namespace zento
