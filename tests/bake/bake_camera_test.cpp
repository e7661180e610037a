// Where the baker's cameras stand, which ray each pixel is, and the slab
// frame the coefficients are measured in.
#include <gtest/gtest.h>

#include <cmath>

#include "bake/bake_camera.h"
#include "tests/support/expect_vec3d.h"

namespace lumo::tool {
namespace {

constexpr double kTol = 1e-12;

TEST(BakeCameraTest, CamerasStandAtTheCellCentresOfTheCameraPlane) {
    const BakeSlab slab = DemoSlab(2, 32);
    ExpectNear({-0.3, -0.3, 2}, CameraPosition(slab, 0, 0), kTol);
    ExpectNear({0.3, -0.3, 2}, CameraPosition(slab, 1, 0), kTol);  // column first
    ExpectNear({-0.3, 0.3, 2}, CameraPosition(slab, 0, 1), kTol);
    ExpectNear({0.3, 0.3, 2}, CameraPosition(slab, 1, 1), kTol);
    const BakeSlab eight = DemoSlab(8, 128);
    ExpectNear({-0.525, 0.375, 2}, CameraPosition(eight, 0, 6), kTol);
}

TEST(BakeCameraTest, PixelsAreRaysThroughTheirImagePlanePoints) {
    const BakeSlab slab = DemoSlab(2, 32);
    const double half_pixel = 0.5 * 1.2 / 32;
    ExpectNear({-0.6 + half_pixel, -0.6 + half_pixel, 0}, PixelPoint(slab, 0, 0), kTol);
    ExpectNear({0.6 - half_pixel, -0.6 + half_pixel, 0}, PixelPoint(slab, 31, 0), kTol);
    ExpectNear({-0.6 + half_pixel, 0.6 - half_pixel, 0}, PixelPoint(slab, 0, 31), kTol);
    const Vec3d camera = CameraPosition(slab, 1, 0);
    const Ray ray = PixelRay(slab, camera, 5, 20);
    EXPECT_NEAR(1.0, Length(ray.dir), 1e-12);
    const Vec3d p = PixelPoint(slab, 5, 20);
    // The image plane is z = 0, two units below the camera.
    ExpectNear(p, ray.origin + ray.dir * Length(p - camera), kTol);
}

TEST(BakeCameraTest, FrameNormalPointsFromTheImagePlaneToTheCameras) {
    BakeSlab slab = DemoSlab(2, 32);
    BakeFrame f = FrameOf(slab);
    ExpectNear({0, 0, 1}, f.normal, kTol);
    ExpectNear({1, 0, 0}, f.s, kTol);
    ExpectNear({0, 1, 0}, f.t, kTol);
    // Corners listed the other way round give the same normal.
    std::swap(slab.camera.corner[1], slab.camera.corner[3]);
    ExpectNear({0, 0, 1}, FrameOf(slab).normal, kTol);
    // A camera plane below the image plane turns it over.
    for (Vec3d& c : slab.camera.corner)
        c.z = -2;
    ExpectNear({0, 0, -1}, FrameOf(slab).normal, kTol);
}

TEST(BakeCameraTest, TheViewersStartUpCameraSeesBothPlanesWithAMargin) {
    // Eye at (0, 0, 30) looking at the origin with a 3-degree vertical field:
    // every corner of both planes must lie inside the view, and the planes
    // must fill a good part of it.
    const BakeSlab slab = DemoSlab(8, 128);
    const double tan_half = std::tan(1.5 * M_PI / 180.0);
    for (const SlabPlanes* plane : {&slab.camera, &slab.image}) {
        for (const Vec3d& c : plane->corner) {
            const double distance = 30.0 - c.z;
            ASSERT_GT(distance, 0.0);
            EXPECT_LT(std::fabs(c.x) / distance, 0.9 * tan_half);
            EXPECT_LT(std::fabs(c.y) / distance, 0.9 * tan_half);
            EXPECT_GT(std::fabs(c.x) / distance, 0.6 * tan_half);
        }
    }
    // The camera plane lies between the eye and the image plane.
    EXPECT_GT(slab.camera.corner[0].z, slab.image.corner[0].z);
    EXPECT_LT(slab.camera.corner[0].z, 30.0);
}

}  // namespace
}  // namespace lumo::tool
