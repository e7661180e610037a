// Fuzzes the SGI image reader. The first byte chooses the flip and header
// reversal options; the rest is the image.
#include <cstddef>
#include <cstdint>

#include "io/memory_stream.h"
#include "io/sgi_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    lumo::FilePtr f = lumo::OpenMemoryStream(data + 1, size - 1);
    if (!f) return 0;
    lumo::SgiReadOptions options;
    options.stream = f.get();
    options.flip = data[0] & 1;
    options.reverse_header = (data[0] & 2) ? 1 : 0;
    lumo::Photo photo;
    bool loaded = false;
    (void)lumo::ReadSGIRGB(photo, "fuzz.rgb", options, lumo::MessageSink(), loaded);
    return 0;
}
