// The light-editing view's drawing: a teapot lit by every light in use, a
// small sphere in each light's colour where it stands, and the current
// light's arcball over them.
#pragma once

#include "model/model.h"

namespace lumo {

// Sets up the view when it is created: an orthographic projection onto
// [-1, 1] x [-1, 1] seen from three units away, every light's placement at
// that view and a freshly reset arcball for every light.
void SetUpLightView(Model& model);

// Draws the view into the current context's back buffer, saving and restoring
// the GL state it touches. The lights are drawn as they are: the caller
// steers the current light from its arcball first (SteerCurrentLight).
void DrawLightView(Model& model);

}  // namespace lumo
