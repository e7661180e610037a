// What the relighting engine (relight/reconstruct.cpp) and its sequential
// reference (testing/recon_reference.cpp) share, so that it is written once:
// the window, the term counts, the report lines, the mode, the checks of the
// image loop and the per-pixel arrays. Private to those two; everything else
// takes the slab frame from relight/slab_frame.h.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "base/message_sink.h"
#include "base/status.h"
#include "geom/vec.h"
#include "io/depth_map.h"
#include "relight/light_source.h"
#include "relight/recon_request.h"
#include "relight/slab_frame.h"
#include "scene/brdf_image.h"
#include "scene/slab_record.h"

namespace lumo {

// A window function's pixel range: the requested ranges (each ordered,
// smaller bound first) intersected with the BrdfImage's window.
struct PixelWindow {
    int32_t x0 = 0, x1 = -1, y0 = 0, y1 = -1;
    bool empty() const { return x0 > x1 || y0 > y1; }
    bool Contains(int32_t x, int32_t y) const {
        return x >= x0 && x <= x1 && y >= y0 && y <= y1;
    }
};
PixelWindow ClipWindow(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                       int32_t yb);

// Coefficients each pixel of `brdf` sums: its stored ones, at most `terms`,
// none for terms <= 0.
int32_t TermsFor(const BrdfImage& brdf, int32_t terms);

// Basis bands needed for the first `terms` coefficients.
int32_t BandsFor(int32_t terms);

// width * height of `brdf`, 0 when either is not positive.
size_t PixelCount(const BrdfImage& brdf);

// The window functions' argument checks (relight/reconstruct.h), for the
// engine and its reference alike: a window function does nothing unless they
// hold. The pixel bytes hold 3 per pixel of `brdf`; the per-pixel arrays (the
// angles, and the slide mode's intensities) one entry per pixel.
bool WindowPixelsFit(const BrdfImage& brdf, size_t pixel_bytes);
bool WindowArraysFit(const BrdfImage& brdf, size_t pixel_bytes,
                     std::initializer_list<size_t> per_pixel);
// The several-lights mode: `count` becomes 0..MAX_LIGHTS, and each per-light
// array (angles, colours) holds that many entries.
bool WindowLightsFit(const BrdfImage& brdf, size_t pixel_bytes, int32_t& count,
                     std::initializer_list<size_t> per_light);

// Reports "Reconstruct window xmin=%d xmax=%d, ymin=%d ymax=%d\n" to
// `progress` (nothing when it is empty).
void PrintWindow(const MessageSink& progress, const PixelWindow& w);

enum class ReconMode { kNone, kDirectional, kPoint, kSlide, kEnvironment, kSeveral };

// The mode for `count` lights in use (clamped to the span and MAX_LIGHTS): one
// environment light with a map is kEnvironment, without one kNone.
ReconMode ChooseMode(std::span<const LightSrc> lights, int32_t count);
// Whether the image loop reconstructs image k of the slab: enabled in the UV
// mask, and not skipped by preview. An enabled image whose coefficients and
// pixel buffer do not both have the slab's image size is reported to `errors`
// and skipped.
bool ImageWanted(const SlabRecord& slab, int32_t j, int32_t i, uint8_t preview,
                 const MessageSink& errors);

// The per-slab arrays of the point and slide modes.
struct PixelAngles {
    std::vector<float> cost, cosp, sinp;
    std::vector<Rgb> intensity;  // slide mode only
};
// Allocates the arrays for `pixels` entries; with_intensity adds the slide
// array. Failures: "no memory for cost, cosp, sinp\n" or "no memory for cost,
// cosp, sinp, intensity\n".
Status AllocPixelAngles(size_t pixels, bool with_intensity, PixelAngles& out);

}  // namespace lumo
