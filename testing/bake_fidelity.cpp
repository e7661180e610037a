#include "testing/bake_fidelity.h"

#include <cmath>

#include "bake/baked_slab.h"
#include "base/parallel_for.h"
#include "base/str_printf.h"
#include "io/depth_map.h"
#include "relight/brdf_file.h"
#include "relight/light_source.h"
#include "relight/reconstruct.h"
#include "relight/sh_basis.h"

namespace lumo::tool {
namespace {

// The measurements report nothing but their figures.
const BrdfReadOptions kQuietReader{.header = MessageSink(), .opening = MessageSink()};

// Relights `record` under `light` with the driver, reporting nothing.
Status Relight(SlabRecord& record, LightSrc& light,
               Status (*driver)(SlabRecord&, const ReconRequest&)) {
    ReconRequest request;
    request.lights = std::span<LightSrc>(&light, 1);
    request.terms = AvailableTerms(record.brdf);  // as the slab's files hold
    request.progress = MessageSink();
    request.errors = MessageSink();
    return driver(record, request);
}

std::string Join(const std::string& dir, const std::string& name) {
    return dir.empty() ? name : dir + "/" + name;
}

void CompareViews(SlabRecord& record, const std::vector<ViewHits>& views,
                  const std::vector<std::vector<uint8_t>>& references,
                  std::vector<double>& psnr) {
    psnr.clear();
    for (size_t k = 0; k < views.size(); ++k)
        psnr.push_back(Psnr(record.photo[0][k].pixels, references[k]));
}

}  // namespace

std::vector<Vec3d> HeldOutLightDirections() {
    // Elevation above the ground and azimuth from +x, in degrees.
    const double lights[8][2] = {{25, 10},  {35, 60},  {45, 110}, {55, 160},
                                 {65, 210}, {75, 260}, {40, 310}, {60, 350}};
    std::vector<Vec3d> dirs;
    for (const auto& l : lights) {
        const double e = l[0] * M_PI / 180.0;
        const double a = l[1] * M_PI / 180.0;
        // The light comes from (cos e cos a, cos e sin a, sin e) and travels
        // the other way.
        dirs.push_back(
            -Vec3d(std::cos(e) * std::cos(a), std::cos(e) * std::sin(a), std::sin(e)));
    }
    return dirs;
}

Status LoadBakedSlab(const std::string& outdir, int grid, int size, bool depth,
                     SlabRecord& record) {
    const BakeSlab slab = DemoSlab(grid, size);
    FillSlabRecord(slab, "scene", record);
    const size_t n = static_cast<size_t>(grid) * static_cast<size_t>(grid);
    record.brdf.clear();
    record.brdf.resize(n);
    record.photo[0].assign(n, Photo());
    for (int b = 0; b < grid; ++b) {
        for (int a = 0; a < grid; ++a) {
            const size_t k = static_cast<size_t>(b * grid + a);
            Status s =
                ReadBrdfPath(Join(outdir, StrPrintf("scene.%d.%d.urdf.sh", a, b)).c_str(),
                             record.brdf[k], kQuietReader);
            if (!s.ok()) return s;
            s = record.photo[0][k].Alloc(size, size);
            if (!s.ok()) return s;
        }
    }
    if (!depth) return Status::Ok();
    // A missing depth map is an error here, not the image plane.
    std::string missing;
    const Status s =
        ReadZFile(Join(outdir, "scene").c_str(), grid, grid, nullptr, record.depth_loaded,
                  record.zfile, [&](std::string_view text) {
                      if (text.find("missing") != std::string_view::npos) missing = text;
                  });
    if (!s.ok()) return s;
    if (!missing.empty()) return Status::Error(missing);
    return Status::Ok();
}

std::vector<ViewHits> TraceAllViews(const Scene& scene, const BakeSlab& slab) {
    std::vector<ViewHits> views(static_cast<size_t>(slab.columns * slab.rows));
    ParallelForEach(views.size(), [&](size_t i) {
        const int v = static_cast<int>(i);
        views[i] = TraceView(scene, slab, v % slab.columns, v / slab.columns);
    });
    return views;
}

Status CompareDirectional(SlabRecord& record, const Scene& scene,
                          const std::vector<ViewHits>& views, const Vec3d& direction,
                          std::vector<double>& psnr) {
    LightSrc light;
    light.SetKind(Directional);
    const Vec3d d = Normalize(direction);
    light.SetDirection(
        Vec3(static_cast<float>(d.x), static_cast<float>(d.y), static_cast<float>(d.z)));
    // The reference sees the light exactly as the engine holds it.
    const Vec3d held(light.direction.x, light.direction.y, light.direction.z);
    std::vector<std::vector<uint8_t>> refs(views.size());
    ParallelForEach(views.size(), [&](size_t v) {
        refs[v] = RenderDirectional(scene, views[v], held, {1, 1, 1});
    });
    if (Status s = Relight(record, light, RelightSlabDirectional); !s.ok()) return s;
    CompareViews(record, views, refs, psnr);
    return Status::Ok();
}

Status ComparePoint(SlabRecord& record, const Scene& scene,
                    const std::vector<ViewHits>& views, const Vec3d& position,
                    std::vector<double>& psnr) {
    LightSrc light;
    light.SetKind(Point);
    const double radius = Length(position);
    const Vec3d d = position * (-1.0 / radius);
    light.SetDirection(
        Vec3(static_cast<float>(d.x), static_cast<float>(d.y), static_cast<float>(d.z)));
    light.SetRadius(static_cast<float>(radius));
    const Vec3d held(light.position.x, light.position.y, light.position.z);
    std::vector<std::vector<uint8_t>> refs(views.size());
    ParallelForEach(views.size(), [&](size_t v) {
        refs[v] = RenderPoint(scene, views[v], held, {1, 1, 1});
    });
    if (Status s = Relight(record, light, RelightSlabPoint); !s.ok()) return s;
    CompareViews(record, views, refs, psnr);
    return Status::Ok();
}

}  // namespace lumo::tool
