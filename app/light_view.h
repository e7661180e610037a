// The light-editing view: a teapot at the centre lit by all lights in use, a
// small sphere in each light's colour where the light stands, and the current
// light's arcball as an overlay. Dragging in it turns the current light about
// the centre: the light follows its arcball whenever either view redraws
// (each display callback steers it before drawing).
#pragma once

#include "togl/togl_include.h"

namespace lumo {

struct Viewer;

int LightViewCreate(Viewer& viewer, Togl* togl);
void LightViewReshape(Viewer& viewer, Togl* togl);
void LightViewDisplay(Viewer& viewer, Togl* togl);

// Widget commands acting on the current light's arcball; x and y are window
// pixels (origin top-left, y downwards). The drag commands also choose the
// axis set of the next drag: free (ab_lbdrag), the view's axes (ab_slbdrag),
// the light's own axes (ab_clbdrag) or the fixed axis (ab_cslbdrag).
int ArcBallPressCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
int ArcBallReleaseCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
int ArcBallFreeDragCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
int ArcBallObjectAxesDragCommand(Viewer& viewer, Togl* togl, int argc,
                                 const char* argv[]);
int ArcBallViewAxesDragCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
int ArcBallFixedAxisDragCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);

}  // namespace lumo
