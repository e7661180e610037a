#include "relight/brdf_levels.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "base/alloc.h"
#include "base/half_float.h"
#include "base/parallel_for.h"

namespace lumo {
namespace {

// The lanes of `image` holding pixels of rows [y0, y1): a range of its lanes,
// as the tiles keep the pixels in pixel order.
void LanesOfRows(const BrdfImage& image, size_t lanes, int32_t y0, int32_t y1,
                 size_t& first, size_t& last) {
    const int32_t* p = image.tile_pixel.data();
    const int64_t w = image.width;
    auto at = [&](int64_t pixel) {
        return static_cast<size_t>(
            std::lower_bound(p, p + lanes, pixel,
                             [](int32_t a, int64_t v) { return a < v; }) -
            p);
    };
    first = at(static_cast<int64_t>(y0) * w);
    last = at(static_cast<int64_t>(y1) * w);
}

// Adds the coefficients of lanes [first, last) (pixels of rows from y0 on)
// into sum[((x * 3 + channel) * room + i) * kShLanes + lane], x the level
// column of the lane's pixel: each lane of a tile has sums of its own, so
// that the additions of a tile do not wait for one another; a full tile
// whose pixels share their level column adds its lanes' total to lane 0's.
// Tile after tile, so the sums do not depend on the threads.
void SumLanes(const BrdfImage& image, size_t first, size_t last, int32_t y0,
              int32_t level, size_t room, double* sum) {
    const int64_t W = image.width;
    int64_t row_start = static_cast<int64_t>(y0) * W;  // pixel index of the lane's row
    const size_t tile_values = room * kShTermStride;
    std::vector<float> values(image.half ? tile_values : 0);
    for (size_t u = first; u < last;) {
        const size_t t = u / kShLanes;
        const size_t end = std::min(last, (t + 1) * kShLanes);
        size_t x[kShLanes] = {};
        unsigned lanes = 0;
        for (size_t v = u; v < end; ++v) {
            const int64_t p = image.tile_pixel[v];
            while (p >= row_start + W)
                row_start += W;
            x[v % kShLanes] = static_cast<size_t>((p - row_start) >> level);
            lanes |= 1u << (v % kShLanes);
        }
        const size_t at =
            static_cast<size_t>(image.TileOffset(static_cast<int32_t>(t), 0));
        const float* tile = image.coeff.data() + (image.half ? 0 : at);
        if (image.half) {
            HalvesToFloats(image.coeff_half.data() + at, values.data(), tile_values);
            tile = values.data();
        }
        const bool one_column = x[0] == x[kShLanes - 1];
        for (int c = 0; c < 3; ++c) {
            const unsigned m = lanes & image.tile_mask[t * 3 + static_cast<size_t>(c)];
            if (m == 0) continue;
            const float* base = tile + static_cast<size_t>(c) * kShLanes;
            double* into = sum + (x[0] * 3 + static_cast<size_t>(c)) * room * kShLanes;
            for (size_t i = 0; i < room; ++i) {
                const float* f = base + i * kShTermStride;
                if (m == (1u << kShLanes) - 1 && one_column) {
                    double total = 0.0;
                    for (int l = 0; l < kShLanes; ++l)
                        total += f[l];
                    into[i * kShLanes] += total;
                    continue;
                }
                for (unsigned b = m; b != 0; b &= b - 1) {
                    const int l = __builtin_ctz(b);
                    sum[((x[l] * 3 + static_cast<size_t>(c)) * room + i) * kShLanes +
                        static_cast<size_t>(l)] += f[l];
                }
            }
        }
        u = end;
    }
}

}  // namespace

Status ReduceBrdf(const BrdfImage& image, int32_t level, BrdfImage& out) {
    const Status no_memory = Status::Error("No memory for CC\n");
    if (level < 1 || level > kMaxBrdfLevel || image.width <= 0 || image.height <= 0)
        return no_memory;
    const int32_t W = image.width, H = image.height;
    const int32_t block = int32_t{1} << level;
    const int32_t cw = LevelSide(W, level), ch = LevelSide(H, level);
    const size_t room = static_cast<size_t>(std::max<int32_t>(image.harcnt, 1));
    // Lanes holding pixels: the padding lanes (-1) only end the last tile.
    size_t lanes = static_cast<size_t>(std::max(image.tile_count, 0)) * kShLanes;
    lanes = std::min(lanes, image.tile_pixel.size());
    while (lanes > 0 && image.tile_pixel[lanes - 1] < 0)
        --lanes;

    try {
        // The channels each level pixel has coefficients in (bit ch), and the
        // number of such pixels per level row.
        std::vector<uint8_t> present(static_cast<size_t>(cw) * static_cast<size_t>(ch),
                                     0);
        std::vector<size_t> row_start(static_cast<size_t>(ch) + 1, 0);
        ParallelFor(static_cast<size_t>(ch), 16, [&](size_t begin, size_t end) {
            for (size_t y = begin; y < end; ++y) {
                const int32_t Y = static_cast<int32_t>(y);
                size_t first = 0, last = 0;
                LanesOfRows(image, lanes, Y * block, std::min((Y + 1) * block, H), first,
                            last);
                uint8_t* row = present.data() + y * static_cast<size_t>(cw);
                int64_t first_pixel = static_cast<int64_t>(Y) * block * W;
                for (size_t u = first; u < last; ++u) {
                    const int64_t p = image.tile_pixel[u];
                    while (p >= first_pixel + W)
                        first_pixel += W;
                    const int64_t x = p - first_pixel;
                    const size_t t = u / kShLanes;
                    const unsigned lane = static_cast<unsigned>(u % kShLanes);
                    uint8_t bits = 0;
                    for (int c = 0; c < 3; ++c)
                        if ((image.tile_mask[t * 3 + static_cast<size_t>(c)] >> lane) &
                            1u)
                            bits = static_cast<uint8_t>(bits | (1u << c));
                    row[x >> level] = static_cast<uint8_t>(row[x >> level] | bits);
                }
                size_t n = 0;
                for (int32_t x = 0; x < cw; ++x)
                    n += row[x] != 0 ? 1 : 0;
                row_start[y + 1] = n;
            }
        });
        for (size_t y = 0; y < static_cast<size_t>(ch); ++y)
            row_start[y + 1] += row_start[y];
        const size_t count = row_start[static_cast<size_t>(ch)];
        const size_t tiles = (count + kShLanes - 1) / kShLanes;
        size_t values = 0;
        if (tiles > static_cast<size_t>(INT32_MAX) ||
            !CheckedMul(tiles, kShTermStride, values) ||
            !CheckedMul(values, room, values))
            return no_memory;

        out.Reset();
        out.lcnt = image.lcnt;
        out.width = cw;
        out.height = ch;
        out.harcnt = image.harcnt;
        out.half = image.half;
        out.tile_count = static_cast<int32_t>(tiles);
        if (image.xmin <= image.xmax && image.ymin <= image.ymax && count > 0) {
            out.xmin = image.xmin >> level;
            out.xmax = image.xmax >> level;
            out.ymin = image.ymin >> level;
            out.ymax = image.ymax >> level;
        } else {
            out.xmin = cw;
            out.xmax = -1;
            out.ymin = ch;
            out.ymax = -1;
        }
        if (out.half) {
            out.coeff_half.Allocate(values);
            std::fill(out.coeff_half.begin(), out.coeff_half.end(), uint16_t{0});
        } else {
            out.coeff.Allocate(values);
            std::fill(out.coeff.begin(), out.coeff.end(), 0.0f);
        }
        out.tile_pixel.Allocate(tiles * kShLanes);
        std::fill(out.tile_pixel.begin(), out.tile_pixel.end(), -1);
        out.tile_mask.Allocate(tiles * 3);
        std::fill(out.tile_mask.begin(), out.tile_mask.end(), uint8_t{0});

        // Each level row sums its blocks' coefficients in pixel order, so the
        // means do not depend on how the rows are shared among threads.
        ParallelFor(static_cast<size_t>(ch), 4, [&](size_t begin, size_t end) {
            std::vector<double> sum(static_cast<size_t>(cw) * 3 * room * kShLanes);
            for (size_t y = begin; y < end; ++y) {
                const int32_t Y = static_cast<int32_t>(y);
                const int32_t y1 = std::min((Y + 1) * block, H);
                size_t first = 0, last = 0;
                LanesOfRows(image, lanes, Y * block, y1, first, last);
                std::fill(sum.begin(), sum.end(), 0.0);
                SumLanes(image, first, last, Y * block, level, room, sum.data());
                const int32_t rows = y1 - Y * block;
                const uint8_t* bits = present.data() + y * static_cast<size_t>(cw);
                size_t v = row_start[y];
                for (int32_t x = 0; x < cw; ++x) {
                    if (bits[x] == 0) continue;
                    const int32_t cols = std::min(block, W - x * block);
                    const double n = static_cast<double>(rows) * cols;
                    out.tile_pixel[v] = Y * cw + x;
                    const int32_t t = static_cast<int32_t>(v / kShLanes);
                    const ptrdiff_t lane = static_cast<ptrdiff_t>(v % kShLanes);
                    for (int c = 0; c < 3; ++c) {
                        if (((bits[x] >> c) & 1u) == 0) continue;
                        const double* s = sum.data() + (static_cast<size_t>(x) * 3 +
                                                        static_cast<size_t>(c)) *
                                                           room * kShLanes;
                        const ptrdiff_t at = out.TileOffset(t, c) + lane;
                        for (size_t i = 0; i < room; ++i) {
                            const double* lane_sums = s + i * kShLanes;
                            double total = 0.0;
                            for (int32_t l = 0; l < kShLanes; ++l)
                                total += lane_sums[l];
                            const float mean = static_cast<float>(total / n);
                            const ptrdiff_t k =
                                at + static_cast<ptrdiff_t>(i) * kShTermStride;
                            if (out.half) {
                                out.coeff_half[k] = FloatToHalf(mean);
                            } else {
                                out.coeff[k] = mean;
                            }
                        }
                    }
                    ++v;
                }
            }
        });
        // The masks last: a tile may hold pixels of two rows.
        for (size_t v = 0; v < count; ++v) {
            const uint8_t bits = present[static_cast<size_t>(out.tile_pixel[v])];
            for (size_t c = 0; c < 3; ++c)
                if ((bits >> c) & 1u)
                    out.tile_mask[(v / kShLanes) * 3 + c] = static_cast<uint8_t>(
                        out.tile_mask[(v / kShLanes) * 3 + c] | (1u << (v % kShLanes)));
        }
    } catch (const std::exception&) {
        out.Reset();
        return no_memory;
    }
    return Status::Ok();
}

const BrdfImage* BrdfLevel(BrdfImage& image, int32_t level) {
    if (level <= 0) return &image;
    if (level > kMaxBrdfLevel) return nullptr;
    const size_t at = static_cast<size_t>(level - 1);
    try {
        if (image.levels.size() <= at) image.levels.resize(at + 1);
    } catch (const std::exception&) {
        return nullptr;
    }
    BrdfImage& out = image.levels[at];
    if (out.width == 0 && !ReduceBrdf(image, level, out).ok()) return nullptr;
    return &out;
}

}  // namespace lumo
