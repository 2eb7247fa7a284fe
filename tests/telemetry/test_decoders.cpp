// Decoders of the attitude and the raw sensor frame, through the receiver and on bare bodies.
#include "link/envelope.h"
#include "link/receiver.h"
#include "telemetry/decoders.h"
#include "telemetry/value_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

using namespace zento;
using Bytes = std::vector<std::uint8_t>;

namespace {

// rx_frame as the receiver makes it from a payload: LEN, TYPE, payload, checksum.
Bytes rx_frame_of(std::uint8_t type, const Bytes& payload) {
    struct Keep : ReceiverEvents {
        Bytes last;
        void Show_msg(std::string_view) override { ADD_FAILURE() << "receiver logged"; }
        void Rec_LedON() override {}
        void Rec_attitude(std::span<const std::uint8_t> f) override {
            last.assign(f.begin(), f.end());
        }
        void Rec_sensor(std::span<const std::uint8_t> f) override {
            last.assign(f.begin(), f.end());
        }
        void Rec_other(std::span<const std::uint8_t> f) override {
            last.assign(f.begin(), f.end());
        }
    } keep;
    Receiver rx(keep);
    rx.feed(build_frame(type, payload));
    return keep.last;
}

const Bytes kAttitudeExample = {0x81, 0x2C, 0x00, 0x5A, 0x00, 0x0F, 0x03,
                                0xE8, 0x00, 0xFA, 0x27, 0x94, 0x00, 0x0A};
const Bytes kSensorExample = {0x00, 0x10, 0x80, 0x10, 0x40, 0x00, 0x00, 0x00, 0x80,
                              0x05, 0x00, 0x05, 0x01, 0x2C, 0x81, 0x2C, 0x00, 0x00};

Bytes attitude_with(std::size_t field, std::uint8_t hi, std::uint8_t lo) {
    Bytes p = kAttitudeExample;
    p[2 * field] = hi;
    p[2 * field + 1] = lo;
    return rx_frame_of(kTypeAttitude, p);
}

} // namespace

TEST(Decoders, AttitudeWorkedExample) {
    const Bytes f = rx_frame_of(kTypeAttitude, kAttitudeExample);
    ASSERT_EQ(f.size(), 17u);
    const auto r = decode_attitude(f);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->yaw, -30.0f);
    EXPECT_EQ(r->pitch, 9.0f);
    EXPECT_EQ(r->roll, 1.5f);
    EXPECT_EQ(r->altitude, 100.0f);
    EXPECT_EQ(r->temperature, 25.0f);
    EXPECT_EQ(r->pressure_pa(), 101320.0f);
    EXPECT_EQ(r->rate, 10.0f);
    EXPECT_EQ(r->yaw_3d(), -30.0f);
    EXPECT_EQ(r->roll_3d(), -1.5f);
    EXPECT_EQ(r->pitch_3d(), 9.0f);
    const AttitudeTexts t = attitude_texts(*r);
    EXPECT_EQ(t.yaw, "-30");
    EXPECT_EQ(t.pitch, "9");
    EXPECT_EQ(t.roll, "1.5");
    EXPECT_EQ(t.altitude, "100");
    EXPECT_EQ(t.temperature, "25");
    EXPECT_EQ(t.pressure_pa, "101320");
    EXPECT_EQ(t.rate, "10");
}

TEST(Decoders, SensorWorkedExample) {
    const Bytes f = rx_frame_of(kTypeSensor, kSensorExample);
    ASSERT_EQ(f.size(), 21u);
    const auto r = decode_sensor(f);
    ASSERT_TRUE(r);
    const float want[9] = {16, -16, 16384, 0, -5, 5, 300, -300, 0};
    const char* text[9] = {"16", "-16", "16384", "0", "-5", "5", "300", "-300", "0"};
    const SensorTexts t = sensor_texts(*r);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(r->reading(i), want[i]) << i;
        EXPECT_EQ(t.reading[i], text[i]) << i;
    }
    EXPECT_EQ(r->acc[2], 16384.0f);
    EXPECT_EQ(r->gyro[1], -5.0f);
    EXPECT_EQ(r->mag[1], -300.0f);
}

