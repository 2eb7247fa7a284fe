#pragma once
// The sensor scales that the health figures use, kept in the settings file's own section:
//
//   [Health]
//   AccelCountsPerG=16384      accelerometer counts per g
//   GyroCountsPerDps=16.4      gyroscope counts per degree per second
//   MagCountsPerGauss=1090     magnetometer counts per gauss
//
// A missing or empty key gives its default silently; a value that is not a number from 0.001
// to 1000000 ("." as the decimal point) gives its default and a line saying so.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "settings/settings_location.h"

namespace zento {

struct HealthScales {
    double accel_counts_per_g = 16384.0;
    double gyro_counts_per_dps = 16.4;
    double mag_counts_per_gauss = 1090.0;
    bool operator==(const HealthScales&) const = default;
};

inline constexpr std::string_view kHealthSection = "Health";
inline constexpr std::string_view kKeyAccelScale = "AccelCountsPerG";
inline constexpr std::string_view kKeyGyroScale = "GyroCountsPerDps";
inline constexpr std::string_view kKeyMagScale = "MagCountsPerGauss";
inline constexpr double kMinScale = 1e-3, kMaxScale = 1e6;

// A scale as typed or stored: a decimal number from kMinScale to kMaxScale, blanks around it
// allowed; nullopt for anything else (a comma as the decimal point included).
std::optional<double> parse_scale(std::string_view text);
// The shortest text that reads back as the same number ("16.4", "16384").
std::string scale_text(double v);

struct HealthScalesRead {
    HealthScales scales;
    std::string problem; // "" or one line for the log naming each unusable key
};
HealthScalesRead read_health_scales(const SettingsFile& ini_file);

// Writes the three keys; stops at the first failure and returns it.
IniWriteResult write_health_scales(const SettingsFile& ini_file, const HealthScales& s);

} // namespace zento
