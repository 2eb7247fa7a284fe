#include "health/hard_iron.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace zento::health {

void HardIron::reset(double cube) {
    cubes_.clear();
    size_ = cube;
    changed_ = false;
    fit_.reset();
}

void HardIron::add(double t, const float m[3]) {
    std::uint64_t key = 0;
    for (int i = 0; i < 3; ++i) {
        const auto c = std::int64_t(std::floor(double(m[i]) / size_)) + (1 << 20);
        key = (key << 21) | (std::uint64_t(std::clamp<std::int64_t>(c, 0, (1 << 21) - 1)));
    }
    auto it = cubes_.find(key);
    if (it == cubes_.end()) {
        if (cubes_.size() >= kMaxCubes) return;
        it = cubes_.emplace(key, Cube{}).first;
    }
    Cube& v = it->second;
    if (t - v.last_t > 1.0) { // a new pass
        v = Cube{};
        v.pass = ++passes_;
        changed_ = true;
    }
    v.last_t = t;
    for (int i = 0; i < 3; ++i)
        v.s[i] += m[i];
    v.n += 1;
}

void HardIron::refit() {
    if (!changed_) return;
    std::erase_if(cubes_, [&](const auto& kv) { return passes_ - kv.second.pass > kExpiry; });
    std::vector<Vec3d> points;
    points.reserve(cubes_.size());
    for (const auto& [key, v] : cubes_)
        points.push_back({v.s[0] / v.n, v.s[1] / v.n, v.s[2] / v.n});
    fit_ = fit_sphere(points);
    changed_ = false;
}

} // namespace zento::health
