// The sequential reference of the reconstruction.
//
// Written straight from the algorithm, one pixel and one channel at a time
// through EvalShBasis and EvalShPixel, on one thread. It prints the same lines
// as the production functions of relight/reconstruct.h, which must produce
// exactly its bytes; tests and the benchmark compare the two.
#pragma once

#include <cstdint>
#include <span>

#include "relight/light_source.h"
#include "scene/brdf_image.h"
#include "scene/lid_info.h"
#include "scene/slab_record.h"

namespace lumo::reference {

void ReconstructAll(LidInfo& info, std::span<LightSrc> lights, int32_t lightcnt,
                    uint8_t preview);

void ReconstructSlabDirLight(SlabRecord& slab, const LightSrc& light, uint8_t preview);
void ReconstructSlabPointLight(SlabRecord& slab, const LightSrc& light, uint8_t preview);
void ReconstructSlabSlideLight(SlabRecord& slab, LightSrc& light, uint8_t preview);
void ReconstructSlabMultDirLight(SlabRecord& slab, std::span<const LightSrc> lights,
                                 int32_t count, uint8_t preview);

void ReconDirLight(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya, int32_t yb,
                   float cost, float cosp, float sinp, const float color[3],
                   std::span<uint8_t> pixels);
void ReconPointLight(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                     int32_t yb, std::span<const float> cost, std::span<const float> cosp,
                     std::span<const float> sinp, const float color[3],
                     std::span<uint8_t> pixels);
void ReconSlideLight(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                     int32_t yb, std::span<const float> cost, std::span<const float> cosp,
                     std::span<const float> sinp, std::span<const Rgb> intensity,
                     std::span<uint8_t> pixels);
void ReconWMultDirLight(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                        int32_t yb, std::span<const float> cost,
                        std::span<const float> cosp, std::span<const float> sinp,
                        std::span<const Rgb> colors, int32_t count,
                        std::span<uint8_t> pixels);

}  // namespace lumo::reference
