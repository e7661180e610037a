// A seeded storm of hostile commands for the viewer's whole command surface.
//
// The script calls every widget command of both views and writes every linked
// variable with hostile arguments (huge, negative, non-numeric, empty, too
// few, too many), interleaved with redraws, grabs, light additions and
// deletions, and the destruction and re-creation of both views. Each command
// runs inside `catch`: a Tcl error is an accepted answer, only the process
// dying is a fault. The same seed and count always give the same script.
#pragma once

#include <cstdint>
#include <string>

namespace lumo::testing {

// A Tcl script of `count` storm steps for a viewer whose test start-up
// script already made `.slab` (ident "slabview") and `.light`.
std::string CommandStormScript(uint64_t seed, int count);

}  // namespace lumo::testing
