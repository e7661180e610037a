// Fuzzes the plane set's info.json parser (the pictures themselves go
// through the picture wrapper, which lumo does not fuzz).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "io/plane_set.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lumo::PlaneSetInfo info;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (lumo::ParsePlaneSetInfo(text, "info.json", info).ok() &&
        (info.scale.size() != static_cast<size_t>(info.nplanes) ||
         info.bias.size() != static_cast<size_t>(info.nplanes))) {
        __builtin_trap();  // the parser promised matching tables
    }
    return 0;
}
