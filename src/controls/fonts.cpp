#include "controls/fonts.h"

#include <QApplication>
#include <QFontDatabase>
#include <QStringList>

namespace zento {

namespace {

QFont make(const QStringList& families, double point_size, QFont::StyleHint hint) {
    QFont f;
    f.setFamilies(families);
    f.setStyleHint(hint);
    f.setPointSizeF(point_size);
    return f;
}

} // namespace

QFont font_xinsongti(double point_size) {
    return make({QStringLiteral("新宋体"), QStringLiteral("NSimSun"), QStringLiteral("SimSun"),
                 QStringLiteral("Noto Serif CJK SC"), QStringLiteral("AR PL UMing CN"),
                 QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei")},
                point_size, QFont::Serif);
}

// The "Other" frame shows "Temp:25℃". WenQuanYi Micro Hei maps ℃ (U+2103) to an empty glyph, so
// a face that draws it comes first where neither SimHei nor Noto is installed (Liberation Sans,
// narrow enough for the longest texts of the frame; then DejaVu Sans); Chinese text still falls
// back to WenQuanYi.
QFont font_heiti(double point_size) {
    return make({QStringLiteral("黑体"), QStringLiteral("SimHei"),
                 QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Zen Hei"),
                 QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"),
                 QStringLiteral("WenQuanYi Micro Hei")},
                point_size, QFont::SansSerif);
}

QFont font_arial(double point_size, bool bold) {
    QFont f =
        make({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
              QStringLiteral("Helvetica"), QStringLiteral("DejaVu Sans")},
             point_size, QFont::SansSerif);
    f.setBold(bold);
    return f;
}

QFont font_lucida_console(double point_size) {
    QFont f(fixed_pitch_family());
    f.setStyleHint(QFont::TypeWriter);
    f.setPointSizeF(point_size);
    f.setFixedPitch(true);
    return f;
}

QFont font_window() {
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families();
        for (const char* name : {"DejaVu Sans", "Liberation Sans", "Noto Sans", "Arimo",
                                 "Helvetica", "Arial", "Segoe UI", "WenQuanYi Micro Hei"}) {
            const QString wanted = QString::fromUtf8(name);
            if (installed.contains(wanted, Qt::CaseInsensitive)) return wanted;
        }
        return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }();
    QFont f(family);
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(9);
    return f;
}

void use_window_font() {
    QApplication::setFont(font_window());
}

const QString& fixed_pitch_family() {
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families();
        for (const char* name :
             {"Lucida Console", "DejaVu Sans Mono", "Liberation Mono", "Noto Sans Mono",
              "Noto Mono", "Consolas", "Courier New", "WenQuanYi Micro Hei Mono"}) {
            const QString wanted = QString::fromUtf8(name);
            if (installed.contains(wanted, Qt::CaseInsensitive)) return wanted;
        }
        return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    }();
    return family;
}

} // namespace zento
