#include "statistics/statistics_table.h"

#include <QHeaderView>
#include <QTableWidget>

#include <cmath>

namespace zento::stats_ui {

namespace {

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
};
static_assert(kBiasInstability + 1 == kFigureColumns);

const char* const kChannelNames[kStatsChannels] = {"Accel X", "Accel Y", "Accel Z", "Gyro X",
                                                   "Gyro Y",  "Gyro Z",  "Mag X",   "Mag Y",
                                                   "Mag Z",   "Yaw",     "Pitch",   "Roll"};

} // namespace

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
QString figure(double v, int digits) {
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

QTableWidgetItem* cell(const QString& text, bool number) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

void setup_figure_table(QTableWidget* table, int row_height) {
    table->setHorizontalHeaderLabels(
        {QStringLiteral("Channel"), QStringLiteral("Unit"), QStringLiteral("Mean"),
         QStringLiteral("SD"), QStringLiteral("Min"), QStringLiteral("Max"),
         QStringLiteral("Mean (counts)"), QStringLiteral("SD (counts)"),
         QStringLiteral("Min (counts)"), QStringLiteral("Max (counts)"),
         QStringLiteral("Noise density"), QStringLiteral("Random walk"),
         QStringLiteral("Bias instability")});
    const QString tips[kFigureColumns] = {
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
    for (int c = 0; c < kFigureColumns; ++c)
        if (!tips[c].isEmpty()) table->horizontalHeaderItem(c)->setToolTip(tips[c]);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(row_height);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->horizontalHeader()->setStretchLastSection(true);
}

void clear_figure_table(QTableWidget* table) {
    for (int c = 0; c < kStatsChannels; ++c) {
        table->setItem(c, kChannel, cell(QString::fromLatin1(kChannelNames[c]), false));
        table->setItem(c, kUnit, cell(unit_text(stats_channel(c).quantity), false));
        for (int col = kMean; col < kFigureColumns; ++col)
            table->setItem(c, col, cell(QString()));
    }
}

void fill_figure_table(QTableWidget* table, const IntervalStats& s) {
    for (int c = 0; c < kStatsChannels; ++c) {
        const ChannelStats& cs = s.channel[std::size_t(c)];
        if (!cs.valid) {
            for (int col = kMean; col < kFigureColumns; ++col)
                table->item(c, col)->setText(QStringLiteral("—"));
            continue;
        }
        const double f = cs.counts_per_unit;
        const double values[] = {cs.mean,     cs.sd,     cs.min,     cs.max,
                                 cs.mean * f, cs.sd * f, cs.min * f, cs.max * f};
        for (int i = 0; i < 8; ++i)
            table->item(c, kMean + i)->setText(figure(values[i]));
        const Quantity q = stats_channel(c).quantity;
        const QString unit = unit_text(q);
        table->item(c, kDensity)
            ->setText(figure(cs.noise_density, 4) + QLatin1Char(' ') + unit +
                      QStringLiteral("/√Hz"));
        const bool gyro = q == Quantity::rate;
        const bool reads = gyro || q == Quantity::acceleration;
        table->item(c, kRandomWalk)
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
        table->item(c, kBiasInstability)->setText(reads ? bias : QString());
    }
    table->resizeColumnsToContents();
}

QString interval_summary(const IntervalStats& s, double length) {
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
    const double to = std::isfinite(s.to) ? s.to : length;
    return QStringLiteral("Interval %1 s to %2 s (%3 s).  %4;  %5;  %6 lost.")
        .arg(seconds(from), seconds(to), seconds(to - from), kind_text("Sensor", s.sensor),
             kind_text("Attitude", s.attitude))
        .arg(s.lost);
}

} // namespace zento::stats_ui
