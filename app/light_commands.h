// The widget commands through which the start-up script edits the lights.
//
// Light editing is staged: the script writes the light-editing variables
// (harcnt_s, radius_s, slidelookat_s, slideup_s, slidefov_s, slidename) and
// calls changecolor, which only set pending values; svnotifylightchg parses
// the variables and applies them through the model's editing API to the
// current light, which asks for a reconstruction at the next redraw.
// reflectlightinfo copies the current light into the variables, newlightvalue
// resets them. Lights are added by raising lightcnt, removed with deletesrc and
// given a kind with chgltype. Every command can be called on either view and
// acts on the viewer's model.
#pragma once

#include "togl/togl_include.h"

namespace lumo {

struct Viewer;

// Resets the light-editing variables and pending values to their defaults
// (the body of newlightvalue, also run when the main view is created).
void ResetLightEditVars(Viewer& viewer, Togl* togl);
// Copies the current light into the light-editing variables (the body of
// reflectlightinfo).
void LoadLightEditVars(Viewer& viewer, Togl* togl);

// changecolor R G B: stages the colour (bytes) for the next applied edit.
int StageColourCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
// svnotifylightchg: applies the variables and the staged values to the
// current light.
int ApplyLightEditsCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
// reflectlightinfo, newlightvalue: LoadLightEditVars, ResetLightEditVars.
int LoadLightEditVarsCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
int ResetLightEditVarsCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
// getinten LIGHT CHANNEL: the light's colour byte in that channel; -1 for a
// light not in use.
int LightColourByteCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
// deletesrc INDEX: removes the light; the result is the new current light.
int DeleteLightCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
// chgltype: gives the current light the kind currlighttype names.
int ApplyLightKindCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);
// lightinfo: the lights as the model holds them, for the panel to show, as a
// dictionary: relightable (0 or 1: the scene has a relightable slab),
// maxharmonics, harmonics (the terms in use), kinds (of the lights in use)
// and, while a light is in use, the current light's kind, colour (three
// bytes), radius, lookat and up ("x,y,z"), fov ("h,v"), slide and envmap.
int LightInfoCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]);

// Checks that a widget command got at least `needed` arguments after its
// name; otherwise sets a usage message ("wrong # args: should be ...") and
// returns false.
bool HaveArgs(Togl* togl, int argc, const char* argv[], int needed, const char* usage);

}  // namespace lumo
