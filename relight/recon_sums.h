// The coefficient sums of the production reconstruction's vector kernels:
// how a tile's coefficients are read (float or half), the dot products of a
// tile or lane group with shared or per-lane bases, the basis for a lane
// group's directions, and several lights' contributions in one pass.
//
// Each works on kShLanes pixels at once with GCC vector types and does, lane
// by lane, exactly the scalar operations of EvalShBasis, EvalShPixel and
// ToByte in the same order: no reassociation, no fused multiply-add (the
// build has -ffp-contract=off). A scalar in a vector expression stands for
// that value in every lane. The kernels that take a lane type V work on one
// tile (V8) or on two tiles side by side (V16, the AVX-512 loops): a "lane
// group". The lane types, and why vectors only ever go by reference, are in
// relight/lane_types.h; the basis recurrence is shared with the scalar
// EvalShBasis (relight/sh_recurrence.h). The pixels' geometry is in
// relight/recon_lane_geometry.h, the slide projector's lookups in
// relight/recon_slide_lanes.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// (Not under clang, the fuzz build: it refuses the vector asm operands
// outside code built for AVX; the portable widening gives the same values.)
#if (defined(__x86_64__) || defined(__i386__)) && !defined(__clang__)
#define LUMO_HALF_F16C 1
#else
#define LUMO_HALF_F16C 0
#endif

#include "base/half_float.h"
#include "relight/lane_types.h"
#include "relight/sh_basis.h"
#include "relight/sh_recurrence.h"
#include "scene/brdf_image.h"

