#include "relight/env_map.h"

#include <cmath>

#include "base/str_printf.h"

namespace lumo {

Status MakeEnvMap(const FloatImage& image, const std::string& name, EnvMap& map) {
    if (image.width < 2 || image.height < 1 || image.channels < 1 ||
        image.pixels.size() < static_cast<size_t>(image.width) *
                                  static_cast<size_t>(image.height) *
                                  static_cast<size_t>(image.channels))
        return Status::Error(
            StrPrintf("[EnvMap]: %s is %d x %d: an environment map is at least 2 x 1\n",
                      name.c_str(), image.width, image.height));
    map.name = name;
    map.width = image.width;
    map.height = image.height;
    map.rgb.assign(
        static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3, 0.0f);
    const bool grey = image.channels < 3;
    for (int32_t j = 0; j < image.height; ++j) {
        for (int32_t i = 0; i < image.width; ++i) {
            const size_t o = (static_cast<size_t>(j) * static_cast<size_t>(image.width) +
                              static_cast<size_t>(i)) *
                             3;
            for (int c = 0; c < 3; ++c) {
                const float v = image.At(i, j, grey ? 0 : c);
                // One NaN would spread through every pixel's projection.
                if (!std::isfinite(v)) {
                    map.rgb.clear();
                    return Status::Error(StrPrintf(
                        "[EnvMap]: %s: the value at x %d, y %d is not a finite number\n",
                        name.c_str(), i, j));
                }
                map.rgb[o + static_cast<size_t>(c)] = v;
            }
        }
    }
    return Status::Ok();
}

Status LoadEnvMap(const std::string& path, std::shared_ptr<const EnvMap>& out) {
    FloatImage image;
    Status status = ReadImageFile(path, image);
    if (!status.ok()) return status;
    auto map = std::make_shared<EnvMap>();
    status = MakeEnvMap(image, path, *map);
    if (!status.ok()) return status;
    out = std::move(map);
    return Status::Ok();
}

}  // namespace lumo
