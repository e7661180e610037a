#include "bake/sky_map.h"

#include <algorithm>
#include <cmath>

namespace lumo::tool {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSunRadiusDegrees = 3.0;
constexpr double kSunRadiance = 300.0;

}  // namespace

FloatImage SkyMap(int width, int height) {
    FloatImage image;
    image.width = std::max(width, 2);
    image.height = std::max(height, 1);
    image.channels = 3;
    image.pixels.resize(static_cast<size_t>(image.width) *
                        static_cast<size_t>(image.height) * 3);
    const double sun_theta = kSkySunPolarDegrees * kPi / 180.0;
    const double sun_phi = kSkySunAzimuthDegrees * kPi / 180.0;
    const double sun[3] = {std::sin(sun_theta) * std::cos(sun_phi),
                           std::sin(sun_theta) * std::sin(sun_phi), std::cos(sun_theta)};
    const double sun_cos = std::cos(kSunRadiusDegrees * kPi / 180.0);
    for (int j = 0; j < image.height; ++j) {
        const double theta = kPi * (j + 0.5) / image.height;
        const double up = std::cos(theta);  // 1 at the zenith, 0 at the horizon
        double rgb[3];
        if (up >= 0.0) {
            // Pale near the horizon, deep blue overhead.
            const double t = std::pow(up, 0.6);
            rgb[0] = 0.75 + (0.18 - 0.75) * t;
            rgb[1] = 0.78 + (0.32 - 0.78) * t;
            rgb[2] = 0.85 + (0.75 - 0.85) * t;
        } else {
            // Ground: darker the further below the horizon.
            const double t = std::min(1.0, -up * 3.0);
            rgb[0] = 0.22 - 0.08 * t;
            rgb[1] = 0.18 - 0.07 * t;
            rgb[2] = 0.14 - 0.06 * t;
        }
        for (int i = 0; i < image.width; ++i) {
            const double phi = 2.0 * kPi * (i + 0.5) / image.width;
            const double d[3] = {std::sin(theta) * std::cos(phi),
                                 std::sin(theta) * std::sin(phi), up};
            const bool in_sun = d[0] * sun[0] + d[1] * sun[1] + d[2] * sun[2] >= sun_cos;
            float* p =
                &image.pixels[(static_cast<size_t>(j) * static_cast<size_t>(image.width) +
                               static_cast<size_t>(i)) *
                              3];
            p[0] = static_cast<float>(in_sun ? kSunRadiance : rgb[0]);
            p[1] = static_cast<float>(in_sun ? kSunRadiance * 0.95 : rgb[1]);
            p[2] = static_cast<float>(in_sun ? kSunRadiance * 0.85 : rgb[2]);
        }
    }
    return image;
}

}  // namespace lumo::tool
