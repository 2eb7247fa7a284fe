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
// the value, and at most 254 bytes come back (never half a UTF-8 sequence).
//
// Writing changes that one key and keeps every other byte of the file (other sections and keys,
// notes, order, line ends, byte order mark). It creates the file, the section or the key as
// needed, writes a temporary file next to the target and renames it over the target, so a
// reader sees the old file or the new one, never a half-written one. A symbolic link is
// followed and stays a link.
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace zento {

inline constexpr std::size_t kIniValueMax = 254;

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
// file is left alone.
IniWriteResult Write_ini(std::string_view section, std::string_view key, std::string_view value,
                         const std::filesystem::path& file);

} // namespace zento
