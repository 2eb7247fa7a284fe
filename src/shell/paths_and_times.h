#pragma once
// Paths between Qt's strings and the file system's (in the system's file name encoding), and a
// duration as the window shows it ("01:02:03"), or a playback's position ("01:02.3").
#include <QFile>
#include <QString>

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace zento {

inline std::filesystem::path to_path(const QString& s) {
    return std::filesystem::path(QFile::encodeName(s).toStdString());
}

inline QString from_path(const std::filesystem::path& p) {
    return QFile::decodeName(QByteArray::fromStdString(p.string()));
}

inline QString clock_text(std::chrono::nanoseconds t) {
    const auto s = std::chrono::duration_cast<std::chrono::seconds>(t).count();
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

// Minutes (two digits or more) and seconds to the tenth, rounded down: "00:00.0", "125:07.9".
inline QString play_clock_text(std::chrono::nanoseconds t) {
    const long long tenths = std::max<long long>(0, t.count() / 100'000'000);
    return QStringLiteral("%1:%2.%3")
        .arg(tenths / 600, 2, 10, QLatin1Char('0'))
        .arg(tenths / 10 % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}

} // namespace zento
