#include "telemetry/value_text.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zento {
namespace {

// "000" to "999", first character in the lowest byte.
struct DigitGroups {
    std::uint32_t digits[1000];
    constexpr DigitGroups() : digits() {
        for (std::uint32_t i = 0; i < 1000; ++i)
            digits[i] = ('0' + i / 100) | ('0' + i / 10 % 10) << 8 | ('0' + i % 10) << 16;
    }
};
constexpr DigitGroups kGroups;

// Rounds to 7 significant digits, then writes the digits in plain positional form.
std::size_t reference(float v, char* buf) {
    if (v == 0.0f || std::isnan(v)) { // NaN cannot come from a sign-magnitude word
        buf[0] = '0';
        return 1;
    }
    if (std::isinf(v)) {
        const char* s = v < 0 ? "-inf" : "inf";
        std::memcpy(buf, s, std::strlen(s));
        return std::strlen(s);
    }
    char sci[32];
    // d.dddddde[+-]XX : 7 significant digits, correctly rounded from the float's exact value.
    std::snprintf(sci, sizeof sci, "%.6e", double(std::fabs(v)));
    char digits[8];
    int nd = 0;
    const char* p = sci;
    for (; *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') digits[nd++] = *p;
    const int exp10 = std::atoi(p + 1);
    while (nd > 1 && digits[nd - 1] == '0')
        --nd; // drop trailing zeros
    std::size_t n = 0;
    if (v < 0) buf[n++] = '-';
    if (exp10 < 0) {
        buf[n++] = '0';
        buf[n++] = '.';
        for (int i = 0; i < -exp10 - 1; ++i)
            buf[n++] = '0';
        for (int i = 0; i < nd; ++i)
            buf[n++] = digits[i];
    } else {
        for (int i = 0; i <= exp10; ++i)
            buf[n++] = i < nd ? digits[i] : '0';
        if (nd > exp10 + 1) {
            buf[n++] = '.';
            for (int i = exp10 + 1; i < nd; ++i)
                buf[n++] = digits[i];
        }
    }
    return n;
}

} // namespace

std::size_t value_text(float v, char* buf) {
    // Fast path for what the frames carry: whole numbers and tenths below 10^6 in magnitude.
    // A float made from k/10 is within one part in 10^7 of k/10, so its 7-digit text is k/10's.
    const float a = std::fabs(v);
    if (a < 1e6f) {
        // The nearest count of tenths, rounded inline (a float exactly halfway between two
        // tenths is not a tenth itself, so the check below sends it to the general path).
        const std::uint32_t m = std::uint32_t(double(a) * 10.0 + 0.5);
        // m * 0.1 gives the same float as m / 10: the double product is within two units of
        // its last place of m / 10, and m / 10 is never that close to a float rounding boundary
        // without being a float itself.
        if (m != 0 && float(double(m) * 0.1) == a) {
            // Written without data-dependent branches: the six digits of two three-digit groups
            // in one register (first character in the lowest byte), the leading zeros shifted
            // out, point and tenth appended, then stored at once; the sign is written always
            // and kept when it applies.
            const std::uint32_t whole = m / 10, tenth = m % 10;
            const int nd = 1 + (whole >= 10) + (whole >= 100) + (whole >= 1000) + (whole >= 10000) +
                           (whole >= 100000);
            std::uint64_t text = std::uint64_t(kGroups.digits[whole / 1000]) |
                                 std::uint64_t(kGroups.digits[whole % 1000]) << 24;
            text >>= 8 * (6 - nd);
            text |= (std::uint64_t('.') | std::uint64_t('0' + tenth) << 8) << (8 * nd);
            buf[0] = '-';
            std::size_t n = v < 0;
            for (int i = 0; i < 8; ++i)
                buf[n + std::size_t(i)] = char(text >> (8 * i));
            n += std::size_t(nd) + (tenth != 0 ? 2 : 0);
            return n;
        }
    }
    return reference(v, buf);
}

std::string value_text(float v) {
    char buf[kValueTextMax];
    return std::string(buf, value_text(v, buf));
}

std::string value_text_reference(float v) {
    char buf[kValueTextMax];
    return std::string(buf, reference(v, buf));
}

} // namespace zento
