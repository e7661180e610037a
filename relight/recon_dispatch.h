// The choice of slab driver from the lights, shared by the production
// reconstruction and its sequential reference: each supplies its drivers, one
// per mode, and this table decides which one runs. A new mode is a new
// ReconMode (ChooseMode), a new field here and a driver in each set.
#pragma once

#include "base/status.h"
#include "relight/recon_common.h"
#include "relight/recon_request.h"
#include "scene/lid_info.h"
#include "scene/slab_record.h"

namespace lumo {

// Reconstructs one slab under the request (doing nothing unless its format is
// BRDF). A failure (the engine's working memory) stops it at once with its
// message; what was reported before it stays reported.
using SlabDriver = Status (*)(SlabRecord& slab, const ReconRequest& request);

// One driver per mode that reconstructs something.
struct SlabDrivers {
    SlabDriver directional = nullptr;  // one directional light
    SlabDriver point = nullptr;        // one point light
    SlabDriver slide = nullptr;        // one slide projector
    SlabDriver environment = nullptr;  // one environment light with a map
    SlabDriver several = nullptr;      // two or more lights: environment lights with a
                                       // map as such, all others as directional
};

// The driver of `mode`; null for ReconMode::kNone.
SlabDriver DriverFor(const SlabDrivers& drivers, ReconMode mode);

// Chooses the mode from the request's lights and runs its driver on every slab
// of `info` in order (at most MAX_SLABS). With request.mixed and two or more
// lights, every slab is relit with mixed lights (relight/recon_mixed.h) from
// the one-light drivers. The first driver failure ends the loop and is
// returned.
Status ReconstructSlabs(LidInfo& info, const ReconRequest& request,
                        const SlabDrivers& drivers);

}  // namespace lumo
