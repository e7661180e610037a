// BrdfImage: one reference image's spherical-harmonic coefficients.
//
// For every pixel and colour channel that carries coefficients, a vector of
// `harcnt` floats describes how the pixel's brightness responds to the
// direction of incoming light. The record is plain data so that the slab
// records can own it; the coefficient-file reader and the reconstruction
// live in this folder's library.
#pragma once

#include <cstdint>
#include <vector>

namespace lumo {

// One pixel of one channel: its first coefficient inside the channel's CC
// block, or null when the pixel has no coefficients in that channel.
struct ShPixel {
    const float* coeff = nullptr;
};

struct BrdfImage {
    int32_t lcnt = 0;          // SH bands L of this file
    int32_t width = 0;         // pixels per row
    int32_t height = 0;        // rows
    int32_t xmin = 0;          // window: smallest column with coefficients in any channel
    int32_t xmax = -1;         // largest such column
    int32_t ymin = 0;          // smallest such row
    int32_t ymax = -1;         // largest such row
    int32_t harcnt = 0;        // coefficients stored per present pixel (the CC stride)
    std::vector<float> CC[3];  // red, green, blue coefficient blocks as read
    std::vector<ShPixel> sh[3];  // width * height entries per channel, y * width + x

    BrdfImage() = default;
    // The ShPixel pointers point into CC, so a BrdfImage may be moved (the
    // blocks keep their addresses) but not copied.
    BrdfImage(const BrdfImage&) = delete;
    BrdfImage& operator=(const BrdfImage&) = delete;
    BrdfImage(BrdfImage&&) = default;
    BrdfImage& operator=(BrdfImage&&) = default;
};

}  // namespace lumo
