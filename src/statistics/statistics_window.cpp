#include "statistics/statistics_window.h"

#include <QCloseEvent>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "health/health_settings.h"
#include "statistics/recording_frames.h"
#include "statistics/statistics_plots.h"
#include "statistics/statistics_table.h"

namespace zento {

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
} // namespace

using namespace stats_ui;

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
    clear_figure_table(figureTable);
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

    summaryLabel->setText(interval_summary(s, length_));

    fill_figure_table(figureTable, s);
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
    const bool svg = path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive);
    return save(path, allan_plots_picture(allanPlots, svg,
                                          QStringLiteral("Allan deviation of ") +
                                              QFileInfo(file_).fileName()));
}

void StatisticsWindow::closeEvent(QCloseEvent* e) {
    cancel();
    QWidget::closeEvent(e);
}

} // namespace zento
