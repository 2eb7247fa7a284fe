// Frame receiver over whole streams: batch boundaries, noise, recovery and bounds.
#include "link/envelope.h"
#include "link/receiver.h"
#include "recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using namespace zento;
using namespace zento::test;
using Events = std::vector<std::string>;

namespace {

// A capture with every kind of thing the receiver meets: both telemetry frames, command
// frames, the long form, broken frames of every sort, stray end bytes, noise.
Bytes mixed_capture() {
    std::mt19937 rng(1234);
    Bytes c;
    auto add = [&c](const Bytes& b) { c.insert(c.end(), b.begin(), b.end()); };
    for (int k = 0; k < 6; ++k) {
        add(plain_attitude(std::uint8_t(k)));
        add(plain_sensor(std::uint8_t(k)));
    }
    add({0x00, 0xAA, 0x13, 0xA5, 0xA5, 0xAA});
    Bytes p = {0xA5, 0x5A, 0xAA, 0xA5, 0x5A, 0xAA, 0, 0, 0, 0, 0, 0, 0xAA, 0xAA};
    add(frame(kTypeAttitude, p));
    const auto cmd = command_frame(kTypeGyroBias);
    add(Bytes(cmd.begin(), cmd.end()));
    Bytes lf(kLongFormPayload);
    for (auto& b : lf)
        b = std::uint8_t(rng());
    add(frame(0x42, lf));
    Bytes lost = plain_sensor(9);
    lost.erase(lost.begin() + 8); // costs this frame: "Error! Com"
    add(lost);
    add(plain_attitude(10));
    Bytes bad_sum = plain_attitude(11);
    bad_sum[bad_sum.size() - 2] ^= 0x10;
    add(bad_sum);
    add({0x5A, 0x02, 0xAA, 0xA5, 0x5A, 0x01, 0x5A, 0x00});
    add(plain_sensor(12));
    Bytes no_end = plain_attitude(13);
    no_end.back() = 0x5A; // the byte at the end starts a frame of its own
    add(no_end);
    add({0x05, 0x77, 0x01, 0x7D, 0xAA}); // ... which is valid: LEN 5, type 0x77
    for (int k = 0; k < 40; ++k)
        c.push_back(std::uint8_t(rng()) & 0x0F);
    add(plain_sensor(14));
    add({0xA5, 0x5A, 0x12, 0xA1, 0x00}); // unfinished at the end of the capture
    return c;
}

struct State {
    bool on;
    std::int16_t count, len;
    std::int32_t pos, a5;
    Bytes buf, frame;
    bool operator==(const State&) const = default;
};
State state(const Receiver& rx) {
    return {rx.rx_on,   rx.rx_count,  rx.rx_len,
            rx.rx_pos,  rx.rx_a5_pos, Bytes(rx.rx_buf.begin(), rx.rx_buf.begin() + rx.rx_count),
            rx.rx_frame};
}

} // namespace

TEST(ReceiverStream, CaptureGivesTheExpectedFrames) {
    const Events got = run(mixed_capture(), false);
    int attitude = 0, sensor = 0, other = 0, checksum = 0, error_com = 0;
    for (const auto& e : got) {
        attitude += e.starts_with("attitude,");
        sensor += e.starts_with("sensor,");
        other += e.starts_with("other,");
        checksum += e == "log,Check-Sum Error!";
        error_com += e == "log,Error! Com";
    }
    EXPECT_EQ(attitude, 6 + 1 + 1);
    EXPECT_EQ(sensor, 6 + 1 + 1);
    EXPECT_EQ(other, 3); // command, long form, the 0x77 frame
    EXPECT_EQ(checksum, 2);
    EXPECT_EQ(error_com, 4); // lost byte, LEN 1, LEN 0, missing end
}

