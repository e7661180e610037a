// The widget commands through which the start-up script turns and zooms the
// main view and edits the lights.
//
// Light editing is staged: the script writes the light-editing variables
// (harcnt_s, radius_s, slidelookat_s, slideup_s, slidefov_s, slidename) and
// calls changecolor, which only set pending values; svnotifylightchg parses
// the variables and applies them through the model's editing API to the
// current light, which asks for a reconstruction at the next redraw.
// reflectlightinfo copies the current light into the variables, newlightvalue
// resets them. Lights are added by raising lightcnt, removed with deletesrc and
// given a kind with chgltype. Every command can be called on either view and
// acts on the main view's state.
#pragma once

#include "togl/togl_include.h"

namespace lumo {

// Resets the light-editing variables and pending values to their defaults
// (the body of newlightvalue, also run when the main view is created).
void ResetLightEditVars(Togl* togl);
// Copies the current light into the light-editing variables.
void ReflectLightInfo(Togl* togl);

int LbDownCommand(Togl* togl, int argc, const char* argv[]);
int LbDragCommand(Togl* togl, int argc, const char* argv[]);
int MbDownCommand(Togl* togl, int argc, const char* argv[]);
int MbDragCommand(Togl* togl, int argc, const char* argv[]);
int MbUpCommand(Togl* togl, int argc, const char* argv[]);
int ChangeColorCommand(Togl* togl, int argc, const char* argv[]);
int NotifyLightChangeCommand(Togl* togl, int argc, const char* argv[]);
int ReflectLightInfoCommand(Togl* togl, int argc, const char* argv[]);
int NewLightValueCommand(Togl* togl, int argc, const char* argv[]);
int GetIntensityCommand(Togl* togl, int argc, const char* argv[]);
int DeleteSourceCommand(Togl* togl, int argc, const char* argv[]);
int ChangeLightTypeCommand(Togl* togl, int argc, const char* argv[]);

// Checks that a widget command got at least `needed` arguments after its
// name; otherwise sets a usage message ("wrong # args: should be ...") and
// returns false.
bool HaveArgs(Togl* togl, int argc, const char* argv[], int needed, const char* usage);

}  // namespace lumo
