#include "link/envelope.h"

#include <stdexcept>
#include <string>

namespace zento {

std::uint8_t byte_sum(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (std::uint8_t b : bytes)
        sum += b;
    return std::uint8_t(sum & 0xFFu);
}

void append_frame(std::vector<std::uint8_t>& out, std::uint8_t type,
                  std::span<const std::uint8_t> payload) {
    std::uint8_t len = 0;
    if (payload.size() <= kMaxShortPayload)
        len = std::uint8_t(payload.size() + 4);
    else if (payload.size() == kLongFormPayload)
        len = kLongFormLen;
    else
        throw std::length_error("frame payload of " + std::to_string(payload.size()) +
                                " bytes: the envelope carries 0 to 250 or 2002");
    out.push_back(kHeader1);
    out.push_back(kHeader2);
    out.push_back(len);
    out.push_back(type);
    out.insert(out.end(), payload.begin(), payload.end());
    out.push_back(std::uint8_t(len + type + byte_sum(payload)));
    out.push_back(kEnd);
}

std::vector<std::uint8_t> build_frame(std::uint8_t type, std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> out;
    out.reserve(payload.size() + 6);
    append_frame(out, type, payload);
    return out;
}

std::array<std::uint8_t, 6> command_frame(std::uint8_t type) {
    const auto f = build_frame(type, {});
    std::array<std::uint8_t, 6> a{};
    for (std::size_t i = 0; i < a.size(); ++i)
        a[i] = f[i];
    return a;
}

std::array<std::uint8_t, 2> encode_sign_magnitude(long value) {
    const bool neg = value < 0;
    unsigned long m =
        neg ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    if (m > 0x7FFF) m = 0x7FFF;
    unsigned w = unsigned(m);
    if (neg && m != 0) w |= 0x8000u;
    return {std::uint8_t(w >> 8), std::uint8_t(w & 0xFF)};
}

} // namespace zento
