#include "bake/slide_pattern.h"

#include <cstdlib>

namespace lumo::tool {
namespace {

// Sixteen distinct colours, bottom-left cell first, row by row upwards.
constexpr uint8_t kPalette[16][3] = {
    {220, 40, 40},   {240, 140, 30},  {240, 220, 40},  {140, 200, 50},
    {40, 170, 70},   {40, 190, 170},  {40, 150, 230},  {50, 70, 200},
    {120, 60, 200},  {200, 60, 190},  {240, 120, 160}, {150, 100, 60},
    {110, 110, 110}, {190, 190, 160}, {30, 90, 60},    {90, 30, 40},
};

}  // namespace

Photo SlidePattern(int size) {
    Photo p;
    if (size < 16 || !p.Alloc(size, size).ok()) return Photo();
    p.x1 = static_cast<float>(size - 1);
    p.y1 = static_cast<float>(size - 1);
    const int cell = size / 4;
    const int line = std::max(1, size / 64);
    const int border = std::max(2, size / 32);
    const int mid = size / 2;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            uint8_t rgb[3];
            const int cx = std::min(3, x / cell);
            const int cy = std::min(3, y / cell);
            for (int c = 0; c < 3; ++c)
                rgb[c] = kPalette[cy * 4 + cx][c];
            const bool grid_line = x % cell < line || y % cell < line;
            // Arrow: a shaft from 1/5 to 5/8 of the height, a head above it
            // up to 7/8, both centred.
            const bool shaft =
                std::abs(x - mid) < size / 16 && y >= size / 5 && y < size * 5 / 8;
            const bool head = y >= size * 5 / 8 && y < size * 7 / 8 &&
                              std::abs(x - mid) < (size * 7 / 8 - y) * 3 / 4;
            if (grid_line || shaft || head) rgb[0] = rgb[1] = rgb[2] = 255;
            if (x < border || y < border || x >= size - border || y >= size - border)
                rgb[0] = rgb[1] = rgb[2] = 0;
            uint8_t* px = &p.pixels[3 * (static_cast<size_t>(y) * size + x)];
            px[0] = rgb[0];
            px[1] = rgb[1];
            px[2] = rgb[2];
        }
    }
    return p;
}

}  // namespace lumo::tool
