// Writing one-slab scene descriptions (.lid), as `lumotool bake` and
// `lumotool fit` do.
#pragma once

#include <string>

#include "geom/vec.h"

namespace lumo {

enum class LidGrid {
    kUV,  // cameras on the UV grid (SAMPLES_UV, SLAB_UV)
    kQR,  // cameras on a QR grid (SAMPLES_QR, SLAB_QR): photographs only
};

// A slab's grid and planes. Corners run around their rectangles: the first
// grid direction from corner 0 to 1, the second from 0 to 3.
struct LidSlab {
    int columns = 0;  // cameras along the first grid direction
    int rows = 0;     // cameras along the second grid direction
    int width = 0;    // pixels along s
    int height = 0;   // pixels along t
    Vec3 camera[4];   // camera plane (UV, or a QR grid's plane)
    Vec3 image[4];    // image plane (ST)
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
std::string SlabLidText(const LidSlab& slab, const LidSpec& spec);

}  // namespace lumo
