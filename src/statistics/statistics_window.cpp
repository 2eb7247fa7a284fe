#include "statistics/statistics_window.h"

#include <QBuffer>
#include <QCloseEvent>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QSplitter>
#include <QSvgGenerator>
#include <QTableWidget>
#include <QVBoxLayout>

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "health/health_settings.h"
#include "statistics/recording_frames.h"

namespace zento {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kOverviewSlices = 1000;
constexpr int kExportWidth = 640, kExportHeight = 480; // each plot of an exported image

enum Column {
    kChannel,
    kUnit,
    kMean,
    kSd,
    kMin,
    kMax,
    kMeanCounts,
    kSdCounts,
    kMinCounts,
    kMaxCounts,
    kDensity,
    kRandomWalk,
    kBiasInstability,
    kColumns
};

const char* const kChannelNames[kStatsChannels] = {"Accel X", "Accel Y", "Accel Z", "Gyro X",
                                                   "Gyro Y",  "Gyro Z",  "Mag X",   "Mag Y",
                                                   "Mag Z",   "Yaw",     "Pitch",   "Roll"};
const char* const kSensorNames[3] = {"Accelerometer", "Gyroscope", "Magnetometer"};
const QColor kAxisColours[3] = {QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
                                QColor(0x1f, 0x77, 0xb4)};

QString unit_text(Quantity q) {
    switch (q) {
    case Quantity::acceleration:
        return QStringLiteral("g");
    case Quantity::rate:
        return QStringLiteral("°/s");
    case Quantity::field:
        return QStringLiteral("gauss");
    case Quantity::angle:
        break;
    }
    return QStringLiteral("°");
}

// A figure as the window shows it: 5 significant digits; a dash for anything not finite (the
// core gives none, and none may reach the screen).
QString figure(double v, int digits = 5) {
    if (!std::isfinite(v)) return QStringLiteral("—");
    if (v == 0) v = 0; // no "-0"
    return QString::number(v, 'g', digits);
}

// A message of the core as a sentence of its own.
QString sentence(const std::string& text) {
    QString s = QString::fromStdString(text);
    if (!s.isEmpty()) s[0] = s[0].toUpper();
    return s.endsWith(QLatin1Char('.')) ? s : s + QLatin1Char('.');
}

QString seconds(double v) {
    if (!std::isfinite(v)) return QStringLiteral("—");
    return QString::number(v, 'f', v < 100 ? 2 : 1);
}

// The overview: the gyroscope's magnitude (deg/s), each of kOverviewSlices slices of the
// recording as its lowest and highest value (NaN where no frame fell: the line breaks there).
struct Overview {
    QVector<double> time, low, high;
};

void make_overview(const FrameLog& log, double length, double scale, Overview& r) {
    const FrameSeries& s = log.sensor();
    const auto magnitude = [&](std::size_t i) {
        return std::hypot(double(s.channel[3][i]), double(s.channel[4][i]),
                          double(s.channel[5][i])) /
               scale;
    };
    if (s.size() <= std::size_t(4 * kOverviewSlices)) {
        for (std::size_t i = 0; i < s.size(); ++i) {
            r.time.push_back(s.time[i]);
            r.low.push_back(magnitude(i));
            r.high.push_back(r.low.back());
        }
        return;
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double width = std::max(length, s.time.back()) / kOverviewSlices;
    r.low.fill(nan, kOverviewSlices);
    r.high.fill(nan, kOverviewSlices);
    for (int k = 0; k < kOverviewSlices; ++k)
        r.time.push_back((k + 0.5) * width);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const int k = std::clamp(int(s.time[i] / width), 0, kOverviewSlices - 1);
        const double m = magnitude(i);
        double& lo = r.low[k];
        double& hi = r.high[k];
        lo = std::isnan(lo) ? m : std::min(lo, m);
        hi = std::isnan(hi) ? m : std::max(hi, m);
    }
}

QCustomPlot* make_allan_plot(int sensor, QWidget* parent) {
    auto* p = new QCustomPlot(parent);
    p->setObjectName(QStringLiteral("allan%1").arg(sensor));
    p->setMinimumSize(220, 180);
    p->plotLayout()->insertRow(0);
    p->plotLayout()->addElement(0, 0,
                                new QCPTextElement(p, QString::fromLatin1(kSensorNames[sensor]),
                                                   QFont(p->font().family(), 10, QFont::Bold)));
    for (QCPAxis* axis : {p->xAxis, p->yAxis}) {
        axis->setScaleType(QCPAxis::stLogarithmic);
        axis->setTicker(QSharedPointer<QCPAxisTickerLog>(new QCPAxisTickerLog));
        axis->setNumberFormat(QStringLiteral("eb")); // 10 to the power, drawn as such
        axis->setNumberPrecision(0);
        axis->grid()->setSubGridVisible(true);
    }
    p->xAxis->setLabel(QStringLiteral("τ (s)"));
    const Quantity q = stats_channel(3 * sensor).quantity;
    p->yAxis->setLabel(QStringLiteral("σ(τ) (%1)").arg(unit_text(q)));
    for (int a = 0; a < 3; ++a) {
        QCPGraph* g = p->addGraph();
        g->setName(QString(QChar('X' + a)));
        g->setPen(QPen(kAxisColours[a], 1.6));
        g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, 3));
    }
    QCPGraph* one = p->addGraph();
    one->setName(QStringLiteral("τ = 1 s"));
    one->setLineStyle(QCPGraph::lsNone);
    one->setScatterStyle(
        QCPScatterStyle(QCPScatterStyle::ssCircle, QPen(Qt::black, 1.5), Qt::NoBrush, 10));
    QCPGraph* low = p->addGraph();
    low->setName(QStringLiteral("minimum"));
    low->setLineStyle(QCPGraph::lsNone);
    low->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssTriangleInverted, QPen(Qt::black, 1.5),
                                         Qt::NoBrush, 10));
    // The legend is drawn in exported pictures; on screen one line above the plots says it.
    p->legend->setVisible(false);
    QFont small = p->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    p->legend->setFont(small);
    p->legend->setRowSpacing(-2);
    // Bottom left: the one corner an Allan deviation curve (falling, then rising) leaves free.
    p->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignBottom | Qt::AlignLeft);
    p->xAxis->setRange(0.01, 100);
    p->yAxis->setRange(1e-4, 1);
    return p;
}

