// The widget commands behind the File menu, which read and write files in
// the current directory or under the names given: grabs ("img%04d.ppm"), the
// transformation dump ("transfrm.txt"), PNG frames, light rigs, environment
// maps and view paths.
#pragma once

#include "togl/togl_include.h"

namespace lumo {

struct Viewer;

// grabscr: draws the current frame and writes the next grab; the result is
// its file name. A relight the frame needs that fails is a Tcl error with the
// engine's message (the viewer goes on).
int GrabScreenCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
// rectran: asks for the transformation dump at the next redisplay.
int RequestTransformDumpCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);

// savelights FILE: writes the lights in use, the harmonics and the current
// light as a rig file.
int SaveLightsCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
// openlights FILE: replaces the lights by the rig's (the arcballs aimed at
// them) and asks for a relight; the result is the list of the lights' kinds
// (0 directional, 1 point, 2 environment, 3 slide projector). A rig the reader
// refuses leaves the lights as they are and fails with its one-line message.
int OpenLightsCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
// envmap ?FILE?: with FILE, gives the current light (an environment light)
// the map read from FILE and asks for a relight; a map that cannot be used
// leaves the light as it is and fails with the reader's one-line message.
// The result is the current light's map file ("" without one).
int EnvMapCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
// savepng FILE: draws the main view's frame and writes it as a PNG; a failed
// relight is a Tcl error as for grabscr.
int SavePngCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
// addkeyframe: appends the current view, mode and lights to the recorded
// path, one second after the last keyframe; the result is the keyframe count.
int AddKeyframeCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
// savepath FILE: writes the recorded path (at least one keyframe).
int SavePathCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);

}  // namespace lumo
