#include "model/start_mode.h"

#include <algorithm>

namespace lumo {

bool HasCentreCells(const SlabRecord& slab, int grid) {
    if (grid == 1) return slab.samples_q >= 2 && slab.samples_r >= 2;
    return slab.samples_u >= 2 && slab.samples_v >= 2;
}

int32_t ViewerStartMode(const LidInfo& info, int grid) {
    const int32_t count = std::clamp(info.slab_count, 0, static_cast<int32_t>(MAX_SLABS));
    bool relightable = false;
    for (int32_t i = 0; i < count; ++i) {
        const SlabRecord& slab = info.slabs[static_cast<size_t>(i)];
        if (slab.format != kFormatBRDF) continue;
        relightable = true;
        if (HasCentreCells(slab, grid)) return kCentreMode;
    }
    return relightable ? kCornerMode : kCentreMode;
}

int32_t RenderAutoMode(const LidInfo& info, int grid) {
    const int32_t count = std::clamp(info.slab_count, 0, static_cast<int32_t>(MAX_SLABS));
    for (int32_t i = 0; i < count; ++i) {
        if (!HasCentreCells(info.slabs[static_cast<size_t>(i)], grid)) return kCornerMode;
    }
    return kCentreMode;
}

}  // namespace lumo