// The one log-log plot of a sensor: its three axes' curves, each curve's point at tau = 1 s
// and its minimum marked (only points with terms, finite and positive: a log axis has no 0).
void show_allan(QCustomPlot* p, const IntervalStats& s, int sensor) {
    QVector<double> one_t, one_v, low_t, low_v;
    const double T = s.sensor.period;
    const double one_second = T > 0 ? double(std::lround(1.0 / T)) * T : -1;
    double lo = kInf, hi = 0;
    for (int a = 0; a < 3; ++a) {
        const int c = 3 * sensor + a;
        QVector<double> t, v;
        std::size_t lowest = s.allan.tau.size();
        for (std::size_t f = 0; f < s.allan.tau.size(); ++f) {
            const double d = s.allan.adev[std::size_t(c)][f];
            if (s.allan.terms[f] == 0 || !(d > 0) || !std::isfinite(d)) continue;
            t.push_back(s.allan.tau[f]);
            v.push_back(d);
            lo = std::min(lo, d);
            hi = std::max(hi, d);
            if (s.allan.tau[f] == one_second) one_t.push_back(s.allan.tau[f]), one_v.push_back(d);
            if (lowest == s.allan.tau.size() || d < s.allan.adev[std::size_t(c)][lowest])
                lowest = f;
        }
        if (lowest != s.allan.tau.size()) {
            low_t.push_back(s.allan.tau[lowest]);
            low_v.push_back(s.allan.adev[std::size_t(c)][lowest]);
        }
        p->graph(a)->setData(t, v, true);
    }
    p->graph(3)->setData(one_t, one_v);
    p->graph(4)->setData(low_t, low_v);
    if (hi > 0) {
        double t0 = kInf, t1 = 0;
        for (std::size_t f = 0; f < s.allan.tau.size(); ++f)
            if (s.allan.terms[f] != 0) t0 = std::min(t0, s.allan.tau[f]), t1 = s.allan.tau[f];
        // Whole decades, a little beyond the points: every decade labelled as a power of 10,
        // none crowded, the markers never cut by the frame.
        // At least two decades (fewer get linear ticks from the log ticker).
        const auto decades = [](QCPAxis* axis, double a, double b) {
            const double top = std::ceil(std::log10(b * 1.2));
            const double bottom = std::min(std::floor(std::log10(a / 1.2)), top - 2);
            axis->setRange(std::pow(10.0, bottom), std::pow(10.0, top));
        };
        decades(p->xAxis, t0, t1);
        decades(p->yAxis, lo, hi);
    }
    p->replot();
}

