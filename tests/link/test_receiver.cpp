// Frame receiver: the envelope's edge cases, broken frames and the batch procedure.
#include "link/envelope.h"
#include "link/receiver.h"
#include "platform/serial/serial_port.h"
#include "recorder.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace zento;
using namespace zento::test;
using Events = std::vector<std::string>;

namespace {
const std::string kChecksum = "log,Check-Sum Error!";
const std::string kErrorCom = "log,Error! Com";
} // namespace

TEST(Receiver, CommandFrameIsDeliveredWithoutDecoder) {
    Recorder r;
    Receiver rx(r);
    const auto f = command_frame(kTypeGyroBias);
    rx.feed(f);
    EXPECT_EQ(rx.rx_frame, (Bytes{0x04, 0xE0, 0xE4}));
    EXPECT_EQ(r.events, (Events{"lamp", "other,04e0e4"}));
    EXPECT_FALSE(rx.rx_on);
}

TEST(Receiver, TelemetryFramesGoToTheirDecodersWithTheWholeBody) {
    const Bytes a = plain_attitude(1), s = plain_sensor(2);
    Recorder r;
    Receiver rx(r);
    rx.feed(cat({a, s}));
    EXPECT_EQ(r.frames_and_logs(), (Events{"attitude," + body_hex(a), "sensor," + body_hex(s)}));
    EXPECT_EQ(rx.rx_frame.size(), 21u); // N - 1 with N = 22
    EXPECT_EQ(rx.rx_frame.front(), 22);
    EXPECT_EQ(rx.rx_frame.back(), s[s.size() - 2]); // the checksum
}

TEST(Receiver, HeaderDetection) {
    const Bytes a = plain_attitude(7);
    const Bytes body(a.begin() + 2, a.end()); // LEN .. AA, no header bytes
    // Bytes between A5 and 5A do not matter.
    EXPECT_EQ(run(cat({{0xA5, 0x11, 0x22, 0x5A}, body}), false),
              (Events{"attitude," + body_hex(a)}));
    // A lone 5A starts a frame right after start-up, after a delivered frame, after a
    // checksum error and after "Error! Com".
    Bytes bad_sum = a;
    bad_sum[bad_sum.size() - 2] ^= 1;
    Bytes bad_end = a;
    bad_end.back() = 0x00;
    const std::string ok = "attitude," + body_hex(a);
    EXPECT_EQ(run(cat({{0x5A}, body}), false), (Events{ok}));
    EXPECT_EQ(run(cat({a, {0x5A}, body}), false), (Events{ok, ok}));
    EXPECT_EQ(run(cat({bad_sum, {0x5A}, body}), false), (Events{kChecksum, ok}));
    EXPECT_EQ(run(cat({bad_end, {0x5A}, body}), false), (Events{kErrorCom, ok}));
}

TEST(Receiver, PayloadBytesAreDataWhateverTheirValue) {
    // A5 5A inside the payload does not restart the frame; AA before the end is data.
    const Bytes p = {0xA5, 0x5A, 0xAA, 0x12, 0xA5, 0x5A, 0x5A,
                     0xAA, 0xAA, 0x00, 0xFF, 0xA5, 0x01, 0xAA};
    const Bytes a = frame(kTypeAttitude, p);
    Recorder r;
    Receiver rx(r);
    rx.feed(a);
    EXPECT_EQ(r.frames_and_logs(), (Events{"attitude," + body_hex(a)}));
    EXPECT_EQ(r.lamps, 5); // four in the payload, one at the end
}

TEST(Receiver, StrayEndByteOnlyFlashesTheLamp) {
    const Bytes a = plain_attitude(3), s = plain_sensor(4);
    Recorder r;
    Receiver rx(r);
    rx.feed(cat({a, {0xAA, 0xAA, 0x00, 0xAA}, s}));
    EXPECT_EQ(r.frames_and_logs(), (Events{"attitude," + body_hex(a), "sensor," + body_hex(s)}));
    EXPECT_EQ(r.lamps, 5);
}

