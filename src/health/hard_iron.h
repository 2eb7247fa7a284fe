#pragma once
// The hard-iron estimate: the sphere (health/sphere_fit.h) through one point per small cube of
// space that the magnetometer's readings fell into, so that every direction weighs the same
// however long the board pointed there. A cube's point is the mean of the readings of the
// latest pass through it (a pass ends after a second away), so that a field that changed is
// relearnt as the board turns. A cube not passed through again while the board made kExpiry
// passes elsewhere is forgotten; on a board at rest nothing is forgotten.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>

#include "health/sphere_fit.h"

namespace zento::health {

class HardIron {
  public:
    static constexpr std::size_t kMaxCubes = 8192;
    static constexpr std::uint64_t kExpiry = 600; // passes (about 2.5 minutes of steady turning)

    // Forgets every reading and the fit; cubes of `cube` counts from now on.
    void reset(double cube);
    // A reading (counts) at time t, seconds.
    void add(double t, const float m[3]);
    // Forgets the cubes that expired and fits the sphere again, if a pass started since the last
    // time.
    void refit();
    const std::optional<SphereFit>& fit() const { return fit_; }
    std::size_t cubes() const { return cubes_.size(); }

  private:
    struct Cube {
        double s[3] = {0, 0, 0};
        double n = 0, last_t = -1e300;
        std::uint64_t pass = 0;
    };
    std::uint64_t passes_ = 0;
    std::unordered_map<std::uint64_t, Cube> cubes_;
    double size_ = 44;
    bool changed_ = false;
    std::optional<SphereFit> fit_;
};

} // namespace zento::health
