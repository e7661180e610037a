// Zfile: one depth map in the RenderMan depth-map format, as held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumo {

// Depths of 1e30 or more mean that no surface was hit.
inline constexpr float kNoSurfaceDepth = 1e30f;

struct Zfile {
    int32_t width = 0;   // pixels per row (sign-extended from the file's 16 bits)
    int32_t height = 0;  // rows
    float cameraMatrix[16] = {};  // first header matrix, values in file order
    float screenMatrix[16] = {};  // second header matrix, values in file order
    float maxZ = -1.0f;           // largest depth below 1e30, at least -1
    float minZ = 0.0f;            // smallest depth of all values
    std::vector<float> depth;     // width * height depths, pixel (x, y) at y * width + x

    // The depth at pixel (x, y), or -1 where no surface was hit. The caller
    // keeps x in 0..width-1 and y in 0..height-1.
    float DepthAt(int x, int y) const {
        const float d = depth[static_cast<size_t>(y) * static_cast<size_t>(width) +
                              static_cast<size_t>(x)];
        return d >= kNoSurfaceDepth ? -1.0f : d;
    }
};

}  // namespace lumo
