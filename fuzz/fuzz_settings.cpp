// libFuzzer target: the settings file's reader and editor, on text in memory.
//
// Input: three length bytes (section % 16, key % 16, value % 64), then the section, key and
// value bytes, then the file's text. Reading any text must give at most kIniValueMax bytes;
// when the names and value are ones Write_ini accepts and the
// value reads back as written (no outer blanks or quotes, short enough), setting it must read
// back, leave the other keys' values as they were, and setting it again must change nothing.
#include "fuzz_check.h"
#include "settings/ini_file.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace zento;

namespace {

bool blank(char c) {
    return c == ' ' || c == '\t';
}

bool has_any(std::string_view s, std::string_view chars) {
    return s.find_first_of(chars) != std::string_view::npos;
}

// The names and values Write_ini accepts (its own check, restated).
bool acceptable(std::string_view section, std::string_view key, std::string_view value) {
    const std::string_view breaks("\r\n\0", 3);
    if (section.empty() || has_any(section, breaks) || has_any(section, "]") ||
        blank(section.front()) || blank(section.back()))
        return false;
    if (key.empty() || has_any(key, breaks) || has_any(key, "=") || key.front() == '[' ||
        key.front() == ';' || blank(key.front()) || blank(key.back()))
        return false;
    return !has_any(value, breaks);
}

// A value that reads back exactly as written.
bool plain(std::string_view v) {
    if (v.size() > kIniValueMax) return false;
    if (!v.empty() && (blank(v.front()) || blank(v.back()))) return false;
    if (v.size() >= 2 && v.front() == v.back() && (v.front() == '"' || v.front() == '\''))
        return false;
    return true;
}

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    std::size_t at = 3;
    const auto take = [&](std::size_t n) {
        n = std::min(n, size - at);
        const std::string_view s(reinterpret_cast<const char*>(data) + at, n);
        at += n;
        return s;
    };
    const std::string_view section = take(data[0] % 16);
    const std::string_view key = take(data[1] % 16);
    const std::string_view value = take(data[2] % 64);
    const std::string_view text = take(size);

    CHECK(ini_value(text, section, key).size() <= kIniValueMax);
    const std::string other_keys[] = {"Port", "Settings", "x"};
    std::string others[3];
    for (int i = 0; i < 3; ++i)
        others[i] = ini_value(text, section, other_keys[i]);

    if (!acceptable(section, key, value) || !plain(value)) return 0;
    const std::string edited = ini_with_value(text, section, key, value);
    CHECK(ini_value(edited, section, key) == value);
    CHECK(ini_with_value(edited, section, key, value) == edited);
    for (int i = 0; i < 3; ++i)
        if (!same_name(other_keys[i], key))
            CHECK(ini_value(edited, section, other_keys[i]) == others[i]);
    return 0;
}
