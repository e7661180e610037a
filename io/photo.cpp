#include "io/photo.h"

#include <algorithm>

#include "base/alloc.h"
#include "base/prefault.h"

namespace lumo {

Status Photo::Alloc(int32_t w, int32_t h) {
    if (AllocPixels(w, h)) return Status::Ok();
    return Status::Error("[ReadSGIRGB]: no enough memory for buf\n");
}

bool Photo::AllocPixels(int32_t w, int32_t h) {
    size_t bytes = 0;
    if (w < 0 || h < 0 ||
        !CheckedMul(static_cast<size_t>(w), static_cast<size_t>(h), bytes) ||
        !CheckedMul(bytes, 3, bytes)) {
        return false;
    }
    // Reserve, map the pages in one go, then clear: image blocks are large
    // and page faults one by one are slow.
    std::vector<uint8_t> block;
    try {
        block.reserve(bytes);
    } catch (const std::exception&) {
        return false;
    }
    PrefaultForWrite(block.data(), bytes);
    block.assign(bytes, uint8_t{0});
    pixels.swap(block);
    width = w;
    height = h;
    return true;
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
