#pragma once
// The strip chart's y range policy, apart from any drawing: the range that follows the data in
// view with hysteresis, so that it changes rarely (each change draws the whole chart again, where
// an unchanged range lets the kept picture scroll). It grows at once to take in data that leaves
// it (with headroom on the side that grew), and shrinks to fit the data once the data has used
// less than kShrinkBelowFraction of it for a given time; a fitted range has a margin on each
// side, and a flat trace gets a usable one. Pure (no Qt): the chart (strip_chart.h) gives it the
// extent of the visible channels' points in view and the time, and sets the axis to its answer.
namespace zento {

class YRangeFollower {
  public:
    struct Range {
        double lower;
        double upper;
        bool operator==(const Range&) const = default;
    };
    static constexpr double kMarginFraction = 0.03;  // margin of a fitted range, each side
    static constexpr double kHeadroomFraction = 0.1; // extra room on a side that grows
    static constexpr double kShrinkBelowFraction = 0.8;

    // The range that fits [lo, hi] with its margin (a flat trace gets a usable range).
    static Range fit(double lo, double hi);
    // The range to show now, given the current one, the data's extent in view [lo, hi]
    // (lo <= hi) and the time `now` (not going backwards); `window` is the time after which a
    // range the data uses less than kShrinkBelowFraction of is fitted again.
    Range follow(Range current, double lo, double hi, double now, double window);
    // The next follow() fits the data at once.
    void refit() { refit_ = true; }

  private:
    bool refit_ = true;
    double underused_since_ = 0; // time since which the data used too little of the range
    bool underused_ = false;
};

} // namespace zento
