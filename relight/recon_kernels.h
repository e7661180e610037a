// The vector kernels of the production reconstruction.
//
// Each works on kShLanes pixels at once with GCC vector types and does, lane
// by lane, exactly the scalar operations of EvalShBasis, EvalShPixel, ToByte
// and the Vec3 helpers in the same order: no reassociation, no fused
// multiply-add (the build has -ffp-contract=off). A scalar in a vector
// expression stands for that value in every lane. The kernels that take a
// lane type V work on one tile (V8) or on two tiles side by side (V16, the
// AVX-512 loops): a "lane group". The lane types, and why
// vectors only ever go by reference, are in relight/lane_types.h; the basis
// recurrence is shared with the scalar EvalShBasis (relight/sh_recurrence.h).
#pragma once

#include <cmath>
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
#include "geom/vec.h"
#include "relight/lane_types.h"
#include "relight/light_source.h"
#include "relight/recon_common.h"
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

// The three channels' dot products of tile t with one shared basis Y.
LUMO_KERNEL void DotShared(const BrdfImage& brdf, int32_t t, const float* Y,
                           int32_t terms, V8 acc[3]) {
    const float* const rgb[3] = {Y, Y, Y};
    DotSharedRgb(brdf, t, rgb, terms, acc);
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

// The same for tile t alone.
LUMO_KERNEL void DotLanes(const BrdfImage& brdf, int32_t t, const V8* Y, int32_t terms,
                          V8 acc[3]) {
    DotLanes(brdf.TileCoeff(t, 0), 0, Y, terms, acc);
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

// The same with the bases given per channel and light, Y[ch][g].
template <int G, class V>
LUMO_KERNEL void AccumulateLightsRgb(const float* c, ptrdiff_t second,
                                     const float* const* const Y[3],
                                     const float* const f[3], int32_t terms, V total[3]) {
    float packed[kMaxTerms * G * 3];
    PackLightBases<G>(Y, terms, packed);
    AccumulateLightsRgb<G, V>(c, second, packed, f, terms, total);
}

// One tile's lights (c: coefficient 0 of channel 0 of the tile).
template <int G>
LUMO_KERNEL void AccumulateLightsRgb(const float* c, const float* const* const Y[3],
                                     const float* const f[3], int32_t terms,
                                     V8 total[3]) {
    AccumulateLightsRgb<G, V8>(c, 0, Y, f, terms, total);
}

// As AccumulateLightsRgb with one basis per light for all three channels.
template <int G>
LUMO_KERNEL void AccumulateLights(const float* c, const float* const* Y,
                                  const float* const f[3], int32_t terms, V8 total[3]) {
    const float* const* const rgb[3] = {Y, Y, Y};
    AccumulateLightsRgb<G, V8>(c, 0, rgb, f, terms, total);
}

// Geometry of a lane group's pixels at once. The Vec3 operations of
// geom/vec.h compute in double and round every stored component to float;
// these do the same on vectors: float lanes are widened exactly, combined in
// double in the same order, and rounded back to float.
template <class V>
struct V3T {
    V x, y, z;
};
using V3 = V3T<V8>;

// Within a kernel on the lane type V: v widened to double, d narrowed to V.
#define LUMO_WIDE(v) __builtin_convertvector((v), typename LaneTraits<V>::Double)
#define LUMO_NARROW(d) __builtin_convertvector((d), V)

template <class V>
LUMO_KERNEL void Broadcast3(V3T<V>& out, const Vec3& v) {
    Broadcast(out.x, v.x);
    Broadcast(out.y, v.y);
    Broadcast(out.z, v.z);
}
// VecSub: out = a - b.
template <class V>
LUMO_KERNEL void Sub(V3T<V>& out, const V3T<V>& a, const V3T<V>& b) {
    out.x = LUMO_NARROW(LUMO_WIDE(a.x) - LUMO_WIDE(b.x));
    out.y = LUMO_NARROW(LUMO_WIDE(a.y) - LUMO_WIDE(b.y));
    out.z = LUMO_NARROW(LUMO_WIDE(a.z) - LUMO_WIDE(b.z));
}
// VecAddScaled: out = out + s * a.
template <class V>
LUMO_KERNEL void AddScaled(V3T<V>& out, const V3T<V>& a, const V& s) {
    const auto ds = LUMO_WIDE(s);
    out.x = LUMO_NARROW(LUMO_WIDE(out.x) + ds * LUMO_WIDE(a.x));
    out.y = LUMO_NARROW(LUMO_WIDE(out.y) + ds * LUMO_WIDE(a.y));
    out.z = LUMO_NARROW(LUMO_WIDE(out.z) + ds * LUMO_WIDE(a.z));
}
// VecDot.
template <class V>
LUMO_KERNEL void Dot(V& out, const V3T<V>& a, const V3T<V>& b) {
    out = LUMO_NARROW(LUMO_WIDE(a.x) * LUMO_WIDE(b.x) + LUMO_WIDE(a.y) * LUMO_WIDE(b.y) +
                      LUMO_WIDE(a.z) * LUMO_WIDE(b.z));
}
// VecLength.
template <class V>
LUMO_KERNEL void Length(V& out, const V3T<V>& a) {
    auto q = LUMO_WIDE(a.x) * LUMO_WIDE(a.x) + LUMO_WIDE(a.y) * LUMO_WIDE(a.y) +
             LUMO_WIDE(a.z) * LUMO_WIDE(a.z);
    SqrtLanes(q);
    out = LUMO_NARROW(q);
}
// VecNormalize, in place.
template <class V>
LUMO_KERNEL void Normalize(V3T<V>& v) {
    V len;
    Length(len, v);
    const auto inv = 1.0 / LUMO_WIDE(len);
    v.x = LUMO_NARROW(LUMO_WIDE(v.x) * inv);
    v.y = LUMO_NARROW(LUMO_WIDE(v.y) * inv);
    v.z = LUMO_NARROW(LUMO_WIDE(v.z) * inv);
}

// DepthFor with the depth map's checks made once per image.
struct DepthLookup {
    const float* depth = nullptr;  // null: no usable map
    int32_t w = 0, h = 0;          // the map's size
    int32_t H = 0;                 // the image's rows

    DepthLookup(const SlabFrame& frame, const Zfile* z) : H(frame.H) {
        if (z != nullptr && z->depth.size() >= static_cast<size_t>(z->width) *
                                                   static_cast<size_t>(z->height)) {
            depth = z->depth.data();
            w = z->width;
            h = z->height;
        }
    }
    // DepthFor(frame, z, x, y).
    float At(int32_t x, int32_t y) const {
        const int32_t zy = H - 1 - y;
        if (depth == nullptr || x < 0 || zy < 0 || x >= w || zy >= h) return -1.0f;
        const float d = depth[static_cast<size_t>(zy) * static_cast<size_t>(w) +
                              static_cast<size_t>(x)];
        return d < kNoSurfaceDepth && d >= 0.0f ? d : -1.0f;
    }
};

// The columns and rows of pixels pix[0..n-1] (pixel indices y * width + x in
// increasing order, -1 for none, taken as pixel 0) of an image `width`
// pixels wide: a pixel that follows its lane's predecessor steps from it,
// others divide.
LUMO_KERNEL void PixelColumnsRows(const int32_t* pix, int n, int32_t width, int32_t* px,
                                  int32_t* py) {
    int32_t prev = -2;
    for (int lane = 0; lane < n; ++lane) {
        const int32_t e = pix[lane] < 0 ? 0 : pix[lane];
        if (e == prev + 1 && lane > 0) {
            const bool wrap = px[lane - 1] + 1 == width;
            px[lane] = wrap ? 0 : px[lane - 1] + 1;
            py[lane] = wrap ? py[lane - 1] + 1 : py[lane - 1];
        } else {
            px[lane] = e % width;
            py[lane] = e / width;
        }
        prev = e;
    }
}

// SurfacePoint and TowardLight for lanes x, y of an image seen from E: the
// surface point (depth along the eye ray for the lanes in has_depth, else the
// image-plane point) and the unit direction L from it toward
// `light_position`.
template <class V>
LUMO_KERNEL void TowardLightLanes(const SlabFrame& frame, const Vec3& E,
                                  const Vec3& light_position, const V& vx, const V& vy,
                                  const V& vd, uint32_t has_depth, V3T<V>& L) {
    V3T<V> P, ds, dt, e;
    Broadcast3(P, frame.P0);
    Broadcast3(ds, frame.ds);
    Broadcast3(dt, frame.dt);
    Broadcast3(e, E);
    AddScaled(P, ds, vx);
    AddScaled(P, dt, vy);
    V3T<V> ray;
    Sub(ray, P, e);
    Normalize(ray);
    V3T<V> X = e;
    AddScaled(X, ray, vd);
    if (has_depth != (1u << kLanesOf<V>)-1) {
        for (int lane = 0; lane < kLanesOf<V>; ++lane) {
            if (has_depth & (1u << lane)) continue;
            X.x[lane] = P.x[lane];
            X.y[lane] = P.y[lane];
            X.z[lane] = P.z[lane];
        }
    }
    V3T<V> pos;
    Broadcast3(pos, light_position);
    Sub(L, pos, X);
    Normalize(L);
}

// LightAngles of the unit directions L: cos theta, cos phi, sin phi against
// the frame. The arccosine and sine are LightAngles' scalar library calls,
// lane by lane, made only for the lanes in `wanted` (the others get phi = 0).
//
// each_lane(lane) runs before each lane's library calls (the tile loops ask
// for coefficients ahead of their use there, while the calls take their time).
struct NoLaneWork {
    void operator()(int) const {}
};
template <class V, class EachLane = NoLaneWork>
LUMO_KERNEL void AnglesLanes(const SlabFrame& frame, const V3T<V>& L, uint32_t wanted,
                             V& cost_out, V& cosp_out, V& sinp_out,
                             const EachLane& each_lane = EachLane()) {
    V3T<V> n, s, t;
    Broadcast3(n, frame.n);
    Broadcast3(s, frame.s);
    Broadcast3(t, frame.t);
    V cost, minus_cost, len, cosp, tdot;
    Dot(cost, n, L);
    minus_cost = -cost;
    V3T<V> v = L;
    AddScaled(v, n, minus_cost);
    Length(len, v);
    Normalize(v);
    Dot(cosp, v, s);
    Dot(tdot, v, t);
    cost_out = cost;
    float co[kLanesOf<V>], so[kLanesOf<V>];
    for (int lane = 0; lane < kLanesOf<V>; ++lane) {
        co[lane] = 1.0f;
        so[lane] = 0.0f;
    }
    for (int lane = 0; lane < kLanesOf<V>; ++lane) {
        each_lane(lane);
        if (!(wanted & (1u << lane))) continue;
        const float ct = cost[lane];
        if (ct >= 0.9999999999 || ct <= -0.9999999999 || len[lane] == 0.0f) continue;
        const float cp = cosp[lane];
        co[lane] = cp;
        // Rounding can put the dot product of two unit vectors just outside -1..1.
        const float c = cp > 1.0f ? 1.0f : (cp < -1.0f ? -1.0f : cp);
        const float phi = std::acos(c);
        so[lane] = tdot[lane] >= 0.0f ? std::sin(phi) : std::sin(-phi);
    }
    std::memcpy(&cosp_out, co, sizeof cosp_out);
    std::memcpy(&sinp_out, so, sizeof sinp_out);
}

// SampleSlide of `photo` at (s, t) for the lanes in `lanes` (the others, and
// lanes whose position is not finite, get 0): the texel indices and the
// gathers per lane, the bilinear weighting on vectors, operation for
// operation as SampleSlide.
template <class V>
LUMO_KERNEL void SampleSlideLanes(const Photo& photo, const V& s, const V& t,
                                  uint32_t lanes, V out[3]) {
    out[0] = out[1] = out[2] = V{};
    const int32_t w = photo.width;
    const int32_t h = photo.height;
    if (w <= 0 || h <= 0 ||
        photo.pixels.size() < static_cast<size_t>(w) * static_cast<size_t>(h) * 3)
        return;
    const V x = static_cast<float>(w) * s;
    const V y = static_cast<float>(h) * t;
    // Lane values go through arrays: writing a vector lane by lane costs a
    // masked insert per lane.
    constexpr int kLanes = kLanesOf<V>;
    using I = typename LaneTraits<V>::Int;
    float fxa[kLanes] = {}, fya[kLanes] = {};
    int32_t q[4][3][kLanes] = {};  // corner, channel, lane
    const uint8_t* px = photo.pixels.data();
    auto at = [&](int32_t col, int32_t row) {
        return px + (static_cast<size_t>(row) * static_cast<size_t>(w) +
                     static_cast<size_t>(col)) *
                        3;
    };
    for (int lane = 0; lane < kLanes; ++lane) {
        if (!(lanes & (1u << lane))) continue;
        if (!std::isfinite(x[lane]) || !std::isfinite(y[lane])) {
            lanes &= ~(1u << lane);
            continue;
        }
        // SampleSlide's fmax(0, fmin(x, w - 1)) for a finite x, whose only
        // freedom (the sign of a zero) the conversion to an integer drops.
        const float cx =
            x[lane] < static_cast<float>(w - 1) ? x[lane] : static_cast<float>(w - 1);
        const float cy =
            y[lane] < static_cast<float>(h - 1) ? y[lane] : static_cast<float>(h - 1);
        const int32_t ix = static_cast<int32_t>(cx > 0.0f ? cx : 0.0f);
        const int32_t iy = static_cast<int32_t>(cy > 0.0f ? cy : 0.0f);
        fxa[lane] = x[lane] - static_cast<float>(ix);
        fya[lane] = y[lane] - static_cast<float>(iy);
        const int32_t ix1 = ix + 1 < w ? ix + 1 : w - 1;
        const int32_t iy1 = iy + 1 < h ? iy + 1 : h - 1;
        const uint8_t* corner[4] = {at(ix, iy), at(ix1, iy), at(ix, iy1), at(ix1, iy1)};
        for (int k = 0; k < 4; ++k)
            for (int ch = 0; ch < 3; ++ch)
                q[k][ch][lane] = corner[k][ch];
    }
    if (lanes == 0) return;
    V fx, fy;
    std::memcpy(&fx, fxa, sizeof fx);
    std::memcpy(&fy, fya, sizeof fy);
    const V gx = 1.0f - fx;
    const V gy = 1.0f - fy;
    for (int ch = 0; ch < 3; ++ch) {
        V p[4];
        for (int k = 0; k < 4; ++k) {
            I qi;
            std::memcpy(&qi, q[k][ch], sizeof qi);
            p[k] = __builtin_convertvector(qi, V);
        }
        // p[0..3]: (ix, iy), (ix1, iy), (ix, iy1), (ix1, iy1).
        const V v =
            (gy * (fx * p[1] + gx * p[0]) + fy * (fx * p[3] + gx * p[2])) * 0.003921569f;
        float va[kLanes];
        std::memcpy(va, &v, sizeof va);
        for (int lane = 0; lane < kLanes; ++lane) {
            if (!(lanes & (1u << lane))) va[lane] = 0.0f;
        }
        std::memcpy(&out[ch], va, sizeof va);
    }
}

// LightSrc::SlideIntensity of the directions -L for the lanes in `wanted`
// (the others get no light), from the projector's current frame: the ray
// from the light to the slide plane and the slide coordinates are vector
// arithmetic, as is the bilinear lookup (SampleSlideLanes) for the lanes whose
// ray meets the slide inside its margins.
template <class V>
LUMO_KERNEL void SlideIntensityLanes(const LightSrc& light, const V3T<V>& L,
                                     uint32_t wanted, V in[3]) {
    in[0] = in[1] = in[2] = V{};
    if (!light.slidevalid || wanted == 0) return;
    using D = typename LaneTraits<V>::Double;
    const Vec3 nn(light.slideplane[0], light.slideplane[1], light.slideplane[2]);
    V3T<V> d, n;
    d.x = -L.x;
    d.y = -L.y;
    d.z = -L.z;
    Broadcast3(n, nn);
    V dn;
    Dot(dn, d, n);
    const D margin = D{} + kSlideMargin;
    uint32_t lit = wanted;
    {
        const auto toward = LUMO_WIDE(dn) > margin;
        for (int lane = 0; lane < kLanesOf<V>; ++lane) {
            if (!toward[lane]) lit &= ~(1u << lane);
        }
    }
    if (lit == 0) return;
    V3T<V> dir = d;
    Normalize(dir);
    V ndir;
    Dot(ndir, n, dir);
    const Vec3 position = light.position;
    const float np = VecDot(nn, position);
    const V along = -(np + light.slideplane[3]) / ndir;
    V3T<V> hit, center, sx, sy;
    Broadcast3(hit, position);
    AddScaled(hit, dir, along);
    Broadcast3(center, light.slidecenter);
    V3T<V> rel;
    Sub(rel, hit, center);
    Broadcast3(sx, light.slidex);
    Broadcast3(sy, light.slideup);
    V ds, dt;
    Dot(ds, rel, sx);
    Dot(dt, rel, sy);
    const V s = ds / light.slidewidth + 0.5f;
    const V t = dt / light.slideheight + 0.5f;
    const D upper = D{} + (1.0 - kSlideMargin);
    const auto inside = (LUMO_WIDE(s) > margin) & (LUMO_WIDE(t) > margin) &
                        (LUMO_WIDE(s) < upper) & (LUMO_WIDE(t) < upper);
    for (int lane = 0; lane < kLanesOf<V>; ++lane) {
        if (!inside[lane]) lit &= ~(1u << lane);
    }
    if (lit == 0) return;
    V sample[3];
    SampleSlideLanes(light.slide, s, t, lit, sample);
    // Lanes without light stay 0 whatever the colour.
    for (int ch = 0; ch < 3; ++ch) {
        const V v = sample[ch] * light.color[ch];
        float va[kLanesOf<V>];
        std::memcpy(va, &v, sizeof va);
        for (int lane = 0; lane < kLanesOf<V>; ++lane) {
            if (!(lit & (1u << lane))) va[lane] = 0.0f;
        }
        std::memcpy(&in[ch], va, sizeof va);
    }
}

// Both for eight pixels given as arrays, into ShAngles (and *toward when given).
LUMO_KERNEL void PixelAnglesLanes(const SlabFrame& frame, const Vec3& E,
                                  const Vec3& light_position, const float x[kShLanes],
                                  const float y[kShLanes], const float depth[kShLanes],
                                  const bool has_depth[kShLanes], ShAngles out[kShLanes],
                                  V3* toward = nullptr) {
    V8 vx, vy, vd;
    uint32_t has = 0;
    for (int lane = 0; lane < kShLanes; ++lane) {
        vx[lane] = x[lane];
        vy[lane] = y[lane];
        vd[lane] = depth[lane];
        if (has_depth[lane]) has |= 1u << lane;
    }
    V3 L;
    TowardLightLanes(frame, E, light_position, vx, vy, vd, has, L);
    if (toward != nullptr) *toward = L;
    V8 cost, cosp, sinp;
    AnglesLanes(frame, L, 0xFFu, cost, cosp, sinp);
    for (int lane = 0; lane < kShLanes; ++lane) {
        out[lane].cost = cost[lane];
        out[lane].cosp = cosp[lane];
        out[lane].sinp = sinp[lane];
    }
}

}  // namespace lumo::kernels
