// The light-editing view: a teapot at the centre lit by all lights in use, a
// small sphere in each light's colour where the light stands, and the current
// light's arcball as an overlay. Dragging in it turns the current light about
// the centre: the light follows its arcball whenever either view redraws.
#pragma once

#include "togl/togl_include.h"

namespace lumo {

int LightViewCreate(Togl* togl);
void LightViewReshape(Togl* togl);
void LightViewDisplay(Togl* togl);

// Widget commands acting on the current light's arcball; x and y are window
// pixels (origin top-left, y downwards). The drag commands also choose the
// axis set of the next drag: free (ab_lbdrag), the view's axes (ab_slbdrag),
// the light's own axes (ab_clbdrag) or the fixed axis (ab_cslbdrag).
int ArcBallDownCommand(Togl* togl, int argc, const char* argv[]);
int ArcBallUpCommand(Togl* togl, int argc, const char* argv[]);
int ArcBallDragCommand(Togl* togl, int argc, const char* argv[]);
int ArcBallControlDragCommand(Togl* togl, int argc, const char* argv[]);
int ArcBallShiftDragCommand(Togl* togl, int argc, const char* argv[]);
int ArcBallControlShiftDragCommand(Togl* togl, int argc, const char* argv[]);

// Registers the six commands (ab_lbdown, ab_lbup, ab_lbdrag, ab_clbdrag,
// ab_slbdrag, ab_cslbdrag).
void RegisterLightViewCommands();

}  // namespace lumo
