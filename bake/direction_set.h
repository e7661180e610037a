// The light directions over which the baker measures each pixel's response.
#pragma once

#include <vector>

#include "bake/vec3d.h"

namespace lumo::tool {

// `count` unit vectors spread evenly over the whole sphere (a Fibonacci
// sphere: equal-area bands in z, successive points turned by the golden
// angle). Deterministic; every direction stands for 4 pi / count of the
// sphere's solid angle. Empty for count <= 0.
std::vector<Vec3d> SphereDirections(int count);

}  // namespace lumo::tool
