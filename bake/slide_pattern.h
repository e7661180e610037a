// The slide image that `lumotool bake` writes for slide projectors.
#pragma once

#include "io/photo.h"

namespace lumo::tool {

// A size x size test card (size >= 16): a 4 x 4 grid of distinct colours
// separated by white lines, inside a black frame, with a white arrow in the
// middle pointing to the top. Row 0 is the bottom row (as an SGI file stores
// it, and as a slide projector's t axis runs), so the arrow points along the
// projector's up vector; no two quadrants look alike, so a mirrored or turned
// projection is plain to see. The window is the whole pixel range.
Photo SlidePattern(int size);

}  // namespace lumo::tool
