// libFuzzer target: the frame receiver and the decoders.
//
// The input is read as a small program that builds a byte stream, so that most of the stream
// is frames with correct checksums (random bytes alone would almost never pass the checksum):
//   0x00-0x7F  raw: the next (c & 0x3F) + 1 input bytes go into the stream as they are
//   0x80-0xEF  frame: d = next byte; type by d & 3 (A1, A2, E0, or the byte after); payload
//              length the type's layout - 4 + ((d >> 2) & 7) (0 to 40 for other types), its
//              bytes from the input (zeros when it runs out); wrapped by append_frame; then
//              d >> 5 = 5 drops, 6 changes, 7 inserts one byte at a position from the input
//   0xF0-0xFF  a long-form frame (LEN 0xFF) whose payload is a pattern from c (the first two;
//              later ones are skipped)
// The stream is fed whole, in batches of pseudo-random sizes and byte by byte; all three must
// give the same calls in the same order and the same final state. Every delivered frame and
// the receiver's fields are checked against the envelope's rules after every batch.
#include "fuzz_check.h"
#include "link/envelope.h"
#include "link/receiver.h"
#include "telemetry/decoders.h"
#include "telemetry/value_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace zento;
using Bytes = std::vector<std::uint8_t>;

namespace {

void check_text(float v) {
    char buf[kValueTextMax];
    const std::size_t n = value_text(v, buf);
    CHECK(n > 0 && n <= kValueTextMax);
    CHECK(std::string(buf, n) == value_text_reference(v));
    CHECK(!(n == 2 && buf[0] == '-' && buf[1] == '0'));
}

// Decodes from a heap block of exactly the frame's size, so any read past it is reported.
void decode(std::uint8_t type, std::span<const std::uint8_t> f, std::string& log) {
    const std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[f.size()]);
    std::memcpy(exact.get(), f.data(), f.size());
    const std::span<const std::uint8_t> body(exact.get(), f.size());
    if (type == kTypeAttitude) {
        const auto r = decode_attitude(body);
        CHECK(r.has_value() == (f.size() >= kAttitudeFrameMin));
        if (!r) return;
        for (float v : {r->yaw, r->pitch, r->roll, r->altitude, r->temperature, r->pressure_pa(),
                        r->rate, r->yaw_3d(), r->roll_3d()})
            check_text(v);
        CHECK(r->yaw_3d() == float(int(r->yaw)));
        log += 'a';
    } else {
        const auto r = decode_sensor(body);
        CHECK(r.has_value() == (f.size() >= kSensorFrameMin));
        if (!r) return;
        for (int i = 0; i < 9; ++i)
            check_text(r->reading(i));
        log += 's';
    }
}

struct Checker final : ReceiverEvents {
    std::string log; // every call, in order, with the frames' bytes
    std::size_t lamps = 0;
    const Receiver* rx = nullptr;

    void Show_msg(std::string_view t) override {
        CHECK(t == kMsgChecksum || t == kMsgErrorCom);
        log += t == kMsgChecksum ? 'C' : 'E';
    }
    void Rec_LedON() override {
        ++lamps;
        log += 'L';
    }
    void frame(std::span<const std::uint8_t> f) {
        // The frame's own rules: size from LEN, checksum, and it is rx_frame.
        CHECK(f.size() >= 2);
        const std::size_t n = f[0] == kLongFormLen ? std::size_t(kLongFormSize) : f[0];
        CHECK(f.size() == n - 1);
        CHECK(byte_sum(f.first(f.size() - 1)) == f.back());
        CHECK(rx != nullptr && f.data() == rx->rx_frame.data() && f.size() == rx->rx_frame.size());
        CHECK(!rx->rx_on);
        log += 'F';
        log.append(reinterpret_cast<const char*>(f.data()), f.size());
    }
    void Rec_attitude(std::span<const std::uint8_t> f) override {
        CHECK(f[1] == kTypeAttitude);
        frame(f);
        decode(kTypeAttitude, f, log);
    }
    void Rec_sensor(std::span<const std::uint8_t> f) override {
        CHECK(f[1] == kTypeSensor);
        frame(f);
        decode(kTypeSensor, f, log);
    }
    void Rec_other(std::span<const std::uint8_t> f) override {
        CHECK(f[1] != kTypeAttitude && f[1] != kTypeSensor);
        frame(f);
    }
};

