#include "settings/ini_file.h"

#include "platform/files/regular_file.h"

#include <cerrno>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace zento {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back()))
        s.remove_suffix(1);
    return s;
}

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    return true;
}

// One line of the file: [begin, end) is its content, [end, next) its line end (CR LF, LF, CR or
// nothing for a last line without one).
struct Line {
    std::size_t begin = 0, end = 0, next = 0;
};

// The line that starts at `pos`.
Line line_at(std::string_view text, std::size_t pos) {
    Line l{pos, pos, pos};
    std::size_t e = text.find_first_of("\r\n", pos);
    if (e == std::string_view::npos) {
        l.end = l.next = text.size();
        return l;
    }
    l.end = e;
    l.next = e + 1;
    if (text[e] == '\r' && e + 1 < text.size() && text[e + 1] == '\n') l.next = e + 2;
    return l;
}

enum class Kind { Blank, Section, Key, Other };

struct Parsed {
    Kind kind = Kind::Other;
    std::string_view name;
    std::string_view value;      // trimmed
    std::size_t value_begin = 0; // offset in the file of the value (after "=" and blanks)
};

Parsed parse_line(std::string_view text, const Line& l) {
    Parsed p;
    const std::string_view content = text.substr(l.begin, l.end - l.begin);
    std::size_t i = 0;
    while (i < content.size() && is_blank(content[i]))
        ++i;
    if (i == content.size()) {
        p.kind = Kind::Blank;
        return p;
    }
    if (content[i] == '[') {
        const std::size_t close = content.find(']', i + 1);
        const std::size_t stop = close == std::string_view::npos ? content.size() : close;
        p.kind = Kind::Section;
        p.name = trim(content.substr(i + 1, stop - i - 1));
        return p;
    }
    if (content[i] == ';') return p;
    const std::size_t eq = content.find('=', i);
    if (eq == std::string_view::npos) return p;
    p.name = trim(content.substr(i, eq - i));
    if (p.name.empty()) return p;
    std::size_t vb = eq + 1;
    while (vb < content.size() && is_blank(content[vb]))
        ++vb;
    p.kind = Kind::Key;
    p.value = trim(content.substr(vb));
    p.value_begin = l.begin + vb;
    return p;
}

std::size_t body_start(std::string_view text) {
    return text.starts_with(kBom) ? kBom.size() : 0;
}

// The value as the caller gets it: up to a NUL, outer quotes stripped, at most `max` bytes
// without splitting a UTF-8 sequence.
std::string finish_value(std::string_view v, std::size_t max) {
    if (const std::size_t nul = v.find('\0'); nul != std::string_view::npos) v = v.substr(0, nul);
    if (v.size() >= 2 && v.front() == v.back() && (v.front() == '"' || v.front() == '\''))
        v = v.substr(1, v.size() - 2);
    if (v.size() > max) {
        std::size_t n = max;
        while (n > 0 && (static_cast<unsigned char>(v[n]) & 0xC0) == 0x80)
            --n;
        v = v.substr(0, n);
    }
    return std::string(v);
}

// Reads a whole file. Missing file: nullopt with no error. Other failures: nullopt and `error`.
std::optional<std::string> read_file(const fs::path& file, std::string& error) {
    FileContent c = read_regular_file(file, kIniFileMax);
    if (!c.bytes && !c.missing) error = "cannot read " + file.string() + ": " + c.reason;
    return std::move(c.bytes);
}

// Why the file may not be written, "" when it may (or does not exist yet).
std::string write_refusal(const fs::path& file) {
    std::error_code ec;
    const fs::file_status st = fs::status(file, ec);
    if (!fs::exists(st)) return {};
    constexpr fs::perms writable =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((st.permissions() & writable) == fs::perms::none) return "the file is read-only";
#ifndef _WIN32
    if (::access(file.c_str(), W_OK) != 0) return system_reason(errno);
#endif
    return {};
}

std::string_view first_line_end(std::string_view text) {
    const std::size_t e = text.find_first_of("\r\n");
    if (e == std::string_view::npos) {
#ifdef _WIN32
        return "\r\n";
#else
        return "\n";
#endif
    }
    if (text[e] == '\r') return (e + 1 < text.size() && text[e + 1] == '\n') ? "\r\n" : "\r";
    return "\n";
}

} // namespace

std::string ini_with_value(std::string_view text, std::string_view section, std::string_view key,
                           std::string_view value) {
    const std::string_view eol = first_line_end(text);
    bool in_match = false, seen_match = false, first_match_open = false;
    std::optional<Line> last_of_first; // last non-blank line of the first matching section
    for (std::size_t pos = body_start(text); pos < text.size();) {
        const Line l = line_at(text, pos);
        const Parsed p = parse_line(text, l);
        if (p.kind == Kind::Section) {
            in_match = iequals(p.name, section);
            first_match_open = in_match && !seen_match;
            if (in_match) seen_match = true;
        } else if (p.kind == Kind::Key && in_match && iequals(p.name, key)) {
            std::string out(text.substr(0, p.value_begin));
            out.append(value);
            out.append(text.substr(l.end));
            return out;
        }
        if (first_match_open && p.kind != Kind::Blank) last_of_first = l;
        pos = l.next;
    }

    std::string out;
    const std::string entry = std::string(key) + "=" + std::string(value);
    if (last_of_first) {
        const Line l = *last_of_first;
        out.assign(text.substr(0, l.next));
        if (l.next == l.end) { // the file ends on this line, without a line end: keep it so
            out.append(eol).append(entry);
        } else {
            out.append(entry).append(eol);
        }
        out.append(text.substr(l.next));
        return out;
    }
    out.assign(text);
    if (out.size() > body_start(text) && out.back() != '\n' && out.back() != '\r') out.append(eol);
    out.append("[").append(section).append("]").append(eol).append(entry).append(eol);
    return out;
}

