// The vector kernels of the production reconstruction.
//
// Each works on kShLanes pixels at once with GCC vector types and does, lane
// by lane, exactly the scalar operations of EvalShBasis, EvalShPixel, ToByte
// and the Vec3 helpers in the same order: no reassociation, no fused
// multiply-add (the build has -ffp-contract=off). A scalar in a vector
// expression stands for that value in every lane. The lane types, and why
// vectors only ever go by reference, are in relight/lane_types.h; the basis
// recurrence is shared with the scalar EvalShBasis (relight/sh_recurrence.h).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "geom/vec.h"
#include "relight/lane_types.h"
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

// EvalShPixel's clamp: a negative sum becomes 0 (not-a-number stays).
LUMO_KERNEL void ClampNegative(V8& v) {
    v = v < 0.0f ? V8{} : v;
}

// ToByte on every lane.
LUMO_KERNEL void ToBytes(const V8& v, int32_t out[kShLanes]) {
    V8 top;
    Broadcast(top, 255.0f);
    V8 c = v > 255.0f ? top : v;
    c = c >= 0.0f ? c : V8{};
    const V8i i = __builtin_convertvector(c, V8i);
    std::memcpy(out, &i, sizeof i);
}

// The three channels' dot products of tile t with one shared basis per
// channel, Y[ch] (the environment's bases differ per channel; a directional
// light gives the same one thrice).
LUMO_KERNEL void DotSharedRgb(const BrdfImage& brdf, int32_t t, const float* const Y[3],
                              int32_t terms, V8 acc[3]) {
    const float* cr = brdf.TileCoeff(t, 0);
    const float* cg = brdf.TileCoeff(t, 1);
    const float* cb = brdf.TileCoeff(t, 2);
    const float* yr = Y[0];
    const float* yg = Y[1];
    const float* yb = Y[2];
    V8 r = {}, g = {}, b = {};
    for (int32_t i = 0; i < terms; ++i) {
        const size_t o = static_cast<size_t>(i) * kShTermStride;
        r = r + yr[i] * At(cr + o);
        g = g + yg[i] * At(cg + o);
        b = b + yb[i] * At(cb + o);
    }
    acc[0] = r;
    acc[1] = g;
    acc[2] = b;
}

// The three channels' dot products of tile t with one shared basis Y.
LUMO_KERNEL void DotShared(const BrdfImage& brdf, int32_t t, const float* Y,
                           int32_t terms, V8 acc[3]) {
    const float* const rgb[3] = {Y, Y, Y};
    DotSharedRgb(brdf, t, rgb, terms, acc);
}

// The three channels' dot products of tile t with a per-lane basis Y.
LUMO_KERNEL void DotLanes(const BrdfImage& brdf, int32_t t, const V8* Y, int32_t terms,
                          V8 acc[3]) {
    const float* cr = brdf.TileCoeff(t, 0);
    const float* cg = brdf.TileCoeff(t, 1);
    const float* cb = brdf.TileCoeff(t, 2);
    V8 r = {}, g = {}, b = {};
    for (int32_t i = 0; i < terms; ++i) {
        const V8& y = Y[i];
        const size_t o = static_cast<size_t>(i) * kShTermStride;
        r = r + y * At(cr + o);
        g = g + y * At(cg + o);
        b = b + y * At(cb + o);
    }
    acc[0] = r;
    acc[1] = g;
    acc[2] = b;
}

// EvalShBasis for kShLanes directions at once, degrees 0..lmax, into Y, from
// the process-wide constant tables t (built for more than lmax bands).
LUMO_KERNEL void EvalBasisLanes(const ShTables& t, const V8& x, const V8& cosp,
                                const V8& sinp, int32_t lmax, V8* Y) {
    V8 cosm[kMaxShBands + 1], sinm[kMaxShBands + 1];
    V8 P[kMaxTerms];
    ShBasisRecurrence(t, x, cosp, sinp, lmax, cosm, sinm, P, Y);
}

