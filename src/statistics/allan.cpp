#include "statistics/allan.h"

#include <algorithm>
#include <cmath>

namespace zento {

std::vector<std::size_t> allan_factors(std::size_t samples, std::size_t also) {
    std::vector<std::size_t> m{1};
    for (std::size_t f = 2; f <= samples / 10; f *= 2)
        m.push_back(f);
    if (also > 1 && also <= samples / 10 && std::find(m.begin(), m.end(), also) == m.end())
        m.insert(std::upper_bound(m.begin(), m.end(), also), also);
    return m;
}

std::uint64_t allan_terms(std::span<const Stretch> stretches, std::size_t m) {
    std::uint64_t n = 0;
    for (const Stretch& s : stretches)
        if (s.size() >= 2 * m) n += s.size() - 2 * m + 1;
    return n;
}

std::vector<double> allan_deviation(std::span<const float> x, std::span<const Stretch> stretches,
                                    std::span<const std::size_t> factors, std::stop_token stop,
                                    const std::function<void(std::uint64_t)>& done) {
    std::vector<double> sums(factors.size(), 0.0);
    std::vector<double> cum;
    // Stretch by stretch: its cumulative sums once, then every factor over them.
    for (const Stretch& s : stretches) {
        if (s.size() < 2) continue;
        cum.resize(s.size() + 1);
        const double ref = std::round(double(x[s.begin]));
        cum[0] = 0;
        for (std::size_t k = 0; k < s.size(); ++k)
            cum[k + 1] = cum[k] + (double(x[s.begin + k]) - ref);
        const double* S = cum.data();
        for (std::size_t f = 0; f < factors.size(); ++f) {
            const std::size_t m = factors[f];
            if (s.size() < 2 * m) break; // factors ascend
            if (stop.stop_requested()) return {};
            const std::size_t terms = s.size() - 2 * m + 1;
            // Four partial sums: independent additions the processor can overlap.
            double a0 = 0, a1 = 0, a2 = 0, a3 = 0;
            std::size_t k = 0;
            for (; k + 4 <= terms; k += 4) {
                const double d0 = S[k + 2 * m] - 2 * S[k + m] + S[k];
                const double d1 = S[k + 1 + 2 * m] - 2 * S[k + 1 + m] + S[k + 1];
                const double d2 = S[k + 2 + 2 * m] - 2 * S[k + 2 + m] + S[k + 2];
                const double d3 = S[k + 3 + 2 * m] - 2 * S[k + 3 + m] + S[k + 3];
                a0 += d0 * d0;
                a1 += d1 * d1;
                a2 += d2 * d2;
                a3 += d3 * d3;
            }
            for (; k < terms; ++k) {
                const double d = S[k + 2 * m] - 2 * S[k + m] + S[k];
                a0 += d * d;
            }
            sums[f] += (a0 + a1) + (a2 + a3);
            if (done) done(terms);
        }
    }
    std::vector<double> dev(factors.size(), 0.0);
    for (std::size_t f = 0; f < factors.size(); ++f) {
        const double m = double(factors[f]);
        const std::uint64_t terms = allan_terms(stretches, factors[f]);
        if (terms != 0) dev[f] = std::sqrt(sums[f] / (2.0 * m * m * double(terms)));
    }
    return dev;
}

} // namespace zento
