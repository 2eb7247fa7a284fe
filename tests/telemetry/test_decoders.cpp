// Decoders of the attitude and raw sensor frames, and the value text they are shown with.
#include "link/envelope.h"
#include "telemetry/decoders.h"
#include "telemetry/value_text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

using namespace zento;
using Bytes = std::vector<std::uint8_t>;

namespace {

// rx_frame as the receiver makes it: LEN, TYPE, payload, checksum.
Bytes body(std::uint8_t type, const Bytes& payload) {
    const Bytes f = build_frame(type, payload);
    return Bytes(f.begin() + 2, f.end() - 1);
}

const Bytes kAttitudeExample = {0x81, 0x2C, 0x00, 0x5A, 0x00, 0x0F, 0x03,
                                0xE8, 0x00, 0xFA, 0x27, 0x94, 0x00, 0x0A};

AttitudeRecord attitude_with(std::size_t field, std::uint8_t hi, std::uint8_t lo) {
    Bytes p = kAttitudeExample;
    p[2 * field] = hi, p[2 * field + 1] = lo;
    return decode_attitude(body(kTypeAttitude, p)).value();
}

} // namespace

TEST(Decoders, WorkedExamples) {
    const auto a = decode_attitude(body(kTypeAttitude, kAttitudeExample));
    ASSERT_TRUE(a);
    const AttitudeTexts t = attitude_texts(*a);
    EXPECT_EQ((std::vector<std::string>{t.yaw, t.pitch, t.roll, t.altitude, t.temperature,
                                        t.pressure_pa, t.rate}),
              (std::vector<std::string>{"-30", "9", "1.5", "100", "25", "101320", "10"}));
    EXPECT_EQ(a->yaw_3d(), -30.0f); // what the 3D window gets
    EXPECT_EQ(a->roll_3d(), -1.5f);

    const auto s = decode_sensor(
        body(kTypeSensor, Bytes{0x00, 0x10, 0x80, 0x10, 0x40, 0x00, 0x00, 0x00, 0x80, 0x05, 0x00,
                                0x05, 0x01, 0x2C, 0x81, 0x2C, 0x00, 0x00}));
    ASSERT_TRUE(s);
    const SensorTexts st = sensor_texts(*s);
    EXPECT_EQ(std::vector<std::string>(st.reading, st.reading + 9),
              (std::vector<std::string>{"16", "-16", "16384", "0", "-5", "5", "300", "-300", "0"}));
    EXPECT_EQ(s->gyro[1], -5.0f); // the record's own fields, not only the texts' order
}

TEST(Decoders, SignMagnitudeWordsAndDerivedFields) {
    for (std::size_t field = 0; field < 7; ++field) { // 80 00 is zero, never a negative zero
        const AttitudeRecord r = attitude_with(field, 0x80, 0x00);
        const float v[7] = {r.yaw,         r.pitch,         r.roll, r.altitude,
                            r.temperature, r.pressure_word, r.rate};
        EXPECT_EQ(value_text(v[field]), "0");
        EXPECT_FALSE(std::signbit(v[field])) << field;
    }
    EXPECT_FALSE(std::signbit(attitude_with(2, 0x80, 0x00).roll_3d()));
    EXPECT_EQ(value_text(attitude_with(0, 0xFF, 0xFF).yaw), "-3276.7");
    EXPECT_EQ(value_text(attitude_with(0, 0x7F, 0xFF).yaw), "3276.7");
    EXPECT_EQ(value_text(attitude_with(5, 0xFF, 0xFF).pressure_pa()), "-327670");
    EXPECT_EQ(attitude_with(6, 0x80, 0x0A).rate, -10.0f);
    const AttitudeRecord neg = attitude_with(0, 0x80, 127); // yaw -12.7
    EXPECT_EQ(value_text(neg.yaw), "-12.7");
    EXPECT_EQ(neg.yaw_3d(), -12.0f); // cut toward zero
    EXPECT_EQ(attitude_with(0, 0x00, 127).yaw_3d(), 12.0f);
    EXPECT_EQ(sign_magnitude(0xFF, 0xFE), -32766.0f); // not two's complement
    EXPECT_EQ(sign_magnitude(0x80, 0x01), -1.0f);
    for (long v = -32767; v <= 32767; ++v) {
        const auto w = encode_sign_magnitude(v);
        ASSERT_EQ(sign_magnitude(w[0], w[1]), float(v));
    }
}