// Several lights' contributions to the three channels of tile coefficients c
// (coefficient 0 of channel 0 of a tile): G dot products per channel with the
// bases Y[ch][0..G-1] in one pass over the coefficients, then, light after
// light in order, total[ch] += max(dot, 0) * f[ch][g], as the reference
// accumulates.
template <int G>
LUMO_KERNEL void AccumulateLightsRgb(const float* c, const float* const* const Y[3],
                                     const float* const f[3], int32_t terms,
                                     V8 total[3]) {
    V8 acc[G][3] = {};
    for (int32_t i = 0; i < terms; ++i) {
        const float* ci = c + static_cast<size_t>(i) * kShTermStride;
        const V8 vr = At(ci);
        const V8 vg = At(ci + kShLanes);
        const V8 vb = At(ci + 2 * kShLanes);
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            acc[g][0] = acc[g][0] + Y[0][g][i] * vr;
            acc[g][1] = acc[g][1] + Y[1][g][i] * vg;
            acc[g][2] = acc[g][2] + Y[2][g][i] * vb;
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

// As AccumulateLightsRgb with one basis per light for all three channels.
template <int G>
LUMO_KERNEL void AccumulateLights(const float* c, const float* const* Y,
                                  const float* const f[3], int32_t terms, V8 total[3]) {
    const float* const* const rgb[3] = {Y, Y, Y};
    AccumulateLightsRgb<G>(c, rgb, f, terms, total);
}

// Geometry of kShLanes pixels at once. The Vec3 operations of geom/vec.h
// compute in double and round every stored component to float; these do the
// same on vectors: float lanes are widened exactly, combined in double in
// the same order, and rounded back to float.
struct V3 {
    V8 x, y, z;
};

#define LUMO_WIDE(v) __builtin_convertvector((v), V8d)
#define LUMO_NARROW(v) __builtin_convertvector((v), V8)

LUMO_KERNEL void Broadcast3(V3& out, const Vec3& v) {
    Broadcast(out.x, v.x);
    Broadcast(out.y, v.y);
    Broadcast(out.z, v.z);
}
// VecSub: out = a - b.
LUMO_KERNEL void Sub(V3& out, const V3& a, const V3& b) {
    out.x = LUMO_NARROW(LUMO_WIDE(a.x) - LUMO_WIDE(b.x));
    out.y = LUMO_NARROW(LUMO_WIDE(a.y) - LUMO_WIDE(b.y));
    out.z = LUMO_NARROW(LUMO_WIDE(a.z) - LUMO_WIDE(b.z));
}
// VecAddScaled: out = out + s * a.
LUMO_KERNEL void AddScaled(V3& out, const V3& a, const V8& s) {
    const V8d ds = LUMO_WIDE(s);
    out.x = LUMO_NARROW(LUMO_WIDE(out.x) + ds * LUMO_WIDE(a.x));
    out.y = LUMO_NARROW(LUMO_WIDE(out.y) + ds * LUMO_WIDE(a.y));
    out.z = LUMO_NARROW(LUMO_WIDE(out.z) + ds * LUMO_WIDE(a.z));
}
// VecDot.
LUMO_KERNEL void Dot(V8& out, const V3& a, const V3& b) {
    out = LUMO_NARROW(LUMO_WIDE(a.x) * LUMO_WIDE(b.x) + LUMO_WIDE(a.y) * LUMO_WIDE(b.y) +
                      LUMO_WIDE(a.z) * LUMO_WIDE(b.z));
}
// VecLength.
LUMO_KERNEL void Length(V8& out, const V3& a) {
    V8d q = LUMO_WIDE(a.x) * LUMO_WIDE(a.x) + LUMO_WIDE(a.y) * LUMO_WIDE(a.y) +
            LUMO_WIDE(a.z) * LUMO_WIDE(a.z);
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
    out = LUMO_NARROW(q);
}
// VecNormalize, in place.
LUMO_KERNEL void Normalize(V3& v) {
    V8 len;
    Length(len, v);
    const V8d inv = 1.0 / LUMO_WIDE(len);
    v.x = LUMO_NARROW(LUMO_WIDE(v.x) * inv);
    v.y = LUMO_NARROW(LUMO_WIDE(v.y) * inv);
    v.z = LUMO_NARROW(LUMO_WIDE(v.z) * inv);
}

// LightAngles of lanes x, y of an image as seen from E: the surface point
// (depth[lane] along the eye ray where has_depth, else the image-plane
// point), the unit direction toward `light_position` (into *toward when
// given), and from it cos theta, cos phi, sin phi against the frame. The
// arccosine and sine are LightAngles' scalar library calls, lane by lane.
LUMO_KERNEL void PixelAnglesLanes(const SlabFrame& frame, const Vec3& E,
                                  const Vec3& light_position, const float x[kShLanes],
                                  const float y[kShLanes], const float depth[kShLanes],
                                  const bool has_depth[kShLanes], ShAngles out[kShLanes],
                                  V3* toward = nullptr) {
    V8 vx, vy, vd;
    for (int lane = 0; lane < kShLanes; ++lane) {
        vx[lane] = x[lane];
        vy[lane] = y[lane];
        vd[lane] = depth[lane];
    }
    // SurfacePoint.
    V3 P, ds, dt, e;
    Broadcast3(P, frame.P0);
    Broadcast3(ds, frame.ds);
    Broadcast3(dt, frame.dt);
    Broadcast3(e, E);
    AddScaled(P, ds, vx);
    AddScaled(P, dt, vy);
    V3 ray;
    Sub(ray, P, e);
    Normalize(ray);
    V3 X = e;
    AddScaled(X, ray, vd);
    for (int lane = 0; lane < kShLanes; ++lane) {
        if (has_depth[lane]) continue;
        X.x[lane] = P.x[lane];
        X.y[lane] = P.y[lane];
        X.z[lane] = P.z[lane];
    }
    // TowardLight.
    V3 pos, L;
    Broadcast3(pos, light_position);
    Sub(L, pos, X);
    Normalize(L);
    if (toward != nullptr) *toward = L;
    // LightAngles.
    V3 n, s, t;
    Broadcast3(n, frame.n);
    Broadcast3(s, frame.s);
    Broadcast3(t, frame.t);
    V8 cost, minus_cost, len, cosp, tdot;
    Dot(cost, n, L);
    minus_cost = -cost;
    V3 v = L;
    AddScaled(v, n, minus_cost);
    Length(len, v);
    Normalize(v);
    Dot(cosp, v, s);
    Dot(tdot, v, t);
    for (int lane = 0; lane < kShLanes; ++lane) {
        ShAngles& a = out[lane];
        a = ShAngles();
        a.cost = cost[lane];
        if (a.cost >= 0.9999999999 || a.cost <= -0.9999999999 || len[lane] == 0.0f)
            continue;
        a.cosp = cosp[lane];
        const float c = a.cosp > 1.0f ? 1.0f : (a.cosp < -1.0f ? -1.0f : a.cosp);
        const float phi = std::acos(c);
        a.sinp = tdot[lane] >= 0.0f ? std::sin(phi) : std::sin(-phi);
    }
}

}  // namespace lumo::kernels
