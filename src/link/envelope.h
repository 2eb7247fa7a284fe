#pragma once
// Frame envelope shared by the receiver, the command senders and the simulated board.
//
//   offset 0      0xA5            header 1
//   offset 1      0x5A            header 2
//   offset 2      LEN             N = bytes from LEN through the end byte (frame is N + 2 bytes);
//                                 0xFF stands for N = 2006 (the long form)
//   offset 3      TYPE            0xA1 attitude, 0xA2 raw sensors, 0xE0 / 0xE2 commands
//   offset 4..    payload         N - 4 bytes, any values (0xA5, 0x5A, 0xAA included)
//   offset N      checksum        (LEN + TYPE + payload bytes) mod 256, LEN as sent
//   offset N + 1  0xAA            end
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zento {

inline constexpr std::uint8_t kHeader1 = 0xA5;
inline constexpr std::uint8_t kHeader2 = 0x5A;
inline constexpr std::uint8_t kEnd = 0xAA;
inline constexpr std::uint8_t kLongFormLen = 0xFF;
inline constexpr int kLongFormSize = 2006;

inline constexpr std::uint8_t kTypeAttitude = 0xA1;
inline constexpr std::uint8_t kTypeSensor = 0xA2;
inline constexpr std::uint8_t kTypeGyroBias = 0xE0;
inline constexpr std::uint8_t kTypeHeightZero = 0xE2;

inline constexpr std::size_t kAttitudePayload = 14; // LEN 18, 20 bytes on the wire
inline constexpr std::size_t kSensorPayload = 18;   // LEN 22, 24 bytes on the wire

// Byte sum modulo 256.
std::uint8_t byte_sum(std::span<const std::uint8_t> bytes);

// Largest payload of the short form (LEN = payload + 4 fits one byte and is not 0xFF), and
// the one payload size of the long form (LEN 0xFF, N = 2006).
inline constexpr std::size_t kMaxShortPayload = 250;
inline constexpr std::size_t kLongFormPayload = kLongFormSize - 4;

// A complete frame (headers through end byte) for a type and payload. The payload is 0 to 250
// bytes, or exactly 2002 bytes for the long form; any other size throws std::length_error.
std::vector<std::uint8_t> build_frame(std::uint8_t type, std::span<const std::uint8_t> payload);

// Appends the frame to `out` without allocating a temporary (same sizes as build_frame; on
// std::length_error `out` is unchanged).
void append_frame(std::vector<std::uint8_t>& out, std::uint8_t type,
                  std::span<const std::uint8_t> payload);

// The two command frames: A5 5A 04 E0 E4 AA and A5 5A 04 E2 E6 AA.
std::array<std::uint8_t, 6> command_frame(std::uint8_t type);

// Sign-magnitude word (high byte first): bit 15 sign, bits 0..14 magnitude.
// 0x80 0x01 is -1, 0xFF 0xFF is -32767, 0x80 0x00 is 0 (plus zero, so that nothing downstream
// can show or carry a "-0"). Not two's complement.
inline float sign_magnitude(std::uint8_t high, std::uint8_t low) {
    const unsigned w = (unsigned(high) << 8) | low;
    const float m = float(w & 0x7FFFu);
    return (w & 0x8000u) ? 0.0f - m : m;
}

// Encodes a value into a sign-magnitude word; |value| is clamped to 32767.
// A negative zero magnitude is written as 0x00 0x00.
std::array<std::uint8_t, 2> encode_sign_magnitude(long value);

} // namespace zento
