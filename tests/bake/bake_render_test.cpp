// Renders of one reference camera: pictures under a light, depth maps and the
// projection of each pixel's response onto a basis.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <vector>

#include "bake/direction_set.h"
#include "bake/view_render.h"
#include "io/depth_map.h"

namespace lumo::tool {
namespace {

// A matte ground tile at z = -0.35 that covers only x < 0.1 of the demo
// slab's image plane, so part of every view sees nothing.
Scene HalfGround(double albedo = 0.5) {
    Scene s;
    Material m;
    m.diffuse = {albedo, albedo, albedo};
    s.materials = {m};
    s.shapes.push_back(MakeGround({-0.5, 0, -0.35}, 0.6, 2.0, 0));
    return s;
}

TEST(BakeRenderTest, ResponseBytesConvertAsTheEngineDoes) {
    const struct {
        float value;
        int byte;
    } cases[] = {{300.7f, 255}, {255.0f, 255}, {254.9f, 254}, {0.99f, 0},
                 {0.0f, 0},     {-3.0f, 0},    {NAN, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(c.byte, ResponseByte(c.value));
    }
}

TEST(BakeRenderTest, DepthMapsHoldRayDistancesBottomRowLast) {
    const Scene scene = HalfGround();
    const BakeSlab slab = DemoSlab(2, 16);
    const ViewHits view = TraceView(scene, slab, 1, 0);
    const std::vector<float> depth = DepthMapValues(view);
    ASSERT_EQ(16u * 16u, depth.size());
    int hits = 0;
    int misses = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            SCOPED_TRACE(testing::Message() << "pixel " << x << ", " << y);
            const float d = depth[static_cast<size_t>((15 - y) * 16 + x)];
            const Vec3d p = PixelPoint(slab, x, y);
            const Vec3d dir = Normalize(p - view.camera);
            // Where the ray meets the ground's plane, and whether that point
            // lies on the tile.
            const double t = (-0.35 - view.camera.z) / dir.z;
            const Vec3d on_plane = view.camera + dir * t;
            if (on_plane.x <= 0.1) {
                ++hits;
                EXPECT_NEAR(t, d, 1e-5);
                EXPECT_NEAR(-0.35, (view.camera + dir * static_cast<double>(d)).z, 1e-5);
            } else {
                ++misses;
                EXPECT_EQ(kNoSurfaceDepth, d);
            }
        }
    }
    EXPECT_GT(hits, 0);
    EXPECT_GT(misses, 0);
}

TEST(BakeRenderTest, DirectionalAndPointLightsFollowTheResponseModel) {
    const Scene scene = HalfGround(0.5);
    const BakeSlab slab = DemoSlab(2, 16);
    const ViewHits view = TraceView(scene, slab, 0, 0);
    // Travelling straight down onto the ground: albedo 0.5, cos 1.
    const std::vector<uint8_t> down =
        RenderDirectional(scene, view, {0, 0, -2}, {1, 1, 1});
    // Half as strong in green, from 60 degrees.
    const std::vector<uint8_t> slanted =
        RenderDirectional(scene, view, {-std::sqrt(0.75), 0, -0.5}, {1, 0.5, 1});
    const Vec3d light{0.2, 0.3, 0.5};
    const std::vector<uint8_t> point = RenderPoint(scene, view, light, {1, 1, 1});
    for (size_t i = 0; i < view.surface.size(); ++i) {
        SCOPED_TRACE(i);
        if (!view.surface[i].hit()) {
            EXPECT_EQ(0, down[3 * i]);
            EXPECT_EQ(0, point[3 * i + 2]);
            continue;
        }
        EXPECT_EQ(127, down[3 * i]);
        EXPECT_EQ(63, slanted[3 * i + 0]);
        EXPECT_EQ(31, slanted[3 * i + 1]);
        // No falloff: only the direction to the light matters.
        const Vec3d to_light = Normalize(light - view.surface[i].point);
        EXPECT_EQ(ResponseByte(static_cast<float>(0.5 * to_light.z) * 255.0f),
                  point[3 * i + 1]);
    }
}

TEST(BakeRenderTest, ProjectionMatchesTheIntegralsOfAnUnshadowedMattePoint) {
    // Two basis functions: the constant Y00 = 1 / sqrt(4 pi) and cos(theta).
    // For a matte ground facing +z, response = albedo * max(0, z), so
    // c0 = albedo * pi / sqrt(4 pi) and c1 = albedo * 2 pi / 3.
    const Scene scene = HalfGround(0.5);
    const BakeSlab slab = DemoSlab(2, 8);
    const ViewHits view = TraceView(scene, slab, 0, 1);
    const std::vector<Vec3d> dirs = SphereDirections(1024);
    std::vector<float> basis;
    for (const Vec3d& d : dirs) {
        basis.push_back(static_cast<float>(1.0 / std::sqrt(4 * M_PI)));
        basis.push_back(static_cast<float>(d.z));
    }
    const ViewCoefficients c = ProjectResponse(scene, view, dirs, basis, 2);
    ASSERT_EQ(2, c.terms);
    int present = 0;
    for (size_t i = 0; i < view.surface.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(view.surface[i].hit() ? 1 : 0, c.present[i]);
        for (int ch = 0; ch < 3; ++ch) {
            const float* a = &c.coeff[ch][2 * i];
            if (!c.present[i]) {
                EXPECT_EQ(0.0f, a[0]);
                continue;
            }
            EXPECT_NEAR(0.5 * M_PI / std::sqrt(4 * M_PI), a[0], 2e-3);
            EXPECT_NEAR(0.5 * 2 * M_PI / 3, a[1], 2e-3);
        }
        present += c.present[i];
    }
    EXPECT_GT(present, 0);
    EXPECT_LT(present, 64);
}

TEST(BakeRenderTest, SphereDirectionsAreUnitAndEvenlySpread) {
    EXPECT_TRUE(SphereDirections(0).empty());
    const std::vector<Vec3d> dirs = SphereDirections(1000);
    ASSERT_EQ(1000u, dirs.size());
    double sum[3] = {};
    double square[3] = {};
    int upper = 0;
    int east = 0;
    for (const Vec3d& d : dirs) {
        EXPECT_NEAR(1.0, Length(d), 1e-12);
        const double c[3] = {d.x, d.y, d.z};
        for (int i = 0; i < 3; ++i) {
            sum[i] += c[i];
            square[i] += c[i] * c[i];
        }
        upper += d.z > 0;
        east += d.x > 0;
    }
    // Uniform on the sphere: mean 0, mean square 1/3 along every axis, and
    // every half holds half of the points.
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(0.0, sum[i] / 1000, 0.01) << "axis " << i;
        EXPECT_NEAR(1.0 / 3, square[i] / 1000, 0.01) << "axis " << i;
    }
    EXPECT_EQ(500, upper);
    EXPECT_NEAR(500, east, 10);
}

}  // namespace
}  // namespace lumo::tool
