#include "fit/byte_error_sums.h"

#include <algorithm>

namespace lumo {
namespace {

// Columns whose terms are computed before they are added (a few rows of them
// stay in the first-level cache).
constexpr size_t kChunk = 256;
// Photographs whose chains run interleaved.
constexpr int kChains = 8;

// The terms of n <= kChunk columns of one row. Written without branches so
// that it vectorises (with -fno-trapping-math, see CMakeLists.txt): m >= 0
// after the selection, so ToByte(x) of x = 255 m is the truncation of
// min(x, 255).
__attribute__((target_clones("avx2", "default"))) void Terms(const float* model,
                                                             const float* values,
                                                             const uint8_t* present,
                                                             size_t n, double* out) {
    for (size_t j = 0; j < n; ++j) {
        const float value = model[j];  // loaded either way: no branch
        const float m = present[j] != 0 ? value : 0.0f;
        const float kept = m > 0.0f ? m : 0.0f;
        const float x = std::min(kept * 255.0f, 255.0f);
        const double d = static_cast<double>(static_cast<int32_t>(x)) -
                         255.0 * static_cast<double>(values[j]);
        out[j] = d * d;
    }
}

template <int G>
void SumGroup(const float* const* model, const float* const* values,
              const uint8_t* present, size_t n, double* sums) {
    alignas(64) double terms[G][kChunk];
    double q[G];
    for (int i = 0; i < G; ++i)
        q[i] = 0.0;
    for (size_t j0 = 0; j0 < n; j0 += kChunk) {
        const size_t len = std::min(kChunk, n - j0);
        for (int i = 0; i < G; ++i)
            Terms(model[i] + j0, values[i] + j0, present + j0, len, terms[i]);
        for (size_t j = 0; j < len; ++j) {
            for (int i = 0; i < G; ++i)
                q[i] += terms[i][j];
        }
    }
    for (int i = 0; i < G; ++i)
        sums[i] = q[i];
}

}  // namespace

void ByteErrorSums(const float* const* model, const float* const* values,
                   const uint8_t* present, size_t n, int rows, double* sums) {
    int r = 0;
    for (; r + kChains <= rows; r += kChains)
        SumGroup<kChains>(model + r, values + r, present, n, sums + r);
    for (; r < rows; ++r)
        SumGroup<1>(model + r, values + r, present, n, sums + r);
}

}  // namespace lumo
