// Pieces shared by the reconstruction's production path and its sequential
// reference: light angles, the byte conversion, the window, the slab's
// reference frame, per-pixel geometry and the checks of the image loop.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/message_sink.h"
#include "base/status.h"
#include "geom/vec.h"
#include "io/depth_map.h"
#include "relight/light_source.h"
#include "scene/brdf_image.h"
#include "scene/slab_record.h"

namespace lumo {

// The three values EvalShBasis takes for a light direction.
struct ShAngles {
    float cost = 1.0f;  // cos theta, theta the angle to the slab normal
    float cosp = 1.0f;  // cos phi, phi the azimuth in the reference plane
    float sinp = 0.0f;  // sin phi
};

// LightAngles: unit vector L toward a light -> (cos theta, cos phi, sin phi)
// against the slab normal n and the image-plane axes s, t. Directions within
// 1e-10 of +-n, and directions whose part in the plane has no length, use
// phi = 0.
ShAngles LightAngles(const Vec3& L, const Vec3& n, const Vec3& s, const Vec3& t);

// A value times 255 as a pixel byte: 255 above 255, otherwise truncated toward
// zero; negative and not-a-number values give 0.
inline uint8_t ToByte(float v) {
    if (v > 255.0f) return 255;
    if (v >= 0.0f) return static_cast<uint8_t>(static_cast<int>(v));
    return 0;
}

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

// The reference frame of a slab, shared by its images: normal n, unit image
// axes s, t; pixel (x, y) of a W x H image lies at P0 + x ds + y dt on the
// image plane.
struct SlabFrame {
    Vec3 n, s, t;
    Vec3 P0, ds, dt;
    int32_t W = 0, H = 0;
};
SlabFrame MakeSlabFrame(const SlabRecord& slab);

// The camera of reference image (column j, row i): the UV grid's sample
// position (cell centre).
Vec3 EyePoint(const SlabRecord& slab, int32_t j, int32_t i);

// The surface point that pixel (x, y) sees from eye E: E + depth * unit(P - E)
// with the depth of `zfile` at (x, H - 1 - y), or the image-plane point P when
// there is no depth map, the map does not cover the pixel, or it records no
// surface there (a negative depth).
Vec3 SurfacePoint(const SlabFrame& frame, const Vec3& E, const Zfile* zfile, int32_t x,
                  int32_t y);

// The depth SurfacePoint uses for pixel (x, y): the depth map's value at
// (x, H - 1 - y), or -1 (no surface) when there is no map, the map does not
// cover the pixel, or it records no surface there.
float DepthFor(const SlabFrame& frame, const Zfile* zfile, int32_t x, int32_t y);

// Unit vector from `surface` toward `light_position`.
Vec3 TowardLight(const Vec3& light_position, const Vec3& surface);

// The depth map of image k, or null when the slab has none for it.
const Zfile* DepthMapOf(const SlabRecord& slab, size_t k);

enum class ReconMode { kNone, kDirectional, kPoint, kSlide, kEnvironment, kSeveral };

// The mode for `count` lights in use (clamped to the span and MAX_LIGHTS): one
// environment light with a map is kEnvironment, without one kNone.
ReconMode ChooseMode(std::span<const LightSrc> lights, int32_t count);
int32_t LightsInUse(std::span<const LightSrc> lights, int32_t count);
// All of `lights`, at most MAX_LIGHTS.
int32_t LightsInUse(std::span<const LightSrc> lights);

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
