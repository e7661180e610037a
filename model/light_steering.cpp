#include "model/light_steering.h"

#include "model/light_control.h"

namespace lumo {
namespace {

// Maps window pixel (x, y) to [-1, 1] with y upwards and gives it to the
// arcball. A view without size maps to the centre.
void SetPointer(LightView& view, ArcBall& ball, int32_t xi, int32_t yi) {
    const float w = static_cast<float>(view.width);
    const float h = static_cast<float>(view.height);
    const float x = static_cast<float>(xi);
    const float y = static_cast<float>(yi);
    view.pointer[0] = w > 0.0f ? 2.0f * x / w - 1.0f : 0.0f;
    view.pointer[1] = h > 0.0f ? 2.0f * (h - y - 1.0f) / h - 1.0f : 0.0f;
    ball.SetMouse(Vec4(view.pointer[0], view.pointer[1], 0.0f, 0.0f));
}

}  // namespace

void ArcBallPress(Model& model, int32_t x, int32_t y) {
    if (LightControl* control = CurrentControl(model.lights)) {
        SetPointer(model.lightview, control->arcball, x, y);
        control->direction_pinned = 0;
        control->arcball.StartDrag();
        SyncCurrentLight(model);
    }
}

void ArcBallMove(Model& model, int32_t x, int32_t y, AxisSet set) {
    if (LightControl* control = CurrentControl(model.lights)) {
        SetPointer(model.lightview, control->arcball, x, y);
        control->arcball.SelectAxes(set);
        SyncCurrentLight(model);
    }
}

void ArcBallRelease(Model& model) {
    if (LightControl* control = CurrentControl(model.lights)) {
        // The pointer's last position may not have reached the arcball yet
        // (no redraw since the last motion): follow it first, so the drag
        // ends where the pointer let go.
        if (control->arcball.is_dragging != 0) control->arcball.Update();
        control->arcball.FinishDrag();
        SyncCurrentLight(model);
    }
}

void SteerCurrentLight(Model& model) {
    if (model.lightview.created == 0) return;
    if (LightControl* control = CurrentControl(model.lights)) control->arcball.Update();
    SyncCurrentLight(model);
}

void SyncCurrentLight(Model& model) {
    if (model.lightview.created == 0) return;
    const int32_t i = CurrentLightIndex(model.lights);
    if (i < 0) return;
    LightControl& control = model.lights.controls[static_cast<size_t>(i)];
    control.placement = LightFrame(model.lightview.modelview, control.arcball);
    if (control.direction_pinned != 0) return;
    LightSrc& light = model.lights.table[static_cast<size_t>(i)];
    light.SetDirection(FrameDirection(control.placement));
    // An environment turns as a whole: its spin follows the frame too.
    if (light.kind == Environment)
        light.envspin =
            FrameEnvSpin(control.placement,
                         Vec3(light.direction.x, light.direction.y, light.direction.z));
}

void AimLightControls(Model& model) {
    if (model.lightview.created == 0) return;
    const int32_t n = LightsInUse(model.lights);
    for (int32_t i = 0; i < n; ++i) {
        LightControl& control = model.lights.controls[static_cast<size_t>(i)];
        const LightSrc& light = model.lights.table[static_cast<size_t>(i)];
        const Vec3 direction(light.direction.x, light.direction.y, light.direction.z);
        if (light.kind == Environment) {
            AimArcBallEnv(model.lightview.modelview, direction, light.envspin,
                          control.arcball);
        } else {
            AimArcBall(model.lightview.modelview, direction, control.arcball);
        }
        control.placement = LightFrame(model.lightview.modelview, control.arcball);
        control.direction_pinned = 1;
    }
}

}  // namespace lumo