TEST(Receiver, LongForm) {
    Bytes p(kLongFormPayload);
    for (std::size_t i = 0; i < p.size(); ++i)
        p[i] = std::uint8_t(i * 7);
    const Bytes f = frame(0x33, p);
    ASSERT_EQ(f.size(), 2008u);
    EXPECT_EQ(f[2], 0xFF);
    // The 0xFF counts as 255 in the sum.
    EXPECT_EQ(f[2006], std::uint8_t(0xFF + 0x33 + byte_sum(p)));
    Recorder r;
    Receiver rx(r);
    rx.feed(f);
    EXPECT_EQ(r.frames_and_logs(), (Events{"other," + body_hex(f)}));
    EXPECT_EQ(rx.rx_frame.size(), 2005u);
    EXPECT_LE(rx.rx_buf.capacity(), std::size_t(Receiver::kMaxCollect));

    // One payload byte short: the end byte arrives early, is data, and the byte at the
    // announced end (here the next frame's A5) breaks the frame; that next frame is delivered.
    Bytes short_f = f;
    short_f.erase(short_f.begin() + 100);
    const Bytes a = plain_attitude(5);
    EXPECT_EQ(run(cat({short_f, a}), false), (Events{kErrorCom, "attitude," + body_hex(a)}));
}

TEST(Receiver, LengthBytesThatCannotDescribeAFrame) {
    const Bytes a = plain_attitude(9);
    // LEN 2: no checksum byte; the sum of nothing (0) against the stored 2.
    EXPECT_EQ(run({0x5A, 0x02, 0xAA}), (Events{"lamp", kChecksum}));
    EXPECT_EQ(run({0x5A, 0x02, 0x02}), (Events{kErrorCom}));
    // LEN 3: the type byte is the checksum of the length byte alone.
    EXPECT_EQ(run({0x5A, 0x03, 0x03, 0xAA}), (Events{"lamp", "other,0303"}));
    // LEN 0 and 1: "Error! Com" at once, and the next frame is found.
    EXPECT_EQ(run(cat({{0xA5, 0x5A, 0x00}, a}), false),
              (Events{kErrorCom, "attitude," + body_hex(a)}));
    EXPECT_EQ(run(cat({{0xA5, 0x5A, 0x01}, a}), false),
              (Events{kErrorCom, "attitude," + body_hex(a)}));
}

TEST(Receiver, WrongChecksumIsReportedAndNotDecoded) {
    const Bytes a = plain_attitude(11), s = plain_sensor(12);
    Bytes bad = s;
    bad[bad.size() - 2] ^= 0x40;
    EXPECT_EQ(run(cat({bad, a}), false), (Events{kChecksum, "attitude," + body_hex(a)}));
    Bytes bad_payload = a;
    bad_payload[6] ^= 0x01;
    EXPECT_EQ(run(cat({bad_payload, s}), false), (Events{kChecksum, "sensor," + body_hex(s)}));
}

// One byte lost, inserted or changed anywhere after the length byte costs that frame only.
TEST(Receiver, DamagedFrameCostsOnlyItself) {
    const Bytes a = plain_attitude(20), s = plain_sensor(21), a2 = plain_attitude(22);
    const Events tail = {"sensor," + body_hex(s), "attitude," + body_hex(a2)};
    for (std::size_t i = 0; i < a.size(); ++i) {
        SCOPED_TRACE("byte " + std::to_string(i));
        if (i != 2) { // a lost length byte makes the type byte the length: see below
            Bytes lost = a;
            lost.erase(lost.begin() + std::ptrdiff_t(i));
            Events got = run(cat({lost, s, a2}), false);
            if (i == 0) { // without its A5 the frame is still found
                EXPECT_EQ(got, cat_events({"attitude," + body_hex(a)}, tail));
            } else if (i == 1) { // without its 5A it is not
                EXPECT_EQ(got, tail);
            } else {
                EXPECT_EQ(got, cat_events({kErrorCom}, tail));
            }
        }
        if (i >= 3) {
            for (std::uint8_t extra : {0x33, 0xA5, 0xAA}) {
                Bytes ins = a;
                ins.insert(ins.begin() + std::ptrdiff_t(i), extra);
                // An extra AA right before the end byte leaves the frame whole.
                const bool whole = extra == kEnd && i == a.size() - 1;
                EXPECT_EQ(run(cat({ins, s, a2}), false),
                          cat_events({whole ? "attitude," + body_hex(a) : kErrorCom}, tail));
            }
            Bytes changed = a;
            changed[i] ^= 0x01;
            Events got = run(cat({changed, s, a2}), false);
            EXPECT_EQ(got, cat_events({i == a.size() - 1 ? kErrorCom : kChecksum}, tail));
        }
    }
    // The type byte 0xA1 taken as the length: the frame ends at stream index 2 + 160, where
    // one of the two errors is logged; every frame that starts after it is found again (and
    // one that starts right there too, its A5 being examined as a header).
    Bytes lost_len = a;
    lost_len.erase(lost_len.begin() + 2);
    Bytes stream = lost_len;
    Events want;
    for (int k = 0; k < 12; ++k) {
        const Bytes f = plain_sensor(std::uint8_t(k));
        if (stream.size() >= 2 + 160) want.push_back("sensor," + body_hex(f));
        stream = cat({stream, f});
    }
    const Events got = run(stream, false);
    ASSERT_FALSE(got.empty());
    EXPECT_TRUE(got.front() == kErrorCom || got.front() == kChecksum) << got.front();
    EXPECT_EQ(Events(got.begin() + 1, got.end()), want);
}

