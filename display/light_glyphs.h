// The light-editing view's scene: a small sphere for every light where it
// stands, and a teapot at the centre lit by all lights in use. Drawing it is
// what turns the current light: its direction and placement are taken from
// the rotated frame its glyph is drawn in.
#pragma once

#include "arcball/arcball.h"
#include "model/model.h"

namespace lumo {

// Draws the scene under `arcball`'s rotation (the current light's), scaled by
// 0.75 so the glyphs sit on the arcball's sphere.
void DrawLightScene(Model& model, const ArcBall& arcball);
// The glyphs and the teapot in the current modelview frame.
void DrawLightGlyphs(Model& model);
// The teapot comes from GLUT, which must be initialised once (it needs an X
// display); it then draws into the current context without a window of its
// own. Safe to call more than once.
void InitTeapot();
// A sphere through one shared quadric.
void DrawSphere(double radius, int slices, int stacks);

}  // namespace lumo
