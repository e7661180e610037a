// lumo: the viewer. One argument, the scene description; the window comes
// from the start-up script lumo.tcl.
#include <tcl.h>
#include "togl/togl_include.h"

#include <cstdio>

#include "app/app_init.h"
#include "app/viewer_state.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("[main]:lid filename not provided\n", stderr);
        return 1;
    }
    lumo::SetSceneFileName(argv[1]);
    // Tk sees one argument: no script file, so it sources the start-up script
    // named in AppInit and then reads commands from standard input.
    Tk_MainEx(1, argv, lumo::AppInit, Tcl_CreateInterp());
    return 0;
}
