// Which pixels of each reference image the next frame of the main view shows,
// so that a light change relights only those (preview), and whether they are
// all up to date with the lights.
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

// Sets slab.shown for the frame the view's state and the current context's
// projection give; with preview off, or a QR grid, empties it (whole images
// are relit). Computes the same per-frame geometry the drawing will. A slab
// whose geometry cannot be had shows nothing (a preview relights none of its
// pixels); the other slabs are still done, and the first such failure is
// returned with the geometry's message.
Status UpdateShownPixels(Model& model);

// Whether every pixel the next frame shows was relit under the current
// lights (with preview off: every pixel of every image).
bool ShownPixelsFresh(const Model& model);

}  // namespace lumo
