// The widget commands that choose how the main view shows the scene: the
// mode a scene starts in, and (for looking closely at large pictures) panning,
// one image pixel per screen pixel and the return to the start-up view.
#pragma once

#include "togl/togl_include.h"

namespace lumo {

struct Viewer;

// startmode: the drawslabmode the scene is best opened in (0 corner, 1
// centre): corner when every relightable slab is one camera wide or high.
int StartModeCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
// pan DX DY: moves the picture DX window pixels right and DY down; the
// result is the shift now applied, "X Y" (x right, y up).
int PanCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
// actualpixels: magnifies the picture about the window's centre until one
// image pixel covers one window pixel; the result is the magnification.
int ActualPixelsCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
// magnify FACTOR: multiplies the magnification by FACTOR about the window's
// centre; the result is the magnification.
int MagnifyCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
// resetview: the start-up view again (no turn, zoom, magnification or shift).
int ResetViewCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);

}  // namespace lumo
