// Mixed lights: several lights, each evaluated by its own kind (a point light
// from its position, a slide projector through its slide, a directional light
// by its direction, an environment light by its map), their contributions
// added.
//
// Each light's contribution is exactly the image its one-light mode makes
// (clamped at 0 and converted to bytes as that mode converts), so a mixed
// image is the sum of the one-light images, saturated at 255 per channel.
#pragma once

#include "base/status.h"
#include "relight/recon_dispatch.h"
#include "relight/recon_request.h"
#include "scene/slab_record.h"

namespace lumo {

// Reconstructs one slab under the request's lights in use, each by the
// one-light driver of `drivers` for its kind, and adds the images. A light
// with nothing to reconstruct (Reserved, an environment light without a map)
// adds nothing. Reports "Reconstructing image (%d,%d) ...\n" once per image it
// writes; images the image loop skips (disabled, or out of view in preview)
// keep their pixels. A driver's failure is returned at once (nothing more is
// reported).
Status RelightSlabMixed(SlabRecord& slab, const ReconRequest& request,
                        const SlabDrivers& drivers);

}  // namespace lumo
