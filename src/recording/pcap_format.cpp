#include "recording/pcap_format.h"

#include <algorithm>

namespace zento {
namespace {

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
    out.push_back(std::uint8_t(v >> 16));
    out.push_back(std::uint8_t(v >> 24));
}

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

} // namespace

void append_pcap_header(std::vector<std::uint8_t>& out) {
    put32(out, kPcapMagicMicro);
    put16(out, 2);
    put16(out, 4);
    put32(out, 0); // thiszone: times are UTC
    put32(out, 0); // sigfigs
    put32(out, kPcapSnaplen);
    put32(out, kLinktypeUser0);
}

std::size_t append_pcap_records(std::vector<std::uint8_t>& out, std::int64_t time_us,
                                Direction direction, std::span<const std::uint8_t> payload) {
    const std::uint64_t t = std::uint64_t(std::max<std::int64_t>(time_us, 0));
    const auto sec = std::uint32_t(t / 1'000'000);
    const auto usec = std::uint32_t(t % 1'000'000);
    std::size_t records = 0;
    do {
        const std::size_t n = std::min(payload.size(), kPcapMaxPayload);
        put32(out, sec);
        put32(out, usec);
        put32(out, std::uint32_t(n + 1));
        put32(out, std::uint32_t(n + 1));
        out.push_back(std::uint8_t(direction));
        out.insert(out.end(), payload.begin(), payload.begin() + std::ptrdiff_t(n));
        payload = payload.subspan(n);
        ++records;
    } while (!payload.empty());
    return records;
}

} // namespace zento
