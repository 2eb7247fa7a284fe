#include "platform/serial/line_settings.h"

#include <vector>

namespace zento {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool all_digits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// Decimal digits to a value no greater than `limit`; nullopt when not digits or too large.
std::optional<std::int64_t> whole_number(std::string_view s, std::int64_t limit) {
    if (!all_digits(s)) return std::nullopt;
    std::int64_t v = 0;
    for (char c : s) {
        v = v * 10 + (c - '0');
        if (v > limit) return std::nullopt;
    }
    return v;
}

std::string quoted(std::string_view s) {
    std::string q;
    q.reserve(s.size() + 2);
    q += '"';
    q.append(s);
    q += '"';
    return q;
}

} // namespace

std::string LineSettings::text() const {
    std::string t = std::to_string(baud);
    t += ',';
    t += parity;
    t += ',';
    t += std::to_string(data_bits);
    t += ',';
    t += stop == StopBits::One ? "1" : stop == StopBits::OneAndHalf ? "1.5" : "2";
    return t;
}

LineSettingsParse parse_line_settings(std::string_view text) {
    LineSettingsParse r;
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t comma = text.find(',', start);
        parts.push_back(trim(text.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start)));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (parts.size() != 4) {
        r.problem = quoted(text) + " is not of the form baud,parity,data,stop";
        return r;
    }
    LineSettings s;
    const auto baud = whole_number(parts[0], INT32_MAX);
    if (!baud || *baud == 0) {
        r.problem = "baud rate " + quoted(parts[0]) + " is not a positive whole number";
        return r;
    }
    s.baud = std::int32_t(*baud);
    const std::string_view p = parts[1];
    const char pl = p.size() == 1 && p[0] >= 'A' && p[0] <= 'Z' ? char(p[0] - 'A' + 'a')
                    : p.size() == 1                             ? p[0]
                                                                : '?';
    if (std::string_view("neoms").find(pl) == std::string_view::npos) {
        r.problem = "parity " + quoted(p) + " is not one of n, e, o, m, s";
        return r;
    }
    s.parity = pl;
    const auto data = whole_number(parts[2], 99);
    if (!data || *data < 5 || *data > 8 || parts[2].size() != 1) {
        r.problem = "data bits " + quoted(parts[2]) + " are not 5, 6, 7 or 8";
        return r;
    }
    s.data_bits = int(*data);
    if (parts[3] == "1") {
        s.stop = StopBits::One;
    } else if (parts[3] == "1.5") {
        s.stop = StopBits::OneAndHalf;
    } else if (parts[3] == "2") {
        s.stop = StopBits::Two;
    } else {
        r.problem = "stop bits " + quoted(parts[3]) + " are not 1, 1.5 or 2";
        return r;
    }
    r.settings = s;
    return r;
}

std::optional<std::int16_t> parse_port_number(std::string_view text) {
    std::string_view t = trim(text);
    if (const std::size_t dot = t.find('.'); dot != std::string_view::npos) {
        for (char c : t.substr(dot + 1))
            if (c != '0') return std::nullopt;
        t = t.substr(0, dot);
    }
    const auto v = whole_number(t, 1000);
    if (!v || *v < 1 || *v > 255) return std::nullopt;
    return std::int16_t(*v);
}

} // namespace zento
