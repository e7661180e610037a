#include "app/light_view.h"

#include <string>

#include "base/lenient_number.h"
#include "display/light_view_draw.h"
#include "model/model.h"
#include "togl/togl_adapter.h"

namespace lumo {
namespace {

ArcBall* CurrentArcBall(Model& model) {
    if (model.currlight < 0 || model.currlight >= MAX_LIGHTS) return nullptr;
    return &model.lights[static_cast<size_t>(model.currlight)].arcball;
}

bool HaveXY(Togl* togl, int argc, const char* argv[]) {
    if (argc >= 4) return true;
    const std::string message =
        std::string("wrong # args: should be \"") + argv[0] + " " + argv[1] + " x y\"";
    Tcl_SetObjResult(Togl_Interp(togl), Tcl_NewStringObj(message.c_str(), -1));
    return false;
}

// Maps window pixel (x, y) to [-1, 1] with y upwards and gives it to the
// arcball. A view without size maps to the centre.
void SetPointer(Model& model, ArcBall& ball, const char* xs, const char* ys) {
    const float w = static_cast<float>(model.lightview_width);
    const float h = static_cast<float>(model.lightview_height);
    const float x = static_cast<float>(LenientInt(xs));
    const float y = static_cast<float>(LenientInt(ys));
    model.arcball_pointer[0] = w > 0.0f ? 2.0f * x / w - 1.0f : 0.0f;
    model.arcball_pointer[1] = h > 0.0f ? 2.0f * (h - y - 1.0f) / h - 1.0f : 0.0f;
    ball.SetMouse(Vec4(model.arcball_pointer[0], model.arcball_pointer[1], 0.0f, 0.0f));
}

int DragWithAxes(Togl* togl, int argc, const char* argv[], int32_t set) {
    if (!HaveXY(togl, argc, argv)) return TCL_ERROR;
    Model& model = TheModel();
    if (ArcBall* ball = CurrentArcBall(model)) {
        SetPointer(model, *ball, argv[2], argv[3]);
        ball->SelectAxes(set);
    }
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
    model.lightview_width = Togl_Width(togl);
    model.lightview_height = Togl_Height(togl);
}

void LightViewDisplay(Togl* togl) {
    DrawLightView(TheModel());
    Togl_SwapBuffers(togl);
}

int ArcBallDownCommand(Togl* togl, int argc, const char* argv[]) {
    if (!HaveXY(togl, argc, argv)) return TCL_ERROR;
    Model& model = TheModel();
    if (ArcBall* ball = CurrentArcBall(model)) {
        SetPointer(model, *ball, argv[2], argv[3]);
        ball->StartDrag();
    }
    return TCL_OK;
}

int ArcBallUpCommand(Togl*, int, const char*[]) {
    if (ArcBall* ball = CurrentArcBall(TheModel())) ball->FinishDrag();
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
