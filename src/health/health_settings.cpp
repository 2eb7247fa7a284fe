#include "health/health_settings.h"

#include <charconv>
#include <cmath>

namespace zento {

std::optional<double> parse_scale(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
    double v = 0;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (!std::isfinite(v) || v < kMinScale || v > kMaxScale) return std::nullopt;
    return v;
}

std::string scale_text(double v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    if (r.ec != std::errc()) r = std::to_chars(buf, buf + sizeof buf, v); // at most 24 bytes
    return std::string(buf, r.ptr);
}

HealthScalesRead read_health_scales(const SettingsFile& ini_file) {
    HealthScalesRead r;
    const struct {
        std::string_view key;
        double& value;
    } keys[] = {{kKeyAccelScale, r.scales.accel_counts_per_g},
                {kKeyGyroScale, r.scales.gyro_counts_per_dps},
                {kKeyMagScale, r.scales.mag_counts_per_gauss}};
    for (const auto& k : keys) {
        const std::string text = read_setting(ini_file, kHealthSection, k.key);
        if (text.empty()) continue;
        if (const auto v = parse_scale(text)) {
            k.value = *v;
            continue;
        }
        r.problem += r.problem.empty() ? "Zento.ini: [Health] " : "; ";
        r.problem += std::string(k.key) + " \"" + text +
                     "\" is not a number from 0.001 to 1000000; using " + scale_text(k.value);
    }
    return r;
}

IniWriteResult write_health_scales(const SettingsFile& ini_file, const HealthScales& s) {
    IniWriteResult r =
        save_setting(ini_file, kHealthSection, kKeyAccelScale, scale_text(s.accel_counts_per_g));
    if (r.ok)
        r = save_setting(ini_file, kHealthSection, kKeyGyroScale,
                         scale_text(s.gyro_counts_per_dps));
    if (r.ok)
        r = save_setting(ini_file, kHealthSection, kKeyMagScale,
                         scale_text(s.mag_counts_per_gauss));
    return r;
}

} // namespace zento