void clear_allan(QCustomPlot* p) {
    for (int g = 0; g < p->graphCount(); ++g)
        p->graph(g)->data()->clear();
    p->replot();
}

QTableWidgetItem* cell(const QString& text, bool number = true) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

} // namespace

struct StatisticsWindow::Result {
    bool load = false;
    RecordingFrames frames;
    std::vector<StillInterval> still;
    Overview overview; // |gyroscope| per slice of time, deg/s
    std::shared_ptr<const IntervalStats> stats;
};

StatisticsWindow::StatisticsWindow(SettingsFile ini_file, QWidget* parent)
    : QWidget(parent, Qt::Window), ini_file_(std::move(ini_file)) {
    setObjectName(QStringLiteral("statistics"));
    setWindowTitle(QStringLiteral("Statistics"));
    build();
    progress_timer_.setInterval(100);
    connect(&progress_timer_, &QTimer::timeout, this, &StatisticsWindow::show_progress);
    clear_figures();
    figureTable->resizeColumnsToContents();
    ask_file = [this](const QString& folder) {
        return QFileDialog::getOpenFileName(
            this, QStringLiteral("Statistics of a recording"), folder,
            QStringLiteral("Recordings (*.pcap *.pcapng *.bin *.cap);;All files (*)"));
    };
    ask_save_file = [this](const QString& suggested, const QString& filter) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Export"), suggested, filter);
    };
}

StatisticsWindow::~StatisticsWindow() {
    cancel(); // before the members the job reports into go
}

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
    figureTable = new QTableWidget(kStatsChannels, kColumns, figures);
    figureTable->setObjectName(QStringLiteral("figures"));
    figureTable->setHorizontalHeaderLabels(
        {QStringLiteral("Channel"), QStringLiteral("Unit"), QStringLiteral("Mean"),
         QStringLiteral("SD"), QStringLiteral("Min"), QStringLiteral("Max"),
         QStringLiteral("Mean (counts)"), QStringLiteral("SD (counts)"),
         QStringLiteral("Min (counts)"), QStringLiteral("Max (counts)"),
         QStringLiteral("Noise density"), QStringLiteral("Random walk"),
         QStringLiteral("Bias instability")});
    const QString tips[kColumns] = {
        {},
        {},
        {},
        QStringLiteral("Standard deviation of the samples"),
        {},
        {},
        {},
        {},
        {},
        {},
        QStringLiteral("SD × √T: the Allan deviation's level at τ = 1 s for white noise"),
        QStringLiteral("σ(τ) √τ at τ = 1 s: angle random walk (°/√h), velocity random walk "
                       "(m/s/√h)"),
        QStringLiteral("The Allan deviation's minimum / 0.664, at the τ given; ≤ where the "
                       "curve still falls at its end")};
    for (int c = 0; c < kColumns; ++c)
        if (!tips[c].isEmpty()) figureTable->horizontalHeaderItem(c)->setToolTip(tips[c]);
    figureTable->verticalHeader()->setVisible(false);
    const int row = fontMetrics().height() + 4;
    figureTable->verticalHeader()->setDefaultSectionSize(row);
    figureTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    figureTable->horizontalHeader()->setStretchLastSection(true);
    figures_box->addWidget(figureTable, 1);

    // The Allan deviation, a plot per sensor.
    auto* plots = new QWidget(split);
    auto* plot_box = new QVBoxLayout(plots);
    plot_box->setContentsMargins(0, 0, 0, 0);
    plot_box->setSpacing(2);
    QString key = QStringLiteral("Allan deviation, overlapping:&nbsp;&nbsp;");
    for (int a = 0; a < 3; ++a)
        key += QStringLiteral("<span style=\"color:%1\">━●━ %2</span>&nbsp;&nbsp;&nbsp;")
                   .arg(kAxisColours[a].name())
                   .arg(QChar('X' + a));
    key +=
        QStringLiteral("○ at τ = 1 s (random walk)&nbsp;&nbsp;&nbsp;▽ minimum (bias instability)");
    auto* legend = new QLabel(key, plots);
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

