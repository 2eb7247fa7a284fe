#pragma once
// "Export chart data" and `zento-decode --ticks`: one row per board tick.
//
//   time_s,yaw_deg,roll_deg,pitch_deg,accel_x_counts,...,mag_z_counts,
//   accel_x_g,accel_y_g,accel_z_g,gyro_x_dps,gyro_y_dps,gyro_z_dps,mag_x_gauss,...,mag_z_gauss
//
// A tick is an attitude frame and the sensor frame after it with nothing lost between (the
// receive path gives both the tick's time: telemetry/frame_dispatch.h). time_s: seconds from the
// source's start (a recording's first record; live, the first tick kept) to the tick's time, six
// decimals. Then the twelve channels in the chart's order (telemetry/channels.h) with the values
// as decoded (degrees, counts; the labels' value texts, not divided by any scale chooser), and
// the nine sensor values in physical units by the health scales (g 5 decimals, °/s 3, gauss 4).
// A tick whose attitude or sensor frame was lost leaves those cells empty. "." as the decimal
// point in every locale, "\n" line ends.
#include "health/health_settings.h"
#include "telemetry/channels.h"
#include "telemetry/frame_dispatch.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zento {

struct TickRow {
    std::int64_t time_ns = 0;
    bool attitude = false, sensor = false; // which frames the tick has
    std::array<float, kChannelCount> values{};
};

std::string tick_csv_header();
void append_tick_row(std::string& out, const TickRow& row, std::int64_t origin_ns,
                     const HealthScales& scales);

// The frames of the receive path, in order, into ticks.
class TickAssembler {
  public:
    // Calls emit(row) for each tick the frame closes (an attitude frame waits for its sensor).
    template <class Emit> void add(const TelemetryFrame& f, Emit&& emit) {
        if (f.type == TelemetryFrame::Type::attitude) {
            if (pending_) emit(*pending_);
            pending_ = TickRow{f.time_ns, true, false, {}};
            for (int k = 0; k < kChannelCount && attitude_channel(k); ++k)
                pending_->values[std::size_t(k)] = channel_value(k, f.attitude);
            pending_loss_ = f.loss;
            return;
        }
        TickRow row{f.time_ns, false, true, {}};
        if (pending_ && pending_->time_ns == f.time_ns && pending_loss_ == f.loss)
            row = *pending_;
        else if (pending_)
            emit(*pending_);
        pending_.reset();
        row.sensor = true;
        for (int k = 3; k < kChannelCount; ++k)
            row.values[std::size_t(k)] = channel_value(k, f.sensor);
        emit(row);
    }
    // The attitude frame still waiting for its sensor frame.
    const std::optional<TickRow>& pending() const { return pending_; }
    void restart() { pending_.reset(); }

  private:
    std::optional<TickRow> pending_;
    std::uint64_t pending_loss_ = 0;
};

// The ticks the receive path delivered, for the export: bounded as the chart's history (the
// newest `limit` ticks, none older than `span_ns` before the newest).
class TickHistory final : public TelemetrySink {
  public:
    static constexpr std::size_t kDefaultLimit = 30 * 60 * 250;
    static constexpr std::int64_t kDefaultSpan = 30LL * 60 * 1'000'000'000;

    void batch(const TelemetryBatch& b) override;
    // Empties it for a new source; `origin`: the source's start (time_s 0), else the first tick.
    void restart(std::optional<std::int64_t> origin = {});
    // The ticks, oldest first (an attitude frame still waiting for its sensor frame last).
    std::vector<TickRow> rows() const;
    std::int64_t origin() const { return origin_.value_or(0); }
    std::size_t size() const { return rows_.size(); }

  private:
    void keep(const TickRow& r);
    std::deque<TickRow> rows_;
    TickAssembler ticks_;
    std::optional<std::int64_t> origin_;
};

// Writes the header and the rows to `file` (replaced if it exists), counting the rows written in
// `done` as it goes (another thread may read it). Returns "" or why not, naming the file.
std::string save_tick_csv(const std::filesystem::path& file, std::span<const TickRow> rows,
                          std::int64_t origin_ns, const HealthScales& scales,
                          std::atomic<std::size_t>* done = nullptr);

} // namespace zento
