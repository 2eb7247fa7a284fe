#pragma once
// Board ticks for the performance harness: each tick is one attitude frame (0xA1) followed by
// one raw sensor frame (0xA2), 44 bytes, with moving data as a real board sends it: every one of
// the sixteen values differs from its value in the previous tick (so every label gets a new text
// at every tick), optionally with faults: one frame in 1/fault_rate gets one byte corrupted,
// dropped or inserted, like a noisy line.
#include "link/envelope.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace zento::perf {

using Bytes = std::vector<std::uint8_t>;

inline void put_word(Bytes& p, long v) {
    const auto w = encode_sign_magnitude(v);
    p.push_back(w[0]);
    p.push_back(w[1]);
}

class TickMaker {
  public:
    explicit TickMaker(std::uint32_t seed = 1, double fault_rate = 0.0)
        : rng_(seed), fault_rate_(fault_rate) {}

    // The attitude frame of tick k. The altitude word carries `altitude_word` when it is
    // 0..32767 (a counter for the latency probe, which moves by itself); otherwise it drifts
    // like a real site, with the barometer's noise.
    void attitude(Bytes& out, std::uint64_t k, long altitude_word = -1) {
        const double t = double(k) * 0.05;
        p_.clear();
        put(0, std::lround(1799 * std::sin(t * 0.05)));         // yaw, 0.1 deg
        put(1, std::lround(300 * std::sin(t) + noise()));       // pitch
        put(2, std::lround(450 * std::cos(t * 0.7) + noise())); // roll
        if (altitude_word >= 0 && altitude_word <= 32767)
            put_word(p_, altitude_word);
        else
            put(3, std::lround(1225 + 20 * std::sin(t * 0.01) + 2 * noise())); // altitude, 0.1 m
        put(4, std::lround(250 + 20 * std::sin(t * 0.002) + noise()));         // temperature, 0.1 C
        put(5, std::lround(10132 + 3 * noise()));                              // pressure, 10 Pa
        put(6, 200 + long(k % 3));                                             // solution rate
        frame(out, kTypeAttitude);
    }

    // The raw sensor frame of tick k.
    void sensor(Bytes& out, std::uint64_t k) {
        const double t = double(k) * 0.05;
        p_.clear();
        for (int i = 0; i < 3; ++i)
            put(7 + i, std::lround(16384 * std::sin(t + i) + 20 * noise()));
        for (int i = 0; i < 3; ++i)
            put(10 + i, std::lround(200 * std::cos(t * 1.3 + i) + 5 * noise()));
        for (int i = 0; i < 3; ++i)
            put(13 + i, std::lround(400 * std::cos(t * 0.2 + i) + noise()));
        frame(out, kTypeSensor);
    }

    void tick(Bytes& out, std::uint64_t k) {
        attitude(out, k);
        sensor(out, k);
    }

    std::uint64_t faults() const { return faults_; }

  private:
    double noise() { return noise_(rng_); }

    // Value `slot` (0..15 in frame order) of this tick: a value that came out equal to the one
    // sent in the previous tick is moved by one count, so that every value changes every tick.
    void put(int slot, long v) {
        long& last = last_[std::size_t(slot)];
        if (v == last) v += v < 32767 ? 1 : -1;
        last = v;
        put_word(p_, v);
    }

    void frame(Bytes& out, std::uint8_t type) {
        f_.clear();
        append_frame(f_, type, p_);
        if (fault_rate_ > 0 && unit_(rng_) < fault_rate_) {
            ++faults_;
            const std::size_t at = 2 + rng_() % (f_.size() - 2);
            switch (rng_() % 3) {
            case 0:
                f_[at] = std::uint8_t(f_[at] ^ (1 + rng_() % 255));
                break;
            case 1:
                f_.erase(f_.begin() + std::ptrdiff_t(at));
                break;
            default:
                f_.insert(f_.begin() + std::ptrdiff_t(at), std::uint8_t(rng_()));
                break;
            }
        }
        out.insert(out.end(), f_.begin(), f_.end());
    }

    std::mt19937 rng_;
    std::normal_distribution<double> noise_{0.0, 1.0};
    std::uniform_real_distribution<double> unit_{0.0, 1.0};
    double fault_rate_;
    std::uint64_t faults_ = 0;
    std::array<long, 16> last_ = {-99999, -99999, -99999, -99999, -99999, -99999, -99999, -99999,
                                  -99999, -99999, -99999, -99999, -99999, -99999, -99999, -99999};
    Bytes p_, f_;
};

} // namespace zento::perf
