#include "settings/settings_location.h"

#include "settings/port_config.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zento {

bool folder_writable(const std::filesystem::path& dir) {
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) return false;
#ifdef _WIN32
    return ::_waccess(dir.c_str(), 2) == 0;
#else
    return ::access(dir.c_str(), W_OK) == 0;
#endif
}

SettingsLocation choose_settings_location(const std::filesystem::path& program_dir,
                                          const std::filesystem::path& config_dir) {
    SettingsLocation l;
    const std::filesystem::path portable = program_dir / std::string(kIniFileName);
    std::error_code ec;
    l.portable = folder_writable(program_dir) && std::filesystem::exists(portable, ec);
    l.folder = l.portable ? program_dir : config_dir;
    l.ini_file = l.folder / std::string(kIniFileName);
    return l;
}

std::string describe_settings_file(const std::filesystem::path& ini_file) {
    std::error_code ec;
    if (std::filesystem::exists(ini_file, ec)) return "Settings from " + ini_file.string();
    return "No settings file yet: defaults until the first save to " + ini_file.string();
}

} // namespace zento
