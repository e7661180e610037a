// The built-in scene that `lumotool bake` renders.
#pragma once

#include "bake/raytracer.h"

namespace lumo::tool {

// A checkered ground tile in the plane z = -0.2, 1.32 units across, facing
// the cameras (which look down the z axis), with a matte red sphere, a glossy
// blue sphere and a glossy gold sphere sunk into it up to their equators, a
// low matte green box and a low matte ivory block standing on it. Everything
// lies between z = -0.2 and z = 0, just behind the image plane of DemoSlab.
//
// The sizes are chosen for relighting: hard shadows are what a few bands of
// spherical harmonics reproduce worst, so the objects are low and their
// shadows short (4 bands relight held-out directional lights at about
// 29 dB; taller objects quickly cost several dB).
Scene DemoScene();

}  // namespace lumo::tool
