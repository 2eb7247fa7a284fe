#pragma once
// Helpers for the main window tests: a temporary program folder, frames, waiting for events.
#include "link/envelope.h"
#include "test_folder.h"

#include <QString>
#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace shell_test {

// A temporary folder standing for the program's folder; removed with its contents.
struct ProgramDir : zento_test::TempDir {
    QString qpath() const { return QString::fromStdString(path().string()); }
    std::filesystem::path ini() const { return path() / "Zento.ini"; }
    void write_ini(const std::string& text) const { put("Zento.ini", text); }
};

// Waits (processing events) until `done` holds; generous limit, never a timing assertion.
inline bool wait_for(const std::function<bool()>& done, int limit_ms = 10000) {
    return QTest::qWaitFor(done, limit_ms);
}

// An attitude frame (type 0xA1, 14 payload bytes) with the given altitude word.
inline std::vector<std::uint8_t> attitude_frame(std::uint8_t fill = 0) {
    const std::vector<std::uint8_t> payload(zento::kAttitudePayload, fill);
    return zento::build_frame(zento::kTypeAttitude, payload);
}

inline std::vector<std::uint8_t> sensor_frame() {
    const std::vector<std::uint8_t> payload(zento::kSensorPayload, 0x01);
    return zento::build_frame(zento::kTypeSensor, payload);
}

// The log split into its lines.
inline QStringList lines_of(const QString& log) {
    return log.split(QStringLiteral("\r\n"));
}

} // namespace shell_test
