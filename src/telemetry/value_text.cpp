#include "telemetry/value_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zento {
namespace {

std::size_t write_uint(unsigned long long n, char* out) {
    char tmp[24];
    std::size_t k = 0;
    do {
        tmp[k++] = char('0' + n % 10);
        n /= 10;
    } while (n != 0);
    for (std::size_t i = 0; i < k; ++i)
        out[i] = tmp[k - 1 - i];
    return k;
}

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
        const double t = double(v) * 10.0;
        const double k = std::nearbyint(t);
        if (float(k / 10.0) == v && k != 0.0) {
            const long long ki = static_cast<long long>(k);
            const unsigned long long m = static_cast<unsigned long long>(ki < 0 ? -ki : ki);
            std::size_t n = 0;
            if (ki < 0) buf[n++] = '-';
            n += write_uint(m / 10, buf + n);
            if (m % 10 != 0) {
                buf[n++] = '.';
                buf[n++] = char('0' + m % 10);
            }
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