void check_fields(const Receiver& rx) {
    CHECK(rx.rx_count >= 0 && rx.rx_count <= Receiver::kMaxCollect);
    CHECK(rx.rx_len >= 0 && rx.rx_len <= kLongFormSize);
    CHECK(rx.rx_pos >= 0 && rx.rx_pos <= (1 << 30) + 1);
    CHECK(rx.rx_a5_pos >= 0 && rx.rx_a5_pos <= rx.rx_pos);
    CHECK(rx.rx_buf.size() <= std::size_t(Receiver::kMaxCollect));
    CHECK(std::size_t(rx.rx_count) <= rx.rx_buf.size());
    if (rx.rx_on) {
        CHECK(rx.rx_buf.size() == std::size_t(rx.rx_count));
        if (rx.rx_count >= 1) CHECK(rx.rx_count <= rx.rx_len - 1);
    }
}

bool same_state(const Receiver& a, const Receiver& b) {
    return a.rx_on == b.rx_on && a.rx_count == b.rx_count && a.rx_len == b.rx_len &&
           a.rx_pos == b.rx_pos && a.rx_a5_pos == b.rx_a5_pos && a.rx_frame == b.rx_frame &&
           std::equal(a.rx_buf.begin(), a.rx_buf.begin() + a.rx_count, b.rx_buf.begin(),
                      b.rx_buf.begin() + b.rx_count);
}

Bytes build_stream(const std::uint8_t* data, std::size_t size) {
    Bytes s, payload;
    std::size_t i = 0;
    int long_forms = 0;
    auto next = [&]() -> std::uint8_t { return i < size ? data[i++] : 0; };
    while (i < size) {
        const std::uint8_t c = data[i++];
        if (c < 0x80) {
            const std::size_t n = std::min<std::size_t>((c & 0x3F) + 1, size - i);
            s.insert(s.end(), data + i, data + i + n);
            i += n;
        } else if (c < 0xF0) {
            const std::uint8_t d = next();
            std::uint8_t type = 0;
            std::size_t len = 0;
            const std::size_t extra = (d >> 2) & 7;
            switch (d & 3) {
            case 0:
                type = kTypeAttitude, len = kAttitudePayload - 4 + extra;
                break;
            case 1:
                type = kTypeSensor, len = kSensorPayload - 4 + extra;
                break;
            case 2:
                type = kTypeGyroBias, len = 0;
                break;
            default:
                type = next(), len = extra * 5;
                break;
            }
            payload.clear();
            for (std::size_t k = 0; k < len; ++k)
                payload.push_back(next());
            const std::size_t start = s.size();
            append_frame(s, type, payload);
            const std::size_t at = start + next() % (s.size() - start);
            switch (d >> 5) {
            case 5:
                s.erase(s.begin() + std::ptrdiff_t(at));
                break;
            case 6:
                s[at] = std::uint8_t(s[at] + 1 + next() % 255);
                break;
            case 7:
                s.insert(s.begin() + std::ptrdiff_t(at), next());
                break;
            default:
                break;
            }
        } else if (++long_forms <= 2) { // more would only make the run slower
            payload.resize(kLongFormPayload);
            for (std::size_t k = 0; k < payload.size(); ++k)
                payload[k] = std::uint8_t(k * (c & 0x0F) + (k >> 3));
            append_frame(s, std::uint8_t(c), payload);
        }
    }
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes stream = build_stream(data, size);

    Checker whole_c;
    Receiver whole(whole_c);
    whole_c.rx = &whole;
    whole.feed(stream);
    check_fields(whole);
    std::size_t ends = 0;
    for (std::uint8_t b : stream)
        ends += b == kEnd;
    CHECK(whole_c.lamps == ends);

    // Batches of pseudo-random sizes (from the input, so runs are reproducible).
    Checker split_c;
    Receiver split(split_c);
    split_c.rx = &split;
    std::uint32_t seed = 2166136261u;
    for (std::size_t k = 0; k < size; ++k)
        seed = (seed ^ data[k]) * 16777619u;
    std::size_t at = 0;
    while (at < stream.size()) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t n = std::min<std::size_t>((seed >> 16) % 67, stream.size() - at);
        split.feed(std::span<const std::uint8_t>(stream).subspan(at, n));
        check_fields(split);
        at += n;
    }
    CHECK(split_c.log == whole_c.log);
    CHECK(same_state(split, whole));

    Checker byte_c;
    Receiver bytewise(byte_c);
    byte_c.rx = &bytewise;
    for (std::uint8_t b : stream)
        bytewise.byte(b);
    check_fields(bytewise);
    CHECK(byte_c.log == whole_c.log);
    CHECK(same_state(bytewise, whole));

    // The decoders on every short length of the last frame, from exact heap blocks.
    const Bytes& last = whole.rx_frame;
    for (std::size_t n = 0; n <= std::min<std::size_t>(last.size(), kSensorFrameMin + 2); ++n) {
        std::string ignored;
        if (n >= 2) decode(kTypeAttitude, std::span<const std::uint8_t>(last).first(n), ignored);
        if (n >= 2) decode(kTypeSensor, std::span<const std::uint8_t>(last).first(n), ignored);
    }
    return 0;
}
