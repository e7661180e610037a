// The widget commands behind File > Save lights / Open lights, Save frame as
// PNG, Add keyframe and Save path.
#pragma once

#include "togl/togl_include.h"

namespace lumo {

// savelights FILE: writes the lights in use, the harmonics and the current
// light as a rig file.
int SaveLightsCommand(Togl* togl, int argc, const char* argv[]);
// openlights FILE: replaces the lights by the rig's (the arcballs aimed at
// them) and asks for a relight; the result is the list of the lights' kinds
// (0 directional, 1 point, 2 environment, 3 slide projector). A rig the reader
// refuses leaves the lights as they are and fails with its one-line message.
int OpenLightsCommand(Togl* togl, int argc, const char* argv[]);
// envmap ?FILE?: with FILE, gives the current light (an environment light)
// the map read from FILE and asks for a relight; a map that cannot be used
// leaves the light as it is and fails with the reader's one-line message.
// The result is the current light's map file ("" without one).
int EnvMapCommand(Togl* togl, int argc, const char* argv[]);
// savepng FILE: draws the main view's frame and writes it as a PNG.
int SavePngCommand(Togl* togl, int argc, const char* argv[]);
// addkeyframe: appends the current view, mode and lights to the recorded
// path, one second after the last keyframe; the result is the keyframe count.
int AddKeyframeCommand(Togl* togl, int argc, const char* argv[]);
// savepath FILE: writes the recorded path (at least one keyframe).
int SavePathCommand(Togl* togl, int argc, const char* argv[]);

}  // namespace lumo
