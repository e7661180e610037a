// The environment map that `lumotool bake` writes beside the demo: a clear
// sky with a sun, for the environment light.
#pragma once

#include "io/image_file.h"

namespace lumo::tool {

// The sun's direction in the map's frame (toward the sun): 50 degrees from
// the zenith, on the same side as the photographs' light.
inline constexpr double kSkySunPolarDegrees = 50.0;
inline constexpr double kSkySunAzimuthDegrees = 142.0;

// A width x height (at least 2 x 1) latitude-longitude map, row 0 at the
// zenith, in linear light: a blue zenith fading to a pale horizon, a dim
// brown ground below the horizon, and a sun disc 6 degrees across whose
// light on a surface facing it is about twice the sky's.
FloatImage SkyMap(int width, int height);

}  // namespace lumo::tool
