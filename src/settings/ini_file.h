#pragma once
// The settings file: a profile file in the sections-and-keys text form, read and written one key
// at a time.
//
//   [Section]        section and key names match in any case
//   Key = value      blanks (spaces, tabs) around the name, the "=" and the value are trimmed
//   ; note           lines without "=" are kept and ignored
//
// Reading takes the file as people and Windows write it: CRLF, LF or CR line ends, a UTF-8 byte
// order mark, matching outer quotes ("..." or '...') stripped, commas kept inside the value, the
// first of duplicate keys wins (sections of the same name are searched in file order), a NUL ends
// the value, and Read_ini gives at most 254 bytes (never half a UTF-8 sequence): the limit of
// the port keys' reader. The program's own keys are read whole (settings_location.h).
//
// Writing changes that one key and keeps every other byte of the file (other sections and keys,
// notes, order, line ends, byte order mark). It creates the file, the section or the key as
// needed, writes a temporary file next to the target and renames it over the target, so a
// reader sees the old file or the new one, never a half-written one. A symbolic link is
// followed and stays a link. A file that is read-only (no write permission for anyone, the
// user's read-only flag) or that this user may not write is left as it is and reported.
//
// The file is read only when it is a regular file of at most kIniFileMax bytes, opened without
// blocking: a folder, a FIFO or a device in its place is reported, never read (a FIFO would
// block for ever).
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace zento {

inline constexpr std::size_t kIniValueMax = 254;
inline constexpr std::size_t kIniFileMax = std::size_t(16) << 20;

// The text of a settings file as read from disk.
struct IniText {
    std::string text;    // "" when the file is missing or cannot be used
    std::string problem; // "" when it was read or is missing; else "cannot read <path>: <why>"
};
IniText read_ini_text(const std::filesystem::path& file);

// The value of `key` in `section` of a settings file's text, by the reading rules above, cut
// to at most `max` bytes.
std::string ini_value(std::string_view text, std::string_view section, std::string_view key,
                      std::size_t max = kIniValueMax);

// The settings file's text with `key` of `section` set to `value`, by the writing rules above;
// the names and the value must be ones Write_ini accepts.
std::string ini_with_value(std::string_view text, std::string_view section, std::string_view key,
                           std::string_view value);

// The value of `key` in `section`, or "" when the file, the section or the key is missing, or
// the file cannot be read.
std::string Read_ini(std::string_view section, std::string_view key,
                     const std::filesystem::path& file);

struct IniWriteResult {
    bool ok = false;
    std::string error; // when !ok: what failed, with the path and the system's reason
};

// Sets `key` in `section` to `value`. Names and values that the file form cannot hold (line
// breaks, NUL, "=" in a key, "]" in a section, empty names) are refused with a reason and the
// file is left alone. A file that does not exist yet starts as a copy of `seed` when one is
// given (a settings file read from elsewhere): its other keys are kept too.
IniWriteResult Write_ini(std::string_view section, std::string_view key, std::string_view value,
                         const std::filesystem::path& file, const std::filesystem::path& seed = {});

} // namespace zento
