// The strip chart's look: the plot's axes, grids, legend and traces, the toolbar, the place of
// each child, and the texts that name the channels.
#include "chart/strip_chart.h"

#include "chart/channel_history.h"
#include "chart/chart_cursor.h"
#include "chart/chart_marks.h"
#include "chart/live_plot.h"

#include <QStyle>
#include <QToolButton>

#include <algorithm>

namespace zento {

namespace {

QColor channel_color(int channel) {
    return QColor(QRgb(0xFF000000u | kChannels[std::size_t(channel)].rgb));
}

bool valid_channel(int channel) {
    return channel >= 0 && channel < StripChart::kChannelCount;
}

const QColor kBackground = StripChart::kBackgroundColor;
const QColor kLegendText(255, 255, 255);
const QColor kLegendTextHidden(160, 160, 160);
const QColor kAxisText(255, 255, 255);
const QColor kAxisLine(220, 220, 220);
const QColor kGridMajor(170, 170, 170);
const QColor kGridMinor(125, 125, 125);
constexpr int kToolbarHeight = 24;
constexpr int kToolButtonSize = 20;

} // namespace

void StripChart::buildPlot() {
    plot_ = new LivePlot(this);
    plot_->setObjectName(QStringLiteral("plot"));
    plot_->setGeometry(rect());
    plot_->setBackground(kBackground);
    plot_->setAttribute(Qt::WA_OpaquePaintEvent); // its paint covers it: nothing below repaints
    plot_->axisRect()->setBackground(kBackground);
    plot_->setNoAntialiasingOnDrag(true);
    // Traces as polylines (not line by line), however they are drawn: on screen, in slices of
    // the live picture, in print and image export; the same pixels every way.
    plot_->setPlottingHint(QCP::phFastPolylines, false);
    plot_->setNotAntialiasedElements(QCP::aePlottables); // crisp 1 px traces, cheaper to draw
    // Nothing is drawn on the overlay layer: without a buffer of its own, a redraw clears and
    // blends one full-size buffer instead of two.
    if (QCPLayer* overlay = plot_->layer(QStringLiteral("overlay")))
        overlay->setMode(QCPLayer::lmLogical);

    // Time axis: hidden (no line, ticks or labels), but its dotted grid is drawn.
    QCPAxis* x = plot_->xAxis;
    QSharedPointer<QCPAxisTickerTime> time_ticker(new QCPAxisTickerTime);
    time_ticker->setTimeFormat(QStringLiteral("%h:%m:%s"));
    x->setTicker(time_ticker);
    x->setTicks(false);
    x->setTickLabels(false);
    x->setBasePen(Qt::NoPen);
    x->setPadding(0);
    x->setRange(0, kWindowSeconds);

    QCPAxis* y = plot_->yAxis;
    QFont axis_font(QStringLiteral("MS Sans Serif"));
    axis_font.setStyleHint(QFont::SansSerif);
    axis_font.setPixelSize(11);
    y->setTickLabelFont(axis_font);
    y->setTickLabelColor(kAxisText);
    y->setBasePen(QPen(kAxisLine, 0));
    y->setTickPen(QPen(kAxisLine, 0));
    y->setSubTickPen(QPen(kAxisLine, 0));
    y->setRange(kInitialYLower, kInitialYUpper);

    for (QCPAxis* axis : {x, y}) {
        axis->grid()->setVisible(true);
        axis->grid()->setSubGridVisible(true);
        axis->grid()->setPen(QPen(kGridMajor, 0, Qt::DotLine));
        axis->grid()->setSubGridPen(QPen(kGridMinor, 0, Qt::DotLine));
        axis->grid()->setZeroLinePen(Qt::NoPen);
    }

    // Legend: a narrow column at the left edge, outside the data area, below the toolbar.
    QFont legend_font(QStringLiteral("Arial"));
    legend_font.setStyleHint(QFont::SansSerif);
    legend_font.setBold(true);
    legend_font.setPixelSize(12);
    QCPLegend* legend = plot_->legend;
    legend->setVisible(true);
    legend->setFont(legend_font);
    legend->setTextColor(kLegendText);
    legend->setBrush(Qt::NoBrush);
    legend->setBorderPen(Qt::NoPen);
    legend->setIconSize(14, 8);
    legend->setIconTextPadding(4);
    legend->setRowSpacing(0);
    legend->setMargins(QMargins(4, 2, 4, 2));
    legend->setSelectableParts(QCPLegend::spNone);

    for (int k = 0; k < kChannelCount; ++k) {
        QCPGraph* g = plot_->addTrace(x, y);
        g->setObjectName(QLatin1String(kChannels[k].name));
        g->setName(QLatin1String(kChannels[k].title));
        g->setPen(QPen(channel_color(k), 1));
        g->setLineStyle(QCPGraph::lsLine);
        g->setAdaptiveSampling(true);
        g->setSelectable(QCP::stNone);
        history_[k] = QSharedPointer<ChannelHistory>::create(history_limit_, history_seconds_);
        g->setData(history_[k]);
        graphs_[k] = g;
        if (auto* item = legend->itemWithPlottable(g)) {
            item->setMargins(QMargins(2, 1, 2, 1));
            item->setSelectable(false);
        }
    }

    marks_ = new ChartMarks(x); // on the main layer after the traces: drawn over them
    plot_->marks = marks_;

    plot_->axisRect()->insetLayout()->take(legend);
    auto* column = new QCPLayoutGrid;
    plot_->plotLayout()->insertColumn(0);
    plot_->plotLayout()->addElement(0, 0, column);
    plot_->plotLayout()->setColumnStretchFactor(0, 0.001);
    column->setMargins(QMargins(0, kToolbarHeight, 0, 0));
    column->addElement(0, 0, legend);
    column->addElement(1, 0, new QCPLayoutElement(plot_)); // takes the rest of the height
    const QSize legend_size = legend->minimumOuterSizeHint();
    legend->setMaximumSize(legend_size);
    // A set minimum replaces the hint: it must cover both the legend and the toolbar.
    column->setMinimumSize(std::max(legend_size.width(), 2 * kToolButtonSize + 8), 0);
    plot_->axisRect()->setMinimumMargins(QMargins(0, 4, 6, 4));
}

void StripChart::buildToolbar() {
    // Toolbar: print preview and save image, small buttons in the top-left corner.
    auto make_button = [this](QStyle::StandardPixmap icon, const QString& text) {
        auto* b = new QToolButton(this);
        b->setIcon(style()->standardIcon(icon));
        b->setIconSize(QSize(14, 14));
        b->setFixedSize(kToolButtonSize, kToolButtonSize);
        b->setAutoRaise(true);
        b->setToolTip(text);
        b->setAccessibleName(text);
        b->setFocusPolicy(Qt::TabFocus);
        return b;
    };
    print_button_ = make_button(QStyle::SP_FileDialogContentsView, tr("Print preview"));
    save_button_ = make_button(QStyle::SP_DialogSaveButton, tr("Save image"));
    connect(print_button_, &QToolButton::clicked, this, [this] { openPrintPreview(); });
    connect(save_button_, &QToolButton::clicked, this, &StripChart::askImagePath);
}

QString StripChart::channelName(int channel) {
    return valid_channel(channel) ? QLatin1String(kChannels[channel].name) : QString();
}

QString StripChart::channelTitle(int channel) {
    return valid_channel(channel) ? QLatin1String(kChannels[channel].title) : QString();
}

QColor StripChart::channelColor(int channel) {
    return valid_channel(channel) ? channel_color(channel) : QColor();
}

void StripChart::updateLegendEntry(int channel) {
    if (auto* item = plot_->legend->itemWithPlottable(graphs_[channel])) {
        item->setTextColor(graphs_[channel]->visible() ? kLegendText : kLegendTextHidden);
    }
}

void StripChart::updateAccessibleDescription() {
    QStringList shown;
    for (int k = 0; k < kChannelCount; ++k) {
        if (graphs_[k]->visible()) {
            shown << channelTitle(k);
        }
    }
    setAccessibleDescription(shown.isEmpty()
                                 ? tr("No channel shown")
                                 : tr("Channels shown: %1").arg(shown.join(QStringLiteral(", "))));
}

void StripChart::placeChildren() {
    plot_->setGeometry(rect());
    cursor_->setGeometry(rect());
    print_button_->move(2, 2);
    save_button_->move(2 + kToolButtonSize + 2, 2);
    print_button_->raise();
    save_button_->raise();
}

} // namespace zento
