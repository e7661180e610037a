// lumo: the viewer. One argument, the scene description; the window comes
// from the start-up script lumo.tcl.
#include <cstdio>

#include "app/app_init.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("[main]:lid filename not provided\n", stderr);
        return 1;
    }
    return lumo::RunViewer(argv[0], argv[1]);
}
