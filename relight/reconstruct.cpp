// The production reconstruction.
//
// Same bytes as the sequential reference (relight/recon_reference.cpp), faster:
// - the coefficients are stored in tiles of kShLanes pixels, coefficient-major
//   (relight/brdf_image.h), and each tile is read once, front to back;
// - every operation works on kShLanes pixels at a time with GCC vector types,
//   doing per lane exactly the scalar operations of EvalShBasis and
//   EvalShPixel in the same order (no reassociation, no fused multiply-add:
//   the build has -ffp-contract=off);
// - a basis whose direction is shared (directional and several-lights modes)
//   is evaluated once per slab, not per image;
// - the tiles of an image are spread over the worker threads, while the image
//   loop and every printed line stay on the calling thread in their order.
#include "relight/reconstruct.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "io/fatal.h"
#include "relight/parallel_for.h"
#include "relight/recon_kernels.h"
#include "relight/sh_basis.h"

namespace lumo {
namespace {

using namespace kernels;

// Tiles per chunk of work handed to a thread: 512 pixels.
constexpr size_t kTileGrain = 64;

// Basis bands needed for the first `terms` coefficients.
int32_t BandsFor(int32_t terms) {
    int32_t bands = 0;
    while (bands * bands < terms)
        ++bands;
    return bands;
}

// Coefficients each pixel of `brdf` sums: its stored ones, at most activeHarmonics.
int32_t TermsFor(const BrdfImage& brdf) {
    const int32_t n = std::min<int32_t>(activeHarmonics, brdf.stored_terms());
    return n > 0 ? n : 0;
}

size_t PixelCount(const BrdfImage& brdf) {
    if (brdf.width <= 0 || brdf.height <= 0) return 0;
    return static_cast<size_t>(brdf.width) * static_cast<size_t>(brdf.height);
}

void PrintWindow(const PixelWindow& w) {
    std::printf("Reconstruct window xmin=%d xmax=%d, ymin=%d ymax=%d\n", w.x0, w.x1, w.y0,
                w.y1);
}

// Which lanes of a tile a window function writes: in the window and, per
// channel, present. A window that covers the image's own window holds every
// tile pixel.
struct TileWindow {
    const BrdfImage& brdf;
    PixelWindow w;
    bool whole;

    TileWindow(const BrdfImage& b, const PixelWindow& win)
        : brdf(b),
          w(win),
          whole(win.x0 <= b.xmin && win.x1 >= b.xmax && win.y0 <= b.ymin &&
                win.y1 >= b.ymax) {}

    // Bit `lane` set for the lanes of tile t whose pixel is inside the window.
    uint32_t Lanes(int32_t t) const {
        const int32_t* pix = brdf.tile_pixel.data() + static_cast<size_t>(t) * kShLanes;
        uint32_t lanes = 0;
        for (int lane = 0; lane < kShLanes; ++lane) {
            const int32_t e = pix[lane];
            if (e < 0) continue;
            if (whole || w.Contains(e % brdf.width, e / brdf.width)) lanes |= 1u << lane;
        }
        return lanes;
    }

    // Whether tile t lies wholly above or below the window's rows.
    bool OutsideRows(int32_t t) const {
        if (whole) return false;
        const int32_t* pix = brdf.tile_pixel.data() + static_cast<size_t>(t) * kShLanes;
        int32_t last = kShLanes - 1;
        while (last > 0 && pix[last] < 0)
            --last;
        return pix[last] / brdf.width < w.y0 || pix[0] / brdf.width > w.y1;
    }
};

// Writes byte values of channel ch for the given lanes of tile t.
inline void Scatter(const BrdfImage& brdf, int32_t t, int ch, uint32_t lanes,
                    const int32_t bytes[kShLanes], uint8_t* out) {
    const int32_t* pix = brdf.tile_pixel.data() + static_cast<size_t>(t) * kShLanes;
    for (int lane = 0; lane < kShLanes; ++lane) {
        if (lanes & (1u << lane))
            out[3 * static_cast<size_t>(pix[lane]) + static_cast<size_t>(ch)] =
                static_cast<uint8_t>(bytes[lane]);
    }
}

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

// Runs tile(t) over the tiles of an image on the worker threads.
template <class Fn>
void ForEachTile(const BrdfImage& brdf, Fn tile) {
    ParallelFor(static_cast<size_t>(brdf.tile_count), kTileGrain,
                [&](size_t b, size_t e) {
                    for (size_t t = b; t < e; ++t)
                        tile(static_cast<int32_t>(t));
                });
}

// Gathers the angles of tile t's pixels (padding lanes get a harmless
// direction) and evaluates their basis.
void TileBasis(const BrdfImage& brdf, int32_t t, std::span<const float> cost,
               std::span<const float> cosp, std::span<const float> sinp, int32_t lmax,
               V8* Y) {
    const int32_t* pix = brdf.tile_pixel.data() + static_cast<size_t>(t) * kShLanes;
    V8 x = Splat(1.0f), cp = Splat(1.0f), sp = Splat(0.0f);
    for (int lane = 0; lane < kShLanes; ++lane) {
        if (pix[lane] < 0) continue;
        const size_t e = static_cast<size_t>(pix[lane]);
        x[lane] = cost[e];
        cp[lane] = cosp[e];
        sp[lane] = sinp[e];
    }
    EvalBasisLanes(ShBasisTables(), x, cp, sp, lmax, Y);
}

// A shared basis evaluated once for the largest band count any image needs.
struct SharedBasis {
    ShAngles angles;
    int32_t bands = 0;
    float Y[kMaxTerms] = {};

