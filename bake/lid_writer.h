// Scene descriptions (.lid) for the slabs that `lumotool bake` writes.
#pragma once

#include <string>

#include "bake/bake_camera.h"

namespace lumo::tool {

enum class LidGrid {
    kUV,  // cameras on the UV grid (SAMPLES_UV, SLAB_UV)
    kQR,  // cameras on a QR grid (SAMPLES_QR, SLAB_QR): photographs only
};

struct LidSpec {
    std::string comment;    // lines written first, each prefixed with "# "
    std::string name;       // base name of the data files
    bool brdf = false;      // FORMAT BRDF (coefficient files) or RGB (photographs)
    int harmonics = 0;      // SAMPLES_SPHERHARMONICS for a BRDF slab
    float dct_rate = 0.0f;  // DCT_QUANT_BIT_RATE when above 0 (image sets)
    LidGrid grid = LidGrid::kUV;
};

// The text of a one-slab scene description for `slab` (its camera plane on
// the grid that `spec` names, its image plane as SLAB_ST). Corners are
// written so that they read back as the same floats; every camera is enabled.
std::string SlabLidText(const BakeSlab& slab, const LidSpec& spec);

}  // namespace lumo::tool
