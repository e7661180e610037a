// Reconstruction of a slab's reference images under the lights.
//
// For every enabled reference image of a BRDF slab, the RGB bytes of its Photo
// (photo[0][k]) are computed from the image's spherical-harmonic coefficients
// (brdf[k]) under the lights in use. The mode follows from the light count and,
// for one light, its kind:
//
//   one Directional light   one direction for the whole slab
//   one Point light          per pixel, from the surface point to the light
//   one SlideProjector       as Point, times the slide intensity
//   one environment light    the map's projection (relight/env_projection.h)
//                            is the light's basis per channel; without a map
//                            nothing is reconstructed
//   two or more lights       environment lights with a map as such, every
//                            other light as a directional light
//   no light                 nothing is reconstructed
//
// The image loop reports "Reconstructing image (%d,%d) ...\n" (column, row) to
// the request's progress sink for each image it reconstructs, clears its
// pixels and runs the mode's window function over the whole image; the window
// functions report their window there too. Every line is reported from the
// calling thread, in the order of the sequential algorithm.
// Pixels outside the BrdfImage's window (the bounding box of the pixels with
// coefficients) stay 0.
//
// Every function returns a Status: the engine's working memory (the basis
// tables, "[InitCoeffArr]: No memory for C1, C2, CC3, CC4\n"; the per-pixel
// arrays of the point and slide modes, "no memory for cost, cosp, sinp\n" or
// "no memory for cost, cosp, sinp, intensity\n") may fail. A failure stops the
// work at once and is returned with its message; the lines reported before it
// stay reported, and the images it reached may be partly written.
//
// These are the production functions: tiled, vectorised across pixels and
// spread over the machine's cores, they give the same bytes and report the
// same lines as the sequential reference in testing/recon_reference.h.
#pragma once

#include <cstdint>
#include <span>

#include "base/message_sink.h"
#include "base/status.h"
#include "relight/light_source.h"
#include "relight/recon_request.h"
#include "relight/slab_frame.h"
#include "scene/brdf_image.h"
#include "scene/lid_info.h"
#include "scene/slab_record.h"

namespace lumo {

// Reconstructs every slab of `info` in order under the request's lights
// (relight/recon_dispatch.h chooses the slab driver). With preview on, images
// whose cell is out of view (subskip[0]) keep their pixels, and when the slab
// says which pixels the next frame shows (slab.shown) only those are relit.
// Each slab's `fresh` records what was relit. Slide projectors
// may update their slide frame (reporting it). The caller clears its own
// reconstruction request.
Status ReconstructAll(LidInfo& info, const ReconRequest& request);

// The slab drivers: each returns at once unless the slab's format is BRDF.
// The one-light drivers use request.lights[0] (nothing without lights).
Status RelightSlabDirectional(SlabRecord& slab, const ReconRequest& request);
Status RelightSlabPoint(SlabRecord& slab, const ReconRequest& request);
Status RelightSlabSlide(SlabRecord& slab, const ReconRequest& request);
// The environment light: its projection for this slab comes from the light's
// cache (computed when its map, frame or the slab's frame changed).
Status RelightSlabEnvironment(SlabRecord& slab, const ReconRequest& request);
// Several lights: an environment light with a map adds its term, every other
// light is taken as directional (its direction and colour only). Model set-up calls this
// directly, with one light and preview off.
Status RelightSlabSeveral(SlabRecord& slab, const ReconRequest& request);

// The window functions. Each works on one BrdfImage over the requested
// columns xa..xb and rows ya..yb (either order), intersected with the image's
// window, and writes `pixels` (width * height * 3 bytes of the BrdfImage's
// size; nothing is done when the span is smaller). Per-pixel arrays are
// indexed y * width + x. `color` is r, g, b. Each pixel sums its first
// min(terms, stored) coefficients; the window line goes to `progress`.

// Reports "Reconstruct window xmin=%d xmax=%d, ymin=%d ymax=%d\n"; channels
// with coefficients become EvalShPixel * color * 255, others are not written.
Status RelightWindowDirectional(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                                int32_t yb, float cost, float cosp, float sinp,
                                const float color[3], std::span<uint8_t> pixels,
                                int32_t terms, const MessageSink& progress);
// As RelightWindowDirectional with the environment's basis of each channel (the values
// become max(0, sum c_i E_i / pi) * color * 255).
Status RelightWindowEnvironment(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                                int32_t yb, const EnvBasis& basis, const float color[3],
                                std::span<uint8_t> pixels, int32_t terms,
                                const MessageSink& progress);
// As RelightWindowDirectional with each pixel's own angles.
Status RelightWindowPoint(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                          int32_t yb, std::span<const float> cost,
                          std::span<const float> cosp, std::span<const float> sinp,
                          const float color[3], std::span<uint8_t> pixels, int32_t terms,
                          const MessageSink& progress);
// Reports "\n\nRecontruct with slide projector source for win x:[%d,%d],
// y:[%d,%d]\n"; every pixel of the window is written: 0 where the intensity is
// (0, 0, 0) or a channel has no coefficients, else EvalShPixel * intensity * 255.
Status RelightWindowSlide(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                          int32_t yb, std::span<const float> cost,
                          std::span<const float> cosp, std::span<const float> sinp,
                          std::span<const Rgb> intensity, std::span<uint8_t> pixels,
                          int32_t terms, const MessageSink& progress);
// Reports the window as RelightWindowDirectional; every pixel of the window is written:
// the sum over lights m of EvalShPixel_m * float(color_m * 255) per channel
// with coefficients, 0 for the others. The angle spans hold `count` entries.
Status RelightWindowSeveral(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                            int32_t yb, std::span<const float> cost,
                            std::span<const float> cosp, std::span<const float> sinp,
                            std::span<const Rgb> colors, int32_t count,
                            std::span<uint8_t> pixels, int32_t terms,
                            const MessageSink& progress);

}  // namespace lumo