    void Need(int32_t wanted) {
        if (wanted <= bands) return;
        FatalIfError(EnsureShBands(wanted));
        EvalShBasisInto(angles.cost, angles.cosp, angles.sinp, wanted - 1, Y);
        bands = wanted;
    }
};

void MultDirTiles(const BrdfImage& brdf, const PixelWindow& w, const SharedBasis* basis,
                  const Rgb* colors, int32_t count, std::span<uint8_t> pixels) {
    const TileWindow tw(brdf, w);
    const int32_t terms = TermsFor(brdf);
    uint8_t* out = pixels.data();
    // Each light's basis and its factor float(colour * 255) per channel.
    const float* Y[MAX_LIGHTS];
    float f[3][MAX_LIGHTS];
    for (int32_t m = 0; m < count; ++m) {
        Y[m] = basis[m].Y;
        f[0][m] = colors[m].r * 255.0f;
        f[1][m] = colors[m].g * 255.0f;
        f[2][m] = colors[m].b * 255.0f;
    }
    ForEachTile(brdf, [&](int32_t t) {
        if (tw.OutsideRows(t)) return;
        const uint32_t lanes = tw.Lanes(t);
        if (lanes == 0) return;
        for (int ch = 0; ch < 3; ++ch) {
            const uint32_t write =
                lanes & brdf.tile_mask[static_cast<size_t>(t) * 3 + ch];
            if (write == 0) continue;
            const float* c = brdf.TileCoeff(t, ch);
            V8 total = {};
            int32_t m = 0;
            for (; m + 4 <= count; m += 4)
                AccumulateLights<4>(c, Y + m, f[ch] + m, terms, total);
            for (; m < count; ++m)
                AccumulateLights<1>(c, Y + m, f[ch] + m, terms, total);
            int32_t bytes[kShLanes];
            ToBytes(total, bytes);
            Scatter(brdf, t, ch, write, bytes, out);
        }
    });
}

void DirTiles(const BrdfImage& brdf, const PixelWindow& w, const float* Y,
              const float f[3], std::span<uint8_t> pixels) {
    const TileWindow tw(brdf, w);
    const int32_t terms = TermsFor(brdf);
    uint8_t* out = pixels.data();
    ForEachTile(brdf, [&](int32_t t) {
        if (tw.OutsideRows(t)) return;
        const uint32_t lanes = tw.Lanes(t);
        if (lanes == 0) return;
        V8 acc[3];
        DotShared(brdf, t, Y, terms, acc);
        for (int ch = 0; ch < 3; ++ch) {
            const uint32_t write =
                lanes & brdf.tile_mask[static_cast<size_t>(t) * 3 + ch];
            if (write == 0) continue;
            int32_t bytes[kShLanes];
            ToBytes(ClampNegative(acc[ch]) * Splat(f[ch]), bytes);
            Scatter(brdf, t, ch, write, bytes, out);
        }
    });
}

// The image loop: step(j, i, k) for each image to reconstruct, after its line
// is printed and its pixels cleared.
template <class Step>
void ImageLoop(SlabRecord& slab, uint8_t preview, Step step) {
    for (int32_t i = 0; i < slab.samples_v; ++i) {
        for (int32_t j = 0; j < slab.samples_u; ++j) {
            if (!ImageWanted(slab, j, i, preview)) continue;
            const size_t k =
                static_cast<size_t>(i) * static_cast<size_t>(slab.samples_u) +
                static_cast<size_t>(j);
            std::printf("Reconstructing image (%d,%d) ...\n", j, i);
            slab.photo[0][k].Clear();
            step(j, i, k);
        }
    }
}

// Angles toward a local light for every pixel of image k that has
// coefficients (and, for a projector, its intensity toward them), over the
// worker threads.
void LocalLightAngles(const SlabRecord& slab, const SlabFrame& frame, int32_t j,
                      int32_t i, size_t k, const LightSrc& light, bool slide,
                      PixelAngles& angles) {
    const BrdfImage& brdf = slab.brdf[k];
    const Vec3 E = EyePoint(slab, j, i);
    const Zfile* z = DepthMapOf(slab, k);
    ForEachTile(brdf, [&](int32_t t) {
        const int32_t* pix = brdf.tile_pixel.data() + static_cast<size_t>(t) * kShLanes;
        for (int lane = 0; lane < kShLanes; ++lane) {
            if (pix[lane] < 0) continue;
            const size_t e = static_cast<size_t>(pix[lane]);
            const int32_t x = pix[lane] % brdf.width;
            const int32_t y = pix[lane] / brdf.width;
            const Vec3 X = SurfacePoint(frame, E, z, x, y);
            const Vec3 L = TowardLight(light.position, X);
            const ShAngles a = LightAngles(L, frame.n, frame.s, frame.t);
            angles.cost[e] = a.cost;
            angles.cosp[e] = a.cosp;
            angles.sinp[e] = a.sinp;
            if (slide) angles.intensity[e] = light.SlideIntensity(Vec3(-L.x, -L.y, -L.z));
        }
    });
}

size_t FramePixels(const SlabFrame& frame) {
    return frame.W > 0 && frame.H > 0
               ? static_cast<size_t>(frame.W) * static_cast<size_t>(frame.H)
               : 0;
}

}  // namespace

void ReconDirLight(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya, int32_t yb,
                   float cost, float cosp, float sinp, const float color[3],
                   std::span<uint8_t> pixels) {
    if (pixels.size() < PixelCount(brdf) * 3) return;
    const PixelWindow w = ClipWindow(brdf, xa, xb, ya, yb);
    PrintWindow(w);
    SharedBasis basis;
    basis.angles = ShAngles{cost, cosp, sinp};
    basis.Need(BandsFor(TermsFor(brdf)));
    const float f[3] = {color[0] * 255.0f, color[1] * 255.0f, color[2] * 255.0f};
    DirTiles(brdf, w, basis.Y, f, pixels);
}

void ReconPointLight(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                     int32_t yb, std::span<const float> cost, std::span<const float> cosp,
                     std::span<const float> sinp, const float color[3],
                     std::span<uint8_t> pixels) {
    const size_t n = PixelCount(brdf);
    if (pixels.size() < n * 3 || cost.size() < n || cosp.size() < n || sinp.size() < n)
        return;
    const PixelWindow w = ClipWindow(brdf, xa, xb, ya, yb);
    PrintWindow(w);
    const int32_t terms = TermsFor(brdf);
    const int32_t bands = BandsFor(terms);
    FatalIfError(EnsureShBands(bands));
    const float f[3] = {color[0] * 255.0f, color[1] * 255.0f, color[2] * 255.0f};
    const TileWindow tw(brdf, w);
    uint8_t* out = pixels.data();
    ForEachTile(brdf, [&](int32_t t) {
        if (tw.OutsideRows(t)) return;
        const uint32_t lanes = tw.Lanes(t);
        if (lanes == 0) return;
        V8 Y[kMaxTerms];
        TileBasis(brdf, t, cost, cosp, sinp, bands - 1, Y);
        V8 acc[3];
        DotLanes(brdf, t, Y, terms, acc);
        for (int ch = 0; ch < 3; ++ch) {
            const uint32_t write =
                lanes & brdf.tile_mask[static_cast<size_t>(t) * 3 + ch];
            if (write == 0) continue;
            int32_t bytes[kShLanes];
            ToBytes(ClampNegative(acc[ch]) * Splat(f[ch]), bytes);
            Scatter(brdf, t, ch, write, bytes, out);
        }
    });
}

void ReconSlideLight(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                     int32_t yb, std::span<const float> cost, std::span<const float> cosp,
                     std::span<const float> sinp, std::span<const Rgb> intensity,
                     std::span<uint8_t> pixels) {
    const size_t n = PixelCount(brdf);
    if (pixels.size() < n * 3 || cost.size() < n || cosp.size() < n || sinp.size() < n ||
        intensity.size() < n)
        return;
    const PixelWindow w = ClipWindow(brdf, xa, xb, ya, yb);
    std::printf(
        "\n\nRecontruct with slide projector source for win x:[%d,%d], y:[%d,%d]\n", w.x0,
        w.x1, w.y0, w.y1);
    const int32_t terms = TermsFor(brdf);
    const int32_t bands = BandsFor(terms);
    FatalIfError(EnsureShBands(bands));
    uint8_t* out = pixels.data();
    ClearWindow(brdf, w, out);  // pixels without light or coefficients
    const TileWindow tw(brdf, w);
    ForEachTile(brdf, [&](int32_t t) {
        if (tw.OutsideRows(t)) return;
        uint32_t lanes = tw.Lanes(t);
        const int32_t* pix = brdf.tile_pixel.data() + static_cast<size_t>(t) * kShLanes;
        V8 in[3] = {Splat(0.0f), Splat(0.0f), Splat(0.0f)};
        for (int lane = 0; lane < kShLanes; ++lane) {
            if (!(lanes & (1u << lane))) continue;
            const Rgb I = intensity[static_cast<size_t>(pix[lane])];
            if (I.r == 0.0f && I.g == 0.0f && I.b == 0.0f) {
                lanes &= ~(1u << lane);
                continue;
            }
            in[0][lane] = I.r;
            in[1][lane] = I.g;
            in[2][lane] = I.b;
        }
        if (lanes == 0) return;
        V8 Y[kMaxTerms];
        TileBasis(brdf, t, cost, cosp, sinp, bands - 1, Y);
        V8 acc[3];
        DotLanes(brdf, t, Y, terms, acc);
        for (int ch = 0; ch < 3; ++ch) {
            const uint32_t write =
                lanes & brdf.tile_mask[static_cast<size_t>(t) * 3 + ch];
            if (write == 0) continue;
            int32_t bytes[kShLanes];
            ToBytes(ClampNegative(acc[ch]) * in[ch] * Splat(255.0f), bytes);
            Scatter(brdf, t, ch, write, bytes, out);
        }
    });
}

void ReconWMultDirLight(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                        int32_t yb, std::span<const float> cost,
                        std::span<const float> cosp, std::span<const float> sinp,
                        std::span<const Rgb> colors, int32_t count,
                        std::span<uint8_t> pixels) {
    const size_t n = PixelCount(brdf);
    if (count < 0) count = 0;
    if (count > MAX_LIGHTS) count = MAX_LIGHTS;
    const size_t lights = static_cast<size_t>(count);
    if (pixels.size() < n * 3 || cost.size() < lights || cosp.size() < lights ||
        sinp.size() < lights || colors.size() < lights)
        return;
    const PixelWindow w = ClipWindow(brdf, xa, xb, ya, yb);
    PrintWindow(w);
    const int32_t bands = BandsFor(TermsFor(brdf));
    SharedBasis basis[MAX_LIGHTS];
    for (size_t m = 0; m < lights; ++m) {
        basis[m].angles = ShAngles{cost[m], cosp[m], sinp[m]};
        basis[m].Need(bands);
    }
    ClearWindow(brdf, w, pixels.data());
    MultDirTiles(brdf, w, basis, colors.data(), count, pixels);
}

void ReconstructSlabDirLight(SlabRecord& slab, const LightSrc& light, uint8_t preview) {
    if (slab.format != kFormatBRDF) return;
    const SlabFrame frame = MakeSlabFrame(slab);
    Vec3 L(-light.direction.x, -light.direction.y, -light.direction.z);
    VecNormalize(L);
    SharedBasis basis;
    basis.angles = LightAngles(L, frame.n, frame.s, frame.t);
    const float f[3] = {light.color[0] * 255.0f, light.color[1] * 255.0f,
                        light.color[2] * 255.0f};
    ImageLoop(slab, preview, [&](int32_t, int32_t, size_t k) {
        const BrdfImage& brdf = slab.brdf[k];
        const PixelWindow w = ClipWindow(brdf, 0, frame.W - 1, 0, frame.H - 1);
        PrintWindow(w);
        basis.Need(BandsFor(TermsFor(brdf)));
        DirTiles(brdf, w, basis.Y, f, slab.photo[0][k].pixels);
    });
}

void ReconstructSlabPointLight(SlabRecord& slab, const LightSrc& light, uint8_t preview) {
    if (slab.format != kFormatBRDF) return;
    const SlabFrame frame = MakeSlabFrame(slab);
    PixelAngles angles;
    FatalIfError(AllocPixelAngles(FramePixels(frame), false, angles));
    ImageLoop(slab, preview, [&](int32_t j, int32_t i, size_t k) {
        LocalLightAngles(slab, frame, j, i, k, light, false, angles);
        ReconPointLight(slab.brdf[k], 0, frame.W - 1, 0, frame.H - 1, angles.cost,
                        angles.cosp, angles.sinp, light.color, slab.photo[0][k].pixels);
    });
}

void ReconstructSlabSlideLight(SlabRecord& slab, LightSrc& light, uint8_t preview) {
    if (slab.format != kFormatBRDF) return;
    const SlabFrame frame = MakeSlabFrame(slab);
    PixelAngles angles;
    FatalIfError(AllocPixelAngles(FramePixels(frame), true, angles));
    ImageLoop(slab, preview, [&](int32_t j, int32_t i, size_t k) {
        // The first lookup of a changed projector updates (and prints) its
        // frame, before any pixel of this image is looked up.
        if (slab.brdf[k].tile_count > 0 && light.changed) light.UpdateSlideFrame();
        LocalLightAngles(slab, frame, j, i, k, light, true, angles);
        ReconSlideLight(slab.brdf[k], 0, frame.W - 1, 0, frame.H - 1, angles.cost,
                        angles.cosp, angles.sinp, angles.intensity,
                        slab.photo[0][k].pixels);
    });
}

void ReconstructSlabMultDirLight(SlabRecord& slab, std::span<const LightSrc> lights,
                                 int32_t count, uint8_t preview) {
    if (slab.format != kFormatBRDF) return;
    const int32_t n = LightsInUse(lights, count);
    const SlabFrame frame = MakeSlabFrame(slab);
    SharedBasis basis[MAX_LIGHTS];
    Rgb colors[MAX_LIGHTS];
    for (int32_t m = 0; m < n; ++m) {
        Vec3 L(-lights[m].direction.x, -lights[m].direction.y, -lights[m].direction.z);
        VecNormalize(L);
        basis[m].angles = LightAngles(L, frame.n, frame.s, frame.t);
        colors[m] = lights[m].GetColor();
    }
    ImageLoop(slab, preview, [&](int32_t, int32_t, size_t k) {
        const BrdfImage& brdf = slab.brdf[k];
        const PixelWindow w = ClipWindow(brdf, 0, frame.W - 1, 0, frame.H - 1);
        PrintWindow(w);
        const int32_t bands = BandsFor(TermsFor(brdf));
        for (int32_t m = 0; m < n; ++m)
            basis[m].Need(bands);
        // The image was just cleared: no window to clear again.
        MultDirTiles(brdf, w, basis, colors, n, slab.photo[0][k].pixels);
    });
}

void ReconstructAll(LidInfo& info, std::span<LightSrc> lights, int32_t lightcnt,
                    uint8_t preview) {
    const ReconMode mode = ChooseMode(lights, lightcnt);
    const int32_t slabs = std::min<int32_t>(info.slab_count, MAX_SLABS);
    for (int32_t s = 0; s < slabs; ++s) {
        SlabRecord& slab = info.slabs[static_cast<size_t>(s)];
        switch (mode) {
            case ReconMode::kDirectional:
                ReconstructSlabDirLight(slab, lights[0], preview);
                break;
            case ReconMode::kPoint:
                ReconstructSlabPointLight(slab, lights[0], preview);
                break;
            case ReconMode::kSlide:
                ReconstructSlabSlideLight(slab, lights[0], preview);
                break;
            case ReconMode::kSeveral:
                ReconstructSlabMultDirLight(slab, lights, lightcnt, preview);
                break;
            case ReconMode::kNone:
                break;
        }
    }
}

}  // namespace lumo
