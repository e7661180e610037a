// The main view: the Togl widget that shows the relit light field.
//
// Its create step links the Tcl variables, builds the model from the scene
// file and sets up OpenGL (a main view made again after the first was deleted
// keeps the model and only sets up its own context). Every redisplay first
// brings the model up to date (the current light follows its arcball and the
// reference images are reconstructed when a light change asked for it), then
// draws the slab under the current view rotation and zoom. The pointer
// commands turn and zoom the view.
#pragma once

#include <string>

#include "base/status.h"
#include "togl/togl_include.h"

namespace lumo {

struct Viewer;

int MainViewCreate(Viewer& viewer, Togl* togl);
// Every widget's delete step: when the main view goes, the viewer forgets it
// (commands that need it then do nothing) and its texture names.
void MainViewDestroyed(Viewer& viewer, Togl* togl);
void MainViewReshape(Viewer& viewer, Togl* togl);
void MainViewDisplay(Viewer& viewer, Togl* togl);

// Reports a failure of a view's callback (display, reshape) that the viewer
// survives: one line (a trailing newline is dropped) through the start-up
// script's lumo::report (the status line and the console), or on standard
// error as "lumo: LINE" when the script has none. The interpreter's result is
// left as it was.
void ReportViewFailure(Togl* togl, const std::string& line);

// Steers the current light from its arcball and reconstructs the images when
// a light change asked for it, or (preview) when the frame would show pixels
// not yet relit under the current lights: what the model needs before a
// frame is drawn. The main view's context must be current. Fails with the
// reconstruction's message, or else with the shown pixels' geometry failure
// (returned after the relight, which leaves that slab's images as they were).
Status PrepareMainFrame(Viewer& viewer);

// lbdown X Y, lbdrag X Y: a drag with the left button turns the view.
int TurnPressCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
int TurnDragCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
// mbdown X Y, mbdrag X Y, mbup: a drag with the middle button zooms.
int ZoomPressCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
int ZoomDragCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
int ZoomReleaseCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
// hnddrawmode: sets the GL state of the current drawslabmode.
int ApplyDrawModeCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
// clear_fps: restarts the frame-rate meter's average.
int ResetFrameRateCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);

}  // namespace lumo
