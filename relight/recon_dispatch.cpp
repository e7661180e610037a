#include "relight/recon_dispatch.h"

#include <algorithm>

#include "relight/recon_mixed.h"

namespace lumo {

SlabDriver DriverFor(const SlabDrivers& drivers, ReconMode mode) {
    switch (mode) {
        case ReconMode::kDirectional:
            return drivers.directional;
        case ReconMode::kPoint:
            return drivers.point;
        case ReconMode::kSlide:
            return drivers.slide;
        case ReconMode::kEnvironment:
            return drivers.environment;
        case ReconMode::kSeveral:
            return drivers.several;
        case ReconMode::kNone:
            break;
    }
    return nullptr;
}

Status ReconstructSlabs(LidInfo& info, const ReconRequest& request,
                        const SlabDrivers& drivers) {
    const int32_t slabs = std::min<int32_t>(info.slab_count, MAX_SLABS);
    if (request.mixed && LightsInUse(request.lights) >= 2) {
        for (int32_t s = 0; s < slabs; ++s) {
            if (Status status = RelightSlabMixed(info.slabs[static_cast<size_t>(s)],
                                                 request, drivers);
                !status.ok())
                return status;
        }
        return Status::Ok();
    }
    const SlabDriver driver =
        DriverFor(drivers, ChooseMode(request.lights, LightsInUse(request.lights)));
    if (driver == nullptr) return Status::Ok();
    for (int32_t s = 0; s < slabs; ++s) {
        if (Status status = driver(info.slabs[static_cast<size_t>(s)], request);
            !status.ok())
            return status;
    }
    return Status::Ok();
}

}  // namespace lumo
