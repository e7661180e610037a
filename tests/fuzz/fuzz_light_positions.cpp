// Fuzzes the light-position (.lp) reader's text parser. The photographs it
// names are only resolved, never opened.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fit/light_positions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<lumo::LightPhoto> photos;
    (void)lumo::ParseLightPositions(text, "fuzz/lights.lp", photos);
    return 0;
}
