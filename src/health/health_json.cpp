#include "health/health_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace zento {

namespace {

// The state the window shows: the last 10 s, or since connect when they judged nothing.
bool falls_back(const HealthFigure& f) {
    return f.state == HealthState::none && f.total_state != HealthState::none;
}

void part(std::string& out, double value, HealthState state, const std::string& text) {
    out += "{\"value\": " + json_number(value) + ", \"state\": " + json_string(state_word(state)) +
           ", \"text\": " + json_string(text) + "}";
}

} // namespace

std::string json_string(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(c));
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string json_number(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 7);
    return std::string(buf, r.ptr);
}

std::string health_summary(const HealthReport& report) {
    int bad = 0, doubtful = 0;
    bool any_good = false;
    std::string names;
    for (const HealthFigure& f : report.figures) {
        const HealthState s = falls_back(f) ? f.total_state : f.state;
        if (s == HealthState::bad) names += (bad++ ? ", " : "") + std::string(f.name);
        doubtful += s == HealthState::doubtful;
        any_good |= s == HealthState::good;
    }
    if (bad == 0 && doubtful == 0) return any_good ? "All good" : "Nothing judged yet";
    const int first = bad > 0 ? bad : doubtful;
    std::string s = std::to_string(first) + (first == 1 ? " figure " : " figures ") +
                    (bad > 0 ? "bad (" + names + ")" : "doubtful");
    if (bad > 0 && doubtful > 0) s += ", " + std::to_string(doubtful) + " doubtful";
    return s;
}

std::string health_json(const HealthReport& report) {
    std::string out = "{\"connected\": " + std::string(report.connected ? "true" : "false") +
                      ", \"seconds\": " + json_number(report.seconds) +
                      ", \"baud\": " + std::to_string(report.baud) +
                      ", \"summary\": " + json_string(health_summary(report)) +
                      ",\n \"figures\": [";
    for (std::size_t i = 0; i < report.figures.size(); ++i) {
        const HealthFigure& f = report.figures[i];
        const bool total = falls_back(f) || (std::isnan(f.value) && f.state == HealthState::none);
        out += i ? ",\n  {" : "\n  {";
        out += "\"group\": " + json_string(f.group) + ", \"name\": " + json_string(f.name) +
               ", \"value\": " + json_number(total ? f.total_value : f.value) +
               ", \"unit\": " + json_string(f.unit) +
               ", \"state\": " + json_string(state_word(falls_back(f) ? f.total_state : f.state)) +
               ",\n   \"last_10_s\": ";
        part(out, f.value, f.state, f.recent);
        out += ", \"since_connect\": ";
        part(out, f.total_value, f.total_state, f.total);
        out += "}";
    }
    return out + "]}\n";
}

} // namespace zento
