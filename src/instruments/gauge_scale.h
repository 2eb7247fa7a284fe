#pragma once
// Scale arithmetic of the instrument widgets, kept free of Qt so it can be checked on its own.
// Every function accepts any double (negative, huge, NaN, infinite) and returns a usable result.

namespace zento::gauge {

// v limited to [lo, hi]; NaN gives lo, -inf lo, +inf hi.
double clip(double v, double lo, double hi);

// Position of v on the scale [lo, hi] as a fraction 0..1 (clipped as above).
// A degenerate scale (hi <= lo) gives 0.
double fraction(double v, double lo, double hi);

// Heading in [0, 360) for any finite angle (-90 gives 270, 725 gives 5); NaN for NaN or infinity.
double heading(double degrees);

// Number of lit segments of a bar of `segments` equal segments over [lo, hi]:
// a segment is lit once the value passes its lower edge, so any value above lo shows at least
// one segment and a value on a segment's upper edge does not light the next one.
int lit_segments(double v, double lo, double hi, int segments);

// True when two values are the same for display purposes (NaN equals NaN).
bool same_value(double a, double b);

} // namespace zento::gauge
