// Light rigs: a set of lights saved to a JSON file and read back.
//
//   {
//     "format": "lumo-rig",
//     "version": 1,
//     "harmonics": 16,        // harmonic terms evaluated (optional)
//     "current": 0,           // the light being edited (optional, default 0)
//     "mixed": true,          // several lights each by their own kind, added
//                             // (optional, default false: they act as
//                             // directional lights)
//     "lights": [             // at most 30
//       {"kind": "dir", "dir": [0, 0, -1], "radius": 3, "color": [1, 1, 1]},
//       {"kind": "slide", "dir": [...], "radius": 4, "color": [...],
//        "lookat": [0, 0, 0], "up": [0, 1, 0], "fov": [30, 30],
//        "slide": "slide.rgb"}
//     ]
//   }
//
// A light's members are the keys of `--light SPEC` (model/light_spec.h):
// words and file names as strings, numbers as numbers, several numbers as an
// array. Reading turns each member into its key=value text and sets it
// through SetLightSpecKey, so a rig and the equivalent `--light` flags give
// the same lights, value for value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"
#include "model/float_json.h"
#include "model/light_spec.h"
#include "model/model.h"

namespace lumo {

struct LightRig {
    int32_t harmonics = -1;  // -1: not given (the harmonics are left as they are)
    int32_t current = 0;
    bool mixed = false;  // written only when true
    std::vector<LightSpec> lights;
};

// Reads the rig text `text`; `name` names it in messages. Fails with
// "[ReadRig]: NAME: WHAT\n", one line: bad JSON, a missing or wrong format
// name or version, wrong types, unknown keys or kinds, more than 30 lights,
// a current light out of range, or a slide that cannot be read (slides are
// read as the viewer reads them, relative to the current directory). With
// `maps`, an environment map already in the cache is not read again, and one
// read is added to it.
Status ParseLightRig(const std::string& text, const std::string& name, LightRig& rig,
                     MapFileCache* maps = nullptr);
// As ParseLightRig, from parsed JSON (a rig inside another file); `maps`
// (when given) is shared by the rigs of one file, so each map is read once.
Status LightRigFromJson(const FloatJson& json, const std::string& name, LightRig& rig,
                        MapFileCache* maps = nullptr);
// Reads the rig file `path`; fails as ParseLightRig does, or with
// "[ReadRig]: PATH: cannot read the file\n".
Status ReadLightRig(const std::string& path, LightRig& rig, MapFileCache* maps = nullptr);

// The rig as JSON text (two-space indents, one light per array element).
std::string LightRigText(const LightRig& rig);
// Writes the rig to `path` (a temporary file, then renamed). Fails with
// "[WriteRig]: cannot write PATH\n".
Status WriteLightRig(const std::string& path, const LightRig& rig);

// The model's lights in use, its harmonics, its current light and its
// mixed-lights switch.
LightRig RigFromModel(const Model& model);

// Replaces the model's lights by the rig's: the lights in use, the slots
// beyond them reset, the current light and its kind, the mixed-lights switch,
// the harmonics when the rig gives them; loads the depth maps when a light is
// not directional (once, as the light-kind command does), and asks for a
// reconstruction. Fails with the first slide or depth reader's message, the
// rig then half applied.
Status ApplyLightRig(Model& model, const LightRig& rig);

}  // namespace lumo
