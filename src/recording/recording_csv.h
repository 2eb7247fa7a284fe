#pragma once
// The recording's table: one row per decoded frame, as the window shows it, and one per event
// of the link (link/link_event.h).
//
//   time_s,type,yaw_deg,pitch_deg,roll_deg,altitude_m,temperature_c,pressure_pa,solution_rate,
//   accel_x_counts,accel_y_counts,accel_z_counts,gyro_x_counts,gyro_y_counts,gyro_z_counts,
//   mag_x_counts,mag_y_counts,mag_z_counts,event
//
// time_s: seconds from the start of the recording to the receive time of the batch that
// completed the frame, six decimals (microseconds). type: attitude or sensor, or command (a
// command the program sent, at its time) or gap (more than a second without bytes, at the time
// of the batch that ended it, before that batch's rows). The values are the value texts the
// labels show ("." as the decimal point in every locale); a row leaves the columns of the other
// frame type empty. event: an event row's label ("gyro bias", "height zero", "gap 2.3 s"),
// empty in a frame's row. Lines end with "\n".
//
// Rows come from the receiver and the one decoder (decode_attitude / decode_sensor on rx_frame);
// frames of other types and frames shorter than their layout give no row.
#include "link/link_event.h"
#include "link/receiver.h"
#include "recording/pcap_format.h"
#include "telemetry/decoders.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace zento {

inline constexpr std::string_view kCsvHeader =
    "time_s,type,yaw_deg,pitch_deg,roll_deg,altitude_m,temperature_c,pressure_pa,solution_rate,"
    "accel_x_counts,accel_y_counts,accel_z_counts,gyro_x_counts,gyro_y_counts,gyro_z_counts,"
    "mag_x_counts,mag_y_counts,mag_z_counts,event\n";

// Microseconds as seconds with six decimals: 0.050000, 3600.000001, -0.000250.
std::string seconds_text(std::int64_t us);

// Microseconds from `origin_ns` to `t_ns`, rounded down (towards the past, before the origin
// too), as the recording's rows have them.
inline std::int64_t since_us(std::int64_t t_ns, std::int64_t origin_ns) {
    const std::int64_t d = t_ns - origin_ns;
    return d >= 0 ? d / 1000 : -((999 - d) / 1000);
}

void append_attitude_row(std::string& out, std::int64_t time_us, const AttitudeRecord& r);
void append_sensor_row(std::string& out, std::int64_t time_us, const SensorRecord& r);
void append_event_row(std::string& out, std::int64_t time_us, const LinkEvent& e);

// The rows of a received byte stream, batch by batch, with a receiver of its own.
class CsvRows final : private ReceiverEvents {
  public:
    CsvRows() : rx_(*this) {}
    // Runs one batch received `time_us` after the start of the recording through the receiver
    // and appends a row for every frame it completes, after a gap row when it ends a gap.
    void feed(std::span<const std::uint8_t> bytes, std::int64_t time_us, std::string& out);
    // A command the program sent: its row.
    void command(std::span<const std::uint8_t> frame, std::int64_t time_us, std::string& out);
    // A record of the recording: feed() or command() by its direction.
    void record(Direction d, std::span<const std::uint8_t> bytes, std::int64_t time_us,
                std::string& out) {
        d == Direction::received ? feed(bytes, time_us, out) : command(bytes, time_us, out);
    }
    std::uint64_t rows() const { return rows_; }

  private:
    void Show_msg(std::string_view) override {}
    void Rec_LedON() override {}
    void Rec_attitude(std::span<const std::uint8_t> f) override;
    void Rec_sensor(std::span<const std::uint8_t> f) override;

    Receiver rx_;
    std::string* out_ = nullptr;
    std::int64_t time_us_ = 0;
    std::uint64_t rows_ = 0;
    GapFinder gaps_;
};

} // namespace zento
