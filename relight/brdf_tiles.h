// Building a BrdfImage's tiled layout (scene/brdf_image.h) from a coefficient
// file's bitmaps, and writing the coefficient vectors into it.
//
// Every reader of coefficient files writes the tiled block through StoreTile
// alone: a way of keeping coefficients other than host floats changes this
// file and nothing upstream of it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/status.h"
#include "scene/brdf_image.h"

namespace lumo {

// The header fields of a coefficient file and its three bitmaps (at least
// width * height / 8 + 1 bytes each), as far as the layout needs them.
struct BrdfTilePlanInput {
    int32_t width = 0;
    int32_t height = 0;
    int32_t lcnt = 0;
    int32_t harcnt = 0;  // not negative
    bool half = false;   // keep the coefficients as half floats
    const uint8_t* bitmap[3] = {};
};

// Lays out `image` (freshly constructed or reset) for a file: sets the sizes,
// the window (the bounding box of the pixels present in any channel; the
// empty window xmin = width, xmax = -1, ymin = height, ymax = -1 when none
// is), tile_count, tile_pixel and tile_mask, and allocates the coefficient
// block (of halves when in.half) without clearing it: StoreTile then writes
// each tile in full. Touches
// no process-wide state. Fails with "No memory for CC\n".
Status PlanBrdfTiles(const BrdfTilePlanInput& in, BrdfImage& image);

// The number of coefficient vectors tile t takes from channel ch.
inline size_t TileVectors(const BrdfImage& image, size_t t, int ch) {
    return static_cast<size_t>(
        __builtin_popcount(image.tile_mask[t * 3 + static_cast<size_t>(ch)]));
}

// Writes every float of tile t of a planned image: a lane set in the tile's
// mask of channel ch takes the next vector of src[ch] (image.harcnt host-order
// floats; src[ch] moves past it); absent and padding lanes, and the one term of
// a file without coefficients, hold zeros. A half image takes each float
// rounded to the nearest half (ties to even; FloatsToHalves).
void StoreTile(BrdfImage& image, size_t t, const float* src[3]);

}  // namespace lumo
