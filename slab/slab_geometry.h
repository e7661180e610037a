// Light-slab geometry: the camera grid of a slab and, per frame, where the
// eye's rays through it meet the image plane.
//
// A slab is drawn by painting each reference image over a patch of the camera
// plane around its camera. At set-up BuildGridVertices and BuildSamplePositions
// build the grid vertices (cell corners) and sample positions (cell centres) of
// a camera grid. Every frame, ComputeVertexST or ComputeSampleST computes for
// the current eye the (s, t) coordinates on the ST plane of each vertex or sample
// (in units of the ST rectangle's edges, 0..1 inside it) and marks the cells
// or triangles that lie wholly beyond one edge of their image's window, so
// that the drawing can leave them out. ProjectSTCornersOntoQR projects the ST
// rectangle through the eye onto the QR plane.
//
// `grid` selects the camera grid: 0 the UV grid (samples_u x samples_v), 1 the
// QR grid (samples_q x samples_r); any other value does nothing. The model-view
// matrix M is column-major, as read back from OpenGL; eye space is M times slab
// coordinates (all four components, no division by w). None of this uses GL.
#pragma once

#include "base/status.h"
#include "geom/mat.h"
#include "geom/vec.h"
#include "scene/slab_record.h"

namespace lumo {

// The point at fractions (u, v) of a camera plane with corners c[0..3]: first
// along c0 -> c1, then along c0 -> c3, computed as VecLerp(VecLerp(c2, c1, v),
// VecLerp(c3, c0, v), u); w = 1.
Vec4 GridPoint(const Vec4 corners[4], float u, float v);

// Sample (cell centre) position (a, b) of `grid`, as BuildSamplePositions places it.
Vec4 SamplePosition(const SlabRecord& slab, int grid, int32_t a, int32_t b);

// Sample counts n x m of `grid` (0 x 0 for an unknown grid).
void GridSize(const SlabRecord& slab, int grid, int32_t& n, int32_t& m);

// Builds subvert[grid] ((n + 1) x (m + 1) vertices, vertex (a, b) at
// b * (n + 1) + a) and a zeroed subskip[grid] (n x m). A grid with no cells
// gets empty arrays. Failures: "[SlabRecord::SubUVVert]: no memory for
// subvert[]\n", "[SlabRecord::SubUVVert]: no memory for subskip[]\n".
Status BuildGridVertices(SlabRecord& slab, int grid);

// Builds sampvert[grid] (n x m cell centres) and a zeroed sampskip[grid]
// (6 x n x m). Failures: "[SlabRecord::SubUVSampVert]: no memory for
// sampvert[]\n", "[SlabRecord::SubUVSampVert]: no memory for sampskip[]\n".
Status BuildSamplePositions(SlabRecord& slab, int grid);

// Writes (s, t) of every grid vertex into curr_st (at the vertex index; a ray
// that misses the ST plane or meets it from behind gives (0, 0)) and decides
// every cell of subskip[grid]: 1 when all four corners fall beyond the same
// edge of the window x0..x1, y0..y1 of the cell's photo, or when the cell's
// last corner (a + 1, b + 1) misses. curr_st and subskip are grown if they are
// too small. Failure: "[SlabRecord::CalCurrSTCorner]: no memory for sr\n".
Status ComputeVertexST(SlabRecord& slab, const Mat4& M, int grid);

// Writes (s, t) of every sample into curr_st (at the sample index), then, in a
// second pass, tests the six triangles of each sample that hit (f = 0..5, see
// the .cpp) against the window of the sample's photo: sampskip[grid][6k + f]
// is 1 when all three vertices fall beyond the same edge, else 0. Failure:
// "[SlabRecord::CalCurrSTCenter]: no memory for sr\n".
Status ComputeSampleST(SlabRecord& slab, const Mat4& M, int grid);

// Projects the ST corners through the eye onto the QR plane: corners[i] is
// where the eye ray through ST corner i meets the QR plane, in slab
// coordinates with w = 1, or (0, 0, 0, 1) when the ray misses it. qr_normal is
// the QR plane's unit normal (q1 - q0) x (q3 - q0) in slab coordinates, w = 1.
void ProjectSTCornersOntoQR(const SlabRecord& slab, const Mat4& M, Vec4 corners[4],
                            Vec4& qr_normal);

}  // namespace lumo
