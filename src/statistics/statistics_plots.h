#pragma once
// The "Statistics" window's plots (statistics_window.h): the overview of a recording (the
// gyroscope's magnitude against time, from which the user drags an interval), the Allan
// deviation's log-log plot of each sensor, and the three side by side as an exported picture.
#include <QByteArray>
#include <QString>
#include <QVector>

#include <array>

#include "statistics/frame_log.h"
#include "statistics/interval_stats.h"

class QCustomPlot;
class QWidget;

namespace zento::stats_ui {

// The overview: the gyroscope's magnitude (deg/s), each of 1000 slices of the recording as its
// lowest and highest value (NaN where no frame fell: the line breaks there); a short recording
// frame by frame.
struct Overview {
    QVector<double> time, low, high;
};
// `length`: the recording's, seconds; `scale`: the gyroscope's counts per deg/s.
void make_overview(const FrameLog& log, double length, double scale, Overview& r);

// The empty plot of `sensor` (0 accelerometer, 1 gyroscope, 2 magnetometer): its three axes'
// curves, then the points at tau = 1 s and the minima.
QCustomPlot* make_allan_plot(int sensor, QWidget* parent);
void show_allan(QCustomPlot* p, const IntervalStats& s, int sensor);
void clear_allan(QCustomPlot* p);
// The line above the plots that says what their curves and marks are (rich text).
QString allan_key_text();
// The three plots side by side, each with its legend, as a PNG picture or (`svg`) an SVG one
// titled `title`.
QByteArray allan_plots_picture(const std::array<QCustomPlot*, 3>& plots, bool svg,
                               const QString& title);

} // namespace zento::stats_ui
