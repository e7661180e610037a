// The vector kernels of the production reconstruction.
//
// Each works on kShLanes pixels at once with GCC vector types and does, lane
// by lane, exactly the scalar operations of EvalShBasis, EvalShPixel and
// ToByte in the same order: no reassociation, no fused multiply-add (the
// build has -ffp-contract=off). Only the reconstruction and its tests include
// this header; code that includes it needs -Wno-psabi, since 32-byte vectors
// pass between its inline helpers.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "relight/brdf_image.h"
#include "relight/sh_basis.h"

namespace lumo::kernels {

typedef float V8 __attribute__((vector_size(32)));
typedef int32_t V8i __attribute__((vector_size(32)));
static_assert(kShLanes == 8, "the kernels use 8-lane vectors");

inline V8 Load(const float* p) {
    V8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline V8 Splat(float x) {
    return V8{x, x, x, x, x, x, x, x};
}

// EvalShPixel's clamp: a negative sum becomes 0 (not-a-number stays).
inline V8 ClampNegative(V8 v) {
    return v < Splat(0.0f) ? Splat(0.0f) : v;
}

// ToByte on every lane.
inline void ToBytes(V8 v, int32_t out[kShLanes]) {
    V8 c = v > Splat(255.0f) ? Splat(255.0f) : v;
    c = c >= Splat(0.0f) ? c : Splat(0.0f);
    const V8i i = __builtin_convertvector(c, V8i);
    std::memcpy(out, &i, sizeof i);
}

constexpr int32_t kMaxTerms = kMaxShBands * kMaxShBands;

// The three channels' dot products of tile t with one shared basis Y.
inline void DotShared(const BrdfImage& brdf, int32_t t, const float* Y, int32_t terms,
                      V8 acc[3]) {
    const float* cr = brdf.TileCoeff(t, 0);
    const float* cg = brdf.TileCoeff(t, 1);
    const float* cb = brdf.TileCoeff(t, 2);
    V8 r = {}, g = {}, b = {};
    for (int32_t i = 0; i < terms; ++i) {
        const V8 y = Splat(Y[i]);
        const size_t o = static_cast<size_t>(i) * kShLanes;
        r = r + y * Load(cr + o);
        g = g + y * Load(cg + o);
        b = b + y * Load(cb + o);
    }
    acc[0] = r;
    acc[1] = g;
    acc[2] = b;
}

// The three channels' dot products of tile t with a per-lane basis Y.
inline void DotLanes(const BrdfImage& brdf, int32_t t, const V8* Y, int32_t terms,
                     V8 acc[3]) {
    const float* cr = brdf.TileCoeff(t, 0);
    const float* cg = brdf.TileCoeff(t, 1);
    const float* cb = brdf.TileCoeff(t, 2);
    V8 r = {}, g = {}, b = {};
    for (int32_t i = 0; i < terms; ++i) {
        const V8 y = Y[i];
        const size_t o = static_cast<size_t>(i) * kShLanes;
        r = r + y * Load(cr + o);
        g = g + y * Load(cg + o);
        b = b + y * Load(cb + o);
    }
    acc[0] = r;
    acc[1] = g;
    acc[2] = b;
}

// EvalShBasis for kShLanes directions at once, degrees 0..lmax, into Y, from
// the process-wide constant tables t (built for more than lmax bands).
inline void EvalBasisLanes(const ShTables& t, V8 x, V8 cosp, V8 sinp, int32_t lmax,
                           V8* Y) {
    V8 cosm[kMaxShBands + 1], sinm[kMaxShBands + 1];
    V8 P[kMaxTerms];
    if (lmax >= 1) {
        cosm[1] = cosp;
        sinm[1] = sinp;
    }
    for (int32_t m = 2; m <= lmax; ++m) {
        const int32_t h = m / 2;
        if (m % 2 == 1) {
            cosm[m] = cosm[h] * cosm[h + 1] - sinm[h] * sinm[h + 1];
            sinm[m] = cosm[h] * sinm[h + 1] + sinm[h] * cosm[h + 1];
        } else {
            cosm[m] = cosm[h] * cosm[h] - sinm[h] * sinm[h];
            sinm[m] = Splat(2.0f) * cosm[h] * sinm[h];
        }
    }
    const V8 ss = Splat(1.0f) - x * x;
    V8 s;
    for (int lane = 0; lane < kShLanes; ++lane)
        s[lane] = ss[lane] > 0.0f ? std::sqrt(ss[lane]) : 0.0f;
    P[0] = Splat(1.0f);
    for (int32_t l = 1; l <= lmax; ++l) {
        for (int32_t m = 0; m <= l; ++m) {
            const int32_t i = l * l + l + m;
            if (m == l) {
                P[i] = Splat(t.C1[l]) * s * P[(l - 1) * (l - 1) + 2 * (l - 1)];
            } else if (l == m + 1) {
                P[i] = x * Splat(t.C2[m]) * P[m * m + 2 * m];
            } else {
                P[i] = x * Splat(t.CC3[i]) * P[(l - 1) * (l - 1) + (l - 1) + m] -
                       Splat(t.CC4[i]) * P[(l - 2) * (l - 2) + (l - 2) + m];
            }
        }
    }
    for (int32_t l = 0; l <= lmax; ++l) {
        const int32_t c = l * l + l;
        for (int32_t m = 1; m <= l; ++m)
            Y[c - m] = sinm[m] * Splat(t.ShNorm[c + m]) * P[c + m];
        Y[c] = Splat(t.ShNorm[c]) * P[c];
        for (int32_t m = 1; m <= l; ++m)
            Y[c + m] = cosm[m] * Splat(t.ShNorm[c + m]) * P[c + m];
    }
}

// Several lights' contributions to one channel of tile coefficients c:
// G dot products with the bases Y[0..G-1] in one pass over the coefficients,
// then total += max(dot, 0) * f[g] for g = 0..G-1 in order, as the reference
// accumulates light after light.
template <int G>
inline void AccumulateLights(const float* c, const float* const* Y, const float* f,
                             int32_t terms, V8& total) {
    V8 acc[G] = {};
    for (int32_t i = 0; i < terms; ++i) {
        const V8 v = Load(c + static_cast<size_t>(i) * kShLanes);
        for (int g = 0; g < G; ++g)
            acc[g] = acc[g] + Splat(Y[g][i]) * v;
    }
    for (int g = 0; g < G; ++g)
        total = total + ClampNegative(acc[g]) * Splat(f[g]);
}

}  // namespace lumo::kernels
