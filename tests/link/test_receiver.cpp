// Frame receiver: envelope edge cases, damaged frames, batch boundaries, noise, bounds and the
// port's receive event.
#include "link/envelope.h"
#include "link/receiver.h"
#include "platform/serial/mock_serial_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

using namespace zento;
using Bytes = std::vector<std::uint8_t>;
using Events = std::vector<std::string>;

namespace {

std::string hex(std::span<const std::uint8_t> bytes) {
    std::string s;
    for (std::uint8_t b : bytes)
        s += "0123456789abcdef"[b >> 4], s += "0123456789abcdef"[b & 15];
    return s;
}

// Records every call: "L" (lamp), "log,TEXT", "attitude,HEX", "sensor,HEX", "other,HEX".
struct Recorder : ReceiverEvents {
    Events events;
    bool lamps = true;
    void Show_msg(std::string_view t) override { events.push_back("log," + std::string(t)); }
    void Rec_LedON() override {
        if (lamps) events.emplace_back("L");
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
    void Rec_batch(std::span<const std::uint8_t> b, std::int64_t) override {
        events.push_back("batch," + hex(b));
    }
    void Rec_batch_end() override { events.emplace_back("end"); }
};

Events run(const Bytes& bytes, bool lamps = false) {
    Recorder r;
    r.lamps = lamps;
    Receiver rx(r);
    rx.feed(bytes);
    return r.events;
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A telemetry frame whose bytes after the header avoid A5, 5A and AA.
Bytes plain(std::uint8_t type, std::uint8_t seed) {
    Bytes p(type == kTypeAttitude ? 14 : 18);
    for (std::size_t i = 0; i < p.size(); ++i)
        p[i] = std::uint8_t((seed + 3 * i) % 0x50);
    for (;; ++p[0]) {
        Bytes f = build_frame(type, p);
        if (std::uint8_t c = f[f.size() - 2]; c != 0xA5 && c != 0x5A && c != 0xAA) return f;
    }
}

// The event a good frame gives: its type's call with LEN through checksum.
std::string ok(const Bytes& wire) {
    const std::string body = hex(std::span(wire).subspan(2, wire.size() - 3));
    return (wire[3] == kTypeAttitude ? "attitude,"
            : wire[3] == kTypeSensor ? "sensor,"
                                     : "other,") +
           body;
}

const std::string kChecksum = "log,Check-Sum Error!", kErrorCom = "log,Error! Com";

} // namespace

// Each case: the calls the receiver makes, and its counters (attitude, sensor and other frames,
// checksum errors, broken frames, and the bytes outside frames that started none).
TEST(Receiver, EnvelopeEdgeCasesAndWhatTheCountersSay) {
    const Bytes a = plain(kTypeAttitude, 1), s = plain(kTypeSensor, 2);
    const Bytes body(a.begin() + 2, a.end());
    Bytes with_headers =
        build_frame(kTypeAttitude, Bytes{0xA5, 0x5A, 0xAA, 0x12, 0xA5, 0x5A, 0x5A, 0xAA, 0xAA, 0x00,
                                         0xFF, 0xA5, 0x01, 0x02});
    Bytes long_payload(kLongFormPayload);
    for (std::size_t i = 0; i < long_payload.size(); ++i)
        long_payload[i] = std::uint8_t(i * 7);
    const Bytes long_form = build_frame(0x33, long_payload);
    Bytes long_short = long_form;
    long_short.erase(long_short.begin() + 100);
    Bytes bad_sum = a, bad_end = a, lost = a;
    bad_sum[bad_sum.size() - 2] ^= 1;
    bad_end.back() = 0x00;
    lost.erase(lost.begin() + 9);
    using Counts = std::array<std::uint64_t, 6>;
    const struct {
        const char* what;
        Bytes in;
        Events want;
        Counts counts;
    } cases[] = {
        {"command frame", {0xA5, 0x5A, 0x04, 0xE0, 0xE4, 0xAA}, {"L", "other,04e0e4"}, {0, 0, 1}},
        {"noise between frames",
         cat({a, Bytes(5, 0x11), s}),
         {"L", ok(a), "L", ok(s)},
         {1, 1, 0, 0, 0, 5}},
        {"A5s that start nothing",
         cat({a, {0xA5, 0xA5}, s}),
         {"L", ok(a), "L", ok(s)},
         {1, 1, 0, 0, 0, 2}},
        {"garbage only", Bytes(3000, 0x33), {}, {0, 0, 0, 0, 0, 3000}},
        {"bytes between A5 and 5A",
         cat({{0xA5, 0x11, 0x22, 0x5A}, body}),
         {"L", ok(a)},
         {1, 0, 0, 0, 0, 2}},
        {"lone 5A at start", cat({{0x5A}, body}), {"L", ok(a)}, {1}},
        {"lone 5A after a frame", cat({a, {0x5A}, body}), {"L", ok(a), "L", ok(a)}, {2}},
        {"lone 5A after a bad sum",
         cat({bad_sum, {0x5A}, body}),
         {"L", kChecksum, "L", ok(a)},
         {1, 0, 0, 1}},
        {"lone 5A after a bad end",
         cat({bad_end, {0x5A}, body}),
         {kErrorCom, "L", ok(a)},
         {1, 0, 0, 0, 1, 1}},
        {"A5 5A AA inside the payload", with_headers, {"L", "L", "L", "L", ok(with_headers)}, {1}},
        {"stray AA only flashes",
         cat({a, {0xAA, 0x00, 0xAA}, s}),
         {"L", ok(a), "L", "L", "L", ok(s)},
         {1, 1, 0, 0, 0, 3}},
        {"LEN 2, sum of nothing against 2", {0x5A, 0x02, 0xAA}, {"L", kChecksum}, {0, 0, 0, 1}},
        {"LEN 2, no end byte", {0x5A, 0x02, 0x02}, {kErrorCom}, {0, 0, 0, 0, 1, 1}},
        {"LEN 3, type is the sum", {0x5A, 0x03, 0x03, 0xAA}, {"L", "other,0303"}, {0, 0, 1}},
        {"LEN 0", cat({{0xA5, 0x5A, 0x00}, s}), {kErrorCom, "L", ok(s)}, {0, 1, 0, 0, 1}},
        {"LEN 1", cat({{0xA5, 0x5A, 0x01}, s}), {kErrorCom, "L", ok(s)}, {0, 1, 0, 0, 1}},
        {"bad sum not decoded", cat({bad_sum, s}), {"L", kChecksum, "L", ok(s)}, {0, 1, 0, 1}},
        {"bad end byte", cat({bad_end, s}), {kErrorCom, "L", ok(s)}, {0, 1, 0, 0, 1, 1}},
        {"a lost byte",
         cat({lost, s, a}),
         {"L", kErrorCom, "L", ok(s), "L", ok(a)},
         {1, 1, 0, 0, 1}},
        // The byte at a broken end starts the next frame (here a 5A whose A5 was lost too).
        {"5A at a broken end",
         cat({Bytes(a.begin(), a.end() - 1), Bytes(s.begin() + 1, s.end())}),
         {kErrorCom, "L", ok(s)},
         {0, 1, 0, 0, 1}},
    };
    for (const auto& c : cases) {
        Recorder r;
        Receiver rx(r);
        rx.feed(c.in);
        EXPECT_EQ(r.events, c.want) << c.what;
        const ReceiverCounters& n = rx.counters();
        EXPECT_EQ((Counts{n.attitude_frames, n.sensor_frames, n.other_frames, n.checksum_errors,
                          n.broken_frames, n.skipped_bytes}),
                  c.counts)
            << c.what;
        EXPECT_EQ(n.bytes, c.in.size()) << c.what;
        EXPECT_EQ(n.lost_frames(), c.counts[3] + c.counts[4]) << c.what;
        rx.Receiver_reset(); // the connect switch keeps the counters
        EXPECT_EQ(rx.counters().bytes, c.in.size()) << c.what;
    }

    // Long form: LEN 0xFF is N = 2006, summed as 255.
    ASSERT_EQ(long_form.size(), 2008u);
    EXPECT_EQ(long_form[2006], std::uint8_t(0xFF + 0x33 + byte_sum(long_payload)));
    EXPECT_EQ(run(long_form), Events{ok(long_form)});
    EXPECT_EQ(run(cat({long_short, a})), (Events{kErrorCom, ok(a)})); // end byte came early
    Bytes out = {1};
    EXPECT_THROW(append_frame(out, 1, Bytes(251)), std::length_error);
    EXPECT_EQ(out, Bytes{1});
}

// One byte lost, inserted or changed anywhere after the length byte costs that frame only.
TEST(Receiver, DamagedFrameCostsOnlyItself) {
    const Bytes a = plain(kTypeAttitude, 20), s = plain(kTypeSensor, 21),
                a2 = plain(kTypeAttitude, 22);
    for (std::size_t i = 0; i < a.size(); ++i) {
        SCOPED_TRACE("byte " + std::to_string(i));
        const auto expect = [&](const Bytes& damaged, const std::string& first) {
            Events want = {ok(s), ok(a2)};
            if (!first.empty()) want.insert(want.begin(), first);
            EXPECT_EQ(run(cat({damaged, s, a2})), want);
        };
        Bytes lost = a;
        lost.erase(lost.begin() + std::ptrdiff_t(i));
        if (i != 2) expect(lost, i == 0 ? ok(a) : i == 1 ? "" : kErrorCom); // 5A alone starts it
        if (i < 3) continue;
        for (std::uint8_t extra : {0x33, 0xA5, 0xAA}) {
            Bytes ins = a;
            ins.insert(ins.begin() + std::ptrdiff_t(i), extra);
            expect(ins, extra == 0xAA && i == a.size() - 1 ? ok(a) : kErrorCom);
        }
        Bytes changed = a;
        changed[i] ^= 0x01;
        expect(changed, i == a.size() - 1 ? kErrorCom : kChecksum);
    }
}

TEST(Receiver, BatchBoundariesChangeNothing) {
    std::mt19937 rng(1234);
    Bytes c;
    for (int k = 0; k < 6; ++k)
        c = cat({c, plain(kTypeAttitude, std::uint8_t(k)), plain(kTypeSensor, std::uint8_t(k))});
    Bytes lf(kLongFormPayload), lost = plain(kTypeSensor, 9);
    for (auto& b : lf)
        b = std::uint8_t(rng());
    lost.erase(lost.begin() + 8);
    c = cat({c,
             {0x00, 0xAA, 0xA5},
             build_frame(0xA1, Bytes{0xA5, 0x5A, 0xAA, 0xAA}),
             build_frame(0x42, lf),
             lost,
             plain(kTypeAttitude, 10),
             {0x5A, 0x02, 0xAA, 0xA5, 0x5A, 0x01, 0x5A, 0x00},
             Bytes(40, 0x0F),
             plain(kTypeSensor, 12),
             {0xA5, 0x5A, 0x12, 0xA1, 0x00}});

    Recorder whole_r;
    Receiver whole(whole_r);
    whole.feed(c);
    const auto state = [](const Receiver& rx) {
        const ReceiverCounters& n = rx.counters();
        return std::make_tuple(
            rx.rx_on, rx.rx_count, rx.rx_len, rx.rx_pos, rx.rx_a5_pos,
            Bytes(rx.rx_buf.begin(), rx.rx_buf.begin() + rx.rx_count), rx.rx_frame,
            std::vector<std::uint64_t>{n.bytes, n.attitude_frames, n.sensor_frames, n.other_frames,
                                       n.checksum_errors, n.broken_frames, n.skipped_bytes});
    };
    const auto check = [&](const std::vector<std::size_t>& cuts, const char* how) {
        Recorder r;
        Receiver rx(r);
        std::size_t from = 0;
        for (std::size_t to : cuts)
            rx.feed(std::span(c).subspan(from, to - from)), from = to;
        rx.feed(std::span(c).subspan(from));
        ASSERT_EQ(r.events, whole_r.events) << how;
        ASSERT_EQ(state(rx), state(whole)) << how;
    };
    for (std::size_t k = 0; k <= c.size(); ++k)
        check({k}, "split in two");
    for (int round = 0; round < 200; ++round) {
        std::vector<std::size_t> cuts;
        for (std::size_t at = rng() % 300; at < c.size(); at += rng() % 300)
            cuts.push_back(at);
        check(cuts, "random batches");
    }
    Recorder r;
    Receiver rx(r);
    for (std::uint8_t b : c)
        rx.byte(b);
    EXPECT_EQ(r.events, whole_r.events);
    EXPECT_EQ(state(rx), state(whole));
}

TEST(Receiver, NoiseOutsideFramesAndRecovery) {
    // Bytes other than 5A between frames never disturb the next frame.
    const Bytes a = plain(kTypeAttitude, 60), s = plain(kTypeSensor, 61);
    for (int v = 0; v < 256; ++v) {
        if (v == 0x5A) continue; // a 5A outside a frame starts one
        for (std::size_t k : {1u, 3u, 3000u})
            ASSERT_EQ(run(cat({a, Bytes(k, std::uint8_t(v)), s})), (Events{ok(a), ok(s)})) << v;
    }
    // After any garbage, every frame that starts more than one longest frame later is found.
    std::mt19937 rng(77);
    for (int round = 0; round < 100; ++round) {
        Bytes stream(1 + rng() % 3000);
        const std::uint8_t pick[] = {0xA5, 0x5A, 0xAA, 0xFF};
        for (auto& b : stream)
            b = rng() % 2 ? pick[rng() % 4] : std::uint8_t(rng());
        const std::size_t garbage_end = stream.size();
        Events want;
        for (int k = 0; k < 200; ++k) {
            const Bytes f = plain(k % 2 ? kTypeSensor : kTypeAttitude, std::uint8_t(k));
            if (stream.size() > garbage_end + kLongFormSize) want.push_back(ok(f));
            stream = cat({stream, f});
        }
        Events got = run(stream);
        std::erase_if(got, [](const std::string& e) { return e.starts_with("log,"); });
        ASSERT_GE(got.size(), want.size());
        EXPECT_EQ(Events(got.end() - std::ptrdiff_t(want.size()), got.end()), want) << round;
    }
}

TEST(Receiver, LongInputKeepsEveryBound) {
    std::mt19937_64 rng(11);
    Recorder r;
    r.lamps = false;
    Receiver rx(r);
    const std::size_t capacity = rx.rx_buf.capacity();
    Bytes chunk(1 << 16);
    for (int k = 0; k < 256; ++k) { // 16 MiB of garbage, a run of A5 now and then
        for (auto& b : chunk)
            b = std::uint8_t(rng());
        if (k % 4 == 0) std::fill(chunk.begin(), chunk.begin() + 5000, 0xA5);
        rx.feed(chunk);
        ASSERT_TRUE(rx.rx_count >= 0 && rx.rx_count <= Receiver::kMaxCollect);
        ASSERT_TRUE(!rx.rx_on || rx.rx_buf.size() == std::size_t(rx.rx_count));
        ASSERT_EQ(rx.rx_buf.capacity(), capacity);
        r.events.clear();
    }
    // rx_pos moves on every A5 outside a frame: billions of them neither overflow it nor
    // change which 5A starts a frame.
    const Bytes a = plain(kTypeAttitude, 2);
    for (std::int32_t start : {(1 << 30) - 3, std::int32_t(0x7FFFFFF0)}) {
        rx.Receiver_reset();
        rx.rx_pos = rx.rx_a5_pos = start;
        rx.feed(cat({Bytes(40, 0xA5), a}));
        EXPECT_LE(rx.rx_pos, (1 << 30) + 1);
        EXPECT_EQ(r.events, Events{ok(a)});
        r.events.clear();
    }
    rx.rx_a5_pos = 1 << 30; // just past an unmatched 5A: a lone 5A must not start a frame
    rx.rx_pos = (1 << 30) + 1;
    rx.feed(Bytes(a.begin() + 1, a.end()));
    EXPECT_TRUE(r.events.empty());
}

// The port's receive event, through the test double: each batch is handed as it came, then its
// frames, then its end; a frame split over two events is delivered with the second, and an
// overflow (event 1008) between them empties the port's buffers and says so but keeps the
// half-collected frame.
TEST(Receiver, ReceiveEventsCarryAFrameAcrossAnOverflow) {
    const Bytes a = plain(kTypeAttitude, 50);
    MockSerialPort port;
    Recorder r;
    r.lamps = false;
    Receiver rx(r);
    port.OnComm = [&] { rx.OnComm(port); };
    ASSERT_TRUE(port.setPortOpen(true));
    port.setRThreshold(1);
    const std::string first = "batch," + hex(std::span(a).first(9));
    const std::string rest = "batch," + hex(std::span(a).subspan(9));
    port.feed(std::span(a).first(9));
    port.inject_overflow();
    EXPECT_EQ(r.events, (Events{first, "end", "log,ComPort Buffer Overflow!"}));
    EXPECT_EQ(rx.counters().overflows, 1u);
    port.feed(std::span(a).subspan(9));
    EXPECT_EQ(r.events, (Events{first, "end", "log,ComPort Buffer Overflow!", rest, ok(a), "end"}));
    EXPECT_EQ(port.RThreshold(), 1); // the next event will come
}
