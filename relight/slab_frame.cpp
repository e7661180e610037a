#include "relight/slab_frame.h"

#include <cmath>

#include "slab/slab_geometry.h"

namespace lumo {

ShAngles LightAngles(const Vec3& L, const Vec3& n, const Vec3& s, const Vec3& t) {
    ShAngles a;
    a.cost = VecDot(n, L);
    if (a.cost >= 0.9999999999 || a.cost <= -0.9999999999) return a;
    Vec3 v = L;
    VecAddScaled(n, -a.cost, v);
    if (VecLength(v) == 0.0f) return a;
    VecNormalize(v);
    a.cosp = VecDot(v, s);
    // Rounding can put the dot product of two unit vectors just outside -1..1.
    const float c = a.cosp > 1.0f ? 1.0f : (a.cosp < -1.0f ? -1.0f : a.cosp);
    const float phi = std::acos(c);
    a.sinp = VecDot(v, t) >= 0.0f ? std::sin(phi) : std::sin(-phi);
    return a;
}

SlabFrame MakeSlabFrame(const SlabRecord& slab) {
    SlabFrame f;
    const Vec4* S = slab.corner_vert[kPlaneST];
    f.W = slab.samples_s;
    f.H = slab.samples_t;
    f.n = slab.normal;
    VecSub(S[1], S[0], f.ds);
    VecSub(S[3], S[0], f.dt);
    f.s = f.ds;
    f.t = f.dt;
    VecNormalize(f.s);
    VecNormalize(f.t);
    const float w = static_cast<float>(f.W);
    const float h = static_cast<float>(f.H);
    f.ds = Vec3(f.ds.x / w, f.ds.y / w, f.ds.z / w);
    f.dt = Vec3(f.dt.x / h, f.dt.y / h, f.dt.z / h);
    VecCopy(S[0], f.P0);
    VecAddScaled(f.ds, 0.5f, f.P0);
    VecAddScaled(f.dt, 0.5f, f.P0);
    return f;
}

Vec3 EyePoint(const SlabRecord& slab, int32_t j, int32_t i) {
    return SamplePosition(slab, 0, j, i);
}

float DepthFor(const SlabFrame& frame, const Zfile* zfile, int32_t x, int32_t y) {
    const int32_t zy = frame.H - 1 - y;
    if (zfile == nullptr || x < 0 || zy < 0 || x >= zfile->width || zy >= zfile->height ||
        zfile->depth.size() <
            static_cast<size_t>(zfile->width) * static_cast<size_t>(zfile->height))
        return -1.0f;
    const float depth = zfile->DepthAt(x, zy);
    return depth >= 0.0f ? depth : -1.0f;
}

Vec3 SurfacePoint(const SlabFrame& frame, const Vec3& E, const Zfile* zfile, int32_t x,
                  int32_t y) {
    Vec3 P = frame.P0;
    VecAddScaled(frame.ds, static_cast<float>(x), P);
    VecAddScaled(frame.dt, static_cast<float>(y), P);
    const float depth = DepthFor(frame, zfile, x, y);
    if (depth < 0.0f) return P;  // no surface: the image plane
    Vec3 ray;
    VecSub(P, E, ray);
    VecNormalize(ray);
    Vec3 X = E;
    VecAddScaled(ray, depth, X);
    return X;
}

Vec3 TowardLight(const Vec3& light_position, const Vec3& surface) {
    Vec3 L;
    VecSub(light_position, surface, L);
    VecNormalize(L);
    return L;
}

const Zfile* DepthMapOf(const SlabRecord& slab, size_t k) {
    if (k >= slab.zfile.size() || slab.zfile[k].depth.empty()) return nullptr;
    return &slab.zfile[k];
}

}  // namespace lumo
