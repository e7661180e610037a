// The lane types of the vectorised reconstruction: eight floats processed as
// one GCC vector, and the few helpers every kernel needs on them.
//
// The tile loops that use these are compiled for more than one instruction
// set. A 32-byte vector passed to or returned from a function travels in
// different registers in each, so no helper here takes or returns a vector
// by value: vectors go by reference, and every helper is forced inline.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "scene/brdf_image.h"

namespace lumo::kernels {

#define LUMO_KERNEL inline __attribute__((always_inline))

typedef float V8 __attribute__((vector_size(32)));
typedef int32_t V8i __attribute__((vector_size(32)));
typedef double V8d __attribute__((vector_size(64)));
// Eight floats anywhere in memory (no alignment, may alias float arrays).
typedef float V8u __attribute__((vector_size(32), aligned(4), may_alias));
static_assert(kShLanes == 8, "the kernels use 8-lane vectors");

// x in every lane. GCC at -O3 (in the AVX2 clones of the tile loops) takes
// the lane stores into a vector that was never written for reads of it and
// warns -Wmaybe-uninitialized, even when the vector was zeroed first; every
// lane is written here, so the warning is false and is silenced for this
// function alone (clang has no such warning, and refuses the name).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
LUMO_KERNEL void Broadcast(V8& out, float x) {
    for (int lane = 0; lane < kShLanes; ++lane)
        out[lane] = x;
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// IEEE square roots of every lane (correctly rounded, as std::sqrt), two
// lanes per instruction where the machine has them.
LUMO_KERNEL void SqrtLanes(V8& v) {
#if defined(__SSE2__)
    for (int k = 0; k < kShLanes; k += 4) {
        __m128 x;
        std::memcpy(&x, reinterpret_cast<const char*>(&v) + 4 * k, sizeof x);
        x = _mm_sqrt_ps(x);
        std::memcpy(reinterpret_cast<char*>(&v) + 4 * k, &x, sizeof x);
    }
#else
    for (int lane = 0; lane < kShLanes; ++lane)
        v[lane] = std::sqrt(v[lane]);
#endif
}

}  // namespace lumo::kernels
