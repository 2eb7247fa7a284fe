#pragma once
// Where Zento.ini lives, and with it the ports folder whose comN links name devices.
//
//   - the program's folder, when it is writable and already holds a Zento.ini (a portable copy:
//     the build tree, an unpacked folder, the Windows habit);
//   - otherwise the user's configuration folder (for example ~/.config/zento), where the file
//     is created at the first save. Nothing is ever written into an installed tree.
//   - Until the user's file exists, a Zento.ini in a program folder this user may not write (an
//     unpacked copy in a read-only place) is read; the first save copies it into the user's file
//     with the change, and from then on the user's file is read.
#include "settings/ini_file.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace zento {

// The program's settings file: kept in `file`; until `file` exists, read from `seed` when one
// is set.
struct SettingsFile {
    std::filesystem::path file;
    std::filesystem::path seed;

    SettingsFile(std::filesystem::path kept = {}, std::filesystem::path seed_from = {})
        : file(std::move(kept)), seed(std::move(seed_from)) {}
    // The file that holds the settings now.
    std::filesystem::path source() const;
};

// The program's own keys, read whole (the 254-byte limit of Read_ini belongs to the port keys).
std::string read_setting(const SettingsFile& f, std::string_view section, std::string_view key);

// Every save of Zento.ini goes through here: the file's folder is created when missing (the
// user's configuration folder of a fresh user), and a file not there yet starts as a copy of
// the seed.
IniWriteResult save_setting(const SettingsFile& f, std::string_view section, std::string_view key,
                            std::string_view value);

struct SettingsLocation {
    std::filesystem::path folder;   // holds the kept Zento.ini and the ports folder
    std::filesystem::path ini_file; // folder / "Zento.ini"
    bool portable = false;          // the program's own folder
    std::filesystem::path seed;     // the program folder's read-only Zento.ini, or ""
    SettingsFile settings() const { return {ini_file, seed}; }
};

// The start-up log line: which settings file was read and where saves go, or that none exists
// yet there.
std::string describe_settings_file(const SettingsFile& f);

SettingsLocation choose_settings_location(const std::filesystem::path& program_dir,
                                          const std::filesystem::path& config_dir);

// Whether the current user may create files in `dir`.
bool folder_writable(const std::filesystem::path& dir);

} // namespace zento
