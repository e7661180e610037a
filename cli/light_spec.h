// The light descriptions of `lumotool relight --light SPEC`.
//
// SPEC is a list of key=value pairs separated by spaces or semicolons:
//   kind=dir|point|slide|env|reserved   (default dir; env and reserved are
//                    both kind 2, env needs a map)
//   dir=X,Y,Z        the way the light travels; normalised (default 0,0,-1)
//   radius=R         distance from the origin; below 1 becomes 1 (default 3)
//   color=R,G,B      in 0..1 (default 1,1,1)
//   lookat=X,Y,Z     slide projector's aim (default 0,0,0)
//   up=X,Y,Z         slide projector's up vector (default 0,1,0)
//   fov=H,V          slide field in degrees, each clamped to 0..180 (default 45,45)
//   slide=FILE       slide image (default slide.rgb)
//   map=FILE         the environment light's map (relight/env_map.h)
//   spin=DEG         the environment's turn about its zenith, degrees
#pragma once

#include <string>
#include <string_view>

#include "relight/light_source.h"

namespace lumo::tool {

struct LightSpec {
    LightKind kind = Directional;
    Vec3 direction{0.0f, 0.0f, -1.0f};
    float radius = 3.0f;
    float color[3] = {1.0f, 1.0f, 1.0f};
    Vec3 lookat{0.0f, 0.0f, 0.0f};
    Vec3 up{0.0f, 1.0f, 0.0f};
    float fov[2] = {45.0f, 45.0f};
    std::string slide = "slide.rgb";
    std::string map;  // kind=env: the environment map
    float spin = 0.0f;
    bool env = false;  // kind=env was given
};

// Parses `text` into `spec` (starting from the defaults). On failure returns
// false with a one-line reason in `error`.
bool ParseLightSpec(std::string_view text, LightSpec& spec, std::string& error);

// Gives `light` the spec's values as the viewer's light commands would: the
// light is reset first; a slide projector loads its slide, an environment
// light its map (a map that cannot be read ends the program with the reader's
// one line naming the file).
void ApplyLightSpec(const LightSpec& spec, LightSrc& light);

}  // namespace lumo::tool
