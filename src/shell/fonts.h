#pragma once
// The main window's designed fonts, each with fallbacks for systems that lack it: the CJK
// families fall back to any installed CJK face, Arial and Lucida Console to metric-compatible or
// monospace faces.
#include <QFont>

namespace zento {

QFont font_xinsongti(double point_size); // "新宋体"
QFont font_heiti(double point_size);     // "黑体"
QFont font_arial(double point_size, bool bold);
QFont font_lucida_console(double point_size); // monospace

} // namespace zento
