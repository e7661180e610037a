// Fuzzes the coefficient-file reader, then relights what it read, so that the
// engine sees fuzzed windows, bitmaps and band counts: one directional light
// and two lights at once over the whole image. The direct reader (straight
// into the tiles) must refuse the same files with the same messages and
// build the same image bit for bit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "io/memory_stream.h"
#include "relight/brdf_file.h"
#include "tests/fuzz/relight_whole.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lumo;
    FilePtr f = OpenMemoryStream(data, size);
    FilePtr g = OpenMemoryStream(data, size);
    if (!f || !g) return 0;
    BrdfImage direct;
    const Status direct_status = ReadBrdfImage(g.get(), direct, MessageSink());
    BrdfFileData file;
    Status status = ReadBrdfData(f.get(), file, MessageSink());
    BrdfImage image;
    if (status.ok()) status = AssembleBrdfImage(file, image);
    if (status.message() != direct_status.message()) std::abort();
    if (!status.ok()) return 0;
    if (direct.xmin != image.xmin || direct.xmax != image.xmax ||
        direct.ymin != image.ymin || direct.ymax != image.ymax ||
        direct.tile_count != image.tile_count || direct.tile_pixel != image.tile_pixel ||
        direct.tile_mask != image.tile_mask ||
        direct.coeff.size() != image.coeff.size() ||
        (!image.coeff.empty() && std::memcmp(direct.coeff.data(), image.coeff.data(),
                                             image.coeff.size() * sizeof(float)) != 0))
        std::abort();
    RelightWhole(image);
    return 0;
}
