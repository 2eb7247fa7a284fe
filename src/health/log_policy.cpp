#include "health/log_policy.h"

#include "health/figure_table.h"

namespace zento::health {

void LogPolicy::connected(double t) {
    t_connect_ = t;
    for (Figure& l : figures_)
        l.reported_bad = false, l.good_since = -1.0;
}

void LogPolicy::judge(double now, std::span<const HealthFigure> figures,
                      std::vector<std::string>& lines) {
    if (!judging(now)) return;
    for (const HealthFigure& f : figures) {
        Figure& l = figures_[std::size_t(f.id)];
        if (f.state != HealthState::good)
            l.good_since = -1.0;
        else if (l.good_since < 0)
            l.good_since = now;
        if (f.state == HealthState::bad && !l.reported_bad) {
            if (now - l.last_line < kRepeat) continue;
            lines.push_back(bad_line(f));
            l.last_line = now;
            l.reported_bad = true;
        } else if (l.reported_bad && l.good_since >= 0 && now - l.good_since >= kRecovered) {
            lines.push_back(good_again_line(f));
            l.reported_bad = false;
        }
    }
}

} // namespace zento::health
