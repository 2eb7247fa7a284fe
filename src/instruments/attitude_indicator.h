#pragma once
// The attitude indicator (artificial horizon) of the main window: surface Piczitai.
//
// Draw_attitude redraws the whole picture whenever the roll or pitch it shows changes (the
// roll in whole degrees, the pitch in whole pixels of the strip): the horizon strip (strip_,
// never shown) is copied with one rotated blit that turns it by the roll about the surface's
// centre and slides it by the pitch, then the fixed aircraft symbol is painted on top as ten
// filled rectangles. The picture is drawn into an off-screen image that is then shown in one
// step; paintEvent only copies the finished image, and a new picture repaints the picture alone,
// not the border around it. A call that shows the same picture draws and repaints nothing.
// Nothing is ever reported: a text with no leading number reads as 0.
#include <QImage>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <utility>

namespace zento {

class AttitudeIndicator : public QWidget {
    Q_OBJECT
  public:
    // Outer size as designed; the 2-pixel sunken border leaves W x H = 153 x 113 inside.
    static constexpr int kOuterWidth = 157;
    static constexpr int kOuterHeight = 117;
    static constexpr int kBorder = 2;
    // What the clear step leaves; the strip covers it completely at the designed size.
    static constexpr QRgb kClearColour = 0xFF404040u;

    // Draws the level picture (Draw_attitude("0", "0")) before the widget is first shown.
    explicit AttitudeIndicator(QWidget* parent = nullptr);

    // Redraws the indicator for roll and pitch in degrees, given as decimal texts ("-12.5").
    void Draw_attitude(const QString& roll_str, const QString& pitch_str);

    // Copies the width x height rectangle at (src_x, src_y) of src_dc onto dest_dc so that its
    // centre lands on (centre_x, centre_y), turned clockwise (y down) by angle degrees. The
    // corners land on the rounded points of rotate_blt_points(); sampling is nearest-pixel
    // (QPainter's transformed drawImage without smoothing). Parts of the rectangle outside
    // src_dc copy nothing; a non-positive size copies nothing.
    static void Rotate_blt(QImage& dest_dc, int centre_x, int centre_y, int angle,
                           const QImage& src_dc, int src_x, int src_y, int width, int height);

    // The finished picture (W x H) as shown inside the border.
    const QImage& picture() const { return picture_; }
    // The horizon strip as held for blitting (200 x 1000, the picture's pixel format).
    const QImage& strip() const { return strip_; }
    // Inner size used by the arithmetic.
    int ScaleWidth() const { return picture_.width(); }
    int ScaleHeight() const { return picture_.height(); }
    // The texts of the last call, as given.
    const QString& rollText() const { return roll_str_; }
    const QString& pitchText() const { return pitch_str_; }

    QSize sizeHint() const override { return {kOuterWidth, kOuterHeight}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QImage strip_;   // the horizon strip, shared by all indicators, never shown
    QImage picture_; // the visible picture, reused by every call
    QString roll_str_, pitch_str_;
    // The blit's angle and strip offset the picture shows; none before the first drawing and
    // after a resize.
    std::optional<std::pair<int, std::int32_t>> drawn_;
};

// The horizon strip as an image in the indicator's pixel format, made once per process.
const QImage& horizon_strip_image();

} // namespace zento
