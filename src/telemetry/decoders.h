#pragma once
// Decoders of the two telemetry frames, reading the receiver's rx_frame
// (rx_frame[0] = LEN, rx_frame[1] = TYPE, rx_frame[2 + k] = payload byte k).
// Every field is a sign-magnitude word, high byte first.
//
// Attitude and status, type 0xA1, 14 payload bytes (LEN 18):
//   idx  2-3 yaw /10 deg    4-5 pitch /10 deg    6-7 roll /10 deg    8-9 altitude /10 m
//       10-11 temperature /10 degC   12-13 pressure (word counts 10 Pa)   14-15 solution rate
// Raw sensors, type 0xA2, 18 payload bytes (LEN 22), raw counts:
//   idx 2-7 accelerometer X Y Z, 8-13 gyroscope X Y Z, 14-19 magnetometer X Y Z
//
// The span is the whole rx_frame, checksum byte included (it is the last byte). A frame whose
// payload is shorter than its layout is not decoded: nothing past the payload is read, so the
// checksum is never taken for a field. Payload bytes beyond the layout are ignored.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace zento {

struct AttitudeRecord {
    float yaw = 0, pitch = 0, roll = 0; // degrees
    float altitude = 0;                 // metres
    float temperature = 0;              // degrees Celsius
    float pressure_word = 0;            // the word as sent (counts 10 Pa)
    float rate = 0;                     // attitude solutions per second

    float pressure_pa() const { return pressure_word * 10.0f; } // single precision, as shown
    // What the 3D window's fields receive.
    float yaw_3d() const { return float(std::int32_t(yaw)); } // truncated toward zero
    float roll_3d() const { return 0.0f - roll; }             // no "-0" for a level board
    float pitch_3d() const { return pitch; }
};

struct SensorRecord {
    float acc[3] = {0, 0, 0};  // accelerometer X Y Z, counts
    float gyro[3] = {0, 0, 0}; // gyroscope X Y Z, counts
    float mag[3] = {0, 0, 0};  // magnetometer X Y Z, counts
    // The nine readings in frame order: AX AY AZ GX GY GZ HX HY HZ.
    float reading(int i) const { return i < 3 ? acc[i] : i < 6 ? gyro[i - 3] : mag[i - 6]; }
};

// Smallest rx_frame that carries a whole layout: LEN + TYPE + payload + checksum.
inline constexpr std::size_t kAttitudeFrameMin = 2 + 14 + 1;
inline constexpr std::size_t kSensorFrameMin = 2 + 18 + 1;

std::optional<AttitudeRecord> decode_attitude(std::span<const std::uint8_t> rx_frame);
std::optional<SensorRecord> decode_sensor(std::span<const std::uint8_t> rx_frame);

// The value texts that the displays show.
struct AttitudeTexts {
    std::string yaw, pitch, roll, altitude, temperature, pressure_pa, rate;
};
AttitudeTexts attitude_texts(const AttitudeRecord& r);

struct SensorTexts {
    std::string reading[9]; // AX AY AZ GX GY GZ HX HY HZ
};
SensorTexts sensor_texts(const SensorRecord& r);

} // namespace zento
