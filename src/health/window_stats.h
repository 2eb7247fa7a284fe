#pragma once
// The statistics the health figures keep: a series' mean and spread (Acc), its largest value
// (Max), and Windowed<T>, which keeps a statistic per second of time for the last 10 s beside
// its total since connect. A statistic is a value type that starts empty (T{}) and adds up with
// +=; the seconds are whole seconds of whatever time the caller keeps (arrival or board time).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

namespace zento::health {

inline constexpr double kWindowSeconds = 10.0; // "last 10 s"
inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Mean and spread of a series; NaN for an empty one.
struct Acc {
    double n = 0, s = 0, ss = 0;
    void add(double x) {
        n += 1;
        s += x;
        ss += x * x;
    }
    Acc& operator+=(const Acc& o) {
        n += o.n, s += o.s, ss += o.ss;
        return *this;
    }
    double mean() const { return n > 0 ? s / n : kNaN; }
    double var() const { return n > 0 ? std::max(0.0, ss / n - mean() * mean()) : kNaN; }
    double sd() const { return std::sqrt(var()); }
    double rms() const { return n > 0 ? std::sqrt(ss / n) : kNaN; }
};

// The largest value of a series of values that are not negative (0 for an empty one).
struct Max {
    double n = 0, v = 0;
    void add(double x) {
        n += 1;
        v = std::max(v, x);
    }
    Max& operator+=(const Max& o) {
        n += o.n, v = std::max(v, o.v);
        return *this;
    }
};

// A statistic kept per second for the last 10 s, and since connect (or the last clear()).
template <class T> class Windowed {
  public:
    // f(T&) adds to the second `sec` and to the total.
    template <class F> void add(std::int64_t sec, F&& f) {
        f(bucket(sec));
        f(total_);
    }
    // The seconds (now - 10, now].
    T recent(double now) const {
        const auto now_sec = std::int64_t(std::floor(now));
        T r{};
        for (const Slot& s : slots_)
            if (s.sec > now_sec - std::int64_t(kWindowSeconds) && s.sec <= now_sec) r += s.v;
        return r;
    }
    const T& total() const { return total_; }
    // Adds this one's seconds and total to `other`.
    void merge_into(Windowed& other) const {
        for (const Slot& s : slots_)
            if (s.sec != kNone) other.bucket(s.sec) += s.v;
        other.total_ += total_;
    }
    void clear() { *this = Windowed{}; }

  private:
    static constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::min();
    struct Slot {
        std::int64_t sec = kNone;
        T v{};
    };
    T& bucket(std::int64_t sec) {
        Slot& s = slots_[std::size_t(sec) & 15];
        if (s.sec != sec) s = Slot{sec, T{}};
        return s.v;
    }
    std::array<Slot, 16> slots_{};
    T total_{};
};

} // namespace zento::health
