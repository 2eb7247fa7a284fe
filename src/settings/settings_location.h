#pragma once
// Where Zento.ini lives, and with it the ports folder whose comN links name devices.
//
//   - the program's folder, when it is writable and already holds a Zento.ini (a portable copy:
//     the build tree, an unpacked folder, the Windows habit);
//   - otherwise the user's configuration folder (for example ~/.config/zento), where the file
//     is created at the first save. Nothing is ever written into an installed tree.
#include <filesystem>
#include <string>

namespace zento {

struct SettingsLocation {
    std::filesystem::path folder;   // holds Zento.ini and the ports folder
    std::filesystem::path ini_file; // folder / "Zento.ini"
    bool portable = false;          // the program's own folder
};

// The start-up log line: which settings file was read, or that none exists yet there.
std::string describe_settings_file(const std::filesystem::path& ini_file);

SettingsLocation choose_settings_location(const std::filesystem::path& program_dir,
                                          const std::filesystem::path& config_dir);

// Whether the current user may create files in `dir`.
bool folder_writable(const std::filesystem::path& dir);

} // namespace zento