// A frame shorter than its layout is not decoded and nothing past it is read: each body sits
// in a heap block of exactly its size (AddressSanitizer reports any read past it).
TEST(Decoders, ShortFramesAreNotDecodedNorReadPast) {
    for (std::uint8_t type : {kTypeAttitude, kTypeSensor}) {
        const std::size_t layout = type == kTypeAttitude ? 14 : 18;
        for (std::size_t payload = 0; payload <= layout + 2; ++payload) {
            const Bytes f = body(type, Bytes(payload, 0x01));
            auto exact = std::make_unique<std::uint8_t[]>(f.size());
            std::memcpy(exact.get(), f.data(), f.size());
            const std::span<const std::uint8_t> b(exact.get(), f.size());
            const bool decoded = type == kTypeAttitude ? decode_attitude(b).has_value()
                                                       : decode_sensor(b).has_value();
            EXPECT_EQ(decoded, payload >= layout) << int(type) << " payload " << payload;
        }
    }
    EXPECT_FALSE(decode_attitude({}).has_value());
}

// Where %.7g would need an exponent (the agreement below covers the rest) and -0.
TEST(ValueText, Examples) {
    const std::pair<float, const char*> cases[] = {{-0.0f, "0"},
                                                   {12.3f, "12.3"},
                                                   {1.0f / 3, "0.3333333"},
                                                   {-0.00001f, "-0.00001"},
                                                   {12345678.0f, "12345680"},
                                                   {1e10f, "10000000000"},
                                                   {0.0099999998f, "0.01"}};
    for (const auto& [v, text] : cases)
        EXPECT_EQ(value_text(v), text);
}

// Independent of the implementation: where the C library's 7-digit %g needs no exponent the
// text is the same; elsewhere it has no exponent, no trailing zeros after a point and fits the
// buffer (checked in an exactly-sized heap block).
TEST(ValueText, AgreesWithSevenDigitGAndStaysPlain) {
    std::mt19937 rng(8);
    for (int i = 0; i < 300000; ++i) {
        float v;
        const std::uint32_t bits = std::uint32_t(rng());
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v)) continue;
        char g[64];
        std::snprintf(g, sizeof g, "%.7g", double(v));
        const std::string t = value_text(v);
        if (!std::strchr(g, 'e')) {
            ASSERT_EQ(t, std::string(g) == "-0" ? "0" : g) << v;
        } else {
            ASSERT_EQ(t.find_first_not_of("-0123456789."), std::string::npos) << t;
            ASSERT_TRUE(t.find('.') == std::string::npos || (t.back() != '0' && t.back() != '.'))
                << t;
        }
    }
    for (float v : {FLT_MAX, -FLT_MAX, std::numeric_limits<float>::denorm_min()}) {
        auto buf = std::make_unique<char[]>(kValueTextMax);
        EXPECT_LE(value_text(v, buf.get()), kValueTextMax);
    }
}

TEST(ValueText, FastPathEqualsReferenceOnEverythingTheFramesCarry) {
    for (int w = -32767; w <= 32767; ++w) {
        for (float v : {float(w), float(w) / 10.0f, float(w) * 10.0f})
            ASSERT_EQ(value_text(v), value_text_reference(v)) << v;
    }
    std::mt19937 rng(4);
    std::uniform_real_distribution<float> any(-327670.0f, 327670.0f), small(-2.0f, 2.0f);
    for (int i = 0; i < 2000000; ++i) {
        const float v = i % 4 == 0 ? small(rng) : any(rng);
        ASSERT_EQ(value_text(v), value_text_reference(v)) << v;
    }
}
