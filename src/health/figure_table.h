#pragma once
// The health figures, one row each (figure_table.cpp): group, name and unit; how its number,
// its text and its state (the grading against its thresholds) come from what the checks
// measured (health/measures.h); its thresholds as the window shows them; what a doubtful or bad
// state usually means; and the "Health: " line it writes when it turns bad. Every English text
// of the figures is the table's; the checks only count and measure.
#include <string>
#include <vector>

#include "health/health_monitor.h"
#include "health/measures.h"

namespace zento::health {

// Every figure for the measures, in FigureId order.
std::vector<HealthFigure> make_figures(const Measures& m);
// Every figure with its group and name only: nothing measured yet.
std::vector<HealthFigure> blank_figures();

// The "Health: " line of a figure that turned bad, and of one that is good again.
std::string bad_line(const HealthFigure& f);
std::string good_again_line(const HealthFigure& f);
// The board moved in the seconds after "Marked bias", while it collected its gyroscope bias.
std::string moved_at_bias_line();

} // namespace zento::health
