#pragma once
// A value label of the main window ("Yaw:-12.5", "Height:122.4m"): a QLabel for a plain text that
// a live stream changes many times a second, drawn as QLabel draws it, pixel for pixel, without
// laying the whole text out again at every reading.
//
// The text is a caption with a number in it: the number is the first digit with the signs and
// points just before it and the digits and points after it; the caption is what lies before and
// after. Qt lays the caption out once, with a stand-in digit where the number goes. A reading
// places the number's glyphs from a table of the font's digits, signs and point (each one's
// glyph and advance) and moves the caption's part after the number by the difference in width.
// That is what Qt's own layout gives where these characters are placed by their advances alone
// (one face, no kerning or other shaping among them or with the caption's characters on either
// side of the number), which is checked for the label's font, resolution and caption with one
// layout of a text in which every ordered pair of those characters occurs. Where it does not
// hold, and for a text without a digit, the label paints as a QLabel.
//
// setValueText() keeps the label's text as QLabel::setText does (text(), accessibility) and,
// when only the number changed and the text did not move, repaints the columns from the number's
// first changed character to its end (to the end of the text when the rest moved), so nothing
// that lies over the label's unused part (a check box, a frame's edge) is repainted with it; any
// other change repaints the whole label. A label whose text
// needs more than a single plain line (rich text, word wrap, tabs, a mnemonic, a frame, margins or
// indent, a pixmap) or that is disabled paints as a QLabel.
#include <QGlyphRun>
#include <QLabel>
#include <QRawFont>
#include <QString>

#include <array>
#include <memory>
#include <vector>

namespace zento {

class ValueLabel : public QLabel {
    Q_OBJECT
  public:
    explicit ValueLabel(const QString& text, QWidget* parent = nullptr);
    ~ValueLabel() override;

    // Shows `text` (as setText) and, when only its number changed, repaints the columns that did.
    void setValueText(QStringView text);

    // Whether the text shown is drawn from the caption's layout and the digit table (the label
    // has been painted, or given a text by setValueText, since its text, font or screen last
    // changed).
    bool numberPlaced() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    struct Digits;
    struct Caption;

    // Painted from the caption and the digit table (a plain single line); otherwise as a QLabel.
    bool plainLine() const;
    int drawFlags() const;
    // Whether the text shown is placed, for the resolution of the label's screen now.
    bool placedForScreen();
    // Places `text` (and tells whether the caption is the one placed before), or nothing.
    enum class Placed { No, SameCaption, NewCaption };
    Placed place(const QString& text);
    qreal xOffset(qreal width) const;
    qreal textWidth() const; // of the text placed

    std::unique_ptr<Digits> digits_;
    std::unique_ptr<Caption> caption_;
    // The number placed: its characters, glyphs, pen positions and advance, and how many of its
    // leading characters the number placed before it had.
    QString number_;
    qsizetype same_ = 0;
    std::vector<quint32> index_;
    std::vector<QPointF> pos_;
    qreal number_width_ = 0;
    mutable QGlyphRun run_; // handed to the painter (pointing into index_ and pos_)
    QString placed_;        // the text placed (empty: none)
};

} // namespace zento
