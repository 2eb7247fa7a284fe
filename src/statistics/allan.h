#pragma once
// The overlapping Allan deviation of a sampled signal made of contiguous stretches.
//
// A stretch is a run of samples taken every tau0 without a gap; the signal of one axis is the
// samples of every stretch. For an averaging time tau = m tau0, with x the samples of a stretch
// of n and S its cumulative sums (S[0] = 0, S[k] = x[0] + ... + x[k-1]):
//
//   sigma^2(tau) = sum over stretches, k = 0 .. n - 2m of (S[k+2m] - 2 S[k+m] + S[k])^2
//                  / (2 m^2 * sum over stretches of (n - 2m + 1))
//
// (the overlapping estimator of IEEE Std 952 / 1293, pooled over the stretches: a term never
// spans a gap; a stretch shorter than 2m samples adds nothing at that tau). Each term is O(1)
// from the cumulative sums, so a tau costs one pass over the samples. The sums are taken of the
// samples minus the stretch's first sample rounded, so integer counts stay exact in double.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>
#include <vector>

namespace zento {

struct Stretch {
    std::size_t begin = 0, end = 0; // samples [begin, end) of the series
    std::size_t size() const { return end - begin; }
};

// The averaging factors m of a curve: 1, 2, 4, ... up to a tenth of the samples (always 1),
// and `also` (when it is in that range and not among them), ascending.
std::vector<std::size_t> allan_factors(std::size_t samples, std::size_t also = 0);

// Terms of the overlapping estimate at factor m: sum over stretches of (n - 2m + 1), n >= 2m.
std::uint64_t allan_terms(std::span<const Stretch> stretches, std::size_t m);

// The Allan deviation of `x` (indexed by the stretches) at each factor, in x's units; 0 where
// there is no term. `done(terms)` is told the terms of each pass as it ends (their total is
// the sum of allan_terms over the factors); a stop requested ends it early with nothing.
std::vector<double> allan_deviation(std::span<const float> x, std::span<const Stretch> stretches,
                                    std::span<const std::size_t> factors, std::stop_token stop = {},
                                    const std::function<void(std::uint64_t)>& done = {});

} // namespace zento
