// Viewer: everything one run of the viewer keeps beside Tcl's own state.
//
// The application's start-up (RunViewer) makes the one Viewer and owns it for
// the whole run; the views' callbacks and the widget commands are registered
// with it bound, so none of them reaches for a global.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/tcl_vars.h"
#include "display/slab_textures.h"
#include "model/model.h"
#include "model/view_path.h"
#include "togl/togl_adapter.h"

struct Togl;

namespace lumo {

struct Viewer {
    explicit Viewer(std::string scene) : scene_file(std::move(scene)) {}
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    std::string scene_file;  // the scene description, whole, as given on the command line
    Model model;             // built when the main view is first made
    LightEditTexts texts;    // the light-editing texts, linked to Tcl string variables
    ViewPath recorded_path;  // the keyframes of addkeyframe, for savepath
    Togl* main_view = nullptr;   // the main view's widget while it exists
    SlabTextures main_textures;  // texture objects of the main view's GL context
    // lightcnt and currlight as they were before each callback (a callback
    // may run others, as `update` runs redraws).
    std::vector<std::pair<int32_t, int32_t>> light_vars_before;
    ToglAdapter adapter;  // the views' callbacks and widget commands
};

}  // namespace lumo
