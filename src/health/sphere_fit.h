#pragma once
// Hard-iron estimate: the sphere that best fits a cloud of magnetometer readings.
//
// Least squares on |p|^2 = 2 c.p + k (linear in the centre c and k = r^2 - |c|^2), solved on
// readings taken relative to their mean so that the normal equations stay well conditioned.
// The caller gives one point per small cube of space that readings fell into (their mean), so
// that every direction weighs the same however long the board pointed there.
#include <array>
#include <cstddef>
#include <optional>
#include <span>

namespace zento {

using Vec3d = std::array<double, 3>;

struct SphereFit {
    Vec3d center{};      // the hard-iron offset, in the points' unit
    double radius = 0;   // the field's strength
    double residual = 0; // RMS of |p - center| - radius over the points
    double coverage = 0; // share of directions from the centre that points lie in, 0..1
    std::size_t points = 0;
};

// Directions are told apart by the nearest of this many evenly spread unit vectors.
inline constexpr int kCoverageCells = 60;

// Nullopt for fewer than 8 points or points that fix no sphere (all on one plane or line).
std::optional<SphereFit> fit_sphere(std::span<const Vec3d> points);

// The share of the kCoverageCells direction cells around `center` that the points fall in.
double direction_coverage(std::span<const Vec3d> points, const Vec3d& center);

} // namespace zento
