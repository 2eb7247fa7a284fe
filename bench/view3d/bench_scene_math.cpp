// The per-frame arithmetic of the 3D window: the three transforms from the attitude, and the
// projection of a point to the screen.
#include "view3d/scene_math.h"

#include <benchmark/benchmark.h>

using namespace zento;

static void BM_SceneMatrices(benchmark::State& state) {
    float yaw = 0;
    for (auto _ : state) {
        yaw += 1.0f;
        benchmark::DoNotOptimize(scene_matrices(10.5f, -3.25f, yaw, 12.0f));
    }
}
BENCHMARK(BM_SceneMatrices);

static void BM_ProjectPoint(benchmark::State& state) {
    const SceneMatrices s = scene_matrices(10.5f, -3.25f, 123.0f, 12.0f);
    Vec3 p{0.68f, 0.05f, 0.1f};
    for (auto _ : state) {
        p.x += 1e-6f;
        benchmark::DoNotOptimize(project(p, s, 821, 601));
    }
}
BENCHMARK(BM_ProjectPoint);

BENCHMARK_MAIN();
