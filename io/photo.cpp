#include "io/photo.h"

#include <algorithm>

#include "io/alloc.h"

namespace lumo {

Status Photo::Alloc(int32_t w, int32_t h) {
    size_t bytes = 0;
    if (w < 0 || h < 0 ||
        !CheckedMul(static_cast<size_t>(w), static_cast<size_t>(h), bytes) ||
        !CheckedMul(bytes, 3, bytes) || !TryAssign(pixels, bytes, uint8_t{0})) {
        return Status::Error("[ReadSGIRGB]: no enough memory for buf\n");
    }
    width = w;
    height = h;
    return Status::Ok();
}

void Photo::Clear() {
    std::fill(pixels.begin(), pixels.end(), uint8_t{0});
}

void Photo::Invert() {
    if (pixels.empty() || width <= 0) return;
    const size_t row = static_cast<size_t>(width) * 3;
    for (int32_t r = 0, s = height - 1; r < s; ++r, --s) {
        std::swap_ranges(pixels.begin() + static_cast<ptrdiff_t>(r * row),
                         pixels.begin() + static_cast<ptrdiff_t>((r + 1) * row),
                         pixels.begin() + static_cast<ptrdiff_t>(s * row));
    }
}

}  // namespace lumo
