#include "relight/brdf_tiles.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

#include "base/alloc.h"
#include "base/half_float.h"

namespace lumo {

static_assert(kShLanes == 8, "a tile's lanes are the bits of one mask byte");

Status PlanBrdfTiles(const BrdfTilePlanInput& in, BrdfImage& image) {
    const Status no_memory = Status::Error("No memory for CC\n");
    const size_t width = static_cast<size_t>(in.width);
    const size_t pixels = width * static_cast<size_t>(in.height);
    const size_t bytes = (pixels + 7) / 8;  // bitmap bytes that hold pixels
    const uint8_t* const r = in.bitmap[0];
    const uint8_t* const g = in.bitmap[1];
    const uint8_t* const b = in.bitmap[2];
    // Bits past the last pixel mark nothing.
    const uint8_t last_mask =
        pixels % 8 == 0 ? uint8_t{0xFF} : static_cast<uint8_t>(0xFFu << (8 - pixels % 8));
    auto any = [&](size_t j) {
        const uint8_t a = static_cast<uint8_t>(r[j] | g[j] | b[j]);
        return j + 1 == bytes ? static_cast<uint8_t>(a & last_mask) : a;
    };

    // Pixels present in any channel, in pixel order, make the tiles.
    size_t present = 0;
    for (size_t j = 0; j < bytes; ++j)
        present += static_cast<size_t>(std::popcount(any(j)));
    const size_t tiles = (present + kShLanes - 1) / kShLanes;
    // A file without coefficients (harcnt 0) still gets one zero term per
    // present pixel, so that every present pixel points into the block.
    const size_t room = static_cast<size_t>(std::max<int32_t>(in.harcnt, 1));
    size_t block = 0;
    if (tiles > static_cast<size_t>(std::numeric_limits<int32_t>::max()) ||
        !CheckedMul(tiles, kShTermStride, block) || !CheckedMul(block, room, block))
        return no_memory;
    try {
        if (in.half) {
            image.coeff_half.Allocate(block);
        } else {
            image.coeff.Allocate(block);
        }
        image.tile_pixel.Allocate(tiles * kShLanes);
        image.tile_mask.Allocate(tiles * 3);
    } catch (const std::exception&) {
        image.Reset();
        return no_memory;
    }
    image.lcnt = in.lcnt;
    image.width = in.width;
    image.height = in.height;
    image.harcnt = in.harcnt;
    image.half = in.half;
    image.tile_count = static_cast<int32_t>(tiles);
    image.xmin = in.width;
    image.xmax = -1;
    image.ymin = in.height;
    image.ymax = -1;

    int32_t* const tile_pixel = image.tile_pixel.data();
    uint8_t* const tile_mask = image.tile_mask.data();
    size_t u = 0;            // index among the present pixels
    int32_t x0 = 0, y0 = 0;  // column and row of pixel 8 * j
    for (size_t j = 0; j < bytes; ++j) {
        const uint8_t a = any(j);
        if (a != 0) {
            int32_t x = x0, y = y0;
            for (int bit = 0; bit < 8; ++bit) {
                const unsigned at = 0x80u >> bit;
                if ((a & at) != 0) {
                    const size_t tile = u / kShLanes;
                    const unsigned lane = static_cast<unsigned>(u % kShLanes);
                    uint8_t* mask = tile_mask + tile * 3;
                    if (lane == 0) mask[0] = mask[1] = mask[2] = 0;
                    if ((r[j] & at) != 0) mask[0] |= static_cast<uint8_t>(1u << lane);
                    if ((g[j] & at) != 0) mask[1] |= static_cast<uint8_t>(1u << lane);
                    if ((b[j] & at) != 0) mask[2] |= static_cast<uint8_t>(1u << lane);
                    tile_pixel[u] =
                        static_cast<int32_t>(j * 8 + static_cast<size_t>(bit));
                    ++u;
                    image.xmin = std::min(image.xmin, x);
                    image.xmax = std::max(image.xmax, x);
                    image.ymin = std::min(image.ymin, y);
                    image.ymax = std::max(image.ymax, y);
                }
                if (++x == in.width) {
                    x = 0;
                    ++y;
                }
            }
        }
        x0 += 8;
        if (x0 >= in.width) {
            y0 += x0 / in.width;
            x0 %= in.width;
        }
    }
    // Padding lanes of the last tile.
    for (size_t v = u; v < tiles * kShLanes; ++v)
        tile_pixel[v] = -1;
    return Status::Ok();
}

namespace {

// Lanes [0, 8) of one channel all present: the eight vectors at s (harcnt
// floats apart) become rows of eight lanes, kShTermStride floats apart.
void StoreFullChannel(float* dst, const float* s, size_t harcnt) {
    size_t i = 0;
#if defined(__SSE2__)
    // Four terms of four lanes at a time: a 4 x 4 transposition in registers.
    for (; i + 4 <= harcnt; i += 4) {
        for (size_t half = 0; half < kShLanes; half += 4) {
            const float* v = s + half * harcnt + i;
            __m128 r0 = _mm_loadu_ps(v);
            __m128 r1 = _mm_loadu_ps(v + harcnt);
            __m128 r2 = _mm_loadu_ps(v + 2 * harcnt);
            __m128 r3 = _mm_loadu_ps(v + 3 * harcnt);
            _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
            float* d = dst + i * kShTermStride + half;
            _mm_storeu_ps(d, r0);
            _mm_storeu_ps(d + kShTermStride, r1);
            _mm_storeu_ps(d + 2 * kShTermStride, r2);
            _mm_storeu_ps(d + 3 * kShTermStride, r3);
        }
    }
#endif
    for (; i < harcnt; ++i) {
        for (size_t lane = 0; lane < kShLanes; ++lane)
            dst[i * kShTermStride + lane] = s[lane * harcnt + i];
    }
}

}  // namespace

namespace {

// StoreTile's floats of tile t, written at `tile`.
void StoreFloatTile(const BrdfImage& image, size_t t, const float* src[3], float* tile) {
    const size_t harcnt = static_cast<size_t>(image.harcnt);
    const size_t room = std::max<size_t>(harcnt, 1);
    for (int ch = 0; ch < 3; ++ch) {
        const unsigned mask = image.tile_mask[t * 3 + static_cast<size_t>(ch)];
        float* const dst = tile + static_cast<size_t>(ch) * kShLanes;
        if (mask == 0xFFu && harcnt > 0) {
            StoreFullChannel(dst, src[ch], harcnt);
            src[ch] += kShLanes * harcnt;
            continue;
        }
        for (unsigned lane = 0; lane < kShLanes; ++lane) {
            size_t i = 0;
            if ((mask & (1u << lane)) != 0) {
                const float* s = src[ch];
                src[ch] += harcnt;
                for (; i < harcnt; ++i)
                    dst[i * kShTermStride + lane] = s[i];
            }
            for (; i < room; ++i)
                dst[i * kShTermStride + lane] = 0.0f;
        }
    }
}

}  // namespace

void StoreTile(BrdfImage& image, size_t t, const float* src[3]) {
    const size_t room = std::max<size_t>(static_cast<size_t>(image.harcnt), 1);
    const size_t values = room * kShTermStride;
    if (!image.half) {
        StoreFloatTile(image, t, src, image.coeff.data() + t * values);
        return;
    }
    // The tile's floats in a scratch block of this thread, then rounded.
    thread_local std::vector<float> scratch;
    if (scratch.size() < values) scratch.resize(values);
    StoreFloatTile(image, t, src, scratch.data());
    FloatsToHalves(scratch.data(), image.coeff_half.data() + t * values, values);
}

}  // namespace lumo
