// How faithfully the relighting engine reproduces the ray tracer from baked
// files: the baked slab is read back with the project's readers, relit with
// the engine's reconstruction and compared, view by view, with direct
// ray-traced renders under the same light.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "bake/bake_camera.h"
#include "bake/raytracer.h"
#include "bake/view_render.h"
#include "base/psnr.h"
#include "base/status.h"
#include "scene/slab_record.h"

namespace lumo::tool {

// Eight directional lights (the way their light travels) that no bake
// direction coincides with, all coming from the cameras' side at 25 to 75
// degrees above the ground and from all round.
std::vector<Vec3d> HeldOutLightDirections();

// Reads the coefficient files (and, with `depth`, the depth maps) of the slab
// baked into `outdir` with `grid` x `grid` cameras of `size` pixels into
// `record`, as model set-up would: corners and normal, one BrdfImage per
// camera, and a zeroed photo of the image size for each. Forgets the
// process-wide harmonic counts first, so that the slab's own count is used.
// Reports nothing; fails with the readers' messages.
Status LoadBakedSlab(const std::string& outdir, int grid, int size, bool depth,
                     SlabRecord& record);

// Every view of `slab` traced through the demo scene (camera (a, b) at index
// b * columns + a).
std::vector<ViewHits> TraceAllViews(const Scene& scene, const BakeSlab& slab);

// Relights `record` (from LoadBakedSlab) under one white directional light
// travelling along `direction` with the engine, and sets `psnr` to the PSNR of
// every view against the ray-traced picture under the same light, summing the
// process-wide active count of coefficients (all of them, unless changed since
// LoadBakedSlab). The engine reports nothing; its failure is returned.
Status CompareDirectional(SlabRecord& record, const Scene& scene,
                          const std::vector<ViewHits>& views, const Vec3d& direction,
                          std::vector<double>& psnr);

// The same for one white point light at `position`, the engine finding each
// pixel's surface through the depth maps (load them with `depth`).
Status ComparePoint(SlabRecord& record, const Scene& scene,
                    const std::vector<ViewHits>& views, const Vec3d& position,
                    std::vector<double>& psnr);

}  // namespace lumo::tool