namespace lumo::kernels {

constexpr int32_t kMaxTerms = kMaxShBands * kMaxShBands;

// p[0..7] as a vector.
LUMO_KERNEL const V8u& At(const float* p) {
    return *reinterpret_cast<const V8u*>(p);
}

// How the kernels read a tile's coefficients: C::Tile gives coefficient 0 of
// a tile's channel, C::Load eight lanes at p as floats. A half image's
// coefficients are widened to float exactly, so that the arithmetic after
// the load is the float path's. HalfCoeffsF16c may only be used in functions
// built for AVX and F16C (its loads are inlined there).
struct FloatCoeffs {
    using Elem = float;
    static const float* Tile(const BrdfImage& b, int32_t t, int ch) {
        return b.TileCoeff(t, ch);
    }
    LUMO_KERNEL static void Load(V8& out, const float* p) { out = At(p); }
};
struct HalfCoeffsPortable {
    using Elem = uint16_t;
    static const uint16_t* Tile(const BrdfImage& b, int32_t t, int ch) {
        return b.TileCoeffHalf(t, ch);
    }
    LUMO_KERNEL static void Load(V8& out, const uint16_t* p) {
        float f[kShLanes];
        for (int lane = 0; lane < kShLanes; ++lane)
            f[lane] = HalfToFloat(p[lane]);
        std::memcpy(&out, f, sizeof out);
    }
};
#if LUMO_HALF_F16C
// The instruction is written out: an intrinsic would have to be inlined
// through the kernels, which are built for every target.
struct HalfCoeffsF16c {
    using Elem = uint16_t;
    static const uint16_t* Tile(const BrdfImage& b, int32_t t, int ch) {
        return b.TileCoeffHalf(t, ch);
    }
    LUMO_KERNEL static void Load(V8& out, const uint16_t* p) {
        asm("vcvtph2ps %1, %0"
            : "=v"(out)
            : "m"(*reinterpret_cast<const char(*)[16]>(p)));
    }
};
#endif

// The lanes of a lane group: one tile (V8), or two tiles side by side (V16).
// p points at eight coefficients of the first tile; the second tile's eight
// in the same place of its block lie `second` values further (0 when the
// group has one tile: its upper lanes then repeat the lower ones).
template <class C = FloatCoeffs>
LUMO_KERNEL void LoadLanes(V8& out, const typename C::Elem* p, ptrdiff_t) {
    C::Load(out, p);
}
template <class C = FloatCoeffs>
LUMO_KERNEL void LoadLanes(V16& out, const typename C::Elem* p, ptrdiff_t second) {
    V8 lo, hi;
    C::Load(lo, p);
    C::Load(hi, p + second);
    out = __builtin_shufflevector(lo, hi, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13,
                                  14, 15);
}

// EvalShPixel's clamp: a negative sum becomes 0 (not-a-number stays).
template <class V>
LUMO_KERNEL void ClampNegative(V& v) {
    v = v < 0.0f ? V{} : v;
}

// ToByte on every lane.
template <class V>
LUMO_KERNEL void ToBytes(const V& v, int32_t out[]) {
    using I = typename LaneTraits<V>::Int;
    V top;
    Broadcast(top, 255.0f);
    V c = v > 255.0f ? top : v;
    c = c >= 0.0f ? c : V{};
    const I i = __builtin_convertvector(c, I);
    std::memcpy(out, &i, sizeof i);
}

// The three channels' dot products of tile t with one shared basis per
// channel, Y[ch] (the environment's bases differ per channel; a directional
// light gives the same one thrice).
template <class C = FloatCoeffs>
LUMO_KERNEL void DotSharedRgb(const BrdfImage& brdf, int32_t t, const float* const Y[3],
                              int32_t terms, V8 acc[3]) {
    using E = typename C::Elem;
    const E* cr = C::Tile(brdf, t, 0);
    const E* cg = C::Tile(brdf, t, 1);
    const E* cb = C::Tile(brdf, t, 2);
    const float* yr = Y[0];
    const float* yg = Y[1];
    const float* yb = Y[2];
    V8 r = {}, g = {}, b = {};
    for (int32_t i = 0; i < terms; ++i) {
        const size_t o = static_cast<size_t>(i) * kShTermStride;
        V8 vr, vg, vb;
        C::Load(vr, cr + o);
        C::Load(vg, cg + o);
        C::Load(vb, cb + o);
        r = r + yr[i] * vr;
        g = g + yg[i] * vg;
        b = b + yb[i] * vb;
    }
    acc[0] = r;
    acc[1] = g;
    acc[2] = b;
}

// DotSharedRgb for tiles t and t + 1 at once (acc[0] and acc[1]): the sums
// of the two tiles are independent, so that their additions overlap.
template <class C = FloatCoeffs>
LUMO_KERNEL void DotSharedRgbPair(const BrdfImage& brdf, int32_t t,
                                  const float* const Y[3], int32_t terms, V8 acc[2][3]) {
    using E = typename C::Elem;
    const E* c0 = C::Tile(brdf, t, 0);
    const E* c1 = C::Tile(brdf, t + 1, 0);
    V8 s[2][3] = {};
    for (int32_t i = 0; i < terms; ++i) {
        const size_t o = static_cast<size_t>(i) * kShTermStride;
        for (int ch = 0; ch < 3; ++ch) {
            const size_t at = o + static_cast<size_t>(ch) * kShLanes;
            V8 v0, v1;
            C::Load(v0, c0 + at);
            C::Load(v1, c1 + at);
            s[0][ch] = s[0][ch] + Y[ch][i] * v0;
            s[1][ch] = s[1][ch] + Y[ch][i] * v1;
        }
    }
    for (int k = 0; k < 2; ++k)
        for (int ch = 0; ch < 3; ++ch)
            acc[k][ch] = s[k][ch];
}

// The three channels' dot products of a lane group with a per-lane basis Y:
// c is coefficient 0 of channel 0 of its first tile, `second` as LoadLanes.
template <class V, class C = FloatCoeffs>
LUMO_KERNEL void DotLanes(const typename C::Elem* c, ptrdiff_t second, const V* Y,
                          int32_t terms, V acc[3]) {
    V r = {}, g = {}, b = {};
    for (int32_t i = 0; i < terms; ++i) {
        const V& y = Y[i];
        const typename C::Elem* ci = c + static_cast<size_t>(i) * kShTermStride;
        V cr, cg, cb;
        LoadLanes<C>(cr, ci, second);
        LoadLanes<C>(cg, ci + kShLanes, second);
        LoadLanes<C>(cb, ci + 2 * kShLanes, second);
        r = r + y * cr;
        g = g + y * cg;
        b = b + y * cb;
    }
    acc[0] = r;
    acc[1] = g;
    acc[2] = b;
}

// EvalShBasis for a lane group's directions at once, degrees 0..lmax, into Y,
// from the process-wide constant tables t (built for more than lmax bands).
template <class V>
LUMO_KERNEL void EvalBasisLanes(const ShTables& t, const V& x, const V& cosp,
                                const V& sinp, int32_t lmax, V* Y) {
    V cosm[kMaxShBands + 1], sinm[kMaxShBands + 1];
    V P[kMaxTerms];
    ShBasisRecurrence(t, x, cosp, sinp, lmax, cosm, sinm, P, Y);
}

// As EvalBasisLanes for the degree LMAX known when compiling, so that the
// recurrence's loops unroll and its values stay in registers.
template <int LMAX, class V>
LUMO_KERNEL void EvalBasisLanesFixed(const ShTables& t, const V& x, const V& cosp,
                                     const V& sinp, V* Y) {
    V cosm[LMAX + 2], sinm[LMAX + 2];
    V P[(LMAX + 1) * (LMAX + 1)];
    ShBasisRecurrence(t, x, cosp, sinp, LMAX, cosm, sinm, P, Y);
}

// The bases of G lights packed for AccumulateLightsRgb, term after term,
// light after light, channel after channel:
// packed[(i * G + g) * 3 + ch] = Y[ch][g][i] for the first `terms` terms.
template <int G>
inline void PackLightBases(const float* const* const Y[3], int32_t terms, float* packed) {
    for (int32_t i = 0; i < terms; ++i)
        for (int g = 0; g < G; ++g)
            for (int ch = 0; ch < 3; ++ch)
                packed[(static_cast<size_t>(i) * G + static_cast<size_t>(g)) * 3 +
                       static_cast<size_t>(ch)] = Y[ch][g][i];
}

// Several lights' contributions to the three channels of a lane group's
// coefficients c (coefficient 0 of channel 0 of its first tile, `second` as
// LoadLanes): G dot products per channel with the lights' bases (packed by
// PackLightBases) in one pass over the coefficients, then, light after light
// in order, total[ch] += max(dot, 0) * f[ch][g], as the reference
// accumulates.
template <int G, class V, class C = FloatCoeffs>
LUMO_KERNEL void AccumulateLightsRgb(const typename C::Elem* c, ptrdiff_t second,
                                     const float* packed, const float* const f[3],
                                     int32_t terms, V total[3]) {
    V acc[G][3] = {};
    for (int32_t i = 0; i < terms; ++i) {
        const typename C::Elem* ci = c + static_cast<size_t>(i) * kShTermStride;
        const float* y = packed + static_cast<size_t>(i) * (G * 3);
        V vr, vg, vb;
        LoadLanes<C>(vr, ci, second);
        LoadLanes<C>(vg, ci + kShLanes, second);
        LoadLanes<C>(vb, ci + 2 * kShLanes, second);
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            acc[g][0] = acc[g][0] + y[3 * g] * vr;
            acc[g][1] = acc[g][1] + y[3 * g + 1] * vg;
            acc[g][2] = acc[g][2] + y[3 * g + 2] * vb;
        }
    }
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g) {
        for (int ch = 0; ch < 3; ++ch) {
            ClampNegative(acc[g][ch]);
            total[ch] = total[ch] + acc[g][ch] * f[ch][g];
        }
    }
}

}  // namespace lumo::kernels
