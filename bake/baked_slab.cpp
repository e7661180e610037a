#include "bake/baked_slab.h"

#include "base/bounded_copy.h"
#include "relight/sh_basis.h"
#include "relight/slab_frame.h"

namespace lumo::tool {

void FillSlabRecord(const BakeSlab& slab, const char* name, SlabRecord& record) {
    record.Clear();
    CopyBounded(record.name, name);
    for (int i = 0; i < 4; ++i) {
        const Vec3d& c = slab.camera.corner[i];
        const Vec3d& s = slab.image.corner[i];
        record.corner_vert[kPlaneUV][i] =
            Vec4(static_cast<float>(c.x), static_cast<float>(c.y),
                 static_cast<float>(c.z), 1.0f);
        record.corner_vert[kPlaneST][i] =
            Vec4(static_cast<float>(s.x), static_cast<float>(s.y),
                 static_cast<float>(s.z), 1.0f);
    }
    record.samples_u = slab.columns;
    record.samples_v = slab.rows;
    record.samples_s = slab.width;
    record.samples_t = slab.height;
    record.format = kFormatBRDF;
    record.viewenablemask[0].assign(
        static_cast<size_t>(slab.columns) * static_cast<size_t>(slab.rows), 1);
    // The camera plane's normal, turned to point from the image plane towards
    // the cameras, in floats as model set-up computes it.
    const Vec4* c = record.corner_vert[kPlaneUV];
    Vec3 a, b, n;
    VecSub(c[0], c[1], a);
    VecSub(c[2], c[1], b);
    VecCross(a, b, n);
    Vec3 away;
    VecSub(c[0], record.corner_vert[kPlaneST][0], away);
    if (VecDot(away, n) < 0.0f) VecScale(n, -1.0f);
    VecNormalize(n);
    record.normal = n;
}

Status BasisAtDirections(const SlabRecord& record, const std::vector<Vec3d>& directions,
                         int bands, std::vector<float>& table) {
    const size_t terms = static_cast<size_t>(bands) * static_cast<size_t>(bands);
    table.assign(directions.size() * terms, 0.0f);
    const lumo::SlabFrame frame = MakeSlabFrame(record);
    if (Status s = EnsureShBands(bands); !s.ok()) return s;
    for (size_t k = 0; k < directions.size(); ++k) {
        Vec3 L(static_cast<float>(directions[k].x), static_cast<float>(directions[k].y),
               static_cast<float>(directions[k].z));
        VecNormalize(L);
        const ShAngles a = LightAngles(L, frame.n, frame.s, frame.t);
        EvalShBasis(a.cost, a.cosp, a.sinp, bands - 1, table.data() + k * terms);
    }
    return Status::Ok();
}

}  // namespace lumo::tool
