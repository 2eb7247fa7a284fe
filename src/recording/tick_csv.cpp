#include "recording/tick_csv.h"

#include "recording/file_io.h"
#include "recording/recording_csv.h"
#include "telemetry/value_text.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <fstream>

namespace zento {

std::string tick_csv_header() {
    std::string h = "time_s";
    for (const ChannelInfo& c : kChannels)
        (h += ',') += c.column;
    for (const ChannelInfo& c : kChannels)
        if (c.physical_column) (h += ',') += c.physical_column;
    h += '\n';
    return h;
}

void append_tick_row(std::string& out, const TickRow& r, std::int64_t origin_ns,
                     const HealthScales& s) {
    out += seconds_text(since_us(r.time_ns, origin_ns));
    char buf[64];
    for (int k = 0; k < kChannelCount; ++k) {
        out += ',';
        if (attitude_channel(k) ? r.attitude : r.sensor)
            out.append(buf, value_text(r.values[std::size_t(k)], buf));
    }
    for (int k = 3; k < kChannelCount; ++k) {
        out += ',';
        if (!r.sensor) continue;
        const PhysicalUnit u = kChannels[std::size_t(k)].unit;
        const double scale = u == PhysicalUnit::g     ? s.accel_counts_per_g
                             : u == PhysicalUnit::dps ? s.gyro_counts_per_dps
                                                      : s.mag_counts_per_gauss;
        const int decimals = u == PhysicalUnit::g ? 5 : u == PhysicalUnit::dps ? 3 : 4;
        double v = double(r.values[std::size_t(k)]) / scale;
        if (std::abs(v) < 0.5 * std::pow(10.0, -decimals)) v = 0; // no "-0.000"
        const auto e = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
        out.append(buf, e.ptr);
    }
    out += '\n';
}

void TickHistory::keep(const TickRow& r) {
    if (!origin_) origin_ = r.time_ns;
    if (rows_.size() >= kDefaultLimit) rows_.pop_front();
    while (!rows_.empty() && rows_.front().time_ns < r.time_ns - kDefaultSpan)
        rows_.pop_front();
    rows_.push_back(r);
}

void TickHistory::batch(const TelemetryBatch& b) {
    for (const TelemetryFrame& f : b.frames)
        ticks_.add(f, [this](const TickRow& r) { keep(r); });
}

void TickHistory::restart(std::optional<std::int64_t> origin) {
    rows_.clear();
    ticks_.restart();
    origin_ = origin;
}

std::vector<TickRow> TickHistory::rows() const {
    std::vector<TickRow> out(rows_.begin(), rows_.end());
    if (ticks_.pending()) out.push_back(*ticks_.pending());
    return out;
}

std::string save_tick_csv(const std::filesystem::path& file, std::span<const TickRow> rows,
                          std::int64_t origin_ns, const HealthScales& scales,
                          std::atomic<std::size_t>* done) {
    // Only a regular file is replaced: opening a FIFO for writing would wait for a reader.
    std::error_code ec;
    const auto st = std::filesystem::status(file, ec);
    if (std::filesystem::exists(st) && !std::filesystem::is_regular_file(st))
        return "cannot write " + file.string() + ": " +
               (std::filesystem::is_directory(st) ? "it is a folder" : "it is not a regular file");
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) return "cannot write " + file.string() + ": " + system_reason(errno);
    std::string text = tick_csv_header();
    text.reserve(1 << 20);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        append_tick_row(text, rows[i], origin_ns, scales);
        if (text.size() >= (1u << 20) - 512) {
            out.write(text.data(), std::streamsize(text.size()));
            text.clear();
            if (done) done->store(i + 1, std::memory_order_relaxed);
        }
    }
    out.write(text.data(), std::streamsize(text.size()));
    out.close();
    if (!out) return "cannot write " + file.string() + ": " + system_reason(errno);
    if (done) done->store(rows.size(), std::memory_order_relaxed);
    return {};
}

} // namespace zento
