// The main view's camera transforms: its rotation, the camera of a slab with
// a QR grid, and the per-light pass that draws such a slab from a light.
#pragma once

#include <cstdint>

#include "base/status.h"
#include "display/slab_draw.h"
#include "geom/mat.h"
#include "model/model.h"
#include "scene/slab_record.h"

namespace lumo {

// Multiplies the current matrix by the main view's rotation: view_turn_y
// quarter turns about y, then view_turn_x quarter turns about x (so the x
// rotation applies to the geometry first); or view_rotation when it is set.
void SetViewRotation(const MainView& view);

// Pushes the modelview and projection matrices and loads the QR camera into
// both: the QR plane seen straight on from one unit in front of it, framed on
// the part of it through which the eye M sees the image-plane rectangle. The
// caller draws, then calls RestoreQRCamera. `screen` (the main view's
// inspection) is applied to the projected frame.
void SetQRCamera(const SlabRecord& slab, const Mat4& M, const Mat4& screen);
void RestoreQRCamera();

// Draws slab `slab` of the model once for light `light` in centre mode: the
// eye is the main view's base transform followed by the inverse of the
// light's arcball rotation (from its controls) and its distance along z, the weight is
// the light's colour. Fails as DrawSlabCenter.
Status DrawLightPass(Model& model, SlabTextures& textures, int32_t light, int32_t slab,
                     uint8_t keep_textures, const SlabDrawOptions& options);

}  // namespace lumo
