// lumo: the viewer. One argument, the scene description; the window comes
// from the start-up script lumo.tcl. `lumo --help` and `lumo --version` print
// the usage and the version instead.
#include <cstdio>
#include <new>
#include <string_view>

#include "app/app_init.h"

namespace {

constexpr char kUsage[] =
    "usage: lumo SCENE.lid\n"
    "       lumo --help | --version\n"
    "\n"
    "Shows the light slabs of the scene description SCENE.lid under up to 30\n"
    "lights. The data files it names are found relative to the current folder.\n"
    "The window comes from the start-up script lumo.tcl (the one in the current\n"
    "folder, else the one installed beside the viewer); Tcl commands on standard\n"
    "input drive it, e.g. `lumo::add_light`, `.slab grabscr` and `exit`.\n"
    "Environment: LUMO_HALF=1 keeps the coefficients as half floats;\n"
    "LUMO_TRACE=passes prints the per-light passes of a QR slab.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::fputs("lumo " LUMO_VERSION "\n", stdout);
        return 0;
    }
    if (argc < 2) {
        std::fputs("[main]:lid filename not provided\n", stderr);
        return 1;
    }
    if (argc > 2) {
        std::fprintf(stderr,
                     "lumo: one scene description expected, %d arguments given\n"
                     "usage: lumo SCENE.lid (lumo --help)\n",
                     argc - 1);
        return 1;
    }
    try {
        return lumo::RunViewer(argv[0], argv[1]);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "lumo: not enough memory while reading %s\n", argv[1]);
        return 1;
    }
}
