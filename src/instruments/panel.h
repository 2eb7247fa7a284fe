#pragma once
// The instrument panel frame and its caption label.
// (See instruments/lamps.h for what every instrument widget promises.)
#include <QFont>
#include <QString>
#include <QWidget>

class QPainter;

namespace zento {

// iLabelX1: text label (caption "Temp" until the first attitude frame). The text is shrunk
// to fit the widget's width, down to a readable minimum.
class TextLabel : public QWidget {
    Q_OBJECT
  public:
    explicit TextLabel(QWidget* parent = nullptr);
    QString Caption() const { return caption_; }
    void setCaption(const QString& text);
    QSize sizeHint() const override { return {26, 14}; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    // The widget's font, shrunk so that `text` fits the width.
    QFont fittedFont(const QString& text) const;

    QString caption_;
};

// iPanelX: titled panel, decoration only; children are placed inside it. The contents margins
// keep laid-out children clear of the title.
class Panel : public QWidget {
    Q_OBJECT
  public:
    explicit Panel(QWidget* parent = nullptr);
    QString TitleText() const { return title_; }
    void setTitleText(const QString& text);
    // Height of the title band at the top.
    int titleHeight() const;

  protected:
    void paintEvent(QPaintEvent*) override;
    void changeEvent(QEvent*) override;

  private:
    void updateMargins();
    QString title_;
};

} // namespace zento
