// The tile loops and their instruction-set entry points.
//
// The coefficients are stored in tiles of kShLanes pixels, coefficient by
// coefficient with the three channels side by side (scene/brdf_image.h), so
// that the tiles of an image are read once, as one forward stream. Every
// operation works on kShLanes pixels at a time with GCC vector types, doing
// per lane exactly the scalar operations of EvalShBasis, EvalShPixel and the
// Vec3 helpers in the same order (relight/recon_sums.h, recon_lane_geometry.h
// and recon_slide_lanes.h). The loops are
// built with sixteen lanes (two tiles per vector) for AVX-512 and with eight
// for AVX2 and the baseline instruction set; the tiles of an image are spread
// over the worker threads.
#include "relight/recon_tiles.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <vector>

#include "base/parallel_for.h"
#include "relight/recon_lanes.h"
#include "relight/sh_basis.h"

namespace lumo::tiles {
namespace {

using namespace kernels;

// Chunks of work handed to the threads: about four per thread and image, so
// that each thread streams long runs of coefficients, but at least 256
// tiles (2048 pixels); an even count, so that the sixteen-lane loops pair
// tiles within every chunk but the last.
size_t TileGrain(size_t tiles) {
    const size_t threads = static_cast<size_t>(ParallelThreads());
    const size_t grain = std::max<size_t>(256, (tiles + 4 * threads - 1) / (4 * threads));
    return (grain + 1) / 2 * 2;
}

// Writes byte values of channel ch for the given lanes of tile t.
LUMO_KERNEL void Scatter(const BrdfImage& brdf, int32_t t, int ch, uint32_t lanes,
                         const int32_t bytes[kShLanes], uint8_t* out) {
    const int32_t* pix = brdf.tile_pixel.data() + static_cast<size_t>(t) * kShLanes;
    for (int lane = 0; lane < kShLanes; ++lane) {
        if (lanes & (1u << lane))
            out[3 * static_cast<size_t>(pix[lane]) + static_cast<size_t>(ch)] =
                static_cast<uint8_t>(bytes[lane]);
    }
}

// The eight-lane tile loops below are compiled twice, for AVX2 and for the
// baseline instruction set, and the machine picks one when the program
// starts; the sixteen-lane ones are compiled for AVX-512 and run only where
// the processor has it (relight/recon_lanes.h). All do the same IEEE
// operations, so the bytes do not depend on the choice.
#define LUMO_KERNEL_CLONES __attribute__((target_clones("avx2", "default")))
#if defined(__x86_64__)
#define LUMO_HAVE_WIDE 1
#define LUMO_KERNEL_WIDE __attribute__((target("avx512f,avx512dq,avx512vl,avx512bw")))
#else
#define LUMO_HAVE_WIDE 0
#endif

// The tiles that may hold pixels p0..p1 (indices y * width + x): tiles are
// in pixel order, so they are one run, from the last tile starting before p0
// to the last starting at or before p1.
void TileRun(const BrdfImage& brdf, int64_t p0, int64_t p1, size_t& begin, size_t& end) {
    const size_t tiles = static_cast<size_t>(brdf.tile_count);
    auto first_pixel = [&](size_t t) { return int64_t{brdf.tile_pixel[t * kShLanes]}; };
    size_t lo = 0, hi = tiles;  // the first tile starting at p0 or after it
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (first_pixel(mid) < p0) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    begin = lo > 0 ? lo - 1 : 0;
    hi = tiles;  // the first tile starting after p1
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (first_pixel(mid) <= p1) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    end = lo;
}

// Runs chunk(job, begin, end) over the tiles of the job's image on the
// workers: only those that may hold pixels of the job's window (row by row
// when the window is narrower than half the image).
template <class Job, class Chunk>
void ForEachTile(const BrdfImage& brdf, const Job& job, Chunk chunk) {
    const size_t all = static_cast<size_t>(brdf.tile_count);
    if (job.tw.whole || brdf.width <= 0 || all == 0) {
        ParallelFor(all, TileGrain(all), [&](size_t b, size_t e) { chunk(job, b, e); });
        return;
    }
    const PixelWindow& w = job.tw.w;
    if (w.empty()) return;
    const int64_t width = brdf.width;
    if (2 * (int64_t{w.x1} - w.x0 + 1) >= width) {
        size_t first = 0, last = 0;
        TileRun(brdf, int64_t{w.y0} * width + w.x0, int64_t{w.y1} * width + w.x1, first,
                last);
        const size_t tiles = last > first ? last - first : 0;
        ParallelFor(tiles, TileGrain(tiles),
                    [&](size_t b, size_t e) { chunk(job, first + b, first + e); });
        return;
    }
    const size_t rows = static_cast<size_t>(w.y1 - w.y0 + 1);
    const size_t per_row = static_cast<size_t>(w.x1 - w.x0 + 1) / kShLanes + 2;
    ParallelFor(rows, std::max<size_t>(1, TileGrain(rows * per_row) / per_row),
                [&](size_t b, size_t e) {
                    for (size_t r = b; r < e; ++r) {
                        const int64_t y = w.y0 + static_cast<int64_t>(r);
                        size_t first = 0, last = 0;
                        TileRun(brdf, y * width + w.x0, y * width + w.x1, first, last);
                        if (last > first) chunk(job, first, last);
                    }
                });
}

// The lanes of one lane group of a tile loop: one tile (V8), or two
// consecutive tiles (V16; one when the chunk ends after the first).
template <class V>
struct LaneGroup {
    static constexpr int kTiles = kLanesOf<V> / kShLanes;
    int32_t t = 0;             // the first tile
    int32_t tiles = 1;         // tiles in the group
    ptrdiff_t second = 0;      // values from the first tile's block to the second's
    int32_t pix[kLanesOf<V>];  // pixel per lane, -1 for none
    uint32_t lanes = 0;        // lanes whose pixel is inside the window
    uint32_t present[3] = {};  // lanes whose pixel has coefficients, per channel