// ---- the job ----

bool StatisticsWindow::open(const QString& file) {
    QString path = file;
    if (path.isEmpty()) {
        const QString folder =
            start_folder ? QFile::decodeName(QByteArray::fromStdString(start_folder().string()))
                         : QString();
        path = ask_file ? ask_file(folder) : QString();
        if (path.isEmpty()) return false;
    }
    cancel();
    file_ = path;
    log_.reset();
    still_.clear();
    length_ = 0;
    notes_.clear();
    shown_.reset();
    fileLabel->setText(QStringLiteral("Recording: ") + QDir::toNativeSeparators(path));
    setWindowTitle(QStringLiteral("Statistics - ") + QFileInfo(path).fileName());
    stillTable->setRowCount(0);
    for (int g = 0; g < 2; ++g)
        overview->graph(g)->data()->clear();
    for (QCPItemRect* r : still_items_)
        overview->removeItem(r);
    still_items_.clear();
    range_item_->setVisible(false);
    overview->replot();
    clear_figures();
    start(true, -kInf, kInf);
    return true;
}

void StatisticsWindow::chooseWhole() {
    if (!file_.isEmpty()) start(!log_, -kInf, kInf);
}

void StatisticsWindow::chooseRange(double from, double to) {
    if (!file_.isEmpty()) start(!log_, from, to);
}

void StatisticsWindow::chooseStill(int row) {
    if (row < 0 || std::size_t(row) >= still_.size()) return;
    const StillInterval& s = still_[std::size_t(row)];
    chooseRange(s.from, s.to);
    stillTable->selectRow(row);
}

void StatisticsWindow::apply_typed_range() {
    bool ok_from = false, ok_to = false;
    const double from = fromEdit->text().trimmed().toDouble(&ok_from);
    const double to = toEdit->text().trimmed().toDouble(&ok_to);
    if (!ok_from || !ok_to || !std::isfinite(from) || !std::isfinite(to)) {
        say(QStringLiteral("Give the interval as seconds from the start of the recording, "
                           "\".\" as the decimal point (from 0 to %1).")
                .arg(seconds(length_)),
            true);
        return;
    }
    chooseRange(from, to);
}

void StatisticsWindow::cancel() {
    if (job_.joinable()) {
        job_.request_stop();
        job_.join();
    }
    progress_timer_.stop();
    progressBar->setVisible(false);
    if (running_) {
        running_ = false;
        ++job_id_; // what it may still have posted is not shown
        say(QStringLiteral("Stopped."));
    }
}

void StatisticsWindow::start(bool load, double from, double to) {
    if (job_.joinable()) {
        job_.request_stop();
        job_.join();
    }
    from_ = from;
    to_ = to;
    show_range();
    shown_.reset(); // the figures of another interval
    clear_figures();
    const unsigned id = ++job_id_;
    running_ = true;
    permille_ = 0;
    phase_ = load ? 0 : 2;
    StatsOptions options;
    options.from = from;
    options.to = to;
    options.scales = read_health_scales(ini_file_).scales;
    const std::filesystem::path path(QFile::encodeName(file_).toStdString());
    const double rate = rateEdit->value();
    std::shared_ptr<const FrameLog> log = log_;
    job_ = std::jthread([this, id, load, path, rate, log, options](std::stop_token stop) mutable {
        auto r = std::make_shared<Result>();
        r->load = load;
        // Reading is most of the work when it is needed: 0 to 70 %.
        const double share = load ? 0.7 : 0.0;
        if (load) {
            r->frames = read_recording_frames(path, rate, stop,
                                              [this](double f) { permille_ = int(700 * f); });
            if (stop.stop_requested()) return;
            log = r->frames.log;
            if (log) {
                phase_ = 1;
                r->still = still_intervals(*log, options.scales, stop);
                make_overview(*log, r->frames.length, options.scales.gyro_counts_per_dps,
                              r->overview);
            }
        }
        if (log) {
            phase_ = 2;
            options.stop = stop;
            options.progress = [this, share](double f) {
                permille_ = int(1000 * (share + (1 - share) * f));
            };
            r->stats = std::make_shared<const IntervalStats>(interval_stats(*log, options));
        }
        if (stop.stop_requested()) return;
        QMetaObject::invokeMethod(
            this, [this, id, r] { finished(id, r); }, Qt::QueuedConnection);
    });
    progressBar->setValue(0);
    progressBar->setVisible(true);
    show_progress();
    progress_timer_.start();
}

