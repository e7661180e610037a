// Interpreter set-up of the viewer: Tcl, Tk and Togl, the widget callbacks
// and commands, and the start-up script.
#pragma once

#include <tcl.h>
#include "togl/togl_include.h"

#include <string>

namespace lumo {

// Tk's application-initialisation procedure (for Tk_MainEx).
int AppInit(Tcl_Interp* interp);

// The create callback shared by every Togl widget: the widget whose ident is
// "slabview" becomes the main view, any other the light-editing view.
int CreateView(Togl* togl);

// The start-up script: "./lumo.tcl" when the current directory has one, else
// the copy installed with the viewer (share/lumo/lumo.tcl beside the install
// prefix's bin/, or the one the build puts beside the executable).
std::string StartupScript();

}  // namespace lumo
