#include "telemetry/decoders.h"

#include "link/envelope.h"
#include "telemetry/value_text.h"

namespace zento {
namespace {
float word(std::span<const std::uint8_t> f, std::size_t i) {
    return sign_magnitude(f[i], f[i + 1]);
}
} // namespace

std::optional<AttitudeRecord> decode_attitude(std::span<const std::uint8_t> f) {
    if (f.size() < kAttitudeFrameMin) return std::nullopt;
    AttitudeRecord r;
    r.yaw = word(f, 2) / 10.0f;
    r.pitch = word(f, 4) / 10.0f;
    r.roll = word(f, 6) / 10.0f;
    r.altitude = word(f, 8) / 10.0f;
    r.temperature = word(f, 10) / 10.0f;
    r.pressure_word = word(f, 12);
    r.rate = word(f, 14);
    return r;
}

std::optional<SensorRecord> decode_sensor(std::span<const std::uint8_t> f) {
    if (f.size() < kSensorFrameMin) return std::nullopt;
    SensorRecord r;
    for (int i = 0; i < 3; ++i) {
        r.acc[i] = word(f, std::size_t(2 + 2 * i));
        r.gyro[i] = word(f, std::size_t(8 + 2 * i));
        r.mag[i] = word(f, std::size_t(14 + 2 * i));
    }
    return r;
}

AttitudeTexts attitude_texts(const AttitudeRecord& r) {
    return {value_text(r.yaw),      value_text(r.pitch),       value_text(r.roll),
            value_text(r.altitude), value_text(r.temperature), value_text(r.pressure_pa()),
            value_text(r.rate)};
}

SensorTexts sensor_texts(const SensorRecord& r) {
    SensorTexts t;
    for (int i = 0; i < 9; ++i)
        t.reading[i] = value_text(r.reading(i));
    return t;
}

} // namespace zento
