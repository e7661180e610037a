#include "display/shown_pixels.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "display/screen_scale.h"
#include "relight/brdf_levels.h"
#include "slab/slab_geometry.h"

namespace lumo {
namespace {

struct StBox {
    float s0 = 1e30f, s1 = -1e30f, t0 = 1e30f, t1 = -1e30f;
    void Add(float s, float t) {
        s0 = std::min(s0, s);
        s1 = std::max(s1, s);
        t0 = std::min(t0, t);
        t1 = std::max(t1, t);
    }
};

// The image-plane coordinates (s, t) of what the window's corners show:
// false when a corner's line of sight runs along the plane (then the window
// does not bound the images).
bool WindowOnPlane(const SlabRecord& slab, const Mat4& modelview, const Mat4& projection,
                   StBox& box) {
    Mat4 full, inverse;
    MatMultiply(projection, modelview, full);
    MatInverse(full, inverse);
    const Vec4* c = slab.corner_vert[kPlaneST];
    Vec3 e1, e2, n;
    VecSub(c[1], c[0], e1);
    VecSub(c[3], c[0], e2);
    VecCross(e1, e2, n);
    const float l1 = VecDot(e1, e1), l2 = VecDot(e2, e2);
    if (!(l1 > 0.0f) || !(l2 > 0.0f)) return false;
    for (const float x : {-1.0f, 1.0f}) {
        for (const float y : {-1.0f, 1.0f}) {
            Vec4 near_point(x, y, -1.0f, 1.0f), far_point(x, y, 1.0f, 1.0f);
            MatTransform(near_point, inverse);
            MatTransform(far_point, inverse);
            if (near_point.w == 0.0f || far_point.w == 0.0f) return false;
            const Vec3 a(near_point.x / near_point.w, near_point.y / near_point.w,
                         near_point.z / near_point.w);
            const Vec3 b(far_point.x / far_point.w, far_point.y / far_point.w,
                         far_point.z / far_point.w);
            Vec3 d, to_plane;
            VecSub(b, a, d);
            VecSub(c[0], a, to_plane);
            const float along = VecDot(n, d);
            if (std::fabs(along) < 1e-12f * std::sqrt(VecDot(n, n) * VecDot(d, d)))
                return false;
            const float u = VecDot(n, to_plane) / along;
            const Vec3 q(a.x + u * d.x - c[0].x, a.y + u * d.y - c[0].y,
                         a.z + u * d.z - c[0].z);
            box.Add(VecDot(q, e1) / l1, VecDot(q, e2) / l2);
        }
    }
    return true;
}

PixelRect ToPixels(const StBox& b, int32_t w, int32_t h) {
    if (!(b.s0 <= b.s1) || !(b.t0 <= b.t1)) return PixelRect();
    auto low = [](float v, int32_t size) {
        return static_cast<int32_t>(
                   std::floor(std::clamp(v, -1.0f, 2.0f) * static_cast<float>(size))) -
               1;
    };
    auto high = [](float v, int32_t size) {
        return static_cast<int32_t>(
                   std::floor(std::clamp(v, -1.0f, 2.0f) * static_cast<float>(size))) +
               1;
    };
    const PixelRect r{low(b.s0, w), high(b.s1, w), low(b.t0, h), high(b.t1, h)};
    if (r.x1 < 0 || r.y1 < 0 || r.x0 >= w || r.y0 >= h) return PixelRect();
    return r.ClippedTo(w, h);
}

StBox Intersect(const StBox& a, const StBox& b) {
    return StBox{std::max(a.s0, b.s0), std::min(a.s1, b.s1), std::max(a.t0, b.t0),
                 std::min(a.t1, b.t1)};
}

Status ShownOf(SlabRecord& slab, int32_t mode, const Mat4& mv, const Mat4& projection,
               int32_t level) {
    const int32_t n = slab.samples_u, m = slab.samples_v;
    const size_t count = static_cast<size_t>(n) * static_cast<size_t>(m);
    slab.shown.assign(count, PixelRect());
    slab.shown_level.assign(count, level);
    StBox window;
    const bool bounded = WindowOnPlane(slab, mv, projection, window);
    // Geometry that cannot be had shows nothing.
    if (Status s =
            mode == 0 ? ComputeVertexST(slab, mv, 0) : ComputeSampleST(slab, mv, 0);
        !s.ok())
        return s;
    const size_t vertices =
        mode == 0 ? (static_cast<size_t>(n) + 1) * (static_cast<size_t>(m) + 1) : count;
    if (slab.curr_st.size() < 2 * vertices) return Status::Ok();
    auto st = [&](int32_t a, int32_t b, int32_t row, StBox& box) {
        const size_t v =
            static_cast<size_t>(b) * static_cast<size_t>(row) + static_cast<size_t>(a);
        box.Add(slab.curr_st[2 * v], slab.curr_st[2 * v + 1]);
    };
    for (int32_t b = 0; b < m; ++b) {
        for (int32_t a = 0; a < n; ++a) {
            const size_t k =
                static_cast<size_t>(b) * static_cast<size_t>(n) + static_cast<size_t>(a);
            StBox box;
            if (mode == 0) {
                if (k < slab.subskip[0].size() && slab.subskip[0][k] != 0) continue;
                for (int32_t db = 0; db <= 1; ++db)
                    for (int32_t da = 0; da <= 1; ++da)
                        st(a + da, b + db, n + 1, box);
            } else {
                for (int32_t db = -1; db <= 1; ++db)
                    for (int32_t da = -1; da <= 1; ++da)
                        if (a + da >= 0 && a + da < n && b + db >= 0 && b + db < m)
                            st(a + da, b + db, n, box);
            }
            if (bounded) box = Intersect(box, window);
            slab.shown[k] = ToPixels(box, slab.samples_s, slab.samples_t);
        }
    }
    return Status::Ok();
}

}  // namespace

int32_t ReductionLevel(float fewest_texels, int32_t w, int32_t h) {
    int32_t level = 0;
    while (level < kMaxBrdfLevel && fewest_texels >= static_cast<float>(2 << level) &&
           (w >> (level + 1)) > 0 && (h >> (level + 1)) > 0)
        ++level;
    return level;
}

bool ImageFresh(const PixelRect& fresh, int32_t fresh_level, const PixelRect& wanted,
                int32_t wanted_level) {
    return fresh.Contains(wanted) && (wanted.empty() || fresh_level <= wanted_level);
}

Status UpdateShownPixels(Model& model) {
    if (!model.scene.info) return Status::Ok();
    LidInfo& info = *model.scene.info;
    const int32_t slabs = std::clamp(info.slab_count, 0, static_cast<int32_t>(MAX_SLABS));
    const int32_t mode = model.options.drawslabmode;
    const bool partial = (model.options.preview & 0xff) != 0 &&
                         model.scene.qr_mode == 0 && (mode == 0 || mode == 1);
    Mat4 mv, projection;
    if (partial) CurrentFrameMatrices(model.view, mv, projection);
    Status first;
    for (int32_t i = 0; i < slabs; ++i) {
        SlabRecord& slab = info.slabs[static_cast<size_t>(i)];
        slab.shown.clear();
        slab.shown_level.clear();
        if (!partial || slab.format != kFormatBRDF || i >= 32 ||
            model.scene.slab_visible[i] != 1)
            continue;
        const int32_t level = ReductionLevel(
            FewestTexelsPerPixel(slab, mv, projection, model.view.window_width,
                                 model.view.window_height),
            slab.samples_s, slab.samples_t);
        if (Status s = ShownOf(slab, mode, mv, projection, level); !s.ok() && first.ok())
            first = std::move(s);
    }
    return first;
}

bool ShownPixelsFresh(const Model& model) {
    if (!model.scene.info) return true;
    const LidInfo& info = *model.scene.info;
    const int32_t slabs = std::clamp(info.slab_count, 0, static_cast<int32_t>(MAX_SLABS));
    for (int32_t i = 0; i < slabs; ++i) {
        const SlabRecord& slab = info.slabs[static_cast<size_t>(i)];
        if (slab.format != kFormatBRDF || slab.fresh.empty()) continue;
        const bool preview = (model.options.preview & 0xff) != 0;
        for (size_t k = 0; k < slab.fresh.size(); ++k) {
            PixelRect wanted;
            int32_t level = 0;
            if (k < slab.shown.size()) {
                wanted = slab.shown[k];
                if (k < slab.shown_level.size()) level = slab.shown_level[k];
            } else if (!preview) {
                wanted = PixelRect::Whole(slab.samples_s, slab.samples_t);
            }
            const int32_t relit = k < slab.fresh_level.size() ? slab.fresh_level[k] : 0;
            if (!ImageFresh(slab.fresh[k], relit, wanted, level)) return false;
        }
    }
    return true;
}

}  // namespace lumo
