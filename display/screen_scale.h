// How large a slab's reference images appear in the main view: the image
// plane's edges projected into the window. The images span the image plane
// (texture coordinates 0..1 run from its first corner to the second and the
// fourth), so these lengths say how many image pixels fall on a window pixel.
#pragma once

#include <cstdint>

#include "geom/mat.h"
#include "model/model.h"
#include "scene/slab_record.h"

namespace lumo {

struct ImageOnScreen {
    bool valid = false;   // every corner in front of the eye
    float across = 0.0f;  // window pixels along the image's rows (first edge)
    float up = 0.0f;      // window pixels along its columns (fourth edge)
    // The longer of each pair of opposite edges: with perspective the far
    // edge is drawn shorter.
    float across_longest = 0.0f;
    float up_longest = 0.0f;
};

// The image plane of `slab` under the model-view and projection matrices in
// a window of w x h pixels.
ImageOnScreen ImagePlaneOnScreen(const SlabRecord& slab, const Mat4& modelview,
                                 const Mat4& projection, int32_t w, int32_t h);

// Image pixels per window pixel: the larger of the two edges' ratios (0 when
// the plane is not in front of the eye or has no size on screen).
float TexelsPerPixel(const SlabRecord& slab, const Mat4& modelview,
                     const Mat4& projection, int32_t w, int32_t h);

// Image pixels per window pixel where the images appear largest: the smaller
// of the two directions' ratios, each over its edge drawn longest (0 when the
// plane is not in front of the eye or has no size on screen).
float FewestTexelsPerPixel(const SlabRecord& slab, const Mat4& modelview,
                           const Mat4& projection, int32_t w, int32_t h);

// The model-view (the view's turn and zoom) and projection (with the view's
// inspection) matrices the next frame is drawn with, from the current
// context's matrices at rest.
void CurrentFrameMatrices(const MainView& view, Mat4& modelview, Mat4& projection);

}  // namespace lumo
