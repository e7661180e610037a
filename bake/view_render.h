// One reference camera's renders: what each pixel sees, its picture under a
// directional or a point light, its depth map, and its response to light
// from many directions projected onto a basis.
#pragma once

#include <cstdint>
#include <vector>

#include "bake/bake_camera.h"
#include "bake/raytracer.h"

namespace lumo::tool {

// The first surface seen by every pixel of camera (a, b).
struct ViewHits {
    int a = 0;
    int b = 0;
    int width = 0;
    int height = 0;
    Vec3d camera;                       // the camera position E
    std::vector<Ray> rays;              // width * height, pixel (x, y) at y * width + x
    std::vector<SurfacePoint> surface;  // same indexing; shape -1 where nothing is hit
};

ViewHits TraceView(const Scene& scene, const BakeSlab& slab, int a, int b);

// A response times 255 becomes a byte as the relighting engine converts its
// sums: 255 above 255, otherwise truncated towards zero (negative values give 0).
uint8_t ResponseByte(float value);

// The view as a W x H RGB image (row y at bytes 3 * (y * W + x)), lit by one
// directional light travelling along `direction` (not necessarily unit) with
// colour `colour` (0..1 per channel). Pixels that see nothing are black.
std::vector<uint8_t> RenderDirectional(const Scene& scene, const ViewHits& view,
                                       const Vec3d& direction, const Vec3d& colour);

// The same under a point light at `position`, without distance falloff;
// shadows end at the light.
std::vector<uint8_t> RenderPoint(const Scene& scene, const ViewHits& view,
                                 const Vec3d& position, const Vec3d& colour);

// The view's depths in depth-map order: W x H floats, pixel (x, y) at
// (H - 1 - y) * W + x, each the distance from the camera to the surface along
// the unit ray, or 1e30 where nothing is hit.
std::vector<float> DepthMapValues(const ViewHits& view);

// Per pixel and channel, `terms` coefficients c_i = (4 pi / K) * sum over the
// K directions L_k of response(L_k) * basis[k * terms + i]: the projection of
// the pixel's response to a directional light onto the basis functions whose
// values at the directions are in `basis`. Only pixels that see a surface
// have coefficients.
struct ViewCoefficients {
    int terms = 0;
    std::vector<uint8_t> present;  // W * H: 1 where the pixel sees a surface
    std::vector<float> coeff[3];   // red, green, blue: W * H * terms, pixel-major
};
ViewCoefficients ProjectResponse(const Scene& scene, const ViewHits& view,
                                 const std::vector<Vec3d>& directions,
                                 const std::vector<float>& basis, int terms);

}  // namespace lumo::tool
