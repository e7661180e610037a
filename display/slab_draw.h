// Drawing a light slab into the current OpenGL context.
//
// The camera plane is drawn patch by patch with the reference images as
// textures, whose coordinates come from the per-frame slab geometry for the
// eye that M describes. Corner mode draws every cell of the camera grid as one
// quadrilateral showing its camera's image (the nearest camera wins); centre
// mode draws a fan of six triangles around every camera, weighted 1 at the
// camera and 0 at its neighbours, so that with additive blending neighbouring
// images blend linearly. The GL state of each mode (blending, depth test,
// texture environment) is set by the main view.
//
// The reference images are drawn through the caller's texture table
// (SlabTextures), which uploads an image only when it changed.
#pragma once

#include <cstdint>

#include "base/status.h"
#include "display/slab_textures.h"
#include "geom/mat.h"
#include "scene/slab_record.h"

namespace lumo {

struct SlabDrawOptions {
    int32_t skip = 1;  // leave out the cells/triangles that show nothing of their image
    int32_t outline = 0;  // draw a left-out cell/triangle as an untextured outline
};

// Corner mode: the image plane as a pink polygon behind, then every cell of
// `grid` textured with its camera's image. Fails with the slab geometry's
// message (ComputeVertexST), leaving the cells undrawn.
Status DrawSlabCorner(SlabTextures& textures, SlabRecord& slab, const Mat4& M, int grid,
                      const SlabDrawOptions& options);

// Centre mode: every camera's fan of triangles, weighted by `colour` (r, g, b,
// a; white when null) at the camera. keep_textures (low byte) skips the check
// for changed images and draws with the textures as they are. Fails with the
// slab geometry's message (ComputeSampleST), drawing nothing.
Status DrawSlabCenter(SlabTextures& textures, SlabRecord& slab, const Mat4& M,
                      uint8_t keep_textures, int grid, const float* colour,
                      const SlabDrawOptions& options);

}  // namespace lumo
