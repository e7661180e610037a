// Fuzzes the DCT stream reader and decoder.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "io/dct_image.h"
#include "io/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lumo::FilePtr f = lumo::OpenMemoryStream(data, size);
    if (!f) return 0;
    lumo::DctReadOptions options;
    options.max_pixels = int64_t{1} << 20;  // keeps each run small; the rule is the same
    lumo::DctImage image;
    if (!image.Read(f.get(), options).ok()) return 0;
    std::vector<float> out;
    int32_t w = 0, h = 0;
    (void)image.DecodeTo(out, w, h, lumo::MessageSink(), lumo::MessageSink(), 1);
    return 0;
}
