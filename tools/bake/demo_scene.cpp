#include "tools/bake/demo_scene.h"

#include <cmath>

namespace lumo::tool {

Scene DemoScene() {
    constexpr double kGroundZ = -0.35;
    Scene scene;

    Material ground;
    ground.diffuse = {0.78, 0.74, 0.66};
    ground.diffuse_alt = {0.46, 0.44, 0.42};
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

    scene.shapes.push_back(MakeGround({0.0, 0.0, kGroundZ}, 0.70, 0.70, 0));
    scene.shapes.push_back(MakeSphere({-0.24, 0.17, kGroundZ + 0.21}, 0.21, 1));
    scene.shapes.push_back(MakeSphere({0.25, 0.22, kGroundZ + 0.16}, 0.16, 2));
    scene.shapes.push_back(MakeSphere({-0.30, -0.31, kGroundZ + 0.10}, 0.10, 3));
    scene.shapes.push_back(
        MakeBox({0.13, -0.27, kGroundZ + 0.12}, {0.13, 0.08, 0.12}, 0.45, 4));
    scene.shapes.push_back(
        MakeBox({0.46, -0.05, kGroundZ + 0.05}, {0.05, 0.16, 0.05}, -0.2, 5));
    return scene;
}

}  // namespace lumo::tool
