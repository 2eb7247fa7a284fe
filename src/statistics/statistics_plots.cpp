#include "statistics/statistics_plots.h"

#include <QBuffer>
#include <QImage>
#include <QSvgGenerator>

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "statistics/statistics_table.h"

namespace zento::stats_ui {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kOverviewSlices = 1000;
constexpr int kExportWidth = 640, kExportHeight = 480; // each plot of an exported image
const char* const kSensorNames[3] = {"Accelerometer", "Gyroscope", "Magnetometer"};
const QColor kAxisColours[3] = {QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
                                QColor(0x1f, 0x77, 0xb4)};

} // namespace

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

QString allan_key_text() {
    QString key = QStringLiteral("Allan deviation, overlapping:&nbsp;&nbsp;");
    for (int a = 0; a < 3; ++a)
        key += QStringLiteral("<span style=\"color:%1\">━●━ %2</span>&nbsp;&nbsp;&nbsp;")
                   .arg(kAxisColours[a].name())
                   .arg(QChar('X' + a));
    key +=
        QStringLiteral("○ at τ = 1 s (random walk)&nbsp;&nbsp;&nbsp;▽ minimum (bias instability)");
    return key;
}

QByteArray allan_plots_picture(const std::array<QCustomPlot*, 3>& plots, bool svg,
                               const QString& title) {
    const QSize size(3 * kExportWidth, kExportHeight);
    const auto paint = [&plots](QCPPainter& painter) {
        for (int p = 0; p < 3; ++p) {
            painter.save();
            painter.translate(p * kExportWidth, 0);
            QCustomPlot* plot = plots[std::size_t(p)];
            plot->legend->setVisible(true);
            plot->toPainter(&painter, kExportWidth, kExportHeight);
            plot->legend->setVisible(false);
            painter.restore();
        }
    };
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (svg) {
        QSvgGenerator generator;
        generator.setOutputDevice(&buffer);
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        generator.setTitle(title);
        QCPPainter painter(&generator);
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
    return buffer.data();
}

} // namespace zento::stats_ui
