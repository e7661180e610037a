// The baked slab as the relighting engine sees it: a SlabRecord filled as the
// scene description and model set-up would fill it.
#pragma once

#include <vector>

#include "bake/bake_camera.h"
#include "base/status.h"
#include "scene/slab_record.h"

namespace lumo::tool {

// Fills `record` for `slab` as a BRDF slab on the UV grid named `name`:
// corners (w = 1), grid and image sizes, format, every camera enabled, and
// the unit normal that model set-up computes from the camera plane (pointing
// from the image plane towards the cameras).
void FillSlabRecord(const BakeSlab& slab, const char* name, SlabRecord& record);

// The values of the first bands * bands basis functions at every direction,
// direction-major (K x bands^2 floats): each unit direction towards a light is
// measured against the slab frame of `record` exactly as the reconstruction
// measures a light's direction, and evaluated with the engine's basis, so
// that coefficients projected with this table relight as the ray tracer
// renders. Uses (and leaves changed) the engine's process-wide basis tables;
// call it from one thread. Fails with the basis tables' message when they
// cannot grow to `bands`.
Status BasisAtDirections(const SlabRecord& record, const std::vector<Vec3d>& directions,
                         int bands, std::vector<float>& table);

}  // namespace lumo::tool
