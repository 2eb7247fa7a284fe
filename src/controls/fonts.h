#pragma once
// The windows' designed fonts, each with fallbacks for systems that lack it: the CJK families
// fall back to any installed CJK face, Arial to faces with its metrics (Liberation Sans, which
// fontconfig also substitutes for Arial, and Arimo), Lucida Console to a fixed-pitch family.
#include <QFont>
#include <QString>

namespace zento {

QFont font_xinsongti(double point_size); // "新宋体"
QFont font_heiti(double point_size);     // "黑体"
QFont font_arial(double point_size, bool bold);
QFont font_lucida_console(double point_size);

// The windows' own font, for every text without a designed font of its own (captions, buttons,
// menus, group frame titles, the 3D window's overlay): the first installed of a fixed list
// (DejaVu Sans, Liberation Sans, Noto Sans, ...) at 9 pt. Not the desktop's default font, whose
// family and size differ from machine to machine (Noto Sans where fonts-noto-core is installed,
// 10 or 11 pt on some desktops), and with them what fits the fixed layout. Chosen by name like
// the fixed-pitch family below; resolved once.
QFont font_window();
// Makes font_window() the application's default font: main() and every harness that builds the
// windows call it right after creating the QApplication.
void use_window_font();

// The fixed-pitch family the program draws with: the first installed of a fixed list
// (Lucida Console, DejaVu Sans Mono, Liberation Mono, Noto Sans Mono, ...), else the system's
// fixed font. Chosen by name, not by what the font database reports as fixed pitch (some
// monospace faces, Noto Sans Mono among them, are not reported so), so the choice is the same
// on every machine with the same fonts. Resolved once.
const QString& fixed_pitch_family();

} // namespace zento
