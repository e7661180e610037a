// Fuzzes the light rig and view path readers (JSON text). Slides and
// environment maps a rig names are read from the current folder; the seeds
// name none that exist, so only the text is exercised.
#include <cstddef>
#include <cstdint>
#include <string>

#include "model/light_rig.h"
#include "model/view_path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    lumo::LightRig rig;
    (void)lumo::ParseLightRig(text, "fuzz", rig);
    lumo::ViewPath path;
    (void)lumo::ParseViewPath(text, "fuzz", path);
    return 0;
}
