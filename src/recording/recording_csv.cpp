#include "recording/recording_csv.h"

#include "recording/file_io.h"
#include "telemetry/value_text.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <fstream>
#include <stdexcept>

namespace zento {
namespace {

void append_value(std::string& out, float v) {
    char buf[kValueTextMax];
    out.push_back(',');
    out.append(buf, value_text(v, buf));
}

void append_row_start(std::string& out, std::int64_t time_us, std::string_view type) {
    out += seconds_text(time_us);
    out.push_back(',');
    out += type;
}

// The shortest text that reads back as the same number. A value that is a single-precision
// number (every reading is one, until a divisor other than 1 divides it) is written at single
// precision: 0.7 rather than 0.699999988079071.
void append_number(std::string& out, double v) {
    char buf[32];
    const float f = float(v);
    const auto r = double(f) == v ? std::to_chars(buf, buf + sizeof buf, f)
                                  : std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// A header cell as CSV: quoted when it holds a comma, a quote or a line break.
std::string cell(std::string_view s) {
    if (s.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(s);
    std::string q = "\"";
    for (char c : s) {
        if (c == '"') q.push_back('"');
        q.push_back(c);
    }
    return q + "\"";
}

} // namespace

std::string seconds_text(std::int64_t us) {
    const bool negative = us < 0;
    const std::uint64_t m = negative ? 0 - std::uint64_t(us) : std::uint64_t(us);
    char buf[32];
    char* p = buf;
    if (negative) *p++ = '-';
    p = std::to_chars(p, buf + sizeof buf, m / 1'000'000).ptr;
    *p++ = '.';
    std::uint64_t frac = m % 1'000'000;
    for (int i = 5; i >= 0; --i, frac /= 10)
        p[i] = char('0' + frac % 10);
    return std::string(buf, p + 6);
}

void append_attitude_row(std::string& out, std::int64_t time_us, const AttitudeRecord& r) {
    append_row_start(out, time_us, "attitude");
    for (float v : {r.yaw, r.pitch, r.roll, r.altitude, r.temperature, r.pressure_pa(), r.rate})
        append_value(out, v);
    out.append(",,,,,,,,,\n");
}

void append_sensor_row(std::string& out, std::int64_t time_us, const SensorRecord& r) {
    append_row_start(out, time_us, "sensor");
    out.append(",,,,,,,");
    for (int i = 0; i < 9; ++i)
        append_value(out, r.reading(i));
    out.push_back('\n');
}

void CsvRows::feed(std::span<const std::uint8_t> bytes, std::int64_t time_us, std::string& out) {
    out_ = &out;
    time_us_ = time_us;
    rx_.feed(bytes);
    out_ = nullptr;
}

void CsvRows::Rec_attitude(std::span<const std::uint8_t> f) {
    if (const auto r = decode_attitude(f)) {
        append_attitude_row(*out_, time_us_, *r);
        ++rows_;
    }
}

void CsvRows::Rec_sensor(std::span<const std::uint8_t> f) {
    if (const auto r = decode_sensor(f)) {
        append_sensor_row(*out_, time_us_, *r);
        ++rows_;
    }
}

void write_chart_csv(std::ostream& out, std::span<const double> time_s,
                     std::span<const ChartColumn> columns) {
    for (const ChartColumn& c : columns)
        if (c.values.size() != time_s.size())
            throw std::invalid_argument("chart column " + c.name + " has " +
                                        std::to_string(c.values.size()) + " values for " +
                                        std::to_string(time_s.size()) + " times");
    std::string text = "time_s";
    for (const ChartColumn& c : columns) {
        std::string name = c.name + "/";
        append_number(name, c.divisor);
        text.push_back(',');
        text += cell(name);
    }
    text.push_back('\n');
    for (std::size_t i = 0; i < time_s.size(); ++i) {
        append_number(text, time_s[i]);
        for (const ChartColumn& c : columns) {
            text.push_back(',');
            if (std::isfinite(c.values[i])) append_number(text, c.values[i]);
        }
        text.push_back('\n');
        if (text.size() >= (1u << 20)) {
            out.write(text.data(), std::streamsize(text.size()));
            text.clear();
        }
    }
    out.write(text.data(), std::streamsize(text.size()));
}

std::string save_chart_csv(const std::filesystem::path& file, std::span<const double> time_s,
                           std::span<const ChartColumn> columns) {
    // Only a regular file is replaced: opening a FIFO for writing would wait for a reader.
    std::error_code ec;
    const auto st = std::filesystem::status(file, ec);
    if (std::filesystem::exists(st) && !std::filesystem::is_regular_file(st))
        return "cannot write " + file.string() + ": " +
               (std::filesystem::is_directory(st) ? "it is a folder" : "it is not a regular file");
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) return "cannot write " + file.string() + ": " + system_reason(errno);
    write_chart_csv(out, time_s, columns);
    out.flush();
    if (!out) return "cannot write " + file.string() + ": " + system_reason(errno);
    out.close();
    if (!out) return "cannot write " + file.string() + ": " + system_reason(errno);
    return {};
}

} // namespace zento
