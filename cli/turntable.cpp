#include "cli/turntable.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "display/main_frame.h"
#include "geom/mat.h"
#include "slab/slab_geometry.h"

namespace lumo::tool {
namespace {

// The eye's swing that keeps the eye over the cameras of `slab`.
float SwingOverCameras(const SlabRecord& slab) {
    auto centre = [](const Vec4* c) {
        return Vec3((c[0].x + c[1].x + c[2].x + c[3].x) / 4.0f,
                    (c[0].y + c[1].y + c[2].y + c[3].y) / 4.0f,
                    (c[0].z + c[1].z + c[2].z + c[3].z) / 4.0f);
    };
    const Vec3 cu = centre(slab.corner_vert[0]);
    const Vec3 cs = centre(slab.corner_vert[2]);
    const Vec4* uv = slab.corner_vert[0];
    const float half =
        0.5f * std::hypot(uv[1].x - uv[0].x, uv[1].y - uv[0].y, uv[1].z - uv[0].z);
    const float depth = std::hypot(cu.x - cs.x, cu.y - cs.y, cu.z - cs.z);
    if (!(half > 0.0f) || !(depth > 0.0f)) return 0.1f;
    return 0.5f * std::atan(half / depth) / static_cast<float>(M_PI / 2.0);
}

// The main view's modelview turned by `turn` quarter turns about y.
Mat4 TurnedModelview(const Model& model, float turn) {
    const float a = turn * static_cast<float>(M_PI / 2.0);
    Mat4 r;
    MatIdentity(r);
    r.at(0, 0) = std::cos(a);
    r.at(0, 2) = std::sin(a);
    r.at(2, 0) = -std::sin(a);
    r.at(2, 2) = std::cos(a);
    Mat4 m;
    MatMultiplyFloat(model.view.base_modelview, r, m);
    return m;
}

// The point p (slab coordinates) lies inside the square frame of the main
// view's projection, with a margin of 1% of the frame.
bool InFrame(const Mat4& m, Vec4 p) {
    MatTransform(p, m);
    if (!(p.z < 0.0f)) return false;
    const double f = 1.0 / std::tan(kMainViewFovYDegrees * M_PI / 360.0);
    const double x = f * p.x / -p.z;
    const double y = f * p.y / -p.z;
    return std::fabs(x) <= 0.99 && std::fabs(y) <= 0.99;
}

bool AnySet(const std::vector<uint8_t>& flags) {
    for (uint8_t f : flags)
        if (f != 0) return true;
    return false;
}

// Every slab is drawn whole and inside the frame at `turn`.
bool SlabsWhole(Model& model, float turn) {
    if (!model.scene.info) return true;
    LidInfo& scene = *model.scene.info;
    const Mat4 m = TurnedModelview(model, turn);
    const bool corner = model.options.drawslabmode == 0;
    for (int32_t i = 0; i < scene.slab_count && i < MAX_SLABS; ++i) {
        SlabRecord& slab = scene.slabs[static_cast<size_t>(i)];
        int32_t n = 0, rows = 0;
        GridSize(slab, 0, n, rows);
        if (n < 1 || rows < 1) continue;
        if (corner) {
            if (!ComputeVertexST(slab, m, 0).ok() || AnySet(slab.subskip[0]))
                return false;
            for (int k = 0; k < 4; ++k) {
                if (!InFrame(m, slab.corner_vert[0][k]) ||
                    !InFrame(m, slab.corner_vert[2][k]))
                    return false;
            }
        } else {
            if (!ComputeSampleST(slab, m, 0).ok() || AnySet(slab.sampskip[0]))
                return false;
            for (const Vec4& p :
                 {SamplePosition(slab, 0, 0, 0), SamplePosition(slab, 0, n - 1, 0),
                  SamplePosition(slab, 0, 0, rows - 1),
                  SamplePosition(slab, 0, n - 1, rows - 1)}) {
                if (!InFrame(m, p)) return false;
            }
        }
    }
    return true;
}

bool WholeBothWays(Model& model, float turn) {
    return SlabsWhole(model, turn) && SlabsWhole(model, -turn);
}

}  // namespace

float TurntableSwing(Model& model) {
    if (!model.scene.info || model.scene.info->slab_count < 1) return 0.1f;
    const float most = SwingOverCameras(model.scene.info->slabs[0]);
    if (WholeBothWays(model, most)) return most;
    float lo = 0.0f;
    float hi = most;
    for (int i = 0; i < 24; ++i) {
        const float mid = 0.5f * (lo + hi);
        if (WholeBothWays(model, mid)) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return lo;
}

}  // namespace lumo::tool
