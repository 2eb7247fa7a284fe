#include "settings/settings_location.h"

#include "settings/port_config.h"

#include <limits>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zento {

namespace fs = std::filesystem;

namespace {

bool present(const fs::path& p) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(p, ec));
}

} // namespace

fs::path SettingsFile::source() const {
    return seed.empty() || present(file) ? file : seed;
}

std::string read_setting(const SettingsFile& f, std::string_view section, std::string_view key) {
    return ini_value(read_ini_text(f.source()).text, section, key,
                     std::numeric_limits<std::size_t>::max());
}

IniWriteResult save_setting(const SettingsFile& f, std::string_view section, std::string_view key,
                            std::string_view value) {
    const fs::path folder = f.file.parent_path();
    std::error_code ec;
    if (!folder.empty() && !fs::is_directory(folder, ec)) {
        fs::create_directories(folder, ec);
        if (ec) return {false, "cannot create the folder " + folder.string() + ": " + ec.message()};
    }
    return Write_ini(section, key, value, f.file, present(f.file) ? fs::path() : f.seed);
}

bool folder_writable(const fs::path& dir) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return false;
#ifdef _WIN32
    return ::_waccess(dir.c_str(), 2) == 0;
#else
    return ::access(dir.c_str(), W_OK) == 0;
#endif
}

SettingsLocation choose_settings_location(const fs::path& program_dir, const fs::path& config_dir) {
    SettingsLocation l;
    const fs::path beside = program_dir / std::string(kIniFileName);
    std::error_code ec;
    const bool there = fs::exists(beside, ec);
    l.portable = there && folder_writable(program_dir);
    l.folder = l.portable ? program_dir : config_dir;
    l.ini_file = l.folder / std::string(kIniFileName);
    if (there && !l.portable) l.seed = beside;
    return l;
}

std::string describe_settings_file(const SettingsFile& f) {
    std::error_code ec;
    const fs::path from = f.source();
    if (!fs::exists(from, ec))
        return "No settings file yet: defaults until the first save to " + f.file.string();
    if (from == f.file) return "Settings from " + from.string();
    return "Settings from " + from.string() +
           " (a folder this user may not write); changes go to " + f.file.string();
}

} // namespace zento
