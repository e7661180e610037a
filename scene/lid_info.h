// LidInfo: a scene as its description file declares it, one light slab or
// one cylindrical panorama.
#pragma once

#include <array>
#include <cstdint>

#include "scene/slab_record.h"

namespace lumo {

inline constexpr int MAX_SLABS = 30;

enum SceneKind : uint8_t {
    kSceneNone = 0,      // nothing declared yet
    kSceneSlab = 1,      // a light slab
    kScenePanorama = 2,  // a cylindrical panorama
};

// A cylindrical panorama. The reader stores it; nothing else in lumo reads it,
// so a scene that declares one loads with no slab.
struct PanoramaRecord {
    char name[256] = {};
    int32_t image_width = 0;
    int32_t image_height = 0;
    int32_t panorama_number = 0;
    int32_t sh_count = 0;
    int32_t samples_theta = 0;
    int32_t samples_phi = 0;
    float samples_intensity = 0.0f;
    float dct_quant_bit_rate = 3.0f;
    float orientation[9] = {1, 0, 0, 0, 1, 0, 0, 0, -1};
    float cylinder_radius = 0.0f;
    float cylinder_height = 0.0f;
    float boundary_angle = 0.0f;

    // Gives the fields that a PANORAMA line (and model set-up) resets their
    // starting values: number 0, DCT rate 3.0, the orientation above.
    void ResetDeclared();
};

struct LidInfo {
    int32_t slab_count = 0;  // slab records in use
    uint8_t kind = kSceneNone;
    std::array<SlabRecord, MAX_SLABS> slabs;
    PanoramaRecord panorama;

    // A fresh scene: every slab record cleared, the panorama at its starting
    // values, no slab, nothing declared.
    LidInfo() { Reset(); }
    void Reset();
};

}  // namespace lumo
