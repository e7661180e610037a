// Model: the viewer's one scene state, in named parts.
//
// The scene read from its description, the light table with each light's
// editing controls, the main view, the light-editing view, the staged light
// edits, the frame-rate meter, the options the start-up script links to
// Tcl integer variables and the settings that change what relighting computes.
// The viewer keeps one for the whole run (in its Viewer) and hands it to its
// callbacks; everything below the application takes a Model& or the part it
// needs, so tests build their own.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "arcball/arcball.h"
#include "geom/mat.h"
#include "model/console.h"
#include "model/light_control.h"
#include "relight/light_source.h"
#include "scene/lid_info.h"

namespace lumo {

// The scene and what set-up derived from it.
struct SceneState {
    std::unique_ptr<LidInfo> info;  // null until model set-up has built it
    uint8_t slab_visible[32] = {};  // the views draw slab i only when 1
    uint8_t qr_mode = 0;            // a slab declares a QR grid
    int32_t depth_requested = 0;    // depth maps have been loaded
};

// The lights: table[0 .. lightcnt-1] are in use. The table stays contiguous
// for the relighting engine; controls[i] belongs to table[i] and moves with it.
struct LightTable {
    std::array<LightSrc, MAX_LIGHTS> table;
    std::array<LightControl, MAX_LIGHTS> controls;
    int32_t lightcnt = 1;       // Tcl-linked
    int32_t currlight = 0;      // Tcl-linked: the light being edited
    int32_t currlighttype = 0;  // Tcl-linked: the LightKind chgltype applies
    // Tcl-linked (mixedlights): 1 evaluates each of several lights by its own
    // kind and adds them; 0 (the default) lets several lights act as
    // directional lights.
    int32_t mixed = 0;
};

// The main view: its size, rotation and zoom, the drag in progress, the
// multi-light cache and the requests for its next redraw.
struct MainView {
    int32_t window_width = 300;
    int32_t window_height = 300;
    int32_t window_center[2] = {150, 150};  // half the size, integer division
    float view_turn_y = 0.0f;               // quarter turns about y
    float view_turn_x = 0.0f;               // quarter turns about x
    float zoom = 1.0f;
    // When set, this unit quaternion turns the view instead of the two turns
    // (a rendered path between its keyframes).
    Quat view_rotation;
    uint8_t view_rotation_set = 0;
    // Inspection of the picture on screen, applied after the projection so
    // that the eye, and the light field it sees, stays where it is: a
    // magnification about the window's centre, then a shift in window pixels
    // (x right, y up).
    float inspect_scale = 1.0f;
    float pan[2] = {};
    float zoom_start = 1.0f;  // zoom at the start of a zoom drag
    int32_t pointer_last[2] = {};
    int32_t pointer_press[2] = {};
    float zoom_axis[2] = {};  // from the window centre at the start of a zoom drag
    Mat4 base_modelview;      // the modelview right after the viewing transform
    // RGB image (window_width x window_height x 3, rows bottom-up) of all
    // lights but others_cache_light, for redrawing only the light being edited.
    std::vector<uint8_t> others_cache;
    int32_t others_cache_light = -1;  // -1: the cache is invalid
    int32_t seen_lightcnt = 0;        // as seen by the last applied light edit
    int32_t seen_lighttype = 0;
    int32_t seen_mixed = 0;        // LightTable::mixed as seen by the last applied edit
    uint8_t recon_request = 0;     // reconstruct before the next draw
    uint8_t dump_request = 0;      // write "transfrm.txt" in the next display
    uint8_t first_frame_done = 0;  // passed to the per-light passes
};

// The light-editing view.
struct LightView {
    int32_t width = 300;
    int32_t height = 300;
    Mat4 projection;
    Mat4 modelview;
    float pointer[2] = {};  // the arcball's pointer in [-1, 1]
    // The view exists: from then on the arcballs steer the lights.
    uint8_t created = 0;
};

// Light edits waiting to be applied to the current light.
struct StagedEdits {
    float radius = 3.0f;
    float color[3] = {1.0f, 1.0f, 1.0f};
    float lookat[3] = {0.0f, 0.0f, 0.0f};
    float up[3] = {0.0f, 1.0f, 0.0f};
    float fov[2] = {45.0f, 45.0f};
    char last_slide_name[100] = {};  // slide last loaded through an applied edit
};

// Frame-rate meter and output numbering.
struct FrameMeter {
    double frame_time_total = 0.0;
    int32_t frame_count = 0;
    int32_t grab_counter = 0;  // number of the next screen grab
};

// The settings that change what relighting computes. Model set-up fills the
// counts from the coefficient files; the light commands, rigs and lumotool's
// --harmonics change the terms applied (SetTerms); every reconstruction
// request is filled from here (relight/recon_request.h).
struct RelightSettings {
    // Coefficients available: lcnt * lcnt of the first coefficient file with a
    // present pixel, in camera order; never changed afterwards.
    int32_t max_terms = 0;
    // Coefficients summed per pixel, the lower bands first: starts equal to
    // max_terms, then within 0..max_terms.
    int32_t terms = 0;
    // Whether a coefficient file has set the counts.
    bool counts_set = false;
    // Keep coefficients as IEEE half floats (each rounded to the nearest half
    // when read): half the memory and half the bytes each relight reads, the
    // images within a rounding of the float ones. Set before InitModel
    // (lumotool relight --half, the viewer's LUMO_HALF=1).
    bool half = false;
    // Load coefficient files through the coefficient cache
    // (relight/coeff_cache.h). Off with lumotool's --no-cache; LUMO_CACHE=0
    // in the environment turns it off as well.
    bool cache = true;
};

// Sets max_terms and terms to bands * bands unless a coefficient file has set
// them already; later calls change nothing.
void SetAvailableTerms(RelightSettings& settings, int32_t bands);
// The terms applied: n within 0..max_terms. Returns the terms now applied.
int32_t SetTerms(RelightSettings& settings, int32_t n);

// Options linked to Tcl integer variables.
struct Options {
    int32_t skipconstpoly = 1;
    int32_t skipbilinpoly = 1;
    int32_t constgridenable = 1;
    int32_t bilingridenable = 0;
    int32_t preview = 1;
    int32_t show_fps = 0;
    int32_t drawslabmode = 1;
};

struct Model {
    SceneState scene;
    LightTable lights;
    MainView view;
    LightView lightview;
    StagedEdits staged;
    FrameMeter meter;
    Options options;
    RelightSettings relight;
    ModelConsole console;  // where set-up and relighting report

    Model();
};

// The number of lights in use: lightcnt within 0..MAX_LIGHTS (a script may
// write any integer to it), the relighting engine's rule.
int32_t LightsInUse(const LightTable& lights);
// As LightsInUse, and writes the clamped count back to lightcnt.
int32_t ClampLightCount(LightTable& lights);

// The slot currlight names, or -1 when it names none of the table.
int32_t CurrentSlot(const LightTable& lights);
// The light being edited: CurrentSlot while a light is in use, else -1.
int32_t CurrentLightIndex(const LightTable& lights);
// The light being edited (clamping lightcnt first), or null.
LightSrc* CurrentLight(LightTable& lights);
// The controls of the light being edited, or null while no light is in use:
// with no light in use nothing steers or turns any light's controls.
LightControl* CurrentControl(LightTable& lights);

}  // namespace lumo
