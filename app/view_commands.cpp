#include "app/view_commands.h"

#include <string>

#include "app/light_commands.h"
#include "app/viewer.h"
#include "base/lenient_number.h"
#include "base/str_printf.h"
#include "display/main_frame.h"
#include "model/start_mode.h"
#include "model/view_inspection.h"

namespace lumo {
namespace {

void SetResult(Togl* togl, const std::string& text) {
    Tcl_SetObjResult(Togl_Interp(togl),
                     Tcl_NewStringObj(text.c_str(), static_cast<int>(text.size())));
}

void Redraw(Viewer& viewer) {
    if (viewer.main_view != nullptr) Togl_PostRedisplay(viewer.main_view);
}

void SetScaleResult(Togl* togl, const MainView& view) {
    SetResult(togl, StrPrintf("%g", static_cast<double>(view.inspect_scale)));
}

}  // namespace

int StartModeCommand(Viewer& viewer, Togl* togl, int, const char*[]) {
    const Model& model = viewer.model;
    const int32_t mode =
        model.scene.info ? ViewerStartMode(*model.scene.info, model.scene.qr_mode ? 1 : 0)
                         : kCentreMode;
    Tcl_SetObjResult(Togl_Interp(togl), Tcl_NewIntObj(mode));
    return TCL_OK;
}

int PanCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 2, "dx dy")) return TCL_ERROR;
    MainView& view = viewer.model.view;
    PanBy(view, LenientFloat(argv[2]), LenientFloat(argv[3]));
    Redraw(viewer);
    SetResult(togl, StrPrintf("%g %g", static_cast<double>(view.pan[0]),
                              static_cast<double>(view.pan[1])));
    return TCL_OK;
}

int ActualPixelsCommand(Viewer& viewer, Togl* togl, int, const char*[]) {
    MainView& view = viewer.model.view;
    if (viewer.main_view != nullptr) {
        Togl_MakeCurrent(viewer.main_view);
        const float scale = ActualPixelsScale(viewer.model);
        if (scale > 0.0f) SetInspectScale(view, scale);
        Redraw(viewer);
    }
    SetScaleResult(togl, view);
    return TCL_OK;
}

int MagnifyCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 1, "factor")) return TCL_ERROR;
    MainView& view = viewer.model.view;
    SetInspectScale(view, view.inspect_scale * LenientFloat(argv[2]));
    Redraw(viewer);
    SetScaleResult(togl, view);
    return TCL_OK;
}

int ResetViewCommand(Viewer& viewer, Togl*, int, const char*[]) {
    ResetView(viewer.model.view);
    Redraw(viewer);
    return TCL_OK;
}

}  // namespace lumo
