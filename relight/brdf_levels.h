// Coefficient levels: a BrdfImage at a reduced resolution.
//
// Level L of an image of w x h pixels has ceil(w / 2^L) x ceil(h / 2^L)
// pixels; each of its coefficients is the mean of that coefficient over the
// 2^L x 2^L block of the image's pixels it stands for (a block cut by the
// image's last column or row averages the pixels there are). A pixel without
// coefficients in a channel counts as zeros there, as it relights to black;
// a level pixel has coefficients in a channel when any pixel of its block
// has. Relighting is linear in the coefficients, so relighting level L gives
// the mean of the relit image's blocks, up to the rounding to bytes and the
// clamping of each pixel.
//
// A level is built from the image's own coefficients (never from another
// level), in the image's precision (floats, or halves for a half image), and
// the same way on any number of threads.
#pragma once

#include <cstdint>

#include "base/status.h"
#include "scene/brdf_image.h"
#include "scene/pixel_rect.h"

namespace lumo {

// The coarsest level kept.
inline constexpr int32_t kMaxBrdfLevel = 16;

// Pixels along a side of n pixels at level `level`: ceil(n / 2^level).
inline int32_t LevelSide(int32_t n, int32_t level) {
    if (level <= 0 || n <= 0) return n;
    const int64_t b = int64_t{1} << level;
    return static_cast<int32_t>((static_cast<int64_t>(n) + b - 1) / b);
}

// The pixels of a level of w x h pixels relit for the image's pixels `area`:
// those holding them, and one more on each side (the reduced picture's own
// mipmap levels reach that far at the view's edges), within the level.
inline PixelRect LevelArea(const PixelRect& area, int32_t level, int32_t w, int32_t h) {
    if (area.empty() || level <= 0) return area.ClippedTo(w, h);
    const PixelRect r = area.Reduced(level);
    return PixelRect{r.x0 - 1, r.x1 + 1, r.y0 - 1, r.y1 + 1}.ClippedTo(w, h);
}

// Builds level `level` (1 .. kMaxBrdfLevel) of `image` into `out` (freshly
// constructed or reset; its own levels stay empty). Fails with
// "No memory for CC\n", leaving `out` reset.
Status ReduceBrdf(const BrdfImage& image, int32_t level, BrdfImage& out);

// Level `level` of `image`: the image itself at 0, else its kept level
// (image.levels), built by ReduceBrdf the first time it is asked for. Null
// when the level is above kMaxBrdfLevel or cannot be built for want of memory.
const BrdfImage* BrdfLevel(BrdfImage& image, int32_t level);

}  // namespace lumo
