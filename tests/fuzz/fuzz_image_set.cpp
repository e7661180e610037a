// Fuzzes the compressed image-set reader (outer container, header, three DCT
// streams and the mosaic).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "io/image_set.h"
#include "io/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lumo::FilePtr f = lumo::OpenMemoryStream(data, size);
    if (!f) return 0;
    lumo::ImageSetReadOptions options;
    options.progress = lumo::MessageSink();
    options.errors = lumo::MessageSink();
    options.threads = 1;
    options.max_pixels = int64_t{1} << 20;
    std::vector<lumo::Photo> photos(64);
    std::vector<uint8_t> mask(64, 1);
    int32_t cols = 0, rows = 0;
    (void)lumo::ReadDATStream(f.get(), "fuzz.dat", photos.data(), photos.size(), cols,
                              rows, mask.data(), options);
    return 0;
}
