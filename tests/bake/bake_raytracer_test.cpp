// The baker's ray tracer: hits, normals, hard shadows and the response model
// that the relighting engine has to reproduce.
#include <gtest/gtest.h>

#include <cmath>

#include "bake/raytracer.h"
#include "tests/support/expect_vec3d.h"

namespace lumo::tool {
namespace {

constexpr double kTol = 1e-9;

Material Matte(double r, double g, double b) {
    Material m;
    m.diffuse = {r, g, b};
    return m;
}

// A ground tile at z = 0 (half size 2) with a unit sphere standing on it at
// (0, 0, 1) and a box beside it.
Scene TestScene() {
    Scene s;
    s.materials = {Matte(0.5, 0.5, 0.5), Matte(1, 0, 0)};
    s.shapes.push_back(MakeGround({0, 0, 0}, 2.0, 2.0, 0));
    s.shapes.push_back(MakeSphere({0, 0, 1}, 1.0, 1));
    s.shapes.push_back(MakeBox({1.5, 1.5, 0.25}, {0.25, 0.25, 0.25}, 0.0, 1));
    return s;
}

TEST(BakeRaytracerTest, FindsTheNearestSurfaceWithItsNormal) {
    const Scene scene = TestScene();
    struct Case {
        const char* name;
        Ray ray;
        int shape;
        double t;
        Vec3d normal;
    };
    const Case cases[] = {
        {"sphere top", {{0, 0, 5}, {0, 0, -1}}, 1, 3.0, {0, 0, 1}},
        {"ground beside the sphere", {{-1.5, 0, 5}, {0, 0, -1}}, 0, 5.0, {0, 0, 1}},
        {"box top", {{1.5, 1.5, 5}, {0, 0, -1}}, 2, 4.5, {0, 0, 1}},
        {"box side", {{3, 1.5, 0.25}, {-1, 0, 0}}, 2, 1.25, {1, 0, 0}},
        {"sphere side", {{-3, 0, 1}, {1, 0, 0}}, 1, 2.0, {-1, 0, 0}},
        {"ground from below", {{0.5, -1.5, -1}, {0, 0, 1}}, 0, 1.0, {0, 0, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SurfacePoint sp = Intersect(scene, c.ray);
        ASSERT_EQ(c.shape, sp.shape);
        EXPECT_NEAR(c.t, sp.t, kTol);
        ExpectNear(c.normal, sp.normal, kTol);
        ExpectNear(c.ray.origin + c.ray.dir * c.t, sp.point, kTol);
    }
}

TEST(BakeRaytracerTest, MissesOutsideTheGroundTileAndBehindTheOrigin) {
    const Scene scene = TestScene();
    EXPECT_FALSE(Intersect(scene, {{2.5, 0, 5}, {0, 0, -1}}).hit());  // beside the tile
    EXPECT_FALSE(Intersect(scene, {{0, 0, 5}, {0, 0, 1}}).hit());     // looking away
    EXPECT_FALSE(Intersect(scene, {{0, 0, 5}, {1, 0, 0}}).hit());     // parallel
}

TEST(BakeRaytracerTest, TurnedBoxesAreHitOnTheirTurnedFaces) {
    Scene scene;
    scene.materials = {Matte(1, 1, 1)};
    // A unit cube turned by 45 degrees about z: its corner points along +x.
    scene.shapes.push_back(MakeBox({0, 0, 0}, {0.5, 0.5, 0.5}, M_PI / 4, 0));
    const SurfacePoint front = Intersect(scene, {{3, 0.1, 0}, {-1, 0, 0}});
    ASSERT_TRUE(front.hit());
    EXPECT_NEAR(3.0 - (std::sqrt(0.5) - 0.1), front.t, 1e-12);
    ExpectNear({std::sqrt(0.5), std::sqrt(0.5), 0}, front.normal, 1e-12);
    // Near the corner of the unturned cube's top face: this one is missed.
    EXPECT_FALSE(Intersect(scene, {{0.45, 0.45, 3}, {0, 0, -1}}).hit());
    EXPECT_TRUE(Intersect(scene, {{0.45, 0.2, 3}, {0, 0, -1}}).hit());
}

// The point (x, y) of the ground tile (shape 0) at z = 0, seen from above.
SurfacePoint GroundPoint(const Scene& scene, double x, double y) {
    EXPECT_EQ(ShapeKind::kGround, scene.shapes[0].kind);
    SurfacePoint sp;
    sp.t = 1.0;
    sp.point = {x, y, 0};
    sp.normal = {0, 0, 1};
    sp.shape = 0;
    return sp;
}

TEST(BakeRaytracerTest, ShadowsAreHardAndEndAtAPointLight) {
    const Scene scene = TestScene();
    const Vec3d up{0, 0, 1};
    const Vec3d view{0, 0, 1};
    // The ground beside the sphere's foot: straight up, the sphere is 0.2 away.
    const PointShader near_foot(scene, GroundPoint(scene, 0.6, 0), view);
    EXPECT_EQ(0.0, near_foot.Terms(up).diffuse);  // under the sphere
    const Vec3d away = Normalize({1, 0, 0.2});
    EXPECT_NEAR(0.2 / std::sqrt(1.04), near_foot.Terms(away).diffuse, 1e-12);
    // A point light between the ground and the sphere lights the ground: the
    // shadow ray ends at the light.
    EXPECT_NEAR(1.0, near_foot.Terms(up, 0.15).diffuse, 1e-12);
    EXPECT_EQ(0.0, near_foot.Terms(up, 5.0).diffuse);
    // The box shadows the ground towards -x from it under light from +x.
    const PointShader by_box(scene, GroundPoint(scene, 1.1, 1.5), view);
    const Vec3d low_east = Normalize({1, 0, 0.3});
    EXPECT_EQ(0.0, by_box.Terms(low_east).diffuse);
    EXPECT_GT(by_box.Terms(Normalize({-1, 0, 0.3})).diffuse, 0.0);
    // The sphere's side is shadowed by the ground when the light is below
    // the ground plane but in front of the surface.
    const SurfacePoint side = Intersect(scene, {{-3, 0, 0.5}, {1, 0, 0}});
    ASSERT_EQ(1, side.shape);
    const PointShader sphere_side(scene, side, {-1, 0, 0});
    EXPECT_EQ(0.0, sphere_side.Terms(Normalize({-1, 0, -0.5})).diffuse);
    EXPECT_GT(sphere_side.Terms(Normalize({-1, 0, 0.1})).diffuse, 0.0);
}

TEST(BakeRaytracerTest, ResponseIsDiffuseTimesCosinePlusAHighlight) {
    Scene scene;
    Material glossy = Matte(0.2, 0.4, 0.6);
    glossy.specular = {0.5, 0.5, 0.25};
    glossy.shininess = 8;
    scene.materials = {glossy};
    scene.shapes.push_back(MakeGround({0, 0, 0}, 1, 1, 0));
    const SurfacePoint sp = Intersect(scene, {{0, 0, 1}, {0, 0, -1}});
    const Vec3d view{0, 0, 1};
    const PointShader shader(scene, sp, view);
    ASSERT_TRUE(shader.glossy());
    // Light along the mirror direction of the view: n.h = 1.
    const LightTerms head_on = shader.Terms({0, 0, 1});
    EXPECT_NEAR(1.0, head_on.diffuse, kTol);
    EXPECT_NEAR(1.0, head_on.specular, kTol);
    ExpectNear({0.7, 0.9, 0.85}, shader.Colour(head_on), kTol);
    // At 60 degrees from the normal: cos 0.5; the half vector is 30 degrees
    // off, so the highlight is 0.5 * cos(30)^8.
    const Vec3d l{std::sqrt(0.75), 0, 0.5};
    const LightTerms oblique = shader.Terms(l);
    EXPECT_NEAR(0.5, oblique.diffuse, kTol);
    EXPECT_NEAR(0.5 * std::pow(std::cos(M_PI / 6), 8), oblique.specular, kTol);
    // From behind the surface: nothing.
    const LightTerms behind = shader.Terms(Normalize({0.3, 0, -1}));
    EXPECT_EQ(0.0, behind.diffuse);
    EXPECT_EQ(0.0, behind.specular);
}

TEST(BakeRaytracerTest, CheckeredMaterialsAlternateInXAndY) {
    Scene scene;
    Material m = Matte(1, 1, 1);
    m.diffuse_alt = {0.25, 0.25, 0.25};
    m.checker = 0.5;
    scene.materials = {m};
    scene.shapes.push_back(MakeGround({0, 0, 0}, 2, 2, 0));
    const struct {
        double x, y, r;
    } cases[] = {{0.1, 0.1, 1},     {0.6, 0.1, 0.25}, {0.6, 0.6, 1},
                 {-0.1, 0.1, 0.25}, {-0.1, -0.1, 1},  {-0.6, 0.1, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
        const PointShader shader(scene, GroundPoint(scene, c.x, c.y), {0, 0, 1});
        EXPECT_EQ(c.r, shader.diffuse_colour().x);
    }
}

}  // namespace
}  // namespace lumo::tool
