#pragma once
// The "Statistics" window's figures as the user reads them (statistics_window.h): the figure
// table, a row per channel (its columns, their headers and tips), a figure or a time as shown
// (5 significant digits; never NaN or infinity, a dash instead), a message of the core as a
// sentence, and the interval's summary line.
#include <QString>

#include <string>

#include "statistics/interval_stats.h"

class QTableWidget;
class QTableWidgetItem;

namespace zento::stats_ui {

constexpr int kFigureColumns = 13;

QString unit_text(Quantity q);             // "g", "°/s", "gauss", "°"
QString figure(double v, int digits = 5);  // a dash when not finite
QString seconds(double v);                 // a time in seconds, 2 decimals below 100
QString sentence(const std::string& text); // capitalised, ending in a full stop
QTableWidgetItem* cell(const QString& text, bool number = true); // read-only; numbers right

// The headers, their tips and the rows' height (`row_height`) of a table of kStatsChannels rows
// and kFigureColumns columns.
void setup_figure_table(QTableWidget* table, int row_height);
// Each row with its channel's name and unit, the figures empty.
void clear_figure_table(QTableWidget* table);
// The figures of `s` (a row of dashes for a channel without them), the columns fitted to them.
void fill_figure_table(QTableWidget* table, const IntervalStats& s);
// "Interval 0.00 s to 60.00 s (60.00 s).  Sensor frames: ...;  Attitude frames: ...;  0 lost."
// (`length`: the recording's, the end of an interval that runs to it).
QString interval_summary(const IntervalStats& s, double length);

} // namespace zento::stats_ui
