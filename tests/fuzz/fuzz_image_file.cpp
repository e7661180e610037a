// Fuzzes the picture wrapper through a picture in memory: the header checks,
// the strip reader and OpenImageIO's decoders behind the picture module. The
// first byte chooses the format (as a file's extension would), the rest is
// the file. Pictures of more than 2^22 values are only opened (the header
// checks run; the fuzzer's memory limit would stop a legitimate large
// decode); smaller ones are read in strips of 7 rows.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "io/image_file.h"

namespace {

const char* const kNames[] = {"fuzz.png", "fuzz.jpg", "fuzz.tif",
                              "fuzz.exr", "fuzz.hdr", "fuzz.ppm"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const char* name = kNames[data[0] % (sizeof kNames / sizeof kNames[0])];
    lumo::ImageReader reader;
    if (!reader.OpenBytes(name, std::span(data + 1, size - 1)).ok()) return 0;
    const lumo::ImageSize sz = reader.size();
    const uint64_t values = static_cast<uint64_t>(sz.width) *
                            static_cast<uint64_t>(sz.height) *
                            static_cast<uint64_t>(sz.channels);
    if (values > (uint64_t{1} << 22)) return 0;
    std::vector<float> rows(static_cast<size_t>(sz.width) *
                            static_cast<size_t>(sz.channels) * 7);
    for (int32_t y = 0; y < sz.height; y += 7) {
        if (!reader.ReadRows(y, std::min(sz.height, y + 7), rows.data()).ok()) break;
    }
    lumo::NonFiniteValue at;
    (void)lumo::FindNonFinite(rows, sz.width, sz.channels, 0, at);
    return 0;
}