    // The group that starts at tile tt of a chunk ending before tile `end`.
    LUMO_KERNEL void Take(const TileJob& job, size_t tt, size_t end) {
        const BrdfImage& brdf = *job.brdf;
        t = static_cast<int32_t>(tt);
        tiles = end - tt >= static_cast<size_t>(kTiles) ? kTiles : 1;
        second = tiles > 1 ? brdf.TileOffset(t + 1, 0) - brdf.TileOffset(t, 0) : 0;
        lanes = 0;
        for (int k = 0; k < kTiles; ++k) {
            int32_t* p = pix + k * kShLanes;
            if (k >= tiles) {
                for (int lane = 0; lane < kShLanes; ++lane)
                    p[lane] = -1;
                continue;
            }
            const int32_t tk = t + k;
            std::memcpy(p, brdf.tile_pixel.data() + static_cast<size_t>(tk) * kShLanes,
                        kShLanes * sizeof(int32_t));
            const size_t m = static_cast<size_t>(tk) * 3;
            for (int ch = 0; ch < 3; ++ch) {
                const uint32_t bits =
                    static_cast<uint32_t>(brdf.tile_mask[m + static_cast<size_t>(ch)]);
                present[ch] = k == 0 ? bits : present[ch] | bits << (k * kShLanes);
            }
            if (!job.tw.OutsideRows(tk)) lanes |= job.tw.Lanes(tk) << (k * kShLanes);
        }
    }
};

// Asks for the cache line at p. GCC drops loops of __builtin_prefetch as
// having no effect, so on x86 the instruction is written out.
LUMO_KERNEL void PrefetchLine(const char* p) {
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("prefetcht0 %0" : : "m"(*p));
#else
    __builtin_prefetch(p);
#endif
}

// The coefficient lines of a lane group's tiles that a tile loop reads (the
// first `terms` coefficients of each), asked for a slice at a time ahead of
// their use: spread over other work, the requests keep the memory busy
// without waiting for free line buffers all at once.
struct GroupPrefetch {
    const char* first[2] = {};  // each tile's first byte
    int32_t tiles = 0;
    int32_t lines = 0;  // 64-byte lines per tile

