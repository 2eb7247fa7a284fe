#pragma once
// Helpers for the main window tests: a temporary program folder, frames, waiting for events.
#include "link/envelope.h"

#include <QString>
#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace shell_test {

// A temporary folder standing for the program's folder; removed with its contents.
class ProgramDir {
  public:
    ProgramDir() {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("zento-shell-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~ProgramDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ProgramDir(const ProgramDir&) = delete;
    ProgramDir& operator=(const ProgramDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    QString qpath() const { return QString::fromStdString(path_.string()); }
    std::filesystem::path ini() const { return path_ / "Zento.ini"; }
    void write_ini(const std::string& text) const {
        std::ofstream(ini(), std::ios::binary) << text;
    }

  private:
    std::filesystem::path path_;
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