TEST(Receiver, ByteAtABrokenEndIsExaminedAsAHeader) {
    const Bytes a = plain_attitude(30), s = plain_sensor(31);
    Bytes no_end = a;
    no_end.pop_back();
    // The next frame's 0x5A sits at the announced end (its A5 lost as well).
    const Bytes s_body(s.begin() + 1, s.end());
    EXPECT_EQ(run(cat({no_end, s_body}), false), (Events{kErrorCom, "sensor," + body_hex(s)}));
    // The A5 at the announced end arms detection for the 5A after it.
    EXPECT_EQ(run(cat({no_end, s}), false), (Events{kErrorCom, "sensor," + body_hex(s)}));
}

TEST(Receiver, ResetDropsAHalfCollectedFrame) {
    const Bytes a = plain_attitude(40), s = plain_sensor(41);
    Recorder r;
    Receiver rx(r);
    rx.feed(std::span<const std::uint8_t>(a).first(10));
    EXPECT_TRUE(rx.rx_on);
    rx.Receiver_reset();
    EXPECT_FALSE(rx.rx_on);
    EXPECT_EQ(rx.rx_count, 0);
    EXPECT_EQ(rx.rx_len, 0);
    rx.feed(std::span<const std::uint8_t>(a).subspan(10));
    rx.feed(s);
    EXPECT_EQ(r.frames_and_logs(), (Events{"sensor," + body_hex(s)}));
    EXPECT_EQ(rx.rx_frame, Bytes(s.begin() + 2, s.end() - 1));
}

TEST(Envelope, FrameSizesAndCommandFrames) {
    EXPECT_EQ(command_frame(kTypeGyroBias),
              (std::array<std::uint8_t, 6>{0xA5, 0x5A, 0x04, 0xE0, 0xE4, 0xAA}));
    EXPECT_EQ(command_frame(kTypeHeightZero),
              (std::array<std::uint8_t, 6>{0xA5, 0x5A, 0x04, 0xE2, 0xE6, 0xAA}));
    EXPECT_EQ(build_frame(1, Bytes(250)).size(), 256u);
    Bytes out = {1, 2};
    EXPECT_THROW(append_frame(out, 1, Bytes(251)), std::length_error);
    EXPECT_THROW(append_frame(out, 1, Bytes(2001)), std::length_error);
    EXPECT_EQ(out, (Bytes{1, 2}));
    EXPECT_EQ(encode_sign_magnitude(-1), (std::array<std::uint8_t, 2>{0x80, 0x01}));
    EXPECT_EQ(encode_sign_magnitude(-40000), (std::array<std::uint8_t, 2>{0xFF, 0xFF}));
    EXPECT_EQ(encode_sign_magnitude(0), (std::array<std::uint8_t, 2>{0x00, 0x00}));
}

