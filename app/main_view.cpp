#include "app/main_view.h"

#include <cstdio>
#include <cstdlib>

#include "app/light_commands.h"
#include "app/tcl_vars.h"
#include "app/viewer.h"
#include "base/clock.h"
#include "base/fatal.h"
#include "base/lenient_number.h"
#include "display/main_frame.h"
#include "display/shown_pixels.h"
#include "model/light_steering.h"
#include "model/model_setup.h"
#include "model/view_navigation.h"

namespace lumo {

int MainViewCreate(Viewer& viewer, Togl* togl) {
    Model& model = viewer.model;
    Tcl_Interp* interp = Togl_Interp(togl);
    if (viewer.main_view != nullptr) {
        Tcl_SetResult(
            interp,
            const_cast<char*>("only one main view (ident \"slabview\") is allowed"),
            TCL_STATIC);
        return TCL_ERROR;
    }
    viewer.main_view = togl;
    if (!model.scene.info) {
        LinkModelVariables(interp, model, viewer.texts);
        model.relight.half = HalfFromEnvironment(std::getenv("LUMO_HALF"));
        InitModelOrExit(model, viewer.scene_file.c_str());
        InitGLState(model);
        ResetLightEditVars(viewer, togl);
        return TCL_OK;
    }
    // A main view made again after the first was deleted: the model is kept,
    // the new context gets the GL state and every image again.
    InitGLState(model);
    model.view.others_cache_light = -1;
    model.view.first_frame_done = 0;
    return TCL_OK;
}

void MainViewDestroyed(Viewer& viewer, Togl* togl) {
    if (togl != viewer.main_view) return;
    // The context the texture names belong to goes with the widget.
    viewer.main_textures.Forget();
    viewer.main_view = nullptr;
}

void ReportViewFailure(Togl* togl, const std::string& line) {
    std::string text = line;
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    Tcl_Interp* interp = Togl_Interp(togl);
    Tcl_InterpState saved = Tcl_SaveInterpState(interp, TCL_OK);
    Tcl_CmdInfo info;
    bool reported = false;
    if (Tcl_GetCommandInfo(interp, "lumo::report", &info) != 0) {
        Tcl_Obj* words[2] = {Tcl_NewStringObj("lumo::report", -1),
                             Tcl_NewStringObj(text.c_str(), -1)};
        for (Tcl_Obj* w : words)
            Tcl_IncrRefCount(w);
        reported = Tcl_EvalObjv(interp, 2, words, TCL_EVAL_GLOBAL) == TCL_OK;
        for (Tcl_Obj* w : words)
            Tcl_DecrRefCount(w);
    }
    if (!reported) std::fprintf(stderr, "lumo: %s\n", text.c_str());
    Tcl_RestoreInterpState(interp, saved);
}

void MainViewReshape(Viewer& viewer, Togl* togl) {
    // Without memory for the multi-light cache the view goes on without it.
    if (Status s =
            ResizeMainFrame(viewer.model.view, Togl_Width(togl), Togl_Height(togl));
        !s.ok())
        ReportViewFailure(togl, s.message());
}

Status PrepareMainFrame(Viewer& viewer) {
    Model& model = viewer.model;
    // With preview only the pixels in view are relit: a frame that shows
    // pixels relit under older lights (the view moved) relights them first.
    // A slab whose geometry cannot be had shows nothing and is not relit; the
    // other slabs are, and then the frame fails as its drawing would.
    Status shown;
    if (viewer.main_view != nullptr) {
        shown = UpdateShownPixels(model);
        if (!ShownPixelsFresh(model)) model.view.recon_request = 1;
    }
    if (model.view.recon_request == 0) return shown;
    SteerCurrentLight(model);
    if (Status s = ReconstructModel(model); !s.ok()) return s;
    return shown;
}

void MainViewDisplay(Viewer& viewer, Togl* togl) {
    Model& model = viewer.model;
    double t0 = 0.0;
    if (model.options.show_fps != 0) {
        t0 = GetSeconds();
    } else {
        model.meter.frame_time_total = 0.0;
        model.meter.frame_count = 0;
    }
    // A relight that fails has no caller to hand its failure to: it ends the
    // viewer with its message, as it always has.
    FatalIfError(PrepareMainFrame(viewer));
    // A frame whose geometry cannot be allocated is reported and not shown.
    if (Status s = DrawMainFrame(model, viewer.main_textures); !s.ok()) {
        ReportViewFailure(togl, s.message());
        return;
    }
    FlushFrame();
    Togl_SwapBuffers(togl);
    if (model.options.show_fps != 0) {
        const double t1 = GetSeconds();
        if (t1 > t0 + 1e-6) {
            const double dt = t1 - t0;
            model.meter.frame_count += 1;
            model.meter.frame_time_total += dt;
            std::fprintf(stderr, "Current FrameRate = %f Hz\n", 1.0 / dt);
            std::fprintf(stderr, "Average FrameRate = %f Hz (%d)\n",
                         model.meter.frame_count / model.meter.frame_time_total,
                         model.meter.frame_count);
        }
    }
}

int TurnPressCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 2, "x y")) return TCL_ERROR;
    TurnPress(viewer.model.view, LenientInt(argv[2]), LenientInt(argv[3]));
    return TCL_OK;
}

int TurnDragCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 2, "x y")) return TCL_ERROR;
    TurnDrag(viewer.model.view, LenientInt(argv[2]), LenientInt(argv[3]));
    Togl_PostRedisplay(togl);
    return TCL_OK;
}

int ZoomPressCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 2, "x y")) return TCL_ERROR;
    ZoomPress(viewer.model.view, LenientInt(argv[2]), LenientInt(argv[3]));
    return TCL_OK;
}

int ZoomDragCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 2, "x y")) return TCL_ERROR;
    ZoomDrag(viewer.model.view, LenientInt(argv[2]), LenientInt(argv[3]));
    Togl_PostRedisplay(togl);
    return TCL_OK;
}

int ZoomReleaseCommand(Viewer& viewer, Togl*, int, const char*[]) {
    ZoomRelease(viewer.model.view);
    return TCL_OK;
}

int ApplyDrawModeCommand(Viewer& viewer, Togl* togl, int, const char*[]) {
    Togl* main = viewer.main_view;
    if (main == nullptr) return TCL_OK;
    Togl_MakeCurrent(main);
    ApplyDrawSlabMode(viewer.model.options);
    Togl_PostRedisplay(togl);
    return TCL_OK;
}

int ResetFrameRateCommand(Viewer& viewer, Togl*, int, const char*[]) {
    FrameMeter& meter = viewer.model.meter;
    meter.frame_time_total = 0.0;
    meter.frame_count = 0;
    return TCL_OK;
}

}  // namespace lumo
