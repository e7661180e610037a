// Light descriptions as key=value text: the `--light SPEC` of lumotool and
// the lights of a rig file, through one table of keys.
//
// SPEC is a list of key=value pairs separated by spaces or semicolons:
//   kind=dir|point|slide|env|reserved   (default dir; env and reserved are
//                    both kind 2: env lights with its map, reserved is dark)
//   dir=X,Y,Z        the way the light travels; normalised unless its length
//                    is already 1 (default 0,0,-1)
//   radius=R         distance from the origin; below 1 becomes 1 (default 3)
//   color=R,G,B      in 0..1 (default 1,1,1)
//   lookat=X,Y,Z     slide projector's aim (default 0,0,0)
//   up=X,Y,Z         slide projector's up vector (default 0,1,0)
//   fov=H,V          slide field in degrees, each clamped to 0..180 (default 45,45)
//   slide=FILE       slide image (default slide.rgb)
//   map=FILE         the environment's map (relight/env_map.h); kind=env needs it
//   spin=DEG         the environment's turn about its zenith (default 0)
//
// A rig file holds the same keys as JSON members; LightSpecKeys() says which
// JSON shape each value has, and the rig reader turns every member back into
// its key=value text and hands it to SetLightSpecKey, so a key added here is
// known to both forms.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/status.h"
#include "relight/env_map.h"
#include "relight/light_source.h"

namespace lumo {

struct LightSpec {
    LightKind kind = Directional;
    Vec3 direction{0.0f, 0.0f, -1.0f};
    float radius = 3.0f;
    float color[3] = {1.0f, 1.0f, 1.0f};
    Vec3 lookat{0.0f, 0.0f, 0.0f};
    Vec3 up{0.0f, 1.0f, 0.0f};
    float fov[2] = {45.0f, 45.0f};
    std::string slide = "slide.rgb";
    bool env = false;                         // kind=env: kind 2 with a map
    std::string map;                          // the environment's map file
    float spin = 0.0f;                        // degrees about the environment's zenith
    std::shared_ptr<const EnvMap> envmap;     // the map, once ResolveLightSpec read it
    std::shared_ptr<const Photo> slideimage;  // the slide, once ResolveLightSpec read it
};

// How a key's value is written: a word or a file name (a JSON string), one
// number, or `count` numbers separated by commas (a JSON array).
enum class SpecShape : uint8_t { kText, kNumber, kNumbers };

struct LightSpecKey {
    std::string_view name;
    SpecShape shape;
    int count;  // numbers in the value: 1 for kNumber, 0 for kText
};

// Every key, in the order they are written.
std::span<const LightSpecKey> LightSpecKeys();
// The key called `name`, or null.
const LightSpecKey* FindLightSpecKey(std::string_view name);

// Sets one key of `spec` from its value text. On failure returns false with a
// one-line reason in `error`.
bool SetLightSpecKey(LightSpec& spec, std::string_view key, std::string_view value,
                     std::string& error);

// Parses `text` into `spec` (starting from the defaults). On failure returns
// false with a one-line reason in `error`.
bool ParseLightSpec(std::string_view text, LightSpec& spec, std::string& error);

// The key=value pairs that give `spec` back through SetLightSpecKey: kind,
// dir, radius and color, for a slide projector lookat, up, fov and slide, for
// an environment map and spin.
// Numbers are the shortest text that reads back as the same float.
std::vector<std::pair<std::string, std::string>> LightSpecPairs(const LightSpec& spec);
// Reads the files a spec names that can fail, the one step by which --light
// and rigs accept or refuse a light: a slide projector's slide and the
// environment's map, kept in the spec for ApplyLightSpec. Fails with
// "cannot read the slide 'FILE'", "kind=env wants map=FILE" or the map
// reader's message (one line, no newline, naming the file). Other kinds:
// nothing to read.
// With `maps`, a file already read by an earlier spec is taken from there: a
// path or a rig naming one map or slide in every keyframe reads it once.
struct MapFileCache {
    std::map<std::string, std::shared_ptr<const EnvMap>> env;
    std::map<std::string, std::shared_ptr<const Photo>> slides;
};
Status ResolveLightSpec(LightSpec& spec, MapFileCache* maps = nullptr);

// The pairs as one SPEC line ("kind=dir dir=0,0,-1 ...").
std::string FormatLightSpec(const LightSpec& spec);

// The description of `light` as it stands.
LightSpec SpecFromLight(const LightSrc& light);

// Gives `light` the spec's values as the viewer's light commands would: the
// light is reset first; a slide projector takes the slide ResolveLightSpec
// read (a spec not resolved loads it); an environment
// light takes the map ResolveLightSpec read (none: it stays dark). Fails with
// the slide reader's message (LightSrc::SetSlideName).
Status ApplyLightSpec(const LightSpec& spec, LightSrc& light);

}  // namespace lumo
