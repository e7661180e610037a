// The viewer's start-up: the Viewer of the run, the interpreter with Tcl, Tk
// and Togl, the views' callbacks and widget commands, and the start-up script.
#pragma once

#include <string>

namespace lumo {

// Runs the viewer on the scene description `scene_file` until the script
// ends it: makes the run's Viewer, then hands over to Tk (Tk_MainEx), which
// sources the start-up script and then reads commands from standard input.
// `program` is the name the viewer was started as. Returns only if Tk does.
int RunViewer(char* program, const char* scene_file);

// The start-up script: "./lumo.tcl" when the current directory has one, else
// the copy installed with the viewer (share/lumo/lumo.tcl beside the install
// prefix's bin/, or the one the build puts beside the executable).
std::string StartupScript();

}  // namespace lumo
