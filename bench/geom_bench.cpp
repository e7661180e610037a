// Vector and matrix operations on the per-frame and per-pixel paths.
#include <benchmark/benchmark.h>

#include "geom/mat.h"

namespace {

lumo::Mat4 Sample() {
    lumo::Mat4 m;
    const float v[16] = {2, 1, 0, 0, 0.5f, 3, 1, 0, 0, 1, 4, 0, 1, 2, 3, 1};
    for (int i = 0; i < 16; ++i)
        m[i] = v[i];
    return m;
}

void BM_MatInverse(benchmark::State& state) {
    const lumo::Mat4 m = Sample();
    lumo::Mat4 inv;
    for (auto _ : state) {
        lumo::MatInverse(m, inv);
        benchmark::DoNotOptimize(inv);
    }
}
BENCHMARK(BM_MatInverse);

void BM_MatTransform(benchmark::State& state) {
    const lumo::Mat4 m = Sample();
    lumo::Vec4 v(1, 2, 3, 1);
    for (auto _ : state) {
        lumo::MatTransform(v, m);
        lumo::VecNormalize(v);
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_MatTransform);

}  // namespace

BENCHMARK_MAIN();
