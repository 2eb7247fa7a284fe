// The "Statistics" window's controls and their layout (statistics_window.h); what they do is in
// statistics_window.cpp.
#include "statistics/statistics_window.h"

#include <QDoubleSpinBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <qcustomplot.h>

#include "statistics/statistics_plots.h"
#include "statistics/statistics_table.h"

namespace zento {

using namespace stats_ui;

void StatisticsWindow::build() {
    auto* top = new QVBoxLayout(this);

    auto* head = new QHBoxLayout;
    fileLabel = new QLabel(this);
    fileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    head->addWidget(fileLabel, 1);
    rateCaption = new QLabel(QStringLiteral("Capture paced at"), this);
    rateEdit = new QDoubleSpinBox(this);
    rateEdit->setRange(1, 10000);
    rateEdit->setDecimals(0);
    rateEdit->setValue(20);
    rateEdit->setSuffix(QStringLiteral(" frames/s"));
    rateEdit->setAccessibleName(QStringLiteral("Attitude frames a second of a plain capture"));
    rateEdit->setToolTip(QStringLiteral("A plain capture (zento-board --out) has no times: its "
                                        "attitude frames are taken to come at this rate"));
    rateEdit->setKeyboardTracking(false);
    for (QWidget* w : std::initializer_list<QWidget*>{rateCaption, rateEdit}) {
        w->setVisible(false);
        head->addWidget(w);
    }
    connect(rateEdit, &QDoubleSpinBox::valueChanged, this, [this] {
        if (!file_.isEmpty()) start(true, from_, to_);
    });
    top->addLayout(head);

    auto* status = new QHBoxLayout;
    progressBar = new QProgressBar(this);
    progressBar->setRange(0, 1000);
    progressBar->setTextVisible(false);
    progressBar->setMaximumWidth(200);
    progressBar->setVisible(false);
    messageLabel = new QLabel(this);
    messageLabel->setWordWrap(true);
    messageLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    messageLabel->setVisible(false);
    status->addWidget(progressBar);
    status->addWidget(messageLabel, 1);
    top->addLayout(status);

    auto* split = new QSplitter(Qt::Vertical, this);
    split->setChildrenCollapsible(false);
    top->addWidget(split, 1);

    // The interval: overview and range on the left, the still intervals on the right.
    auto* choose = new QWidget(split);
    auto* choose_row = new QHBoxLayout(choose);
    choose_row->setContentsMargins(0, 0, 0, 0);
    auto* left = new QVBoxLayout;
    overview = new QCustomPlot(choose);
    overview->setObjectName(QStringLiteral("overview"));
    overview->setMinimumHeight(110);
    overview->xAxis->setLabel(QStringLiteral("time (s); drag to choose an interval"));
    overview->yAxis->setLabel(QStringLiteral("|gyro| (°/s)"));
    QCPGraph* high = overview->addGraph();
    QCPGraph* low = overview->addGraph();
    for (QCPGraph* g : {high, low})
        g->setPen(QPen(QColor(0x44, 0x44, 0x44), 1));
    high->setBrush(QColor(0x44, 0x44, 0x44, 90));
    high->setChannelFillGraph(low);
    overview->setToolTip(QStringLiteral("The gyroscope's magnitude; still intervals in green. "
                                        "Drag across it to choose an interval."));
    connect(overview, &QCustomPlot::mousePress, this, &StatisticsWindow::overview_press);
    connect(overview, &QCustomPlot::mouseMove, this, &StatisticsWindow::overview_move);
    connect(overview, &QCustomPlot::mouseRelease, this, &StatisticsWindow::overview_release);
    range_item_ = new QCPItemRect(overview);
    range_item_->setPen(QPen(QColor(0x1f, 0x77, 0xb4), 1));
    range_item_->setBrush(QColor(0x1f, 0x77, 0xb4, 50));
    for (QCPItemPosition* p : {range_item_->topLeft, range_item_->bottomRight})
        p->setTypeY(QCPItemPosition::ptAxisRectRatio);
    range_item_->setVisible(false);
    left->addWidget(overview, 1);

    auto* range_row = new QHBoxLayout;
    wholeButton = new QPushButton(QStringLiteral("Whole recording"), choose);
    connect(wholeButton, &QPushButton::clicked, this, &StatisticsWindow::chooseWhole);
    range_row->addWidget(wholeButton);
    range_row->addSpacing(12);
    range_row->addWidget(new QLabel(QStringLiteral("From"), choose));
    fromEdit = new QLineEdit(choose);
    toEdit = new QLineEdit(choose);
    for (QLineEdit* e : {fromEdit, toEdit}) {
        e->setMaximumWidth(90);
        connect(e, &QLineEdit::returnPressed, this, &StatisticsWindow::apply_typed_range);
    }
    fromEdit->setAccessibleName(QStringLiteral("From, seconds from the start"));
    toEdit->setAccessibleName(QStringLiteral("To, seconds from the start"));
    range_row->addWidget(fromEdit);
    range_row->addWidget(new QLabel(QStringLiteral("s  to"), choose));
    range_row->addWidget(toEdit);
    range_row->addWidget(new QLabel(QStringLiteral("s"), choose));
    rangeButton = new QPushButton(QStringLiteral("Show"), choose);
    connect(rangeButton, &QPushButton::clicked, this, &StatisticsWindow::apply_typed_range);
    range_row->addWidget(rangeButton);
    range_row->addStretch(1);
    left->addLayout(range_row);
    choose_row->addLayout(left, 1);

    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("Still intervals"), choose));
    stillTable = new QTableWidget(0, 2, choose);
    stillTable->setHorizontalHeaderLabels(
        {QStringLiteral("Start (s)"), QStringLiteral("Length (s)")});
    stillTable->verticalHeader()->setVisible(false);
    stillTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    stillTable->setSelectionMode(QAbstractItemView::SingleSelection);
    stillTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    stillTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    stillTable->setFixedWidth(190);
    stillTable->setToolTip(QStringLiteral(
        "Where the board lay still: over half a second roll and pitch within 0.3°, each "
        "accelerometer axis within 0.02 g, each gyroscope axis within 1.5 °/s, no frame lost"));
    connect(stillTable, &QTableWidget::cellClicked, this,
            [this](int row, int) { chooseStill(row); });
    right->addWidget(stillTable, 1);
    choose_row->addLayout(right);

    // The figures.
    auto* figures = new QWidget(split);
    auto* figures_box = new QVBoxLayout(figures);
    figures_box->setContentsMargins(0, 0, 0, 0);
    summaryLabel = new QLabel(figures);
    summaryLabel->setWordWrap(true);
    figures_box->addWidget(summaryLabel);
    figureTable = new QTableWidget(kStatsChannels, kFigureColumns, figures);
    figureTable->setObjectName(QStringLiteral("figures"));
    const int row = fontMetrics().height() + 4;
    setup_figure_table(figureTable, row);
    figures_box->addWidget(figureTable, 1);

    // The Allan deviation, a plot per sensor.
    auto* plots = new QWidget(split);
    auto* plot_box = new QVBoxLayout(plots);
    plot_box->setContentsMargins(0, 0, 0, 0);
    plot_box->setSpacing(2);
    auto* legend = new QLabel(allan_key_text(), plots);
    legend->setTextFormat(Qt::RichText);
    plot_box->addWidget(legend);
    auto* plot_row = new QHBoxLayout;
    for (int s = 0; s < 3; ++s) {
        allanPlots[std::size_t(s)] = make_allan_plot(s, plots);
        plot_row->addWidget(allanPlots[std::size_t(s)]);
    }
    plot_box->addLayout(plot_row, 1);
    // The table whole where the screen allows; the plots take the rest.
    const int table = figureTable->horizontalHeader()->sizeHint().height() + kStatsChannels * row +
                      2 * figureTable->frameWidth() + row;
    split->setSizes({170, table + row, 360});
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    split->setStretchFactor(2, 2);

    auto* exports = new QHBoxLayout;
    exportTableButton = new QPushButton(QStringLiteral("Export table (CSV)..."), this);
    exportCurvesButton = new QPushButton(QStringLiteral("Export curves (CSV)..."), this);
    exportPlotsButton = new QPushButton(QStringLiteral("Save plots (PNG, SVG)..."), this);
    int what = 0;
    for (QPushButton* b : {exportTableButton, exportCurvesButton, exportPlotsButton}) {
        exports->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, what] { ask_and_export(what); });
        ++what;
    }
    exports->addStretch(1);
    top->addLayout(exports);

    // As large as suits the screen: 1200 x 960 at most, on a smaller one all of it but room for
    // the window's frame (a laptop's 768 lines leave the plots little enough).
    QSize size(1200, 960);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() - QSize(40, 50));
    resize(size);
}

} // namespace zento
