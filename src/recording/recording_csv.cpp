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
    out.append(",,,,,,,,,,\n");
}

void append_sensor_row(std::string& out, std::int64_t time_us, const SensorRecord& r) {
    append_row_start(out, time_us, "sensor");
    out.append(",,,,,,,");
    for (int i = 0; i < 9; ++i)
        append_value(out, r.reading(i));
    out.append(",\n");
}

void append_event_row(std::string& out, std::int64_t time_us, const LinkEvent& e) {
    append_row_start(out, time_us, event_kind_name(e.kind));
    out.append(17, ',');
    out += event_label(e);
    out.push_back('\n');
}

void CsvRows::feed(std::span<const std::uint8_t> bytes, std::int64_t time_us, std::string& out) {
    if (bytes.empty()) return; // (a recording's first record: its start)
    if (const auto gap = gaps_.batch(time_us * 1000)) append_event_row(out, time_us, *gap);
    out_ = &out;
    time_us_ = time_us;
    rx_.feed(bytes);
    out_ = nullptr;
}

void CsvRows::command(std::span<const std::uint8_t> frame, std::int64_t time_us, std::string& out) {
    if (!frame.empty()) append_event_row(out, time_us, command_event(frame, time_us * 1000));
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

} // namespace zento
