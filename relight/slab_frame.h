// The slab frame relighting works in: the angles of a light direction
// against the slab's normal and image axes, the byte a relit value becomes,
// the slab's reference frame, the camera of each reference image and the
// surface point each pixel sees.
#pragma once

#include <cstdint>

#include "geom/vec.h"
#include "io/depth_map.h"
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

}  // namespace lumo
