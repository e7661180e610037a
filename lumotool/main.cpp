// lumotool: the viewer's command-line companion. Scene information, batch
// relighting, packing image sets and baking demo scenes, with the same
// readers and engine as the viewer.
#include "cli/run_lumotool.h"

int main(int argc, char** argv) {
    return lumo::tool::RunLumotool(argc, argv);
}
