// The light-editing view's scene: a small sphere for every light where it
// stands, and a teapot at the centre lit by all lights in use. The current
// light's glyph is drawn in its arcball's rotated frame, the others with the
// placement kept in their controls.
#pragma once

#include "model/model.h"

namespace lumo {

// Draws the scene under the current light's arcball rotation, scaled by 0.75
// so the glyphs sit on the arcball's sphere; with no light in use, the probe
// alone.
void DrawLightScene(Model& model);
// The glyphs and the teapot in the current modelview frame.
void DrawLightGlyphs(const LightTable& lights);
// The teapot comes from GLUT, which must be initialised once (it needs an X
// display); it then draws into the current context without a window of its
// own. Call it once: GLUT refuses a second initialisation.
void InitTeapot();
// A filled, smooth-shaded sphere.
void DrawSphere(double radius, int slices, int stacks);

}  // namespace lumo