TEST(Decoders, SignMagnitudeWords) {
    // 0x80 0x00 is zero in every field, shown "0", and never a negative zero.
    for (std::size_t field = 0; field < 7; ++field) {
        const auto r = decode_attitude(attitude_with(field, 0x80, 0x00));
        ASSERT_TRUE(r);
        const float v[7] = {r->yaw,         r->pitch,         r->roll, r->altitude,
                            r->temperature, r->pressure_word, r->rate};
        EXPECT_EQ(v[field], 0.0f);
        EXPECT_FALSE(std::signbit(v[field])) << field;
        EXPECT_EQ(value_text(v[field]), "0");
    }
    const auto lvl = decode_attitude(attitude_with(2, 0x80, 0x00));
    EXPECT_FALSE(std::signbit(lvl->roll_3d()));
    EXPECT_EQ(value_text(decode_attitude(attitude_with(0, 0xFF, 0xFF))->yaw), "-3276.7");
    EXPECT_EQ(value_text(decode_attitude(attitude_with(0, 0x7F, 0xFF))->yaw), "3276.7");
    EXPECT_EQ(value_text(decode_attitude(attitude_with(5, 0xFF, 0xFF))->pressure_pa()), "-327670");
    EXPECT_EQ(decode_attitude(attitude_with(6, 0x80, 0x0A))->rate, -10.0f); // no check on the sign
    EXPECT_EQ(sign_magnitude(0x80, 0x01), -1.0f);
    EXPECT_EQ(sign_magnitude(0xFF, 0xFF), -32767.0f);
    EXPECT_EQ(sign_magnitude(0x7F, 0xFF), 32767.0f);
    EXPECT_EQ(sign_magnitude(0xFF, 0xFE), -32766.0f); // not two's complement
    Bytes p = kSensorExample;
    p[0] = 0xFF, p[1] = 0xFE, p[2] = 0x7F, p[3] = 0xFF, p[6] = 0x80, p[7] = 0x00;
    const auto s = decode_sensor(rx_frame_of(kTypeSensor, p));
    EXPECT_EQ(s->acc[0], -32766.0f);
    EXPECT_EQ(s->acc[1], 32767.0f);
    EXPECT_EQ(sensor_texts(*s).reading[3], "0");
    // Every word: encode and decode agree.
    for (long v = -32767; v <= 32767; ++v) {
        const auto w = encode_sign_magnitude(v);
        ASSERT_EQ(sign_magnitude(w[0], w[1]), float(v));
    }
}

TEST(Decoders, ThreeDimensionalFields) {
    // Yaw cut toward zero for the 3D window; roll with the opposite sign.
    const auto neg = decode_attitude(attitude_with(0, 0x80, 127)); // -12.7
    EXPECT_EQ(value_text(neg->yaw), "-12.7");
    EXPECT_EQ(neg->yaw_3d(), -12.0f);
    const auto pos = decode_attitude(attitude_with(0, 0x00, 127));
    EXPECT_EQ(pos->yaw_3d(), 12.0f);
    const auto r = decode_attitude(attitude_with(2, 0x81, 0x00)); // roll -25.6
    EXPECT_EQ(r->roll_3d(), 25.6f);
    EXPECT_EQ(value_text(r->roll), "-25.6");
}

// A frame shorter than its layout is not decoded and nothing past it is read: each body is
// copied into a heap block of exactly its size (AddressSanitizer reports any read past it).
TEST(Decoders, ShortFramesAreNotDecodedNorReadPast) {
    for (std::uint8_t type : {kTypeAttitude, kTypeSensor}) {
        const std::size_t layout = type == kTypeAttitude ? 14 : 18;
        for (std::size_t payload = 0; payload <= layout + 3; ++payload) {
            const Bytes f = rx_frame_of(type, Bytes(payload, 0x01));
            ASSERT_EQ(f.size(), payload + 3);
            auto exact = std::make_unique<std::uint8_t[]>(f.size());
            std::memcpy(exact.get(), f.data(), f.size());
            const std::span<const std::uint8_t> body(exact.get(), f.size());
            const bool whole = payload >= layout;
            if (type == kTypeAttitude)
                EXPECT_EQ(decode_attitude(body).has_value(), whole) << payload;
            else
                EXPECT_EQ(decode_sensor(body).has_value(), whole) << payload;
        }
        // Nothing at all, or only LEN and TYPE.
        EXPECT_FALSE(decode_attitude({}).has_value());
        EXPECT_FALSE(decode_sensor(std::span<const std::uint8_t>()).has_value());
    }
    // Payload bytes beyond the layout are ignored.
    Bytes longer = kAttitudeExample;
    longer.insert(longer.end(), {0xFF, 0xFF, 0xFF});
    EXPECT_EQ(decode_attitude(rx_frame_of(kTypeAttitude, longer))->rate, 10.0f);
}
