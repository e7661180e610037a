// Fuzzes the coefficient-file reader, then relights what it read, so that the
// engine sees fuzzed windows, bitmaps and band counts: one directional light
// and two lights at once over the whole image.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "io/memory_stream.h"
#include "relight/brdf_file.h"
#include "relight/reconstruct.h"
#include "relight/sh_basis.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lumo;
    FilePtr f = OpenMemoryStream(data, size);
    if (!f) return 0;
    BrdfFileData file;
    if (!ReadBrdfData(f.get(), file, MessageSink()).ok()) return 0;
    BrdfImage image;
    if (!AssembleBrdfImage(file, image).ok()) return 0;
    if (!EnsureShBands(image.lcnt).ok()) return 0;
    const size_t pixels =
        static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    std::vector<uint8_t> out(pixels * 3);
    const float color[3] = {1.0f, 0.5f, 0.25f};
    const int32_t terms = image.lcnt * image.lcnt;
    ReconDirLight(image, 0, image.width - 1, 0, image.height - 1, 0.6f, 0.8f, 0.6f, color,
                  out, terms, MessageSink());
    const float cost[2] = {0.6f, -0.2f}, cosp[2] = {0.8f, 0.0f}, sinp[2] = {0.6f, 1.0f};
    const Rgb colors[2] = {{1, 1, 1}, {0.2f, 0.4f, 0.9f}};
    ReconWMultDirLight(image, image.width - 1, 0, image.height - 1, 0, cost, cosp, sinp,
                       colors, 2, out, terms, MessageSink());
    return 0;
}