    // The group of `tiles` tiles from tile t (none when tiles is 0).
    GroupPrefetch(const BrdfImage& brdf, int32_t t, int32_t count, int32_t terms) {
        tiles = count;
        const size_t value = brdf.half ? sizeof(uint16_t) : sizeof(float);
        lines = static_cast<int32_t>(
            (static_cast<size_t>(terms) * kShTermStride * value + 63) / 64);
        for (int32_t k = 0; k < tiles; ++k)
            first[k] = brdf.half
                           ? reinterpret_cast<const char*>(brdf.TileCoeffHalf(t + k, 0))
                           : reinterpret_cast<const char*>(brdf.TileCoeff(t + k, 0));
    }
    // Slice `part` of `parts`.
    void Slice(int part, int parts) const {
        const int32_t total = tiles * lines;
        const int32_t b = total * part / parts, e = total * (part + 1) / parts;
        for (int32_t i = b; i < e; ++i)
            PrefetchLine(first[i / lines] + static_cast<size_t>(i % lines) * 64);
    }
};

// The group `ahead` groups after the one at tile tt of a chunk ending before
// `end`.
template <class V>
LUMO_KERNEL GroupPrefetch NextGroup(const TileJob& job, size_t tt, size_t end,
                                    size_t ahead) {
    const size_t next = tt + ahead * LaneGroup<V>::kTiles;
    const int32_t tiles =
        next < end ? static_cast<int32_t>(std::min<size_t>(
                         end - next, static_cast<size_t>(LaneGroup<V>::kTiles)))
                   : 0;
    return GroupPrefetch(*job.brdf, static_cast<int32_t>(next), tiles, job.terms);
}

// Writes byte values of channel ch for the given lanes of a lane group.
LUMO_KERNEL void ScatterLanes(const int32_t* pix, int ch, uint32_t write,
                              const int32_t* bytes, uint8_t* out) {
    while (write != 0) {
        const int lane = __builtin_ctz(write);
        write &= write - 1;
        out[3 * static_cast<size_t>(pix[lane]) + static_cast<size_t>(ch)] =
            static_cast<uint8_t>(bytes[lane]);
    }
}

// The basis of degrees 0..lmax for a lane group's angles; the common degrees
// with the recurrence unrolled.
template <class V>
LUMO_KERNEL void LaneBasis(const V& x, const V& cp, const V& sp, int32_t lmax, V* Y) {
    const ShTables& t = ShBasisTables();
    switch (lmax) {
        case 1:
            EvalBasisLanesFixed<1>(t, x, cp, sp, Y);
            break;
        case 2:
            EvalBasisLanesFixed<2>(t, x, cp, sp, Y);
            break;
        case 3:
            EvalBasisLanesFixed<3>(t, x, cp, sp, Y);
            break;
        case 4:
            EvalBasisLanesFixed<4>(t, x, cp, sp, Y);
            break;
        default:
            EvalBasisLanes(t, x, cp, sp, lmax, Y);
            break;
    }
}

// Point mode, and slide mode when job.slide is set, over one lane group at a
// time: the angles (from the arrays, or from the geometry), the basis per
// lane, the sums and the bytes. C reads the coefficients (FloatCoeffs).
template <class V, class C>
LUMO_KERNEL void LocalTiles(const TileJob& job, size_t begin, size_t end) {
    constexpr int kLanes = kLanesOf<V>;
    const BrdfImage& brdf = *job.brdf;
    for (size_t tt = begin; tt < end; tt += LaneGroup<V>::kTiles) {
        LaneGroup<V> g;
        g.Take(job, tt, end);
        uint32_t lanes = g.lanes;
        if (lanes == 0) continue;
        V x, cp, sp;
        V scale[3];
        if (job.frame != nullptr) {
            // Lane values are gathered in arrays and loaded whole: writing a
            // vector lane by lane costs a masked insert per lane.
            using I = typename LaneTraits<V>::Int;
            uint32_t has = 0;
            int32_t px[kLanes], py[kLanes];
            float d[kLanes];
            PixelColumnsRows(g.pix, kLanes, brdf.width, px, py);
            // The coefficients of the group after the next come in over this
            // loop and the library calls below.
            const GroupPrefetch ahead = NextGroup<V>(job, tt, end, 2);
            for (int lane = 0; lane < kLanes; ++lane) {
                ahead.Slice(lane, 2 * kLanes);
                const float depth = job.depth.At(px[lane], py[lane]);
                d[lane] = depth >= 0.0f ? depth : 0.0f;
                if (depth >= 0.0f) has |= 1u << lane;
            }
            I ix, iy;
            V vd;
            std::memcpy(&ix, px, sizeof ix);
            std::memcpy(&iy, py, sizeof iy);
            std::memcpy(&vd, d, sizeof vd);
            const V vx = __builtin_convertvector(ix, V);
            const V vy = __builtin_convertvector(iy, V);
            V3T<V> L;
            TowardLightLanes(*job.frame, job.E, job.light->position, vx, vy, vd, has, L);
            if (job.slide) {
                // Intensity * 255 per lane; lanes without light stay black.
                V in[3];
                SlideIntensityLanes(*job.light, L, lanes, in);
                for (int lane = 0; lane < kLanes; ++lane) {
                    if (in[0][lane] == 0.0f && in[1][lane] == 0.0f && in[2][lane] == 0.0f)
                        lanes &= ~(1u << lane);
                }
                for (int ch = 0; ch < 3; ++ch)
                    scale[ch] = in[ch];
                if (lanes == 0) continue;
            }
            AnglesLanes(*job.frame, L, lanes, x, cp, sp,
                        [&](int lane) { ahead.Slice(kLanes + lane, 2 * kLanes); });
        } else {
            Broadcast(x, 1.0f);
            Broadcast(cp, 1.0f);
            sp = V{};
            V in[3] = {};
            for (int lane = 0; lane < kLanes; ++lane) {
                if (!(lanes & (1u << lane))) continue;
                const size_t e = static_cast<size_t>(g.pix[lane]);
                if (job.slide) {
                    const Rgb I = job.intensity[e];
                    if (I.r == 0.0f && I.g == 0.0f && I.b == 0.0f) {
                        lanes &= ~(1u << lane);
                        continue;
                    }
                    in[0][lane] = I.r;
                    in[1][lane] = I.g;
                    in[2][lane] = I.b;
                }
                x[lane] = job.cost[e];
                cp[lane] = job.cosp[e];
                sp[lane] = job.sinp[e];
            }
            if (job.slide) {
                for (int ch = 0; ch < 3; ++ch)
                    scale[ch] = in[ch];
            }
            if (lanes == 0) continue;
        }
        if (!job.slide) {
            for (int ch = 0; ch < 3; ++ch)
                Broadcast(scale[ch], job.f[ch]);
        }
        V Y[kMaxTerms];
        LaneBasis(x, cp, sp, job.lmax, Y);
        V acc[3];
        DotLanes<V, C>(C::Tile(brdf, g.t, 0), g.second, Y, job.terms, acc);
        for (int ch = 0; ch < 3; ++ch) {
            const uint32_t write = lanes & g.present[ch];
            if (write == 0) continue;
            int32_t bytes[kLanes];
            // Point: value * (colour * 255); slide: value * intensity * 255.
            ClampNegative(acc[ch]);
            const V v = job.slide ? acc[ch] * scale[ch] * 255.0f : acc[ch] * scale[ch];
            ToBytes(v, bytes);
            ScatterLanes(g.pix, ch, write, bytes, job.out);
        }
    }
}

// One block of `size` lights (1..G) on a lane group.
template <class V, int G, class C>
LUMO_KERNEL void AccumulateBlock(int32_t size, const typename C::Elem* c,
                                 ptrdiff_t second, const float* packed,
                                 const float* const f[3], int32_t terms, V total[3]) {
    if constexpr (G > 1) {
        if (size < G) {
            AccumulateBlock<V, G - 1, C>(size, c, second, packed, f, terms, total);
            return;
        }
    }
    AccumulateLightsRgb<G, V, C>(c, second, packed, f, terms, total);
}

// Several lights, in blocks of up to G per pass over a lane group's
// coefficients.
template <class V, int G, class C>
LUMO_KERNEL void MultTiles(const TileJob& job, size_t begin, size_t end) {
    const BrdfImage& brdf = *job.brdf;
    const int32_t passes = (job.count + G - 1) / G;
    for (size_t tt = begin; tt < end; tt += LaneGroup<V>::kTiles) {
        LaneGroup<V> g;
        g.Take(job, tt, end);
        if (g.lanes == 0) continue;
        // The next group's coefficients come in over this one's passes.
        const GroupPrefetch ahead = NextGroup<V>(job, tt, end, 1);
        const typename C::Elem* c = C::Tile(brdf, g.t, 0);
        V total[3] = {};
        // Half coefficients read over several passes are widened once, into
        // floats laid out as the group's tiles.
        constexpr bool kHalf = !std::is_same_v<C, FloatCoeffs>;
        float wide[kHalf ? LaneGroup<V>::kTiles : 1]
                  [kHalf ? kMaxTerms * kShTermStride : 1];
        ptrdiff_t wide_second = 0;
        if constexpr (kHalf) {
            if (passes > 1) {
                const size_t n = static_cast<size_t>(job.terms) * kShTermStride;
                for (int k = 0; k < g.tiles; ++k) {
                    const typename C::Elem* src = c + k * g.second;
                    for (size_t i = 0; i < n; i += kShLanes) {
                        V8 v;
                        C::Load(v, src + i);
                        std::memcpy(wide[k] + i, &v, sizeof v);
                    }
                }
                // The second tile's row follows the first's.
                wide_second = g.tiles > 1
                                  ? static_cast<ptrdiff_t>(sizeof wide[0] / sizeof(float))
                                  : 0;
            }
        }
        for (int32_t m = 0, pass = 0; m < job.count; m += G, ++pass) {
            ahead.Slice(pass, passes);
            const int32_t size = std::min<int32_t>(G, job.count - m);
            const float* f[3] = {job.fs[0] + m, job.fs[1] + m, job.fs[2] + m};
            const float* packed =
                job.packed + static_cast<size_t>(m) * static_cast<size_t>(job.terms) * 3;
            if (kHalf && passes > 1) {
                AccumulateBlock<V, G, FloatCoeffs>(size, wide[0], wide_second, packed, f,
                                                   job.terms, total);
            } else {
                AccumulateBlock<V, G, C>(size, c, g.second, packed, f, job.terms, total);
            }
        }
        for (int ch = 0; ch < 3; ++ch) {
            const uint32_t write = g.lanes & g.present[ch];
            if (write == 0) continue;
            int32_t bytes[kLanesOf<V>];
            ToBytes(total[ch], bytes);
            ScatterLanes(g.pix, ch, write, bytes, job.out);
        }
    }
}

// Lights per pass of the several-lights loops: as many as keep the
// accumulators in registers (3 per light; AVX-512 has 32 vector registers,
// AVX2 16).
constexpr int32_t kNarrowBlock = 4;
constexpr int32_t kWideBlock = 8;

template <class C>
LUMO_KERNEL void DirTilesOf(const TileJob& job, size_t begin, size_t end) {
    const BrdfImage& brdf = *job.brdf;
    // The bytes of tile t from its sums.
    auto write_tile = [&](int32_t t, uint32_t lanes, V8 acc[3]) {
        const size_t tt = static_cast<size_t>(t);
        for (int ch = 0; ch < 3; ++ch) {
            const uint32_t write =
                lanes & brdf.tile_mask[tt * 3 + static_cast<size_t>(ch)];
            if (write == 0) continue;
            int32_t bytes[kShLanes];
            ClampNegative(acc[ch]);
            ToBytes(acc[ch] * job.f[ch], bytes);
            Scatter(brdf, t, ch, write, bytes, job.out);
        }
    };
    auto lanes_of = [&](int32_t t) {
        return job.tw.OutsideRows(t) ? 0u : job.tw.Lanes(t);
    };
    size_t tt = begin;
    if constexpr (!std::is_same_v<C, FloatCoeffs>) {
        // Half coefficients take half the memory time, so that the chains of
        // additions would set the pace: two tiles at a time.
        for (; tt + 2 <= end; tt += 2) {
            const int32_t t = static_cast<int32_t>(tt);
            // The pair after the next comes in meanwhile.
            if (tt + 6 <= end) GroupPrefetch(brdf, t + 4, 2, job.terms).Slice(0, 1);
            const uint32_t lanes[2] = {lanes_of(t), lanes_of(t + 1)};
            if ((lanes[0] | lanes[1]) == 0) continue;
            V8 acc[2][3];
            DotSharedRgbPair<C>(brdf, t, job.Y, job.terms, acc);
            for (int k = 0; k < 2; ++k) {
                if (lanes[k] != 0) write_tile(t + k, lanes[k], acc[k]);
            }
        }
    }
    for (; tt < end; ++tt) {
        const int32_t t = static_cast<int32_t>(tt);
        const uint32_t lanes = lanes_of(t);
        if (lanes == 0) continue;
        V8 acc[3];
        DotSharedRgb<C>(brdf, t, job.Y, job.terms, acc);
        write_tile(t, lanes, acc);
    }
}

LUMO_KERNEL_CLONES void DirChunk(const TileJob& job, size_t begin, size_t end) {
    DirTilesOf<FloatCoeffs>(job, begin, end);
}
LUMO_KERNEL_CLONES void LocalChunk(const TileJob& job, size_t begin, size_t end) {
    LocalTiles<V8, FloatCoeffs>(job, begin, end);
}
LUMO_KERNEL_CLONES void MultChunk(const TileJob& job, size_t begin, size_t end) {
    MultTiles<V8, kNarrowBlock, FloatCoeffs>(job, begin, end);
}
#if LUMO_HAVE_WIDE
LUMO_KERNEL_WIDE void LocalChunkWide(const TileJob& job, size_t begin, size_t end) {
    LocalTiles<V16, FloatCoeffs>(job, begin, end);
}
LUMO_KERNEL_WIDE void MultChunkWide(const TileJob& job, size_t begin, size_t end) {
    MultTiles<V16, kWideBlock, FloatCoeffs>(job, begin, end);
}
#endif

// The loops of half images: with F16C's conversions for AVX2 and AVX-512,
// with the portable widening elsewhere (or when a test asks for it).
void DirChunkHalfPortable(const TileJob& job, size_t begin, size_t end) {
    DirTilesOf<HalfCoeffsPortable>(job, begin, end);
}
void LocalChunkHalfPortable(const TileJob& job, size_t begin, size_t end) {
    LocalTiles<V8, HalfCoeffsPortable>(job, begin, end);
}
void MultChunkHalfPortable(const TileJob& job, size_t begin, size_t end) {
    MultTiles<V8, kNarrowBlock, HalfCoeffsPortable>(job, begin, end);
}
#if LUMO_HALF_F16C
#define LUMO_KERNEL_HALF __attribute__((target("avx2,f16c")))
LUMO_KERNEL_HALF void DirChunkHalf(const TileJob& job, size_t begin, size_t end) {
    DirTilesOf<HalfCoeffsF16c>(job, begin, end);
}
LUMO_KERNEL_HALF void LocalChunkHalf(const TileJob& job, size_t begin, size_t end) {
    LocalTiles<V8, HalfCoeffsF16c>(job, begin, end);
}
LUMO_KERNEL_HALF void MultChunkHalf(const TileJob& job, size_t begin, size_t end) {
    MultTiles<V8, kNarrowBlock, HalfCoeffsF16c>(job, begin, end);
}
#endif
#if LUMO_HAVE_WIDE && LUMO_HALF_F16C
#define LUMO_KERNEL_WIDE_HALF \
    __attribute__((target("avx512f,avx512dq,avx512vl,avx512bw,f16c")))
LUMO_KERNEL_WIDE_HALF void LocalChunkWideHalf(const TileJob& job, size_t begin,
                                              size_t end) {
    LocalTiles<V16, HalfCoeffsF16c>(job, begin, end);
}
LUMO_KERNEL_WIDE_HALF void MultChunkWideHalf(const TileJob& job, size_t begin,
                                             size_t end) {
    MultTiles<V16, kWideBlock, HalfCoeffsF16c>(job, begin, end);
}
#endif

using ChunkFn = void (*)(const TileJob&, size_t, size_t);

// The tile loop for the job's image: the float loop given, or the half loop
// of the same kind that this machine runs.
struct ChunkChoice {
    ChunkFn narrow;     // float, eight lanes
    ChunkFn wide;       // float, sixteen lanes (null: none)
    ChunkFn half;       // half, F16C, eight lanes (null: none)
    ChunkFn half_wide;  // half, F16C, sixteen lanes (null: none)
    ChunkFn half_portable;
};

// Whether the sixteen-lane loops run on `brdf`: where chosen and, for a
// half image, where its conversions run in hardware.
bool WideLoops(const BrdfImage& brdf) {
#if LUMO_HAVE_WIDE && LUMO_HALF_F16C
    return ReconLaneWidth() == 16 && (!brdf.half || ReconHalfHardware());
#elif LUMO_HAVE_WIDE
    return ReconLaneWidth() == 16 && !brdf.half;
#else
    (void)brdf;
    return false;
#endif
}

void RunChunks(const TileJob& job, const ChunkChoice& c) {
    const bool wide = WideLoops(*job.brdf);
    ChunkFn fn = c.narrow;
    if (job.brdf->half) {
        fn = c.half_portable;
        if (ReconHalfHardware() && c.half != nullptr) fn = c.half;
        if (wide && c.half_wide != nullptr) fn = c.half_wide;
    } else if (wide && c.wide != nullptr) {
        fn = c.wide;
    }
    ForEachTile(*job.brdf, job, fn);
}

#if LUMO_HALF_F16C
#define LUMO_HALF_CHUNK(name) name##Half
#else
#define LUMO_HALF_CHUNK(name) nullptr
#endif
#if LUMO_HAVE_WIDE
#define LUMO_WIDE_CHUNK(name) name##Wide
#else
#define LUMO_WIDE_CHUNK(name) nullptr
#endif
#if LUMO_HAVE_WIDE && LUMO_HALF_F16C
#define LUMO_WIDE_HALF_CHUNK(name) name##WideHalf
#else
#define LUMO_WIDE_HALF_CHUNK(name) nullptr
#endif

}  // namespace

// Sets every pixel of the window to 0.
void ClearWindow(const BrdfImage& brdf, const PixelWindow& w, uint8_t* out) {
    if (w.empty()) return;
    for (int32_t y = w.y0; y <= w.y1; ++y) {
        uint8_t* row =
            out + 3 * (static_cast<size_t>(y) * static_cast<size_t>(brdf.width) +
                       static_cast<size_t>(w.x0));
        std::memset(row, 0, 3 * static_cast<size_t>(w.x1 - w.x0 + 1));
    }
}

// Runs the point or slide tile loop of the chosen width.
void LocalTilesOf(const TileJob& job) {
    RunChunks(job, {LocalChunk, LUMO_WIDE_CHUNK(LocalChunk), LUMO_HALF_CHUNK(LocalChunk),
                    LUMO_WIDE_HALF_CHUNK(LocalChunk), LocalChunkHalfPortable});
}

Status SharedBasis::Need(int32_t wanted) {
    if (wanted <= bands) return Status::Ok();
    if (Status s = EnsureShBands(wanted); !s.ok()) return s;
    EvalShBasis(angles.cost, angles.cosp, angles.sinp, wanted - 1, Y);
    bands = wanted;
    return Status::Ok();
}

// Directional and environment: one basis per channel (Y[ch]).
void DirTiles(const BrdfImage& brdf, const PixelWindow& w, int32_t terms,
              const float* const Y[3], const float f[3], std::span<uint8_t> pixels) {
    TileJob job(brdf, w, terms, pixels.data());
    for (int ch = 0; ch < 3; ++ch) {
        job.Y[ch] = Y[ch];
        job.f[ch] = f[ch];
    }
    RunChunks(job, {DirChunk, nullptr, LUMO_HALF_CHUNK(DirChunk), nullptr,
                    DirChunkHalfPortable});
}

void MultDirTiles(const BrdfImage& brdf, const PixelWindow& w, int32_t terms,
                  const LightBasis* lights, int32_t count, std::span<uint8_t> pixels) {
    // Each light's factor float(colour * 255) per channel.
    float f[3][MAX_LIGHTS];
    for (int32_t m = 0; m < count; ++m) {
        f[0][m] = lights[m].color.r * 255.0f;
        f[1][m] = lights[m].color.g * 255.0f;
        f[2][m] = lights[m].color.b * 255.0f;
    }
    TileJob job(brdf, w, terms, pixels.data());
    job.count = count;
    for (int ch = 0; ch < 3; ++ch)
        job.fs[ch] = f[ch];
    const bool wide = WideLoops(brdf);
    const int32_t block = wide ? kWideBlock : kNarrowBlock;
    // The bases, block after block, each packed for its pass.
    std::vector<float> packed(static_cast<size_t>(count) *
                              static_cast<size_t>(std::max(job.terms, 1)) * 3);
    for (int32_t m = 0; m < count; m += block) {
        const int32_t size = std::min(block, count - m);
        float* out =
            packed.data() + static_cast<size_t>(m) * static_cast<size_t>(job.terms) * 3;
        for (int32_t i = 0; i < job.terms; ++i)
            for (int32_t g = 0; g < size; ++g)
                for (int ch = 0; ch < 3; ++ch)
                    out[(static_cast<size_t>(i) * static_cast<size_t>(size) +
                         static_cast<size_t>(g)) *
                            3 +
                        static_cast<size_t>(ch)] = lights[m + g].Y[ch][i];
    }
    job.packed = packed.data();
    RunChunks(job, {MultChunk, LUMO_WIDE_CHUNK(MultChunk), LUMO_HALF_CHUNK(MultChunk),
                    LUMO_WIDE_HALF_CHUNK(MultChunk), MultChunkHalfPortable});
}

}  // namespace lumo::tiles
