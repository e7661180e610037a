// The lane types of the vectorised reconstruction: eight floats (one tile,
// V8) or sixteen floats (two tiles, V16) processed as one GCC vector, and the
// few helpers every kernel needs on them.
//
// The tile loops that use these are compiled for more than one instruction
// set. A vector passed to or returned from a function travels in different
// registers in each, so no helper here takes or returns a vector by value:
// vectors go by reference, and every helper is forced inline.
//
// V16 is the width of AVX-512. Its helpers that need an instruction of their
// own (the square roots) use it through inline assembly, so they may only be
// inlined into functions built for AVX-512 (the compiler refuses the register
// otherwise); everything else on V16 is plain vector arithmetic.
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
// Two tiles side by side: the lanes of the first, then those of the second.
typedef float V16 __attribute__((vector_size(64)));
typedef int32_t V16i __attribute__((vector_size(64)));
typedef double V16d __attribute__((vector_size(128)));

// The integer and double vectors of the same lane count, and the lane count.
template <class V>
struct LaneTraits;
template <>
struct LaneTraits<V8> {
    static constexpr int kLanes = 8;
    using Int = V8i;
    using Double = V8d;
};
template <>
struct LaneTraits<V16> {
    static constexpr int kLanes = 16;
    using Int = V16i;
    using Double = V16d;
};
template <class V>
inline constexpr int kLanesOf = LaneTraits<V>::kLanes;

// x in every lane. GCC at -O3 (in the AVX2 clones of the tile loops) takes
// the lane stores into a vector that was never written for reads of it and
// warns -Wmaybe-uninitialized, even when the vector was zeroed first; every
// lane is written here, so the warning is false and is silenced for this
// function alone (clang has no such warning, and refuses the name).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
template <class V>
LUMO_KERNEL void Broadcast(V& out, float x) {
    for (int lane = 0; lane < kLanesOf<V>; ++lane)
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

// The same for V16, with one AVX-512 instruction (AVX-512 builds only).
// clang (the fuzz build) refuses 512-bit operands outside AVX-512 code: it
// takes each lane's std::sqrt, which is correctly rounded too (same bits).
LUMO_KERNEL void SqrtLanes(V16& v) {
#if defined(__GNUC__) && !defined(__clang__)
    asm("vsqrtps %1, %0" : "=v"(v) : "v"(v));
#else
    for (int lane = 0; lane < 16; ++lane)
        v[lane] = std::sqrt(v[lane]);
#endif
}

// IEEE square roots of every lane of double vectors (as std::sqrt on double).
LUMO_KERNEL void SqrtLanes(V8d& q) {
#if defined(__SSE2__)
    for (int k = 0; k < kShLanes; k += 2) {
        __m128d x;
        std::memcpy(&x, reinterpret_cast<const char*>(&q) + 8 * k, sizeof x);
        x = _mm_sqrt_pd(x);
        std::memcpy(reinterpret_cast<char*>(&q) + 8 * k, &x, sizeof x);
    }
#else
    for (int lane = 0; lane < kShLanes; ++lane)
        q[lane] = std::sqrt(q[lane]);
#endif
}
// AVX-512 builds only: two instructions of eight lanes.
LUMO_KERNEL void SqrtLanes(V16d& q) {
#if defined(__clang__)
    for (int lane = 0; lane < 16; ++lane)
        q[lane] = std::sqrt(q[lane]);
#else
    typedef double Half __attribute__((vector_size(64)));
    Half lo, hi;
    std::memcpy(&lo, &q, sizeof lo);
    std::memcpy(&hi, reinterpret_cast<const char*>(&q) + sizeof lo, sizeof hi);
    asm("vsqrtpd %1, %0" : "=v"(lo) : "v"(lo));
    asm("vsqrtpd %1, %0" : "=v"(hi) : "v"(hi));
    std::memcpy(&q, &lo, sizeof lo);
    std::memcpy(reinterpret_cast<char*>(&q) + sizeof lo, &hi, sizeof hi);
#endif
}

}  // namespace lumo::kernels
