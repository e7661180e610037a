// Fuzzes the depth-map reader.
#include <cstddef>
#include <cstdint>

#include "io/depth_map.h"
#include "io/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lumo::FilePtr f = lumo::OpenMemoryStream(data, size);
    if (!f) return 0;
    lumo::Zfile z;
    if (z.ReadFrom(f.get(), lumo::MessageSink()).ok() && z.width > 0 && z.height > 0)
        (void)z.DepthAt(z.width - 1, z.height - 1);
    return 0;
}