void StatisticsWindow::show_progress() {
    if (!running_) return;
    progressBar->setValue(permille_);
    static const char* const kPhases[] = {"Reading the recording", "Finding the still intervals",
                                          "Computing the figures and the Allan deviation"};
    say(QStringLiteral("%1 ... %2 %")
            .arg(QString::fromLatin1(kPhases[phase_]))
            .arg(permille_ / 10));
}

void StatisticsWindow::finished(unsigned id, const std::shared_ptr<Result>& r) {
    if (id != job_id_ || !running_) return; // stopped, or another job began since
    running_ = false;
    progress_timer_.stop();
    progressBar->setVisible(false);
    if (job_.joinable()) job_.join(); // it has posted this as its last step
    if (r->load) {
        if (!r->frames.log) {
            say(QString::fromStdString(r->frames.error), true); // may begin with a file's name
            return;
        }
        show_loaded(*r);
    }
    shown_ = r->stats;
    show_stats();
}

void StatisticsWindow::show_loaded(Result& r) {
    log_ = r.frames.log;
    length_ = r.frames.length;
    still_ = std::move(r.still);
    notes_.clear();
    if (!r.frames.damage.empty())
        notes_ = QStringLiteral("The recording ends in damage (%1): its frames up to there are "
                                "used.")
                     .arg(QString::fromStdString(r.frames.damage));
    const bool plain = r.frames.plain;
    rateEdit->setVisible(plain);
    rateCaption->setVisible(plain);

    overview->graph(0)->setData(r.overview.time, r.overview.high, true);
    overview->graph(1)->setData(r.overview.time, r.overview.low, true);
    overview->xAxis->setRange(0, std::max(length_, 1.0));
    for (QCPItemRect* old : still_items_)
        overview->removeItem(old);
    still_items_.clear();
    bool any = false;
    const QCPRange y = overview->graph(0)->getValueRange(any);
    overview->yAxis->setRange(0, any && y.upper > 0 ? y.upper * 1.1 : 1.0);
    for (const StillInterval& s : still_) {
        auto* rect = new QCPItemRect(overview);
        rect->setPen(Qt::NoPen);
        rect->setBrush(QColor(0x2c, 0xa0, 0x2c, 70));
        rect->topLeft->setTypeY(QCPItemPosition::ptAxisRectRatio);
        rect->bottomRight->setTypeY(QCPItemPosition::ptAxisRectRatio);
        rect->topLeft->setCoords(s.from, 0);
        rect->bottomRight->setCoords(s.to, 1);
        still_items_.push_back(rect);
    }
    stillTable->setRowCount(int(still_.size()));
    for (std::size_t i = 0; i < still_.size(); ++i) {
        stillTable->setItem(int(i), 0, cell(seconds(still_[i].from)));
        stillTable->setItem(int(i), 1, cell(seconds(still_[i].length())));
    }
    show_range();
}

// ---- showing ----

void StatisticsWindow::say(const QString& text, bool problem) {
    messageLabel->setText(text);
    messageLabel->setVisible(!text.isEmpty());
    messageLabel->setStyleSheet(problem ? QStringLiteral("color: #9b1c1c;") : QString());
}

void StatisticsWindow::show_range() {
    const bool whole = std::isinf(from_) && std::isinf(to_);
    fromEdit->setText(std::isfinite(from_) ? figure(from_) : QStringLiteral("0"));
    toEdit->setText(std::isfinite(to_) ? figure(to_) : figure(length_));
    range_item_->setVisible(!whole && std::isfinite(from_) && std::isfinite(to_));
    if (range_item_->visible()) {
        range_item_->topLeft->setCoords(std::min(from_, to_), 0);
        range_item_->bottomRight->setCoords(std::max(from_, to_), 1);
    }
    int row = -1;
    for (std::size_t i = 0; i < still_.size(); ++i)
        if (still_[i].from == from_ && still_[i].to == to_) row = int(i);
    if (row < 0) stillTable->clearSelection();
    overview->replot();
}

