// The built-in scene that `lumotool bake` renders.
#pragma once

#include "tools/bake/raytracer.h"

namespace lumo::tool {

// A checkered ground tile in the plane z = -0.35 (facing the cameras, which
// look down the z axis) with, standing on it, a matte red sphere, a glossy
// blue sphere, a glossy gold sphere, a matte green box and a matte ivory
// block. Everything lies within about 0.7 units of the z axis, between
// z = -0.35 and z = 0.1, around the image plane of DemoSlab.
Scene DemoScene();

}  // namespace lumo::tool
