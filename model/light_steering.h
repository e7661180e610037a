// Steering the current light with its arcball in the light-editing view.
//
// Pointer positions are window pixels of the light-editing view (origin
// top-left, y downwards), mapped to [-1, 1] with y upwards. The pointer
// commands record the pointer and the drag; the arcball follows the pointer
// when it is updated (SteerCurrentLight), which the light-editing view does
// when it redraws and the main view does before it reconstructs, so a
// reconstruction always sees the light where the pointer put it, whichever
// view redraws first. Ending a drag updates the arcball first, so a drag that
// ends before any redraw keeps its rotation. While no light is in use the
// pointer commands change nothing.
#pragma once

#include <cstdint>

#include "arcball/arcball.h"
#include "model/model.h"

namespace lumo {

// Starts a drag of the current slot's arcball at (x, y). Each of the three
// pointer steps ends with SyncCurrentLight.
void ArcBallPress(Model& model, int32_t x, int32_t y);
// Moves the pointer to (x, y); while idle also chooses the axis set of the
// next drag.
void ArcBallMove(Model& model, int32_t x, int32_t y, AxisSet set);
// Ends the drag where the pointer is: its rotation becomes the base of the
// next one.
void ArcBallRelease(Model& model);

// Updates the current slot's arcball from the pointer, then the current light
// from the arcball.
void SteerCurrentLight(Model& model);
// After the lights were replaced (a rig was opened): every light in use gets
// its arcball aimed at its direction (AimArcBall; an environment light's at
// its direction and spin, AimArcBallEnv) and its direction pinned,
// so the lights keep exactly the directions they were given. Nothing happens
// before the light-editing view exists.
void AimLightControls(Model& model);

// The current light's direction and placement from its arcball (LightFrame
// under the light-editing view's modelview, FrameDirection; an environment
// light's spin too, FrameEnvSpin; a pinned direction and spin are kept).
// Nothing happens before the light-editing view exists or while no light is
// in use.
void SyncCurrentLight(Model& model);

}  // namespace lumo
