// Which pixels of each reference image the next frame of the main view shows,
// so that a light change relights only those (preview), and whether they are
// all up to date with the lights.
//
// An image drawn much smaller than its size may be relit at a reduced
// resolution (relight/brdf_levels.h): along with its pixels, each image gets
// the coarsest level whose pixels are still no larger than a window pixel
// anywhere the image is drawn, so that the mipmapped drawing samples only
// levels the reduced picture has.
//
// For every relightable slab drawn on its camera grid, an image's pixels are
// bounded by the texture coordinates of the cell (corner mode) or the fan
// (centre mode) it is drawn on, and by those of the window's corners on the
// image plane; a margin of one pixel keeps linear filtering exact. Cells the
// drawing leaves out show nothing.
#pragma once

#include "base/status.h"
#include "model/model.h"

namespace lumo {

// The reduction level of images of w x h pixels drawn at `fewest_texels`
// image pixels per window pixel where they appear largest: the largest L with
// 2^L <= fewest_texels, short of levels finer than a side allows (2^L
// at most the side).
int32_t ReductionLevel(float fewest_texels, int32_t w, int32_t h);

// Whether an image whose last relight covered `fresh` at level fresh_level
// holds what the next frame shows: `wanted` at level wanted_level or finer.
bool ImageFresh(const PixelRect& fresh, int32_t fresh_level, const PixelRect& wanted,
                int32_t wanted_level);

// Sets slab.shown (and slab.shown_level) for the frame the view's state and the current
// context's projection give; with preview off, or a QR grid, empties them (whole images
// are relit at full resolution). Computes the same per-frame geometry the drawing will. A
// slab whose geometry cannot be had shows nothing (a preview relights none of its
// pixels); the other slabs are still done, and the first such failure is
// returned with the geometry's message.
Status UpdateShownPixels(Model& model);

// Whether every pixel the next frame shows was relit under the current
// lights at its level or finer (with preview off: every pixel of every image
// at full resolution).
bool ShownPixelsFresh(const Model& model);

}  // namespace lumo
