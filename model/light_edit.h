// Editing the current light: staged edits applied together, and its kind.
//
// The light-editing fields are staged (StagedEdits) and reach the current
// light only when ApplyLightEdit runs; it also asks for a reconstruction
// before the next draw. The caller parses the text the user typed and passes
// the values in; the outcome says which texts it must rewrite.
#pragma once

#include <cstdint>
#include <string>

#include "base/status.h"
#include "model/model.h"

namespace lumo {

// Slide names are kept in 100-byte buffers: at most this many characters.
inline constexpr size_t kMaxSlideName = 99;
// The slide a slide projector gets when no name is given.
inline constexpr const char* kDefaultSlideName = "slide.rgb";

// The staged values of a new light: radius 3, look-at (0, 0, 0), up
// (0, 1, 0), fields of view 45 x 45 degrees (the colour is kept).
void ResetStagedEdits(StagedEdits& staged);
// The staged values taken from `light`.
void StageFromLight(StagedEdits& staged, const LightSrc& light);
// The staged colour from bytes 0..255 (not clamped).
void StageColourBytes(StagedEdits& staged, float r, float g, float b);

// What the caller parsed from the light-editing texts.
struct LightEditInput {
    int32_t harmonics = 0;  // harmonics to reconstruct with, clamped to 0..max_terms
    float radius = 0.0f;    // below 1 (or not a number) becomes 1
    // The slide fields, each already holding the staged value where the text
    // gave none; used only for a slide projector. Angles are clamped to 0..180.
    float lookat[3] = {};
    float up[3] = {};
    float fov[2] = {};
    std::string slide_name;  // empty: the default slide
};

enum class SlideNameOutcome : uint8_t {
    kNotSlide,   // the current light is not a slide projector (or there is none)
    kKept,       // the name is the slide loaded last: nothing loaded
    kLoaded,     // the named slide was loaded
    kDefaulted,  // no name: kDefaultSlideName was loaded
    kTooLong,    // longer than kMaxSlideName: the slide is unchanged
};

struct LightEditOutcome {
    int32_t harmonics = 0;        // the harmonic terms applied (RelightSettings::terms)
    bool radius_clamped = false;  // the radius became 1
    bool slide_edited = false;    // the slide fields were applied (staged.fov clamped)
    SlideNameOutcome slide_name = SlideNameOutcome::kNotSlide;
    // The slide reader's failure (LightSrc::SetSlideName): the edit stopped
    // at the slide, and the program ends with its message.
    Status failure;
};

// Applies `input` through the staged values to the current light: harmonics,
// radius, the staged colour, and for a slide projector its look-at point, up
// vector, angles and slide. Invalidates the multi-light cache when the light
// count or kind changed since the last call, and requests a reconstruction.
LightEditOutcome ApplyLightEdit(Model& model, const LightEditInput& input);

enum class KindChange : uint8_t {
    kNoLight,      // no light is in use: nothing changed
    kUnknownKind,  // currlighttype names no kind: nothing changed
    kChanged,
};

// Reads the environment map `path` (relight/env_map.h) for the current
// light, which must be an environment light (kind 2), and asks for a
// reconstruction. Fails with "no environment light is selected" or the
// reader's one-line message naming the file; the light is then unchanged.
Status SetCurrentEnvMap(Model& model, const std::string& path);

// Gives the current light the kind currlighttype names (what happened in
// `change`); the first time a light becomes non-directional the depth maps are
// loaded, and their reader's failure is returned.
Status ChangeLightKind(Model& model, KindChange& change);

}  // namespace lumo
