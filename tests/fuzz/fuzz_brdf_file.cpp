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
#include "relight/reconstruct.h"
#include "relight/sh_basis.h"

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
    if (!EnsureShBands(image.lcnt).ok()) return 0;
    const size_t pixels =
        static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    std::vector<uint8_t> out(pixels * 3);
    const float color[3] = {1.0f, 0.5f, 0.25f};
    const int32_t terms = image.lcnt * image.lcnt;
    // The tables hold the file's bands: nothing is left to fail.
    if (!RelightWindowDirectional(image, 0, image.width - 1, 0, image.height - 1, 0.6f,
                                  0.8f, 0.6f, color, out, terms, MessageSink())
             .ok())
        std::abort();
    const float cost[2] = {0.6f, -0.2f}, cosp[2] = {0.8f, 0.0f}, sinp[2] = {0.6f, 1.0f};
    const Rgb colors[2] = {{1, 1, 1}, {0.2f, 0.4f, 0.9f}};
    if (!RelightWindowSeveral(image, image.width - 1, 0, image.height - 1, 0, cost, cosp,
                              sinp, colors, 2, out, terms, MessageSink())
             .ok())
        std::abort();
    return 0;
}
