#include "app/light_view.h"

#include <string>

#include "base/lenient_number.h"
#include "display/light_view_draw.h"
#include "model/light_steering.h"
#include "model/model.h"
#include "togl/togl_adapter.h"

namespace lumo {
namespace {

bool HaveXY(Togl* togl, int argc, const char* argv[]) {
    if (argc >= 4) return true;
    const std::string message =
        std::string("wrong # args: should be \"") + argv[0] + " " + argv[1] + " x y\"";
    Tcl_SetObjResult(Togl_Interp(togl), Tcl_NewStringObj(message.c_str(), -1));
    return false;
}

int DragWithAxes(Togl* togl, int argc, const char* argv[], AxisSet set) {
    if (!HaveXY(togl, argc, argv)) return TCL_ERROR;
    ArcBallMove(TheModel(), LenientInt(argv[2]), LenientInt(argv[3]), set);
    Togl_PostRedisplay(togl);
    return TCL_OK;
}

}  // namespace

int LightViewCreate(Togl*) {
    SetUpLightView(TheModel());
    return TCL_OK;
}

void LightViewReshape(Togl* togl) {
    Model& model = TheModel();
    model.lightview.width = Togl_Width(togl);
    model.lightview.height = Togl_Height(togl);
}

void LightViewDisplay(Togl* togl) {
    DrawLightView(TheModel());
    Togl_SwapBuffers(togl);
}

int ArcBallDownCommand(Togl* togl, int argc, const char* argv[]) {
    if (!HaveXY(togl, argc, argv)) return TCL_ERROR;
    ArcBallPress(TheModel(), LenientInt(argv[2]), LenientInt(argv[3]));
    return TCL_OK;
}

int ArcBallUpCommand(Togl*, int, const char*[]) {
    ArcBallRelease(TheModel());
    return TCL_OK;
}

int ArcBallDragCommand(Togl* togl, int argc, const char* argv[]) {
    return DragWithAxes(togl, argc, argv, FreeRotation);
}

int ArcBallControlDragCommand(Togl* togl, int argc, const char* argv[]) {
    return DragWithAxes(togl, argc, argv, ObjectAxes);
}

int ArcBallShiftDragCommand(Togl* togl, int argc, const char* argv[]) {
    return DragWithAxes(togl, argc, argv, ViewAxes);
}

int ArcBallControlShiftDragCommand(Togl* togl, int argc, const char* argv[]) {
    return DragWithAxes(togl, argc, argv, FixedAxis);
}

void RegisterLightViewCommands() {
    ToglCreateCommand("ab_lbdown", ArcBallDownCommand);
    ToglCreateCommand("ab_lbup", ArcBallUpCommand);
    ToglCreateCommand("ab_lbdrag", ArcBallDragCommand);
    ToglCreateCommand("ab_clbdrag", ArcBallControlDragCommand);
    ToglCreateCommand("ab_slbdrag", ArcBallShiftDragCommand);
    ToglCreateCommand("ab_cslbdrag", ArcBallControlShiftDragCommand);
}

}  // namespace lumo
