// The main view: the Togl widget that shows the relit light field.
//
// Its create step links the Tcl variables, builds the model from the scene
// file and sets up OpenGL (a main view made again after the first was deleted
// keeps the model and only sets up its own context); every redisplay draws the slab under
// the current view rotation and zoom, reconstructing the reference images first when a
// light change asked for it. In centre mode with a QR grid and several lights,
// each light is drawn as its own pass and the passes add up; the sum of all
// lights but the one being edited is kept as an image, so that editing one
// light redraws only that light.
#pragma once

#include "togl/togl_include.h"

namespace lumo {

int MainViewCreate(Togl* togl);
// Every widget's delete step: when the main view goes, the viewer forgets it
// (commands that need it then do nothing) and its texture names.
void MainViewDestroyed(Togl* togl);
void MainViewReshape(Togl* togl);
void MainViewDisplay(Togl* togl);

// Widget commands: hnddrawmode, clear_fps.
int HndDrawModeCommand(Togl* togl, int argc, const char* argv[]);
int ClearFpsCommand(Togl* togl, int argc, const char* argv[]);

}  // namespace lumo
