// Value text: the plain decimal form of every shown number, and its fast path.
#include "telemetry/value_text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>

using namespace zento;

TEST(ValueText, Examples) {
    EXPECT_EQ(value_text(12.3f), "12.3");
    EXPECT_EQ(value_text(-0.5f), "-0.5");
    EXPECT_EQ(value_text(0.0f), "0");
    EXPECT_EQ(value_text(-0.0f), "0");
    EXPECT_EQ(value_text(101320.0f), "101320");
    EXPECT_EQ(value_text(-3276.7f), "-3276.7");
    EXPECT_EQ(value_text(3276.7f), "3276.7");
    EXPECT_EQ(value_text(1.5f), "1.5");
    EXPECT_EQ(value_text(-30.0f), "-30");
    EXPECT_EQ(value_text(0.1f), "0.1");
    EXPECT_EQ(value_text(100.0f), "100");
    EXPECT_EQ(value_text(327670.0f), "327670");
    EXPECT_EQ(value_text(-32767.0f), "-32767");
    EXPECT_EQ(value_text(1.0f / 3.0f), "0.3333333");
    EXPECT_EQ(value_text(2.0f / 3.0f), "0.6666667");
    EXPECT_EQ(value_text(-0.00001f), "-0.00001");
    EXPECT_EQ(value_text(1234567.0f), "1234567");
    EXPECT_EQ(value_text(12345678.0f), "12345680"); // 7 significant digits, no exponent
    EXPECT_EQ(value_text(1e10f), "10000000000");
    EXPECT_EQ(value_text(123456.7f), "123456.7");
    EXPECT_EQ(value_text(9999999.0f), "9999999");
    EXPECT_EQ(value_text(0.0099999998f), "0.01"); // the rounding carries
    EXPECT_EQ(value_text(0.16f), "0.16");
}

// The form itself, checked on its own terms for any value.
static void expect_plain_form(float v, const std::string& t) {
    SCOPED_TRACE(t);
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t.find_first_not_of("-0123456789."), std::string::npos);
    EXPECT_NE(t, "-0");
    const std::size_t dot = t.find('.');
    if (dot != std::string::npos) {
        EXPECT_NE(t.back(), '0');
        EXPECT_NE(t.back(), '.');
        EXPECT_GT(dot, std::size_t(t[0] == '-')); // a digit before the point
        EXPECT_EQ(t.find('.', dot + 1), std::string::npos);
    }
    int significant = 0;
    bool leading = true;
    for (char c : t) {
        if (c < '0' || c > '9') continue;
        if (c != '0') leading = false;
        if (!leading) ++significant;
    }
    if (dot == std::string::npos) { // trailing zeros of a whole number are not significant
        std::size_t z = t.size();
        while (z > 1 && t[z - 1] == '0')
            --z, --significant;
    }
    EXPECT_LE(significant, 7);
    // The text is the value rounded to 7 significant digits.
    const double back = std::strtod(t.c_str(), nullptr);
    EXPECT_LE(std::fabs(back - double(v)), std::fabs(double(v)) * 5.0000001e-7 + 1e-45);
}

TEST(ValueText, PlainFormForAnyValue) {
    std::mt19937 rng(8);
    for (int i = 0; i < 200000; ++i) {
        std::uint32_t bits = std::uint32_t(rng());
        float v;
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v)) continue;
        expect_plain_form(v, value_text(v));
    }
    for (float v : {FLT_MAX, -FLT_MAX, FLT_MIN, std::numeric_limits<float>::denorm_min(),
                    -std::numeric_limits<float>::denorm_min()}) {
        // An exactly-sized buffer: nothing is written past kValueTextMax.
        auto buf = std::make_unique<char[]>(kValueTextMax);
        const std::size_t n = value_text(v, buf.get());
        EXPECT_LE(n, kValueTextMax);
        expect_plain_form(v, std::string(buf.get(), n));
    }
}

// The reference agrees with the C library's 7-digit %g wherever that needs no exponent.
TEST(ValueText, ReferenceMatchesSevenDigitG) {
    std::mt19937 rng(21);
    std::uniform_real_distribution<float> mag(-4.0f, 7.0f);
    for (int i = 0; i < 200000; ++i) {
        float v = std::pow(10.0f, mag(rng));
        if (rng() & 1) v = -v;
        char g[64];
        std::snprintf(g, sizeof g, "%.7g", double(v));
        if (std::strchr(g, 'e')) continue;
        ASSERT_EQ(value_text_reference(v), g) << v;
    }
}

TEST(ValueText, FastPathEqualsReferenceOnEverythingTheFramesCarry) {
    for (int w = -32767; w <= 32767; ++w) {
        const float v = float(w);
        ASSERT_EQ(value_text(v), value_text_reference(v)) << w;
        ASSERT_EQ(value_text(v / 10.0f), value_text_reference(v / 10.0f)) << w << "/10";
        ASSERT_EQ(value_text(v * 10.0f), value_text_reference(v * 10.0f)) << w << "*10";
    }
    std::mt19937 rng(4);
    std::uniform_real_distribution<float> any(-327670.0f, 327670.0f);
    std::uniform_real_distribution<float> small(-2.0f, 2.0f);
    for (int i = 0; i < 2000000; ++i) {
        const float v = i % 4 == 0 ? small(rng) : any(rng);
        ASSERT_EQ(value_text(v), value_text_reference(v)) << v;
    }
}
