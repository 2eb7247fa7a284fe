#pragma once
// Test helpers: a ReceiverEvents that records every call as text, and frame builders.
#include "link/envelope.h"
#include "link/receiver.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zento::test {

using Bytes = std::vector<std::uint8_t>;

inline std::string hex(std::span<const std::uint8_t> bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (std::uint8_t b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

// Records "lamp", "log,TEXT", "attitude,HEX", "sensor,HEX", "other,HEX" in call order.
struct Recorder : ReceiverEvents {
    std::vector<std::string> events;
    int lamps = 0;
    bool record_lamps = true;

    void Show_msg(std::string_view t) override { events.push_back("log," + std::string(t)); }
    void Rec_LedON() override {
        ++lamps;
        if (record_lamps) events.emplace_back("lamp");
    }
    void Rec_attitude(std::span<const std::uint8_t> f) override {
        events.push_back("attitude," + hex(f));
    }
    void Rec_sensor(std::span<const std::uint8_t> f) override {
        events.push_back("sensor," + hex(f));
    }
    void Rec_other(std::span<const std::uint8_t> f) override {
        events.push_back("other," + hex(f));
    }

    // The events without the lamp entries.
    std::vector<std::string> frames_and_logs() const {
        std::vector<std::string> out;
        for (const auto& e : events)
            if (e != "lamp") out.push_back(e);
        return out;
    }
};

inline Bytes frame(std::uint8_t type, const Bytes& payload) {
    return build_frame(type, payload);
}

// What rx_frame holds for a frame built by frame(): LEN through checksum.
inline std::string body_hex(const Bytes& wire) {
    return hex(std::span<const std::uint8_t>(wire).subspan(2, wire.size() - 3));
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline std::vector<std::string> cat_events(std::vector<std::string> a,
                                           const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// An attitude frame (14 payload bytes) and a sensor frame (18) whose bytes, checksum included,
// avoid 0xA5, 0x5A and 0xAA, so that only the envelope carries those values.
inline Bytes plain_attitude(std::uint8_t seed) {
    Bytes p(14);
    for (std::size_t i = 0; i < p.size(); ++i)
        p[i] = std::uint8_t((seed + 3 * i) % 0x50);
    for (;;) {
        Bytes f = frame(kTypeAttitude, p);
        const std::uint8_t cs = f[f.size() - 2];
        if (cs != kHeader1 && cs != kHeader2 && cs != kEnd) return f;
        ++p[0];
    }
}

inline Bytes plain_sensor(std::uint8_t seed) {
    Bytes p(18);
    for (std::size_t i = 0; i < p.size(); ++i)
        p[i] = std::uint8_t((seed + 5 * i) % 0x50);
    for (;;) {
        Bytes f = frame(kTypeSensor, p);
        const std::uint8_t cs = f[f.size() - 2];
        if (cs != kHeader1 && cs != kHeader2 && cs != kEnd) return f;
        ++p[0];
    }
}

// Feeds the bytes in one batch and returns the recorded events.
inline std::vector<std::string> run(const Bytes& bytes, bool lamps = true) {
    Recorder r;
    r.record_lamps = lamps;
    Receiver rx(r);
    rx.feed(bytes);
    return r.events;
}

} // namespace zento::test
