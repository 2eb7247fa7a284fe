#pragma once
// The port number and line settings that start-up applies, from the two keys of section COM in
// the settings file.
//
//   either key missing or empty          -> port 1, "115200,n,8,1", nothing to report
//   both present and usable              -> those (the settings text in canonical form)
//   both present, one of them not usable -> port 1, "115200,n,8,1", and `problem` says what in
//                                           the file was not usable (one line for the log)
//   the file there but not readable (a    -> port 1, "115200,n,8,1", and `problem` names the
//   folder, a FIFO, no permission)           file and the reason
#include "settings/settings_location.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace zento {

inline constexpr std::string_view kIniFileName = "Zento.ini";
inline constexpr std::string_view kIniSection = "COM";
inline constexpr std::string_view kIniKeyPort = "Port";
inline constexpr std::string_view kIniKeySettings = "Settings";

struct PortConfig {
    std::int16_t port = 1;
    std::string settings = "115200,n,8,1";
    std::string problem;
};

PortConfig choose_port_config(std::string_view port_text, std::string_view settings_text);

// Reads the file once (never blocking on what is not a regular file), takes Settings and Port
// from it and chooses as above.
PortConfig read_port_config(const SettingsFile& ini_file);

} // namespace zento
