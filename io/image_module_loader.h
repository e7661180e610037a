// Finding and loading the picture module (io/image_module.h) on first use.
//
// The module is looked for, in order:
//   - only at $LUMO_IMAGE_MODULE when that is set (tests point it elsewhere);
//   - beside the running program (/proc/self/exe);
//   - in the install location relative to the program (bin/../lib/lumo with
//     the configured directories), so that a moved install keeps working;
//   - where this build tree puts it;
//   - in the configured install location.
// The first of these that exists is loaded; the outcome, module or failure,
// is kept for the rest of the process.
#pragma once

#include <string>
#include <vector>

#include "io/image_module.h"

namespace lumo {

// The file name of the module.
inline constexpr const char* kImageModuleFile = "lumo_imagelib.so";

// The places looked at, in order, as above.
std::vector<std::string> ImageModuleCandidates();

// The module's interface, loading it on the first call (safe from several
// threads). Null when it cannot be loaded, with the reason in `why` (one
// line: "cannot load the picture module: " and the loader's words, which
// name the file).
const image_module::Api* LoadImageModule(std::string& why);

}  // namespace lumo
