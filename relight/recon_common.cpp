#include "relight/recon_common.h"

#include <cmath>

#include "base/alloc.h"
#include "base/str_printf.h"
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

PixelWindow ClipWindow(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                       int32_t yb) {
    if (xa > xb) std::swap(xa, xb);
    if (ya > yb) std::swap(ya, yb);
    PixelWindow w;
    w.x0 = xa > brdf.xmin ? xa : brdf.xmin;
    w.x1 = xb < brdf.xmax ? xb : brdf.xmax;
    w.y0 = ya > brdf.ymin ? ya : brdf.ymin;
    w.y1 = yb < brdf.ymax ? yb : brdf.ymax;
    return w;
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

int32_t LightsInUse(std::span<const LightSrc> lights, int32_t count) {
    if (count <= 0) return 0;
    int32_t n = count < MAX_LIGHTS ? count : MAX_LIGHTS;
    if (static_cast<size_t>(n) > lights.size()) n = static_cast<int32_t>(lights.size());
    return n;
}

int32_t LightsInUse(std::span<const LightSrc> lights) {
    return lights.size() < static_cast<size_t>(MAX_LIGHTS)
               ? static_cast<int32_t>(lights.size())
               : MAX_LIGHTS;
}

ReconMode ChooseMode(std::span<const LightSrc> lights, int32_t count) {
    const int32_t n = LightsInUse(lights, count);
    if (n == 0) return ReconMode::kNone;
    if (n >= 2) return ReconMode::kSeveral;
    switch (lights[0].kind) {
        case Directional:
            return ReconMode::kDirectional;
        case Point:
            return ReconMode::kPoint;
        case SlideProjector:
            return ReconMode::kSlide;
        case Reserved:
            return lights[0].HasEnvironment() ? ReconMode::kEnvironment
                                              : ReconMode::kNone;
        default:
            return ReconMode::kNone;
    }
}

bool ImageWanted(const SlabRecord& slab, int32_t j, int32_t i, uint8_t preview,
                 const MessageSink& errors) {
    const size_t k = static_cast<size_t>(i) * static_cast<size_t>(slab.samples_u) +
                     static_cast<size_t>(j);
    if (k >= slab.viewenablemask[0].size() || slab.viewenablemask[0][k] == 0)
        return false;
    if (preview && k < slab.subskip[0].size() && slab.subskip[0][k] != 0) return false;
    const int32_t W = slab.samples_s;
    const int32_t H = slab.samples_t;
    const BrdfImage* brdf = k < slab.brdf.size() ? &slab.brdf[k] : nullptr;
    const Photo* photo = k < slab.photo[0].size() ? &slab.photo[0][k] : nullptr;
    const size_t bytes =
        W > 0 && H > 0 ? static_cast<size_t>(W) * static_cast<size_t>(H) * 3 : size_t{0};
    if (brdf != nullptr && photo != nullptr && bytes > 0 && brdf->width == W &&
        brdf->height == H && photo->width == W && photo->height == H &&
        photo->pixels.size() == bytes)
        return true;
    if (errors)
        errors(StrPrintf(
            "[ReconstructAll]: image (%d,%d) skipped: its coefficients are %d x %d, "
            "its image %d x %d, the slab's images %d x %d\n",
            j, i, brdf ? brdf->width : 0, brdf ? brdf->height : 0,
            photo ? photo->width : 0, photo ? photo->height : 0, W, H));
    return false;
}

Status AllocPixelAngles(size_t pixels, bool with_intensity, PixelAngles& out) {
    const bool ok = TryAssign(out.cost, pixels, 0.0f) &&
                    TryAssign(out.cosp, pixels, 0.0f) &&
                    TryAssign(out.sinp, pixels, 0.0f) &&
                    (!with_intensity || TryAssign(out.intensity, pixels, Rgb{}));
    if (ok) return Status::Ok();
    out = PixelAngles();
    return Status::Error(with_intensity ? "no memory for cost, cosp, sinp, intensity\n"
                                        : "no memory for cost, cosp, sinp\n");
}

}  // namespace lumo
