// Fuzzes the scene description reader.
#include <cstddef>
#include <cstdint>

#include "io/memory_stream.h"
#include "scene/lid_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lumo::FilePtr f = lumo::OpenMemoryStream(data, size);
    if (!f) return 0;
    lumo::LidInfo info;
    (void)lumo::ReadLidStream(f.get(), info);
    return 0;
}