TEST(ReceiverStream, BatchBoundariesChangeNothing) {
    const Bytes c = mixed_capture();
    Recorder whole_r;
    Receiver whole(whole_r);
    whole.feed(c);
    const State end_state = state(whole);

    // Split in two at every offset.
    for (std::size_t k = 0; k <= c.size(); ++k) {
        Recorder r;
        Receiver rx(r);
        rx.feed(std::span<const std::uint8_t>(c).first(k));
        rx.feed(std::span<const std::uint8_t>(c).subspan(k));
        ASSERT_EQ(r.events, whole_r.events) << "split at " << k;
        ASSERT_TRUE(state(rx) == end_state) << "split at " << k;
    }
    // Random batch sizes, including empty batches.
    std::mt19937 rng(99);
    for (int round = 0; round < 200; ++round) {
        Recorder r;
        Receiver rx(r);
        std::size_t at = 0;
        const unsigned most = 1 + rng() % 300;
        while (at < c.size()) {
            const std::size_t n = std::min<std::size_t>(rng() % (most + 1), c.size() - at);
            rx.feed(std::span<const std::uint8_t>(c).subspan(at, n));
            at += n;
        }
        ASSERT_EQ(r.events, whole_r.events) << "round " << round;
        ASSERT_TRUE(state(rx) == end_state);
    }
    // The single-byte procedure.
    Recorder r;
    Receiver rx(r);
    for (std::uint8_t b : c)
        rx.byte(b);
    EXPECT_EQ(r.events, whole_r.events);
    EXPECT_TRUE(state(rx) == end_state);
}

TEST(ReceiverStream, NoiseWithoutFrameStartNeverDisturbsTheNextFrame) {
    const Bytes a = plain_attitude(60), s = plain_sensor(61);
    const Events want = {"attitude," + body_hex(a), "sensor," + body_hex(s)};
    for (int v = 0; v < 256; ++v) {
        if (v == kHeader2) continue; // a 0x5A outside a frame starts one
        for (std::size_t k : {1u, 2u, 3u, 25u, 3000u}) {
            const Bytes noise(k, std::uint8_t(v));
            ASSERT_EQ(run(cat({a, noise, s}), false), want) << "byte " << v << " x" << k;
        }
    }
    std::mt19937 rng(5);
    for (int round = 0; round < 300; ++round) {
        Bytes noise(rng() % 500);
        for (auto& b : noise) {
            do
                b = std::uint8_t(rng());
            while (b == kHeader2);
        }
        ASSERT_EQ(run(cat({a, noise, s}), false), want) << "round " << round;
    }
}

// Whatever garbage comes, the frames that start more than one longest frame after it are
// all delivered.
TEST(ReceiverStream, RecoversWithinOneLongestFrameAfterAnyGarbage) {
    std::mt19937 rng(77);
    for (int round = 0; round < 150; ++round) {
        Bytes stream(1 + rng() % 3000);
        for (auto& b : stream) {
            const unsigned r = rng() % 8; // plenty of header, end and long-form bytes
            b = r == 0   ? kHeader1
                : r == 1 ? kHeader2
                : r == 2 ? kEnd
                : r == 3 ? 0xFF
                         : std::uint8_t(rng());
        }
        const std::size_t garbage_end = stream.size();
        Events want;
        for (int k = 0; k < 200; ++k) {
            const Bytes f = k % 2 ? plain_sensor(std::uint8_t(k)) : plain_attitude(std::uint8_t(k));
            if (stream.size() > garbage_end + kLongFormSize)
                want.push_back((k % 2 ? "sensor," : "attitude,") + body_hex(f));
            stream = cat({stream, f});
        }
        const Events got = run(stream, false);
        Events frames;
        for (const auto& e : got)
            if (!e.starts_with("log,")) frames.push_back(e);
        ASSERT_GE(frames.size(), want.size());
        EXPECT_EQ(Events(frames.end() - std::ptrdiff_t(want.size()), frames.end()), want)
            << "round " << round;
    }
}

