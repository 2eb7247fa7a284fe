#include "health/sphere_fit.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace zento {
namespace {

// Solves the 4 x 4 system a x = b in place by Gaussian elimination with partial pivoting;
// false when a pivot is negligible against the matrix's scale.
bool solve4(std::array<std::array<double, 4>, 4>& a, std::array<double, 4>& b) {
    double scale = 0;
    for (const auto& row : a)
        for (double v : row)
            scale = std::max(scale, std::abs(v));
    if (scale == 0) return false;
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::abs(a[r][col]) > std::abs(a[pivot][col])) pivot = r;
        if (std::abs(a[pivot][col]) < scale * 1e-12) return false;
        std::swap(a[col], a[pivot]);
        std::swap(b[col], b[pivot]);
        for (int r = col + 1; r < 4; ++r) {
            const double f = a[r][col] / a[col][col];
            for (int c = col; c < 4; ++c)
                a[r][c] -= f * a[col][c];
            b[r] -= f * b[col];
        }
    }
    for (int r = 3; r >= 0; --r) {
        double v = b[r];
        for (int c = r + 1; c < 4; ++c)
            v -= a[r][c] * b[c];
        b[r] = v / a[r][r];
    }
    return true;
}

// kCoverageCells directions spread evenly over the sphere (a Fibonacci lattice).
const std::array<Vec3d, kCoverageCells>& cells() {
    static const std::array<Vec3d, kCoverageCells> c = [] {
        std::array<Vec3d, kCoverageCells> out{};
        const double golden = std::numbers::pi * (3.0 - std::sqrt(5.0));
        for (int i = 0; i < kCoverageCells; ++i) {
            const double z = 1.0 - (2.0 * i + 1.0) / kCoverageCells;
            const double r = std::sqrt(1.0 - z * z);
            out[std::size_t(i)] = {r * std::cos(golden * i), r * std::sin(golden * i), z};
        }
        return out;
    }();
    return c;
}

} // namespace

std::optional<SphereFit> fit_sphere(std::span<const Vec3d> points) {
    if (points.size() < 8) return std::nullopt;
    Vec3d mean{};
    for (const Vec3d& p : points)
        for (int i = 0; i < 3; ++i)
            mean[i] += p[i];
    for (double& m : mean)
        m /= double(points.size());

    // Rows (2x, 2y, 2z, 1) against |q|^2, q = p - mean.
    std::array<std::array<double, 4>, 4> ata{};
    std::array<double, 4> atb{};
    for (const Vec3d& p : points) {
        const double q[3] = {p[0] - mean[0], p[1] - mean[1], p[2] - mean[2]};
        const double row[4] = {2 * q[0], 2 * q[1], 2 * q[2], 1.0};
        const double rhs = q[0] * q[0] + q[1] * q[1] + q[2] * q[2];
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 4; ++j)
                ata[i][j] += row[i] * row[j];
            atb[i] += row[i] * rhs;
        }
    }
    if (!solve4(ata, atb)) return std::nullopt;
    const Vec3d c{atb[0], atb[1], atb[2]};
    const double r2 = atb[3] + c[0] * c[0] + c[1] * c[1] + c[2] * c[2];
    if (!(r2 > 0)) return std::nullopt;

    SphereFit f;
    f.center = {c[0] + mean[0], c[1] + mean[1], c[2] + mean[2]};
    f.radius = std::sqrt(r2);
    double ss = 0;
    for (const Vec3d& p : points) {
        const double d = std::hypot(p[0] - f.center[0], p[1] - f.center[1], p[2] - f.center[2]);
        ss += (d - f.radius) * (d - f.radius);
    }
    f.residual = std::sqrt(ss / double(points.size()));
    f.coverage = direction_coverage(points, f.center);
    f.points = points.size();
    return f;
}

double direction_coverage(std::span<const Vec3d> points, const Vec3d& center) {
    std::array<bool, kCoverageCells> hit{};
    for (const Vec3d& p : points) {
        const double d[3] = {p[0] - center[0], p[1] - center[1], p[2] - center[2]};
        int best = 0;
        double best_dot = -1e300;
        for (int i = 0; i < kCoverageCells; ++i) {
            const Vec3d& u = cells()[std::size_t(i)];
            const double dot = d[0] * u[0] + d[1] * u[1] + d[2] * u[2];
            if (dot > best_dot) best_dot = dot, best = i;
        }
        hit[std::size_t(best)] = true;
    }
    int n = 0;
    for (bool h : hit)
        n += h;
    return double(n) / kCoverageCells;
}

} // namespace zento
