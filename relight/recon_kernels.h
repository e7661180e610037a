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

#include "geom/vec.h"
#include "relight/brdf_image.h"
#include "relight/recon_common.h"
#include "relight/sh_basis.h"

namespace lumo::kernels {

// Every helper here is forced inline: the tile loops are compiled for more
// than one instruction set, and a 32-byte vector passed to or returned from
// an out-of-line function compiled for another one would travel in
// different registers.
#define LUMO_KERNEL inline __attribute__((always_inline))

typedef float V8 __attribute__((vector_size(32)));
typedef int32_t V8i __attribute__((vector_size(32)));
static_assert(kShLanes == 8, "the kernels use 8-lane vectors");

LUMO_KERNEL V8 Load(const float* p) {
    V8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

LUMO_KERNEL V8 Splat(float x) {
    return V8{x, x, x, x, x, x, x, x};
}

// EvalShPixel's clamp: a negative sum becomes 0 (not-a-number stays).
LUMO_KERNEL V8 ClampNegative(V8 v) {
    return v < Splat(0.0f) ? Splat(0.0f) : v;
}

// ToByte on every lane.
LUMO_KERNEL void ToBytes(V8 v, int32_t out[kShLanes]) {
    V8 c = v > Splat(255.0f) ? Splat(255.0f) : v;
    c = c >= Splat(0.0f) ? c : Splat(0.0f);
    const V8i i = __builtin_convertvector(c, V8i);
    std::memcpy(out, &i, sizeof i);
}

constexpr int32_t kMaxTerms = kMaxShBands * kMaxShBands;

// The three channels' dot products of tile t with one shared basis Y.
LUMO_KERNEL void DotShared(const BrdfImage& brdf, int32_t t, const float* Y,
                           int32_t terms, V8 acc[3]) {
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
LUMO_KERNEL void DotLanes(const BrdfImage& brdf, int32_t t, const V8* Y, int32_t terms,
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
LUMO_KERNEL void EvalBasisLanes(const ShTables& t, V8 x, V8 cosp, V8 sinp, int32_t lmax,
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
LUMO_KERNEL void AccumulateLights(const float* c, const float* const* Y, const float* f,
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

// Geometry of kShLanes pixels at once. The Vec3 operations of geom/vec.h
// compute in double and round every stored component to float; these do the
// same on vectors: float lanes are widened exactly, combined in double in
// the same order, and rounded back to float.
typedef double V8d __attribute__((vector_size(64)));
typedef int64_t V8l __attribute__((vector_size(64)));

struct V3 {
    V8 x, y, z;
};

LUMO_KERNEL V8d Wide(V8 v) {
    return __builtin_convertvector(v, V8d);
}
LUMO_KERNEL V8 Narrow(V8d v) {
    return __builtin_convertvector(v, V8);
}
LUMO_KERNEL V3 Splat3(const Vec3& v) {
    return {Splat(v.x), Splat(v.y), Splat(v.z)};
}
// VecSub.
LUMO_KERNEL V3 Sub(const V3& a, const V3& b) {
    return {Narrow(Wide(a.x) - Wide(b.x)), Narrow(Wide(a.y) - Wide(b.y)),
            Narrow(Wide(a.z) - Wide(b.z))};
}
// VecAddScaled: out + s * a.
LUMO_KERNEL V3 AddScaled(const V3& a, V8 s, const V3& out) {
    const V8d ds = Wide(s);
    return {Narrow(Wide(out.x) + ds * Wide(a.x)), Narrow(Wide(out.y) + ds * Wide(a.y)),
            Narrow(Wide(out.z) + ds * Wide(a.z))};
}
// VecDot.
LUMO_KERNEL V8 Dot(const V3& a, const V3& b) {
    return Narrow(Wide(a.x) * Wide(b.x) + Wide(a.y) * Wide(b.y) + Wide(a.z) * Wide(b.z));
}
// VecLength.
LUMO_KERNEL V8 Length(const V3& a) {
    const V8d q = Wide(a.x) * Wide(a.x) + Wide(a.y) * Wide(a.y) + Wide(a.z) * Wide(a.z);
    V8d r;
    for (int lane = 0; lane < kShLanes; ++lane)
        r[lane] = std::sqrt(q[lane]);
    return Narrow(r);
}
// VecNormalize.
LUMO_KERNEL V3 Normalize(const V3& v) {
    const V8d inv = 1.0 / Wide(Length(v));
    return {Narrow(Wide(v.x) * inv), Narrow(Wide(v.y) * inv), Narrow(Wide(v.z) * inv)};
}

// LightAngles of lanes x, y of an image as seen from E: the surface point
// (depth[lane] along the eye ray where has_depth, else the image-plane
// point), the unit direction toward `light_position`, and from it cos theta,
// cos phi, sin phi against the frame. Lanes whose mask bit is clear are
// computed but meaningless. The arccosine and sine are the scalar libm calls
// of LightAngles, lane by lane.
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
    V3 P = Splat3(frame.P0);
    P = AddScaled(Splat3(frame.ds), vx, P);
    P = AddScaled(Splat3(frame.dt), vy, P);
    const V3 e = Splat3(E);
    const V3 ray = Normalize(Sub(P, e));
    const V3 Xd = AddScaled(ray, vd, e);
    V3 X = P;
    for (int lane = 0; lane < kShLanes; ++lane) {
        if (!has_depth[lane]) continue;
        X.x[lane] = Xd.x[lane];
        X.y[lane] = Xd.y[lane];
        X.z[lane] = Xd.z[lane];
    }
    // TowardLight.
    const V3 L = Normalize(Sub(Splat3(light_position), X));
    if (toward != nullptr) *toward = L;
    // LightAngles.
    const V3 n = Splat3(frame.n);
    const V8 cost = Dot(n, L);
    const V3 v0 = AddScaled(n, -cost, L);
    const V8 len = Length(v0);
    const V3 v = Normalize(v0);
    const V8 cosp = Dot(v, Splat3(frame.s));
    const V8 tdot = Dot(v, Splat3(frame.t));
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
