// A main-view frame of any proportions that does not stretch the scene.
//
// The main view's projection is square: a window that is not square
// stretches the scene, as the viewer always has. A W x H picture drawn here
// instead shows the scene at the scale of the S x S frame, S = min(W, H), and
// more of it along the longer side: its centre S x S square (columns
// (W - S) / 2 onwards, or rows (H - S) / 2 onwards) is the S x S frame, byte
// for byte, since it is drawn exactly as that frame; the parts beyond it are
// drawn as neighbouring S x S tiles of the same projection, shifted by whole
// frames.
#pragma once

#include <cstdint>

#include "base/status.h"
#include "display/slab_textures.h"
#include "io/photo.h"
#include "model/model.h"

namespace lumo {

// Draws the model's main view into `frame` (width x height RGB bytes, rows
// bottom first as ReadMainFrame gives them). The view must have been made
// min(width, height) square (ResizeMainFrame), and the current context's
// buffer should be exactly that square: a drawing's last bits may depend on
// where in a larger buffer it lies. Leaves the main view's
// projection as InitGLState set it. Fails with the photo's allocation
// message.
Status DrawProportionalFrame(Model& model, SlabTextures& textures, int32_t width,
                             int32_t height, Photo& frame);

}  // namespace lumo
