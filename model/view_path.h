// View paths: keyframes of the main view (and optionally its lights) at
// times, and what the view shows between them.
//
//   {
//     "format": "lumo-path",
//     "version": 1,
//     "keyframes": [
//       {"time": 0, "turn": [0, 0], "zoom": 1, "mode": "centre", "rig": {...}},
//       {"time": 2, "turn": [0.05, -0.1], "zoom": 1.4, "mode": "centre"}
//     ]
//   }
//
// "turn" is the view's quarter turns about x and about y and "zoom" its zoom,
// the state the viewer's pointer commands change; "mode" is "corner" or
// "centre" (optional, default centre); "rig" is an optional light rig object
// (model/light_rig.h). A keyframe without a rig keeps the lights of the last
// keyframe before it that has one (or the lights given elsewhere). Times
// increase strictly.
//
// Between two keyframes the view turns by quaternion slerp and zooms
// linearly; the lights, when both keyframes' rigs have the same number of
// lights of the same kinds and the same "mixed" switch (environments with the same maps),
// turn by slerp of their directions and change colour, distance, aim, field and spin
// linearly; otherwise the earlier keyframe's
// lights and mode hold until the next keyframe. At a keyframe's time the view
// is exactly that keyframe's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "arcball/arcball.h"
#include "base/status.h"
#include "model/light_rig.h"
#include "model/model.h"

namespace lumo {

struct Keyframe {
    float time = 0.0f;
    float turn_x = 0.0f;  // quarter turns about x
    float turn_y = 0.0f;  // quarter turns about y
    float zoom = 1.0f;
    int32_t mode = 1;  // drawslabmode: 0 corner, 1 centre
    std::optional<LightRig> rig;
};

struct ViewPath {
    std::vector<Keyframe> keyframes;
};

// Reads the path text `text`; `name` names it in messages. Fails with
// "[ReadPath]: NAME: WHAT\n" (one line; a rig's own faults as the rig reader
// words them). Each environment map the keyframes name is read once; with
// `maps`, also once with the other rigs and lights that share the cache (a
// command's --rig and --path).
Status ParseViewPath(const std::string& text, const std::string& name, ViewPath& path,
                     MapFileCache* maps = nullptr);
Status ReadViewPath(const std::string& file, ViewPath& path,
                    MapFileCache* maps = nullptr);
std::string ViewPathText(const ViewPath& path);
// Writes through a temporary file and a rename. "[WritePath]: cannot write F\n".
Status WriteViewPath(const std::string& file, const ViewPath& path);

// The model's view, mode and lights as a keyframe at `time`.
Keyframe KeyframeFromModel(const Model& model, float time);

// The view at one time of a path.
struct PathSample {
    float turn_x = 0.0f;
    float turn_y = 0.0f;
    bool use_rotation = false;  // between keyframes: `rotation` replaces the turns
    Quat rotation;
    float zoom = 1.0f;
    int32_t mode = 1;
    std::optional<LightRig> rig;  // none: the lights given elsewhere
};

// The path at time t (before the first keyframe: the first; after the last:
// the last). The path must hold at least one keyframe.
PathSample SamplePath(const ViewPath& path, float t);

// The unit quaternion of the view's turns: turn_y about y after turn_x about x.
Quat TurnsToQuat(float turn_x, float turn_y);
// Spherical interpolation of unit vectors (linear, normalised, when they are
// nearly equal or opposite).
Vec3 SlerpDirection(const Vec3& a, const Vec3& b, float u);

// Gives the main view the sample's turns (or rotation), zoom and mode.
void ApplyViewSample(Model& model, const PathSample& sample);

}  // namespace lumo
