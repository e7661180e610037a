#include "bake/demo_scene.h"

namespace lumo::tool {

Scene DemoScene() {
    constexpr double kGroundZ = -0.2;
    Scene scene;

    Material ground;
    ground.diffuse = {0.56, 0.53, 0.48};
    ground.diffuse_alt = {0.33, 0.32, 0.30};
    ground.checker = 0.15;
    Material red;
    red.diffuse = {0.80, 0.16, 0.12};
    Material blue;
    blue.diffuse = {0.12, 0.22, 0.62};
    blue.specular = {0.45, 0.45, 0.45};
    blue.shininess = 24;
    Material gold;
    gold.diffuse = {0.55, 0.40, 0.10};
    gold.specular = {0.50, 0.42, 0.20};
    gold.shininess = 16;
    Material green;
    green.diffuse = {0.18, 0.58, 0.22};
    Material ivory;
    ivory.diffuse = {0.86, 0.84, 0.74};
    scene.materials = {ground, red, blue, gold, green, ivory};

    // The spheres are sunk into the ground up to their equators: from the
    // cameras above they look like whole spheres, and their shadows stay
    // short enough for a few bands of coefficients to follow.
    scene.shapes.push_back(MakeGround({0.0, 0.0, kGroundZ}, 0.66, 0.66, 0));
    scene.shapes.push_back(MakeSphere({-0.22, 0.16, kGroundZ}, 0.17, 1));
    scene.shapes.push_back(MakeSphere({0.24, 0.21, kGroundZ}, 0.14, 2));
    scene.shapes.push_back(MakeSphere({-0.28, -0.29, kGroundZ}, 0.085, 3));
    scene.shapes.push_back(
        MakeBox({0.12, -0.26, kGroundZ + 0.045}, {0.11, 0.07, 0.045}, 0.45, 4));
    scene.shapes.push_back(
        MakeBox({0.44, -0.05, kGroundZ + 0.035}, {0.04, 0.14, 0.035}, -0.2, 5));
    return scene;
}

}  // namespace lumo::tool
