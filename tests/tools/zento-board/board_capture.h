#pragma once
// Test helpers: decode a board stream with the project's receiver and decoders, and the
// angles that physics gives from the raw readings.
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <span>
#include <string>
#include <vector>

#include "link/receiver.h"
#include "telemetry/decoders.h"

namespace board_test {

inline constexpr double kDeg = 180.0 / std::numbers::pi;

struct Decoded : zento::ReceiverEvents {
    std::vector<zento::AttitudeRecord> attitude;
    std::vector<zento::SensorRecord> sensor;
    std::vector<std::vector<std::uint8_t>> frames; // every delivered rx_frame, in order
    std::vector<std::string> logs;
    int short_frames = 0;

    void Show_msg(std::string_view t) override { logs.emplace_back(t); }
    void Rec_LedON() override {}
    void Rec_attitude(std::span<const std::uint8_t> f) override {
        frames.emplace_back(f.begin(), f.end());
        if (auto r = zento::decode_attitude(f))
            attitude.push_back(*r);
        else
            ++short_frames;
    }
    void Rec_sensor(std::span<const std::uint8_t> f) override {
        frames.emplace_back(f.begin(), f.end());
        if (auto r = zento::decode_sensor(f))
            sensor.push_back(*r);
        else
            ++short_frames;
    }
    void Rec_other(std::span<const std::uint8_t> f) override {
        frames.emplace_back(f.begin(), f.end());
    }
};

inline Decoded decode(std::span<const std::uint8_t> bytes) {
    Decoded d;
    zento::Receiver rx(d);
    rx.feed(bytes);
    return d;
}

// Roll and pitch (degrees) from the accelerometer: X forward, Y right, Z down, gravity positive.
inline double accel_roll(const zento::SensorRecord& s) {
    return std::atan2(s.acc[1], s.acc[2]) * kDeg;
}
inline double accel_pitch(const zento::SensorRecord& s) {
    return std::atan2(-s.acc[0], std::hypot(s.acc[1], s.acc[2])) * kDeg;
}
inline double accel_norm(const zento::SensorRecord& s) {
    return std::sqrt(double(s.acc[0]) * s.acc[0] + double(s.acc[1]) * s.acc[1] +
                     double(s.acc[2]) * s.acc[2]);
}

// Tilt-compensated magnetic heading (degrees, -180..180) from the magnetometer.
inline double mag_heading(const zento::SensorRecord& s, double roll_deg, double pitch_deg) {
    const double r = roll_deg / kDeg, p = pitch_deg / kDeg;
    const double xh = s.mag[0] * std::cos(p) + s.mag[1] * std::sin(r) * std::sin(p) +
                      s.mag[2] * std::cos(r) * std::sin(p);
    const double yh = s.mag[1] * std::cos(r) - s.mag[2] * std::sin(r);
    return std::atan2(-yh, xh) * kDeg;
}

// Smallest signed difference of two angles in degrees.
inline double angle_diff(double a, double b) {
    double d = std::fmod(a - b, 360.0);
    if (d > 180.0) d -= 360.0;
    if (d < -180.0) d += 360.0;
    return d;
}

// Body rates (deg/s) from the reported angles by central differences over ticks k-1, k+1.
inline std::array<double, 3> derived_rates(const std::vector<zento::AttitudeRecord>& a,
                                           std::size_t k, double rate_hz) {
    const double dt2 = 2.0 / rate_hz;
    const double droll = (a[k + 1].roll - a[k - 1].roll) / dt2;
    const double dpitch = (a[k + 1].pitch - a[k - 1].pitch) / dt2;
    const double dyaw = angle_diff(a[k + 1].yaw, a[k - 1].yaw) / dt2;
    const double r = a[k].roll / kDeg, p = a[k].pitch / kDeg;
    return {droll - dyaw * std::sin(p), dpitch * std::cos(r) + dyaw * std::sin(r) * std::cos(p),
            dyaw * std::cos(r) * std::cos(p) - dpitch * std::sin(r)};
}

} // namespace board_test
