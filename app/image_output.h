// The widget commands that keep what the main view shows: numbered screen
// grabs ("img%04d.ppm") and the transformation dump ("transfrm.txt").
#pragma once

#include "togl/togl_include.h"

namespace lumo {

// Widget commands: grabscr (draw the current frame and write the next grab)
// and rectran (dump the transformation at the next redisplay).
int GrabScreenCommand(Togl* togl, int argc, const char* argv[]);
int RecordTransformCommand(Togl* togl, int argc, const char* argv[]);

}  // namespace lumo
