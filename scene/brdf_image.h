// BrdfImage: one reference image's spherical-harmonic coefficients.
//
// For every pixel and colour channel that carries coefficients, a vector of
// `harcnt` floats describes how the pixel's brightness responds to the
// direction of incoming light. The record is plain data so that the slab
// records can own it; the coefficient-file reader and the reconstruction
// live in this folder's library.
//
// Layout. The coefficients are not kept in file order. The pixels that carry
// coefficients in at least one channel are taken in pixel order and grouped
// into tiles of kShLanes pixels (the last tile padded). A tile stores
// coefficient 0 of its kShLanes pixels side by side for red, then for green,
// then for blue, then coefficient 1 likewise, and so on:
//
//   coeff[((tile * harcnt + i) * 3 + channel) * kShLanes + lane]
//
// (a file with harcnt 0 is stored as if it held one zero term per pixel).
//
// The coefficients are floats, or, in an image read with half precision
// (`half` set), IEEE half floats (base/half_float.h) in coeff_half with the
// same layout, at half the memory; coeff is then empty.
//
// The blocks are the image's own, or read-only views of a mapped coefficient
// cache (relight/brdf_cache.h) that they keep mapped (scene/tile_array.h).
//
// A lane whose pixel has no coefficients in a channel (or a padding lane)
// holds zeros there. Reconstruction then reads every coefficient once, in one
// forward stream, and evaluates kShLanes pixels with one vector operation per
// term while keeping each pixel's own order of operations.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "base/half_float.h"
#include "scene/tile_array.h"

namespace lumo {

// Pixels per tile: one 32-byte vector of floats.
inline constexpr int32_t kShLanes = 8;
// Floats from one coefficient of a pixel to its next: the three channels' lanes.
inline constexpr int32_t kShTermStride = 3 * kShLanes;

using CoeffBlock = TileArray<float>;
using HalfBlock = TileArray<uint16_t>;
using TilePixels = TileArray<int32_t>;
using TileMasks = TileArray<uint8_t>;

// One pixel of one channel (BrdfImage::Pixel): its first coefficient inside
// the BrdfImage's coefficient block (of floats, or of halves in a half
// image), or null when the pixel has no coefficients in that channel. The
// pixel's coefficient i lies kShTermStride values after coefficient i - 1 (see
// the layout above).
struct ShPixel {
    const float* coeff = nullptr;
    const uint16_t* half = nullptr;

    bool present() const { return coeff != nullptr || half != nullptr; }
    // Coefficient i of a present pixel, i < the image's harcnt.
    float Coeff(int32_t i) const {
        const ptrdiff_t at = static_cast<ptrdiff_t>(i) * kShTermStride;
        return coeff != nullptr ? coeff[at] : HalfToFloat(half[at]);
    }
};

struct BrdfImage {
    int32_t lcnt = 0;    // SH bands L of this file
    int32_t width = 0;   // pixels per row
    int32_t height = 0;  // rows
    int32_t xmin = 0;    // window: smallest column with coefficients in any channel
    int32_t xmax = -1;   // largest such column
    int32_t ymin = 0;    // smallest such row
    int32_t ymax = -1;   // largest such row
    int32_t harcnt = 0;  // coefficients stored per present pixel

    // Tiled coefficients of the three channels (layout above).
    int32_t tile_count = 0;
    bool half = false;  // coefficients in coeff_half rather than coeff
    CoeffBlock coeff;
    HalfBlock coeff_half;
    // tile_count * kShLanes pixel indices y * width + x in pixel order; -1 marks
    // a padding lane of the last tile.
    TilePixels tile_pixel;
    // tile_count * 3 lane masks: bit `lane` of tile_mask[tile * 3 + channel] is
    // set when that lane's pixel has coefficients in the channel.
    TileMasks tile_mask;
    // Coefficient levels (relight/brdf_levels.h): levels[L - 1] holds level
    // L, each coefficient the mean of a 2^L x 2^L block of this image's
    // pixels, once it has been asked for (width 0 until then). They go with
    // the coefficients they were made from.
    std::vector<BrdfImage> levels;

    BrdfImage() = default;
    // A BrdfImage may be moved (the block keeps its address, so ShPixel
    // pointers stay valid) but not copied.
    BrdfImage(const BrdfImage&) = delete;
    BrdfImage& operator=(const BrdfImage&) = delete;
    BrdfImage(BrdfImage&&) = default;
    BrdfImage& operator=(BrdfImage&&) = default;

    // Whether the coefficients are a view of a mapped cache rather than the
    // image's own memory.
    bool mapped() const { return coeff.is_view() || coeff_half.is_view(); }

    // Back to the freshly constructed state, releasing every array.
    void Reset() { *this = BrdfImage(); }

    // The number of leading coefficients of each pixel that an evaluation may
    // use: those stored (harcnt) and within the file's own bands (lcnt^2).
    int32_t stored_terms() const {
        const int32_t bands = lcnt * lcnt;
        const int32_t n = harcnt < bands ? harcnt : bands;
        return n > 0 ? n : 0;
    }

    // Offset of coefficient 0 of tile t, channel ch, in the coefficient
    // block; coefficient i is i * kShTermStride values further.
    ptrdiff_t TileOffset(int32_t t, int ch) const {
        const ptrdiff_t room = harcnt > 0 ? harcnt : 1;
        return (static_cast<ptrdiff_t>(t) * room * 3 + ch) * kShLanes;
    }
    // That coefficient of a float image.
    const float* TileCoeff(int32_t t, int ch) const {
        return coeff.data() + TileOffset(t, ch);
    }
    // That coefficient of a half image.
    const uint16_t* TileCoeffHalf(int32_t t, int ch) const {
        return coeff_half.data() + TileOffset(t, ch);
    }
    // The pixel in `lane` of tile t, channel ch, whether present or not.
    ShPixel LanePixel(int32_t t, int ch, int32_t lane) const {
        if (half) return ShPixel{nullptr, TileCoeffHalf(t, ch) + lane};
        return ShPixel{TileCoeff(t, ch) + lane};
    }

    // Pixel e = y * width + x of channel ch (0 red, 1 green, 2 blue); absent
    // when the pixel has no coefficients in that channel. Finds the pixel's
    // lane among the tiles (tile_pixel is in pixel order), so it is for
    // inspecting single pixels; the reconstruction walks the tiles.
    ShPixel Pixel(int ch, size_t e) const {
        const size_t lanes = static_cast<size_t>(tile_count) * kShLanes;
        if (ch < 0 || ch > 2 || lanes > tile_pixel.size()) return {};
        const int32_t* first = tile_pixel.data();
        // Padding lanes (-1) only end the last tile: search the pixels before them.
        size_t n = lanes;
        while (n > 0 && first[n - 1] < 0)
            --n;
        const int32_t* at = std::lower_bound(first, first + n, static_cast<int64_t>(e),
                                             [](int32_t p, int64_t v) { return p < v; });
        if (at == first + n || static_cast<size_t>(*at) != e) return {};
        const size_t u = static_cast<size_t>(at - first);
        const size_t tile = u / kShLanes, lane = u % kShLanes;
        if ((tile_mask[tile * 3 + static_cast<size_t>(ch)] & (1u << lane)) == 0)
            return {};
        return LanePixel(static_cast<int32_t>(tile), ch, static_cast<int32_t>(lane));
    }
};

}  // namespace lumo
