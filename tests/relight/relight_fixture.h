// In-memory relightable slabs for the engine's tests: a camera plane at z = 2
// over an image plane at z = 0, reference images whose coefficients are drawn
// from a seeded generator, optional depth maps.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "relight/brdf_writer.h"
#include "relight/env_map.h"
#include "relight/light_source.h"
#include "scene/lid_info.h"
#include "scene/slab_record.h"

namespace lumo::testing {

struct SlabSpec {
    int32_t nu = 2, nv = 2;  // image grid
    int32_t W = 19, H = 11;  // image size (not a multiple of the tile width)
    int32_t lcnt = 3;
    int32_t harcnt = -1;                  // -1: lcnt * lcnt
    double density[3] = {1.0, 1.0, 1.0};  // chance that a pixel is present, per channel
    uint32_t seed = 1;
    std::vector<uint8_t> enabled;       // nu * nv; empty: all enabled
    std::vector<int32_t> empty_images;  // images whose bitmaps are all zero
    bool depth_maps = false;            // random depth maps (some without surface)
    std::vector<int32_t> images_without_depth;  // images whose depth map is missing
    // The coefficients as the half-float reader keeps them (half), or as
    // floats each rounded to the nearest half (round_to_half).
    bool half = false;
    bool round_to_half = false;
};

// The slab the engine-against-reference scenarios start from: 3 x 2 images of
// 21 x 13 pixels, 4 bands, depth maps (image 4 without one).
SlabSpec ScenarioSlab();
// ScenarioSlab with sparse channels (the third without coefficients) and
// image 2 empty.
SlabSpec SparseScenarioSlab();

// Fills `slab` (format BRDF) from `spec`: corners, normal (0, 0, 1), mask,
// photos of W x H black pixels for enabled images, coefficients for them.
void MakeBrdfSlab(SlabRecord& slab, const SlabSpec& spec);

// The terms the scene's coefficients offer: those of the first image with a
// present pixel, slab by slab (AvailableTerms), as model set-up takes them.
int32_t FileTerms(const LidInfo& info);

// Random coefficients for one image, as the slab maker draws them.
ShCoeffImage RandomCoefficients(int32_t W, int32_t H, int32_t lcnt, int32_t harcnt,
                                const double density[3], uint32_t seed);

// A directional light travelling along d with colour c.
LightSrc DirLight(const Vec3& d, float r = 1.0f, float g = 1.0f, float b = 1.0f);

// A W x H environment map of seeded random values in 0..2 per channel.
std::shared_ptr<const EnvMap> RandomEnvMap(int32_t W, int32_t H, uint32_t seed);

// An environment light (kind Environment) with `map`, travelling along d, spun by
// `spin` degrees, with colour c.
LightSrc EnvLight(std::shared_ptr<const EnvMap> map, const Vec3& d = {0, 0, -1},
                  float spin = 0.0f, float r = 1.0f, float g = 1.0f, float b = 1.0f);

// All photo bytes of grid 0, image after image.
std::vector<uint8_t> AllPixels(const SlabRecord& slab);

// Sets every photo of grid 0 to a pattern (so that kept pixels are visible).
void FillPhotos(SlabRecord& slab, uint8_t value);

}  // namespace lumo::testing
