// Model: the viewer's one scene state.
//
// The scene read from its description, the light table, the view and request
// flags, the staged light-edit values and the options the start-up script
// links to Tcl variables. One instance lives for the whole run (TheModel());
// only the Tcl/Togl callbacks name it. Everything below the application takes
// a Model& (or the slab records and lights it needs), so tests build their own.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "geom/mat.h"
#include "relight/light_source.h"
#include "scene/lid_info.h"

namespace lumo {

struct Model {
    // The scene. Null until model set-up has built it; owned.
    std::unique_ptr<LidInfo> info;

    // Lights: lights[0 .. lightcnt-1] are in use.
    std::array<LightSrc, MAX_LIGHTS> lights;
    int32_t lightcnt = 1;       // Tcl-linked
    int32_t currlight = 0;      // Tcl-linked: the light being edited
    int32_t currlighttype = 0;  // Tcl-linked: the LightKind chgltype applies

    // Set-up and requests.
    uint8_t slab_visible[32] = {};  // the views draw slab i only when 1
    uint8_t qr_mode = 0;            // a slab declares a QR grid
    uint8_t recon_request = 0;      // reconstruct before the next draw
    uint8_t dump_request = 0;       // write "transfrm.txt" in the next display
    int32_t depth_requested = 0;    // depth maps have been loaded
    uint8_t first_frame_done = 0;   // passed to the per-light passes

    // Main view.
    int32_t window_width = 300;
    int32_t window_height = 300;
    int32_t window_center[2] = {150, 150};  // half the size, integer division
    float view_turn_y = 0.0f;               // quarter turns about y
    float view_turn_x = 0.0f;               // quarter turns about x
    float zoom = 1.0f;
    float zoom_start = 1.0f;  // zoom at the start of a zoom drag
    int32_t pointer_last[2] = {};
    int32_t pointer_press[2] = {};
    float zoom_axis[2] = {};  // from the window centre at the start of a zoom drag
    Mat4 base_modelview;      // the modelview right after the viewing transform
    // RGB image (window_width x window_height x 3, rows bottom-up) of all
    // lights but others_cache_light, for redrawing only the light being edited.
    std::vector<uint8_t> others_cache;
    int32_t others_cache_light = -1;  // -1: the cache is invalid
    int32_t seen_lightcnt = 0;        // as seen by the last svnotifylightchg
    int32_t seen_lighttype = 0;

    // Light edits waiting for svnotifylightchg.
    float pending_radius = 3.0f;
    float pending_color[3] = {1.0f, 1.0f, 1.0f};
    float pending_lookat[3] = {0.0f, 0.0f, 0.0f};
    float pending_up[3] = {0.0f, 1.0f, 0.0f};
    float pending_fov[2] = {45.0f, 45.0f};
    char last_slide_name[100] = {};  // slide last loaded through svnotifylightchg

    // Frame-rate meter and output.
    double frame_time_total = 0.0;
    int32_t frame_count = 0;
    int32_t grab_counter = 0;  // number of the next screen grab

    // Options linked to Tcl integer variables.
    int32_t skipconstpoly = 1;
    int32_t skipbilinpoly = 1;
    int32_t constgridenable = 1;
    int32_t bilingridenable = 0;
    int32_t preview = 1;
    int32_t show_fps = 0;
    int32_t drawslabmode = 1;

    // Strings linked to Tcl string variables. Tcl owns and replaces the
    // buffers (its allocator); null until the main view links them.
    char* harcnt_s = nullptr;
    char* radius_s = nullptr;
    char* slidelookat_s = nullptr;
    char* slideup_s = nullptr;
    char* slidefov_s = nullptr;
    char* slidename = nullptr;

    // Light-editing view.
    int32_t lightview_width = 300;
    int32_t lightview_height = 300;
    Mat4 lightview_projection;
    Mat4 lightview_modelview;
    float arcball_pointer[2] = {};

    Model();
};

// lightcnt kept within 0..MAX_LIGHTS (a script may write any integer to it);
// returns the number of lights in use.
int32_t LightsInUse(Model& model);

// The light being edited, or null when no light is in use or currlight does
// not name a light of the table.
LightSrc* CurrentLight(Model& model);

// The viewer's model, alive for the whole run.
Model& TheModel();

}  // namespace lumo
