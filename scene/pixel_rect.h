// An inclusive rectangle of an image's pixels: columns x0..x1, rows y0..y1.
#pragma once

#include <algorithm>
#include <cstdint>

namespace lumo {

struct PixelRect {
    int32_t x0 = 0, x1 = -1, y0 = 0, y1 = -1;  // the default holds no pixel

    bool empty() const { return x0 > x1 || y0 > y1; }
    // Whether every pixel of `r` lies in this one (an empty `r` always does).
    bool Contains(const PixelRect& r) const {
        return r.empty() ||
               (!empty() && r.x0 >= x0 && r.x1 <= x1 && r.y0 >= y0 && r.y1 <= y1);
    }
    // The whole of a w x h image.
    static PixelRect Whole(int32_t w, int32_t h) { return PixelRect{0, w - 1, 0, h - 1}; }
    // The pixels of an image halved `level` times (each pixel standing for a
    // 2^level x 2^level block) that hold some pixel of this rectangle.
    PixelRect Reduced(int32_t level) const {
        if (empty() || level <= 0) return *this;
        return PixelRect{x0 >> level, x1 >> level, y0 >> level, y1 >> level};
    }
    // The part of this rectangle inside a w x h image.
    PixelRect ClippedTo(int32_t w, int32_t h) const {
        return PixelRect{std::max(x0, 0), std::min(x1, w - 1), std::max(y0, 0),
                         std::min(y1, h - 1)};
    }
};

}  // namespace lumo
