#include "app/light_view.h"

#include <string>

#include "app/viewer.h"
#include "base/lenient_number.h"
#include "display/light_view_draw.h"
#include "model/light_steering.h"

namespace lumo {
namespace {

bool HaveXY(Togl* togl, int argc, const char* argv[]) {
    if (argc >= 4) return true;
    const std::string message =
        std::string("wrong # args: should be \"") + argv[0] + " " + argv[1] + " x y\"";
    Tcl_SetObjResult(Togl_Interp(togl), Tcl_NewStringObj(message.c_str(), -1));
    return false;
}

int DragWithAxes(Viewer& viewer, Togl* togl, int argc, const char* argv[], AxisSet set) {
    if (!HaveXY(togl, argc, argv)) return TCL_ERROR;
    ArcBallMove(viewer.model, LenientInt(argv[2]), LenientInt(argv[3]), set);
    Togl_PostRedisplay(togl);
    return TCL_OK;
}

}  // namespace

int LightViewCreate(Viewer& viewer, Togl*) {
    SetUpLightView(viewer.model);
    return TCL_OK;
}

void LightViewReshape(Viewer& viewer, Togl* togl) {
    Model& model = viewer.model;
    model.lightview.width = Togl_Width(togl);
    model.lightview.height = Togl_Height(togl);
}

void LightViewDisplay(Viewer& viewer, Togl* togl) {
    SteerCurrentLight(viewer.model);
    DrawLightView(viewer.model);
    Togl_SwapBuffers(togl);
}

int ArcBallPressCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]) {
    if (!HaveXY(togl, argc, argv)) return TCL_ERROR;
    ArcBallPress(viewer.model, LenientInt(argv[2]), LenientInt(argv[3]));
    return TCL_OK;
}

int ArcBallReleaseCommand(Viewer& viewer, Togl*, int, const char*[]) {
    ArcBallRelease(viewer.model);
    return TCL_OK;
}

int ArcBallFreeDragCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]) {
    return DragWithAxes(viewer, togl, argc, argv, FreeRotation);
}

int ArcBallObjectAxesDragCommand(Viewer& viewer, Togl* togl, int argc,
                                 const char* argv[]) {
    return DragWithAxes(viewer, togl, argc, argv, ObjectAxes);
}

int ArcBallViewAxesDragCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]) {
    return DragWithAxes(viewer, togl, argc, argv, ViewAxes);
}

int ArcBallFixedAxisDragCommand(Viewer& viewer, Togl* togl, int argc,
                                const char* argv[]) {
    return DragWithAxes(viewer, togl, argc, argv, FixedAxis);
}

}  // namespace lumo
