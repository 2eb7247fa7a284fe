#include "chart/chart_cursor.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

#include <qcustomplot.h>

namespace zento {

namespace {
constexpr int kPadding = 4;
constexpr int kSwatch = 14; // a channel's colour before its text
const QColor kLine(255, 255, 255);
const QColor kGround(30, 30, 30, 220);
} // namespace

ChartCursor::ChartCursor(QCustomPlot* plot, QWidget* parent)
    : QWidget(parent), plot_(plot), font_(QStringLiteral("Arial")) {
    setObjectName(QStringLiteral("cursor"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    font_.setStyleHint(QFont::SansSerif);
    font_.setPixelSize(11);
    plot_->setMouseTracking(true);
    plot_->installEventFilter(this);
    connect(plot_, &QCustomPlot::afterReplot, this, [this] {
        if (isVisible()) refresh(); // the data moved under the mouse
    });
    hide();
}

QString ChartCursor::timeText(double seconds) {
    return QDateTime::fromMSecsSinceEpoch(std::llround(seconds * 1000))
        .toString(QStringLiteral("hh:mm:ss.zzz"));
}

bool ChartCursor::eventFilter(QObject* watched, QEvent* event) {
    if (watched != plot_) return false;
    switch (event->type()) {
    case QEvent::MouseMove: {
        const auto* m = static_cast<QMouseEvent*>(event);
        if (m->buttons() != Qt::NoButton) {
            hideCursor(); // dragging the axes
        } else {
            moveTo(m->position().toPoint().x());
            if (!plot_->axisRect()->rect().contains(m->position().toPoint())) hideCursor();
        }
        break;
    }
    case QEvent::MouseButtonPress: {
        const auto* m = static_cast<QMouseEvent*>(event);
        pressed_ = m->position().toPoint();
        press_valid_ = m->button() == Qt::LeftButton;
        break;
    }
    case QEvent::MouseButtonRelease: {
        const auto* m = static_cast<QMouseEvent*>(event);
        const QPoint at = m->position().toPoint();
        if (press_valid_ && m->button() == Qt::LeftButton &&
            (at - pressed_).manhattanLength() <= 3 && plot_->axisRect()->rect().contains(at))
            emit clicked(plot_->xAxis->pixelToCoord(at.x()));
        press_valid_ = false;
        break;
    }
    case QEvent::Leave:
        hideCursor();
        break;
    default:
        break;
    }
    return false;
}

void ChartCursor::moveTo(int x) {
    x_ = x;
    if (!plot_->axisRect()->rect().contains(QPoint(x, plot_->axisRect()->rect().center().y())))
        return hideCursor();
    if (!isVisible()) {
        show();
        raise();
    }
    refresh();
}

void ChartCursor::hideCursor() {
    if (isVisible()) hide();
}

void ChartCursor::refresh() {
    const double key = plot_->xAxis->pixelToCoord(x_);
    texts_ = {timeText(key)};
    colours_ = {kLine};
    for (int k = 0; k < plot_->graphCount(); ++k) {
        const QCPGraph* g = plot_->graph(k);
        if (!g->visible()) continue;
        const QSharedPointer<QCPGraphDataContainer> d = g->data();
        auto it = d->findEnd(key, false); // the first point after the time
        QString value = QStringLiteral("-");
        if (it != d->constBegin() && !std::isnan((--it)->value))
            value = QString::number(it->value, 'g', 6);
        texts_ << g->name() + QLatin1Char(' ') + value;
        colours_.push_back(g->pen().color());
    }
    const QRect now = box();
    update(QRegion(drawn_) + QRegion(now));
    drawn_ = now;
}

QRect ChartCursor::textBox() const {
    const QFontMetrics fm(font_);
    int w = 0;
    for (const QString& t : texts_)
        w = std::max(w, fm.horizontalAdvance(t) + kSwatch);
    const QRect area = plot_->axisRect()->rect();
    const QSize size(w + 2 * kPadding, int(texts_.size()) * fm.height() + 2 * kPadding);
    // Right of the line, or left of it where it would not fit.
    const int left = x_ + 6 + size.width() <= area.right() ? x_ + 6 : x_ - 6 - size.width();
    return {QPoint(left, area.top() + 30), size}; // below "Follow the latest"
}

QRect ChartCursor::box() const {
    const QRect area = plot_->axisRect()->rect();
    return textBox().united(QRect(x_, area.top(), 1, area.height()));
}

void ChartCursor::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect area = plot_->axisRect()->rect();
    p.setPen(QPen(kLine, 0, Qt::DotLine));
    p.drawLine(x_, area.top(), x_, area.bottom());
    const QRect texts = textBox();
    p.fillRect(texts, kGround);
    p.setFont(font_);
    const QFontMetrics fm(font_);
    for (int i = 0; i < int(texts_.size()); ++i) {
        // As the legend: the channel's colour beside its name and value, in white (some of the
        // channels' colours are too dark to be read as text).
        const int y = texts.top() + kPadding + i * fm.height();
        if (i > 0)
            p.fillRect(texts.left() + kPadding, y + fm.height() / 2 - 1, kSwatch - 4, 3,
                       colours_[std::size_t(i)]);
        p.setPen(kLine);
        p.drawText(texts.left() + kPadding + kSwatch, y + fm.ascent(), texts_[i]);
    }
}

} // namespace zento
