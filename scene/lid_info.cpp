#include "scene/lid_info.h"

#include <algorithm>

namespace lumo {

void PanoramaRecord::ResetDeclared() {
    panorama_number = 0;
    dct_quant_bit_rate = 3.0f;
    static constexpr float kOrientation[9] = {1, 0, 0, 0, 1, 0, 0, 0, -1};
    std::copy(std::begin(kOrientation), std::end(kOrientation), orientation);
}

void LidInfo::Reset() {
    for (SlabRecord& slab : slabs)
        slab.Clear();
    panorama.ResetDeclared();
    slab_count = 0;
    kind = kSceneNone;
}

}  // namespace lumo