void StatisticsWindow::clear_figures() {
    summaryLabel->clear();
    for (int c = 0; c < kStatsChannels; ++c) {
        figureTable->setItem(c, kChannel, cell(QString::fromLatin1(kChannelNames[c]), false));
        figureTable->setItem(c, kUnit, cell(unit_text(stats_channel(c).quantity), false));
        for (int col = kMean; col < kColumns; ++col)
            figureTable->setItem(c, col, cell(QString()));
    }
    for (QCustomPlot* p : allanPlots)
        clear_allan(p);
    for (QPushButton* b : {exportTableButton, exportCurvesButton, exportPlotsButton})
        b->setEnabled(false);
}

void StatisticsWindow::show_stats() {
    clear_figures();
    if (!shown_) return;
    const IntervalStats& s = *shown_;
    if (!s.problem.empty()) {
        say(sentence(s.problem), true);
        shown_.reset();
        return;
    }
    QStringList notes;
    for (const KindStats* k : {&s.sensor, &s.attitude})
        if (!k->problem.empty()) notes << sentence(k->problem + ": their rows show dashes");
    if (!s.short_curve.empty()) notes << sentence(s.short_curve);
    if (!notes_.isEmpty()) notes << notes_;
    say(notes.join(QLatin1Char(' ')), !notes.isEmpty());

    const auto kind_text = [](const char* name, const KindStats& k) {
        if (!k.problem.empty() || k.period <= 0)
            return QStringLiteral("%1 frames: %2").arg(QString::fromLatin1(name)).arg(k.frames);
        return QStringLiteral("%1 frames: %2 at %3 Hz, %4 %5")
            .arg(QString::fromLatin1(name))
            .arg(k.frames)
            .arg(figure(1.0 / k.period))
            .arg(k.gaps())
            .arg(k.gaps() == 1 ? QStringLiteral("gap") : QStringLiteral("gaps"));
    };
    const double from = std::isfinite(s.from) ? s.from : 0.0;
    const double to = std::isfinite(s.to) ? s.to : length_;
    summaryLabel->setText(QStringLiteral("Interval %1 s to %2 s (%3 s).  %4;  %5;  %6 lost.")
                              .arg(seconds(from), seconds(to), seconds(to - from),
                                   kind_text("Sensor", s.sensor), kind_text("Attitude", s.attitude))
                              .arg(s.lost));

    for (int c = 0; c < kStatsChannels; ++c) {
        const ChannelStats& cs = s.channel[std::size_t(c)];
        if (!cs.valid) {
            for (int col = kMean; col < kColumns; ++col)
                figureTable->item(c, col)->setText(QStringLiteral("—"));
            continue;
        }
        const double f = cs.counts_per_unit;
        const double values[] = {cs.mean,     cs.sd,     cs.min,     cs.max,
                                 cs.mean * f, cs.sd * f, cs.min * f, cs.max * f};
        for (int i = 0; i < 8; ++i)
            figureTable->item(c, kMean + i)->setText(figure(values[i]));
        const Quantity q = stats_channel(c).quantity;
        const QString unit = unit_text(q);
        figureTable->item(c, kDensity)
            ->setText(figure(cs.noise_density, 4) + QLatin1Char(' ') + unit +
                      QStringLiteral("/√Hz"));
        const bool gyro = q == Quantity::rate;
        const bool reads = gyro || q == Quantity::acceleration;
        figureTable->item(c, kRandomWalk)
            ->setText(!reads ? QString()
                      : cs.has_random_walk
                          ? figure(cs.random_walk, 4) +
                                (gyro ? QStringLiteral(" °/√h") : QStringLiteral(" m/s/√h"))
                          : QStringLiteral("—"));
        QString bias = QStringLiteral("—");
        if (cs.has_bias_instability) {
            const bool bound = !s.allan.tau.empty() && cs.bias_tau == s.allan.tau.back();
            bias = (bound ? QStringLiteral("≤ ") : QString()) + figure(cs.bias_instability, 4) +
                   (gyro ? QStringLiteral(" °/h") : QStringLiteral(" mg")) +
                   QStringLiteral(" (τ %1 s)").arg(figure(cs.bias_tau, 3));
        }
        figureTable->item(c, kBiasInstability)->setText(reads ? bias : QString());
    }
    figureTable->resizeColumnsToContents();
    if (s.sensor.problem.empty())
        for (int p = 0; p < 3; ++p)
            show_allan(allanPlots[std::size_t(p)], s, p);
    exportTableButton->setEnabled(true);
    exportCurvesButton->setEnabled(s.sensor.problem.empty());
    exportPlotsButton->setEnabled(s.sensor.problem.empty());
}

