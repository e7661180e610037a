// What the coefficient readers' fuzz targets do with an image they read: relight
// all of it with one directional light and with two lights at once, so that
// the engine sees fuzzed windows, bitmaps and band counts. The tables hold
// the image's bands, so nothing is left to fail: a failure is a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "relight/reconstruct.h"
#include "relight/sh_basis.h"

namespace lumo {

inline void RelightWhole(const BrdfImage& image) {
    if (!EnsureShBands(image.lcnt).ok()) return;
    const size_t pixels =
        static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    std::vector<uint8_t> out(pixels * 3);
    const float color[3] = {1.0f, 0.5f, 0.25f};
    const int32_t terms = image.lcnt * image.lcnt;
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
}

}  // namespace lumo
