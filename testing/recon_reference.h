// The sequential reference of the reconstruction.
//
// Written straight from the algorithm, one pixel and one channel at a time
// through EvalShBasis and EvalShPixel, on one thread. It takes the same
// request, chooses its slab driver through the same table
// (relight/recon_dispatch.h) and reports the same lines as the production
// functions of relight/reconstruct.h, which must produce
// exactly its bytes; tests and the benchmark compare the two. Its failures
// are the production functions' (and, for the several-lights buffer,
// "[ReconWMultDirLight]: no memory for buf\n"), returned as a Status.
#pragma once

#include <cstdint>
#include <span>

#include "base/message_sink.h"
#include "base/status.h"
#include "relight/env_projection.h"
#include "relight/light_source.h"
#include "relight/recon_request.h"
#include "scene/brdf_image.h"
#include "scene/lid_info.h"
#include "scene/slab_record.h"

namespace lumo::reference {

Status ReconstructAll(LidInfo& info, const ReconRequest& request);

Status RelightSlabDirectional(SlabRecord& slab, const ReconRequest& request);
Status RelightSlabPoint(SlabRecord& slab, const ReconRequest& request);
Status RelightSlabSlide(SlabRecord& slab, const ReconRequest& request);
Status RelightSlabEnvironment(SlabRecord& slab, const ReconRequest& request);
Status RelightSlabSeveral(SlabRecord& slab, const ReconRequest& request);

// The environment's projection, texel after texel on one thread, uncached.
Status ProjectEnvironment(const EnvMap& map, const EnvFrame& frame, const Vec3& n,
                          const Vec3& s, const Vec3& t, int32_t bands, EnvBasis& out);
Status RelightWindowEnvironment(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                                int32_t yb, const EnvBasis& basis, const float color[3],
                                std::span<uint8_t> pixels, int32_t terms,
                                const MessageSink& progress);

Status RelightWindowDirectional(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                                int32_t yb, float cost, float cosp, float sinp,
                                const float color[3], std::span<uint8_t> pixels,
                                int32_t terms, const MessageSink& progress);
Status RelightWindowPoint(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                          int32_t yb, std::span<const float> cost,
                          std::span<const float> cosp, std::span<const float> sinp,
                          const float color[3], std::span<uint8_t> pixels, int32_t terms,
                          const MessageSink& progress);
Status RelightWindowSlide(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                          int32_t yb, std::span<const float> cost,
                          std::span<const float> cosp, std::span<const float> sinp,
                          std::span<const Rgb> intensity, std::span<uint8_t> pixels,
                          int32_t terms, const MessageSink& progress);
Status RelightWindowSeveral(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                            int32_t yb, std::span<const float> cost,
                            std::span<const float> cosp, std::span<const float> sinp,
                            std::span<const Rgb> colors, int32_t count,
                            std::span<uint8_t> pixels, int32_t terms,
                            const MessageSink& progress);

}  // namespace lumo::reference