// ---- the overview: drag to choose ----

void StatisticsWindow::overview_press(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !log_) return;
    dragging_ = true;
    drag_from_ = overview->xAxis->pixelToCoord(e->position().x());
}

void StatisticsWindow::overview_move(QMouseEvent* e) {
    if (!dragging_) return;
    const double x = overview->xAxis->pixelToCoord(e->position().x());
    range_item_->topLeft->setCoords(std::min(drag_from_, x), 0);
    range_item_->bottomRight->setCoords(std::max(drag_from_, x), 1);
    range_item_->setVisible(true);
    overview->replot(QCustomPlot::rpQueuedReplot);
}

void StatisticsWindow::overview_release(QMouseEvent* e) {
    if (!dragging_) return;
    dragging_ = false;
    const double x = overview->xAxis->pixelToCoord(e->position().x());
    const double px = std::abs(overview->xAxis->coordToPixel(drag_from_) - e->position().x());
    if (px < 3) { // a click: the still interval under it, if any
        for (std::size_t i = 0; i < still_.size(); ++i)
            if (x >= still_[i].from && x <= still_[i].to) return chooseStill(int(i));
        show_range();
        return;
    }
    chooseRange(std::max(0.0, std::min(drag_from_, x)), std::min(length_, std::max(drag_from_, x)));
}

// ---- export ----

QString StatisticsWindow::suggested(const QString& suffix) const {
    const QFileInfo info(file_);
    return info.dir().filePath(info.completeBaseName() + suffix);
}

void StatisticsWindow::ask_and_export(int what) {
    static const char* const kSuffix[] = {"-stats.csv", "-allan.csv", "-allan.png"};
    const QString filter = what < 2 ? QStringLiteral("CSV (*.csv)")
                                    : QStringLiteral("PNG image (*.png);;SVG image (*.svg)");
    const QString path = ask_save_file(suggested(QString::fromLatin1(kSuffix[what])), filter);
    if (path.isEmpty()) return;
    if (what == 0) exportTable(path);
    if (what == 1) exportCurves(path);
    if (what == 2) exportPlots(path);
}

bool StatisticsWindow::save(const QString& path, const QByteArray& bytes) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        say(QStringLiteral("Not saved: %1: %2")
                .arg(QDir::toNativeSeparators(path), f.errorString()),
            true);
        return false;
    }
    say(QStringLiteral("Saved %1").arg(QDir::toNativeSeparators(path)));
    return true;
}

bool StatisticsWindow::exportTable(const QString& path) {
    if (!shown_) return false;
    return save(path, QByteArray::fromStdString(stats_csv(*shown_)));
}

bool StatisticsWindow::exportCurves(const QString& path) {
    if (!shown_) return false;
    return save(path, QByteArray::fromStdString(allan_csv(*shown_)));
}

bool StatisticsWindow::exportPlots(const QString& path) {
    if (!shown_) return false;
    const QSize size(3 * kExportWidth, kExportHeight);
    const auto paint = [this](QCPPainter& painter) {
        for (int p = 0; p < 3; ++p) {
            painter.save();
            painter.translate(p * kExportWidth, 0);
            QCustomPlot* plot = allanPlots[std::size_t(p)];
            plot->legend->setVisible(true);
            plot->toPainter(&painter, kExportWidth, kExportHeight);
            plot->legend->setVisible(false);
            painter.restore();
        }
    };
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(QStringLiteral("Allan deviation of ") + QFileInfo(file_).fileName());
        QCPPainter painter(&svg);
        paint(painter);
    } else {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QCPPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            paint(painter);
        }
        image.save(&buffer, "PNG");
    }
    return save(path, buffer.data());
}

void StatisticsWindow::closeEvent(QCloseEvent* e) {
    cancel();
    QWidget::closeEvent(e);
}

} // namespace zento
