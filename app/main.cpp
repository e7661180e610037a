// lumo: the viewer. Until the viewer's window lands, this entry point checks
// its command line and reads the scene description, so that scripts written
// for it already see its messages and exit statuses.
#include <cstdio>
#include <memory>

#include "scene/lid_reader.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("[main]:lid filename not provided\n", stderr);
        return 1;
    }
    auto info = std::make_unique<lumo::LidInfo>();
    lumo::ReadLidFile(*info, argv[1]);
    std::fprintf(stderr,
                 "lumo: %s read; the interactive viewer is not part of this build yet\n",
                 argv[1]);
    return 0;
}
