#pragma once
// The twelve channels of the chart, written once for the chart, the telemetry display and the
// export: the chart's stored name, legend title and colour, the group of its scale chooser, the
// export's column name (as the recording's CSV names the value) and, where the health scales
// give one, the column of the value in physical units.
//
//    0 yaw   "YAW"   (255,64,64)     3 ax "Ax" (139,69,19)     6 gx "Gx" (151,255,255)
//    1 pitch "Roll"  (255,215,0)     4 ay "Ay" (255,0,255)     7 gy "Gy" (255,255,255)
//    2 roll  "Pitch" (0,0,255)       5 az "Az" (72,118,255)    8 gz "Gz" (0,238,0)
//    9 hx "hx" (245,204,176)  10 hy "hy" (155,88,255)  11 hz "hz" (153,240,50)
// The stored names of channels 1 and 2 are the reverse of their titles; the data follow the
// titles (channel 1 draws roll, channel 2 pitch). Groups of three: 0 = IMU (0-2),
// 1 = Acceleration (3-5), 2 = Gyroscope (6-8), 3 = Magnetometer (9-11).
#include "telemetry/decoders.h"

#include <array>
#include <cstdint>

namespace zento {

enum class PhysicalUnit : std::uint8_t { none, g, dps, gauss }; // by the health scales

struct ChannelInfo {
    const char* name;   // stored name ("yaw")
    const char* title;  // legend title ("YAW")
    std::uint32_t rgb;  // colour, 0xRRGGBB
    const char* column; // export column ("yaw_deg")
    PhysicalUnit unit;
    const char* physical_column; // "accel_x_g"; nullptr without a unit
};

inline constexpr int kChannelCount = 12;
inline constexpr int kChannelGroupCount = 4;

inline constexpr std::array<ChannelInfo, kChannelCount> kChannels = {{
    {"yaw", "YAW", 0xFF4040, "yaw_deg", PhysicalUnit::none, nullptr},
    {"pitch", "Roll", 0xFFD700, "roll_deg", PhysicalUnit::none, nullptr},
    {"roll", "Pitch", 0x0000FF, "pitch_deg", PhysicalUnit::none, nullptr},
    {"ax", "Ax", 0x8B4513, "accel_x_counts", PhysicalUnit::g, "accel_x_g"},
    {"ay", "Ay", 0xFF00FF, "accel_y_counts", PhysicalUnit::g, "accel_y_g"},
    {"az", "Az", 0x4876FF, "accel_z_counts", PhysicalUnit::g, "accel_z_g"},
    {"gx", "Gx", 0x97FFFF, "gyro_x_counts", PhysicalUnit::dps, "gyro_x_dps"},
    {"gy", "Gy", 0xFFFFFF, "gyro_y_counts", PhysicalUnit::dps, "gyro_y_dps"},
    {"gz", "Gz", 0x00EE00, "gyro_z_counts", PhysicalUnit::dps, "gyro_z_dps"},
    {"hx", "hx", 0xF5CCB0, "mag_x_counts", PhysicalUnit::gauss, "mag_x_gauss"},
    {"hy", "hy", 0x9B58FF, "mag_y_counts", PhysicalUnit::gauss, "mag_y_gauss"},
    {"hz", "hz", 0x99F032, "mag_z_counts", PhysicalUnit::gauss, "mag_z_gauss"},
}};

constexpr int channel_group(int channel) {
    return channel / 3;
}
// Channels 0-2 come from the attitude frame, 3-11 from the sensor frame.
constexpr bool attitude_channel(int channel) {
    return channel < 3;
}
inline float channel_value(int channel, const AttitudeRecord& a) {
    return channel == 0 ? a.yaw : channel == 1 ? a.roll : a.pitch;
}
inline float channel_value(int channel, const SensorRecord& s) {
    return s.reading(channel - 3);
}

} // namespace zento
