// EnvMap: an environment picture for the environment light.
//
// A latitude-longitude (equirectangular) picture of the light arriving from
// every direction. Texel (i, j) of a W x H map, row 0 at the top, stands for
// the direction with polar angle theta = pi (j + 0.5) / H from the map's
// zenith and azimuth phi = 2 pi (i + 0.5) / W, that is
// (sin theta cos phi, sin theta sin phi, cos theta) in the map's frame, and
// covers the solid angle (2 pi / W)(pi / H) sin theta.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/status.h"
#include "io/image_file.h"

namespace lumo {

struct EnvMap {
    std::string name;  // the file it was read from
    int32_t width = 0;
    int32_t height = 0;
    std::vector<float> rgb;  // width * height * 3, top row first

    // Channel c (0..2) of texel (i, j).
    float At(int32_t i, int32_t j, int c) const {
        return rgb[(static_cast<size_t>(j) * static_cast<size_t>(width) +
                    static_cast<size_t>(i)) *
                       3 +
                   static_cast<size_t>(c)];
    }
};

// The map of a picture: grey pictures (one or two channels) light all three
// channels alike, a fourth channel (alpha) is dropped. Fails with
// "[EnvMap]: %s is %d x %d: an environment map is at least 2 x 1\n" for a
// picture narrower than 2 x 1 (`name` in the message and in the map), or
// "[EnvMap]: %s: the value at x %d, y %d is not a finite number\n" for the
// first NaN or infinity in a channel the map uses (y counted from the top).
Status MakeEnvMap(const FloatImage& image, const std::string& name, EnvMap& map);

// Reads `path` through the image library (8-bit values / 255, 16-bit values
// / 65535, floating point as stored) and makes its map. Fails with the
// library's one-line message naming the file, or as MakeEnvMap.
Status LoadEnvMap(const std::string& path, std::shared_ptr<const EnvMap>& out);

}  // namespace lumo