namespace {

std::string check_names(std::string_view section, std::string_view key, std::string_view value) {
    auto has_any = [](std::string_view s, std::string_view chars) {
        return s.find_first_of(chars) != std::string_view::npos;
    };
    const std::string_view breaks("\r\n\0", 3);
    if (section.empty()) return "empty section name";
    if (has_any(section, breaks) || section.find(']') != std::string_view::npos)
        return "section name \"" + std::string(section) +
               "\" cannot hold \"]\", a line break or NUL";
    if (trim(section) != section)
        return "section name \"" + std::string(section) + "\" starts or ends with a blank";
    if (key.empty()) return "empty key name";
    if (has_any(key, breaks) || key.find('=') != std::string_view::npos || key.front() == '[' ||
        key.front() == ';')
        return "key name \"" + std::string(key) +
               "\" cannot hold \"=\", a line break or NUL, nor start with \"[\" or \";\"";
    if (trim(key) != key)
        return "key name \"" + std::string(key) + "\" starts or ends with a blank";
    if (has_any(value, breaks))
        return "the value for " + std::string(key) + " holds a line break or NUL";
    return {};
}

// A symbolic link is written through: the link stays, its target gets the new text.
fs::path write_target(const fs::path& file) {
    fs::path p = file;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(p, ec)) break;
        const fs::path t = fs::read_symlink(p, ec);
        if (ec) break;
        p = t.is_absolute() ? t : p.parent_path() / t;
    }
    return p;
}

std::string temp_suffix() {
    static std::mt19937_64 gen{std::random_device{}()};
    std::ostringstream s;
    s << std::hex << gen();
    return s.str();
}

} // namespace

IniText read_ini_text(const fs::path& file) {
    IniText t;
    if (std::optional<std::string> content = read_file(file, t.problem))
        t.text = std::move(*content);
    return t;
}

std::string ini_value(std::string_view text, std::string_view section, std::string_view key,
                      std::size_t max) {
    bool in_match = false;
    for (std::size_t pos = body_start(text); pos < text.size();) {
        const Line l = line_at(text, pos);
        const Parsed p = parse_line(text, l);
        if (p.kind == Kind::Section) {
            in_match = iequals(p.name, section);
        } else if (p.kind == Kind::Key && in_match && iequals(p.name, key)) {
            return finish_value(p.value, max);
        }
        pos = l.next;
    }
    return {};
}

std::string Read_ini(std::string_view section, std::string_view key, const fs::path& file) {
    return ini_value(read_ini_text(file).text, section, key);
}

IniWriteResult Write_ini(std::string_view section, std::string_view key, std::string_view value,
                         const fs::path& file, const fs::path& seed) {
    IniWriteResult r;
    if (std::string bad = check_names(section, key, value); !bad.empty()) {
        r.error = "cannot write " + file.string() + ": " + bad;
        return r;
    }
    const fs::path target = write_target(file);
    if (std::string why = write_refusal(target); !why.empty()) {
        r.error = "cannot write " + target.string() + ": " + why;
        return r;
    }
    std::string error;
    const std::optional<std::string> old = read_file(target, error);
    std::optional<std::string> base = old;
    if (!old && error.empty() && !seed.empty()) {
        std::string unreadable; // the defaults were in use: the new file starts empty
        base = read_file(seed, unreadable);
    }
    if (!error.empty()) {
        r.error = error;
        return r;
    }
    const std::string text = ini_with_value(base.value_or(std::string()), section, key, value);
    if (old && *old == text) {
        r.ok = true;
        return r;
    }

    fs::path tmp = target;
    tmp.replace_filename("." + target.filename().string() + ".tmp-" + temp_suffix());
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) {
            r.error = "cannot write " + tmp.string() + ": " + system_reason(errno);
            return r;
        }
        out.write(text.data(), std::streamsize(text.size()));
        out.close();
        if (!out) {
            const int err = errno;
            std::error_code ec;
            fs::remove(tmp, ec);
            r.error = "cannot write " + tmp.string() + ": " + system_reason(err);
            return r;
        }
    }
    std::error_code ec;
    if (old) {
        const fs::perms perms = fs::status(target, ec).permissions();
        if (!ec) fs::permissions(tmp, perms, ec);
    }
    fs::rename(tmp, target, ec);
    if (ec) {
        std::error_code ignore;
        fs::remove(tmp, ignore);
        r.error = "cannot replace " + target.string() + ": " + ec.message();
        return r;
    }
    r.ok = true;
    return r;
}

} // namespace zento
