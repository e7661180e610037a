#include "bake/direction_set.h"

#include <cmath>

namespace lumo::tool {

std::vector<Vec3d> SphereDirections(int count) {
    std::vector<Vec3d> dirs;
    if (count <= 0) return dirs;
    dirs.reserve(static_cast<size_t>(count));
    const double golden_angle = M_PI * (3.0 - std::sqrt(5.0));
    for (int k = 0; k < count; ++k) {
        const double z = 1.0 - (2.0 * k + 1.0) / count;
        const double r = std::sqrt(std::max(0.0, 1.0 - z * z));
        const double phi = golden_angle * k;
        dirs.emplace_back(r * std::cos(phi), r * std::sin(phi), z);
    }
    return dirs;
}

}  // namespace lumo::tool