TEST(ReceiverStream, LampFlashesOnEveryEndByte) {
    std::mt19937 rng(3);
    for (int round = 0; round < 50; ++round) {
        Bytes stream;
        for (int k = 0; k < 100; ++k) {
            if (rng() % 3 == 0) {
                Bytes noise(rng() % 40);
                for (auto& b : noise)
                    b = rng() % 2 ? kEnd : std::uint8_t(rng());
                stream = cat({stream, noise});
            }
            Bytes p(rng() % 30);
            for (auto& b : p)
                b = rng() % 4 ? kEnd : std::uint8_t(rng());
            stream = cat({stream, frame(std::uint8_t(rng()), p)});
        }
        Recorder r;
        Receiver rx(r);
        rx.feed(stream);
        EXPECT_EQ(r.lamps, std::count(stream.begin(), stream.end(), kEnd));
    }
}

TEST(ReceiverStream, LongGarbageKeepsEveryBound) {
    std::mt19937_64 rng(11);
    Recorder r;
    r.record_lamps = false;
    Receiver rx(r);
    const std::size_t capacity = rx.rx_buf.capacity();
    Bytes chunk(1 << 16);
    for (int k = 0; k < 256; ++k) { // 16 MiB
        for (std::size_t i = 0; i < chunk.size(); i += 8) {
            const std::uint64_t v = rng();
            for (int j = 0; j < 8; ++j)
                chunk[i + std::size_t(j)] = std::uint8_t(v >> (8 * j));
        }
        if (k % 4 == 0) std::fill(chunk.begin(), chunk.begin() + 5000, kHeader1);
        rx.feed(chunk);
        ASSERT_GE(rx.rx_count, 0);
        ASSERT_LE(rx.rx_count, Receiver::kMaxCollect);
        if (rx.rx_on) {
            ASSERT_EQ(rx.rx_buf.size(), std::size_t(rx.rx_count));
        }
        ASSERT_EQ(rx.rx_buf.capacity(), capacity);
        ASSERT_GE(rx.rx_pos, 0);
        ASSERT_LE(rx.rx_pos, (1 << 30) + 1);
        if (r.events.size() > 100000) r.events.clear(); // the log of this garbage is not kept
    }
    // Still finds frames.
    r.events.clear();
    const Bytes a = plain_attitude(1);
    rx.feed(cat({Bytes(kLongFormSize + 1, 0), a}));
    EXPECT_EQ(r.frames_and_logs().back(), "attitude," + body_hex(a));
}

TEST(ReceiverStream, HeaderCounterNeverOverflows) {
    // rx_pos moves on every 0xA5 outside a frame; billions of them must not overflow it,
    // and must not change which 0x5A starts a frame.
    const Bytes a = plain_attitude(2);
    for (std::int32_t start : {(1 << 30) - 3, (1 << 30), std::int32_t(0x7FFFFFF0)}) {
        Recorder r;
        Receiver rx(r);
        rx.rx_pos = rx.rx_a5_pos = start;
        rx.feed(Bytes(40, kHeader1));
        EXPECT_LE(rx.rx_pos, (1 << 30) + 1);
        rx.feed(a);
        EXPECT_EQ(r.frames_and_logs(), (Events{"attitude," + body_hex(a)}));
    }
    // A counter left just past an unmatched 0x5A: the next lone 0x5A must not start a frame.
    Recorder r;
    Receiver rx(r);
    rx.rx_a5_pos = (1 << 30);
    rx.rx_pos = (1 << 30) + 1;
    const Bytes body(a.begin() + 1, a.end()); // 5A LEN ...
    rx.feed(Bytes(10, 0x00));
    rx.feed(body);
    EXPECT_TRUE(r.frames_and_logs().empty());
    rx.feed(a); // with its A5 it does
    EXPECT_EQ(r.frames_and_logs(), (Events{"attitude," + body_hex(a)}));
}
