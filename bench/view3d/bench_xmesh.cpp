// The model file reader: the board's own model (made as the build makes it), and one 100 times
// larger, from text in memory to one vertex list per material.
#include "make-model/board_mesh.h"
#include "view3d/xmesh.h"

#include <benchmark/benchmark.h>

using namespace zento;

static void BM_ParseModel(benchmark::State& state) {
    model::Mesh m = model::board_mesh();
    const model::Mesh one = m;
    for (int i = 1; i < state.range(0); ++i) { // copies of the board, as one bigger mesh
        const int base = int(m.vertices.size());
        m.vertices.insert(m.vertices.end(), one.vertices.begin(), one.vertices.end());
        for (model::Triangle t : one.triangles) {
            for (int& c : t.corner)
                c += base;
            m.triangles.push_back(t);
        }
    }
    const std::string text = model::write_x(m);
    for (auto _ : state)
        benchmark::DoNotOptimize(parse_x_mesh(text, "liti8.x"));
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
    state.counters["triangles"] = double(m.triangles.size());
}
BENCHMARK(BM_ParseModel)->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
