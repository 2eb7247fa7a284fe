#pragma once
// Small, fully specified random source: the same seed gives the same numbers on every
// platform and standard library (std::normal_distribution does not promise that).
#include <cmath>
#include <cstdint>
#include <numbers>

namespace zento::board {

// SplitMix64: derives independent sub-seeds from one user seed.
inline std::uint64_t splitmix64(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// xoshiro256** generator with uniform and Gaussian draws.
class Rng {
  public:
    explicit Rng(std::uint64_t seed) {
        for (auto& w : s_)
            w = splitmix64(seed);
    }

    std::uint64_t next() {
        const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
        const std::uint64_t t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = rotl(s_[3], 45);
        return result;
    }

    // Uniform in [0, 1).
    double uniform() { return double(next() >> 11) * 0x1.0p-53; }
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    // Uniform integer in [0, n), n > 0.
    std::uint64_t below(std::uint64_t n) { return std::uint64_t(uniform() * double(n)) % n; }

    // Standard normal (Box-Muller; one value per call, the pair's second is kept).
    double gaussian() {
        if (has_spare_) {
            has_spare_ = false;
            return spare_;
        }
        double u1 = uniform();
        while (u1 <= 0.0)
            u1 = uniform();
        const double u2 = uniform();
        const double r = std::sqrt(-2.0 * std::log(u1));
        const double a = 2.0 * std::numbers::pi * u2;
        spare_ = r * std::sin(a);
        has_spare_ = true;
        return r * std::cos(a);
    }

  private:
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::uint64_t s_[4]{};
    double spare_ = 0.0;
    bool has_spare_ = false;
};

} // namespace zento::board
