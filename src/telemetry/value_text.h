#pragma once
// Value text: how every decoded number is shown (labels, widgets, the latest-values record,
// the attitude indicator's arguments).
//
// The single-precision value as plain decimal: at most 7 significant digits, no exponent,
// no trailing zeros and no trailing point, "-" for negatives, "0" before the point for
// magnitudes below 1, never "-0".  Examples: 12.3, -0.5, 0, 101320, -3276.7.
#include <cstddef>
#include <string>

namespace zento {

// Writes the text into buf (at least kValueTextMax bytes); returns its length.
inline constexpr std::size_t kValueTextMax = 64;
std::size_t value_text(float v, char* buf);
std::string value_text(float v);

// The general algorithm alone (no fast path); used to check the fast path.
std::string value_text_reference(float v);

} // namespace zento
