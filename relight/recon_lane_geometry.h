// The pixels' geometry in the production reconstruction's vector kernels:
// for a lane group of pixels at once, their columns and rows, their surface
// points and unit directions toward a local light, and the light's angles
// against the slab frame.
//
// The Vec3 operations of geom/vec.h compute in double and round every stored
// component to float; these do the same on vectors, in the same order (see
// relight/recon_sums.h for the lane types and the rules every kernel keeps).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "geom/vec.h"
#include "io/depth_map.h"
#include "relight/arccos_sine_lanes.h"
#include "relight/lane_types.h"
#include "relight/slab_frame.h"

namespace lumo::kernels {

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
// the frame, for the lanes in `wanted` (the others get phi = 0). The sine of
// the arccosine is LightAngles' library calls std::sin(std::acos(c)) bit for
// bit, computed on the lanes (relight/arccos_sine_lanes.h); sin(-phi) is
// -sin(phi) there, as it is in the library for every angle acosf gives.
//
// each_lane(lane) runs for every lane, the first half before the geometry and
// the rest between the arccosines and their use (the tile loops ask for
// coefficients ahead of their use there, spread over the work).
struct NoLaneWork {
    void operator()(int) const {}
};
template <class V, class EachLane = NoLaneWork>
LUMO_KERNEL void AnglesLanes(const SlabFrame& frame, const V3T<V>& L, uint32_t wanted,
                             V& cost_out, V& cosp_out, V& sinp_out,
                             const EachLane& each_lane = EachLane()) {
    constexpr int kHalf = kLanesOf<V> / 2;
    for (int lane = 0; lane < kHalf; ++lane)
        each_lane(lane);
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
    // The lanes with an azimuth: not within 1e-10 of the normal, with a part
    // in the plane.
    const auto wide_cost = LUMO_WIDE(cost);
    const auto axis = (wide_cost >= 0.9999999999) | (wide_cost <= -0.9999999999);
    const auto flat = len == 0.0f;
    uint32_t use = wanted;
    for (int lane = 0; lane < kLanesOf<V>; ++lane) {
        if (axis[lane] || flat[lane]) use &= ~(1u << lane);
    }
    // Rounding can put the dot product of two unit vectors just outside -1..1.
    const V one = V{} + 1.0f;
    const V c = cosp > one ? one : (cosp < -one ? -one : cosp);
    V sine = V{};
    const bool lanes_exact = ArccosSineLanesExact();
    if (lanes_exact) ArccosSineLanes(c, use, sine);
    for (int lane = kHalf; lane < kLanesOf<V>; ++lane)
        each_lane(lane);
    float co[kLanesOf<V>], so[kLanesOf<V>];
    for (int lane = 0; lane < kLanesOf<V>; ++lane) {
        if (!(use & (1u << lane))) {
            co[lane] = 1.0f;
            so[lane] = 0.0f;
            continue;
        }
        co[lane] = cosp[lane];
        const float ci = c[lane];
        if (lanes_exact && ci >= -1.0f && ci <= 1.0f) {
            so[lane] = tdot[lane] >= 0.0f ? sine[lane] : -sine[lane];
        } else {
            // Not a number, or a C library the lanes do not match: its own
            // calls, sign and all.
            const float phi = std::acos(ci);
            so[lane] = tdot[lane] >= 0.0f ? std::sin(phi) : std::sin(-phi);
        }
    }
    std::memcpy(&cosp_out, co, sizeof cosp_out);
    std::memcpy(&sinp_out, so, sizeof sinp_out);
}

}  // namespace lumo::kernels