// ---- the batch procedure, through a small fake port ----

namespace {
struct FakePort : SerialPort {
    std::vector<std::string> calls;
    std::vector<Bytes> batches;
    int event = kCommEventReceive;
    std::int16_t threshold = 1;

    void setInputLen(std::int16_t) override {}
    void setInputMode(std::int32_t) override {}
    void setInBufferCount(std::int16_t n) override { calls.push_back("in=" + std::to_string(n)); }
    void setOutBufferCount(std::int16_t n) override { calls.push_back("out=" + std::to_string(n)); }
    void setRThreshold(std::int16_t t) override {
        threshold = t;
        calls.push_back("rth=" + std::to_string(t));
    }
    std::int16_t RThreshold() const override { return threshold; }
    void setCommPort(std::int16_t) override {}
    std::int16_t CommPort() const override { return 1; }
    bool setSettings(const std::string&) override { return true; }
    std::string Settings() const override { return "115200,n,8,1"; }
    bool PortOpen() const override { return true; }
    bool setPortOpen(bool) override { return true; }
    std::string lastError() const override { return {}; }
    bool Output(std::span<const std::uint8_t>) override { return true; }
    std::vector<std::uint8_t> Input() override {
        calls.emplace_back("input");
        Bytes b;
        if (!batches.empty()) {
            b = batches.front();
            batches.erase(batches.begin());
        }
        return b;
    }
    int CommEvent() const override { return event; }
};

// Records the receive threshold seen by the decoders.
struct ThresholdRecorder : Recorder {
    FakePort* port = nullptr;
    std::vector<int> seen;
    void Rec_attitude(std::span<const std::uint8_t> f) override {
        seen.push_back(port->threshold);
        Recorder::Rec_attitude(f);
    }
};
} // namespace

TEST(ReceiverBatch, ReceiveEventRunsTheBatchWithTheThresholdAtZero) {
    const Bytes a = plain_attitude(50);
    FakePort port;
    ThresholdRecorder r;
    r.port = &port;
    Receiver rx(r);
    port.batches = {Bytes(a.begin(), a.begin() + 7), Bytes(a.begin() + 7, a.end())};
    rx.OnComm(port);
    EXPECT_TRUE(r.events.empty());
    rx.OnComm(port);
    EXPECT_EQ(r.frames_and_logs(), (Events{"attitude," + body_hex(a)}));
    EXPECT_EQ(r.seen, (std::vector<int>{0}));
    EXPECT_EQ(port.calls, (Events{"rth=0", "input", "rth=1", "rth=0", "input", "rth=1"}));
}

TEST(ReceiverBatch, OverflowEmptiesBothBuffersAndKeepsTheHalfFrame) {
    const Bytes a = plain_attitude(51);
    FakePort port;
    Recorder r;
    Receiver rx(r);
    port.batches = {Bytes(a.begin(), a.begin() + 9)};
    rx.OnComm(port);
    port.calls.clear();
    port.event = kCommEventRxOver;
    rx.OnComm(port);
    EXPECT_EQ(port.calls, (Events{"rth=0", "in=0", "out=0", "rth=1"}));
    EXPECT_EQ(r.frames_and_logs(), (Events{"log,ComPort Buffer Overflow!"}));
    EXPECT_TRUE(rx.rx_on);
    EXPECT_EQ(rx.rx_count, 7);
    // The rest of the frame completes it.
    port.event = kCommEventReceive;
    port.batches = {Bytes(a.begin() + 9, a.end())};
    rx.OnComm(port);
    EXPECT_EQ(r.frames_and_logs(),
              (Events{"log,ComPort Buffer Overflow!", "attitude," + body_hex(a)}));
}

TEST(ReceiverBatch, OtherEventsDoNothing) {
    FakePort port;
    Recorder r;
    Receiver rx(r);
    port.batches = {plain_attitude(52)};
    for (int ev : {0, 1, 3, 1001, 1009}) {
        port.event = ev;
        rx.OnComm(port);
    }
    EXPECT_TRUE(r.events.empty());
    EXPECT_EQ(port.batches.size(), 1u); // Input was never read
    EXPECT_EQ(port.threshold, 1);
}
