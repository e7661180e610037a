// The production reconstruction: the public window functions and the slab
// drivers (relight/reconstruct.h), on the tile loops of relight/recon_tiles.h.
//
// Same bytes and the same lines as the sequential reference
// (testing/recon_reference.cpp), faster:
// - a basis whose direction is shared (directional and several-lights modes)
//   is evaluated once per slab, not per image; several lights share one pass
//   over the coefficients;
// - the point and slide modes compute each pixel's direction to the light,
//   its angles, basis and sums in one pass over the tiles, lanes at a time
//   (only the arccosine and sine are the scalar library calls, per lane);
// - the image loop and every printed line stay on the calling thread in their
//   order, while the tiles of each image are spread over the worker threads.
#include "relight/reconstruct.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <vector>

#include "base/parallel_for.h"
#include "base/str_printf.h"
#include "relight/brdf_levels.h"
#include "relight/recon_dispatch.h"
#include "relight/recon_lanes.h"
#include "relight/recon_tiles.h"
#include "relight/sh_basis.h"

namespace lumo {
namespace {

using namespace kernels;
using namespace tiles;

// The image loop: step(j, i, k, area, brdf, pixels) for each image to
// reconstruct, after its line is printed and the area's pixels cleared; a
// step's failure ends the loop and is returned. The area is the whole image,
// or with preview and the pixels the next frame shows (slab.shown) only those;
// the rest of the image keeps its pixels. slab.fresh records the area of each
// image (an image preview leaves out gets none; one that cannot be relit, all
// of it: there is nothing to bring up to date).
//
// A mode whose pixels are sums over the coefficients alone (`reducible`)
// relights an image the next frame shows reduced (slab.shown_level L > 0) at
// that level: brdf is then level L of the image's coefficients, pixels its
// reduced picture (slab.reduced_photo[k], sized as the level) and area the
// shown pixels' LevelArea; slab.fresh_level records L (an image left out
// keeps its level: the picture it shows). Elsewhere brdf and pixels are the
// image's own.
template <class Step>
Status ImageLoop(SlabRecord& slab, const ReconRequest& request, bool reducible,
                 Step step) {
    const int32_t W = slab.samples_s, H = slab.samples_t;
    const size_t count =
        slab.samples_u > 0 && slab.samples_v > 0
            ? static_cast<size_t>(slab.samples_u) * static_cast<size_t>(slab.samples_v)
            : size_t{0};
    const bool partial = request.preview != 0 && slab.shown.size() == count;
    const bool reduce =
        partial && reducible && request.mixed == 0 && slab.shown_level.size() == count;
    slab.fresh.assign(count, PixelRect::Whole(W, H));
    // An image left out keeps the level of the picture it shows.
    std::vector<int32_t> kept = std::move(slab.fresh_level);
    kept.resize(count, 0);
    slab.fresh_level.assign(count, 0);
    if (reduce && slab.reduced_photo.size() != count) slab.reduced_photo.resize(count);
    for (int32_t i = 0; i < slab.samples_v; ++i) {
        for (int32_t j = 0; j < slab.samples_u; ++j) {
            const size_t k =
                static_cast<size_t>(i) * static_cast<size_t>(slab.samples_u) +
                static_cast<size_t>(j);
            if (k >= slab.viewenablemask[0].size() || slab.viewenablemask[0][k] == 0)
                continue;
            PixelRect area = PixelRect::Whole(W, H);
            if (partial) area = slab.shown[k].ClippedTo(W, H);
            const bool skipped = request.preview != 0 && k < slab.subskip[0].size() &&
                                 slab.subskip[0][k] != 0;
            if (skipped || area.empty()) {
                slab.fresh[k] = PixelRect();
                slab.fresh_level[k] = kept[k];
                continue;
            }
            if (!ImageWanted(slab, j, i, request.preview, request.errors)) continue;
            slab.fresh[k] = area;
            const BrdfImage* brdf = &slab.brdf[k];
            Photo* photo = &slab.photo[0][k];
            int32_t level = reduce ? slab.shown_level[k] : 0;
            if (level > 0) {
                // Without memory for the level the image is relit in full.
                const BrdfImage* reduced = BrdfLevel(slab.brdf[k], level);
                Photo& small = slab.reduced_photo[k];
                if (reduced == nullptr ||
                    ((small.width != reduced->width || small.height != reduced->height ||
                      !small.has_pixels()) &&
                     !small.AllocPixels(reduced->width, reduced->height))) {
                    level = 0;
                } else {
                    brdf = reduced;
                    photo = &small;
                    area = LevelArea(area, level, small.width, small.height);
                }
            }
            slab.fresh_level[k] = level;
            if (request.progress)
                request.progress(StrPrintf("Reconstructing image (%d,%d) ...\n", j, i));
            const int32_t pw = photo->width;
            if (area.Contains(PixelRect::Whole(pw, photo->height))) {
                photo->Clear();
            } else {
                for (int32_t y = area.y0; y <= area.y1; ++y) {
                    uint8_t* row = photo->pixels.data() +
                                   (static_cast<size_t>(y) * static_cast<size_t>(pw) +
                                    static_cast<size_t>(area.x0)) *
                                       3;
                    std::fill(row, row + static_cast<size_t>(area.x1 - area.x0 + 1) * 3,
                              uint8_t{0});
                }
            }
            if (Status s = step(j, i, k, area, *brdf, std::span<uint8_t>(photo->pixels));
                !s.ok())
                return s;
        }
    }
    return Status::Ok();
}

size_t FramePixels(const SlabFrame& frame) {
    return frame.W > 0 && frame.H > 0
               ? static_cast<size_t>(frame.W) * static_cast<size_t>(frame.H)
               : 0;
}

// The point and slide modes are defined with per-pixel arrays of angles (and
// intensities), and a slab too large for them fails with their message. The
// tile loops here compute those values in registers instead, but take the
// arrays all the same, so that such a slab fails alike.
Status ReserveLocalArrays(const SlabFrame& frame, bool slide) {
    PixelAngles angles;
    return AllocPixelAngles(FramePixels(frame), slide, angles);
}

// What the point and slide tile loops need to compute the angles of image k
// (column j, row i) toward `light` themselves.
void LocalGeometry(const SlabRecord& slab, const SlabFrame& frame, int32_t j, int32_t i,
                   size_t k, const LightSrc& light, TileJob& job) {
    job.frame = &frame;
    job.E = EyePoint(slab, j, i);
    job.depth = DepthLookup(frame, DepthMapOf(slab, k));
    job.light = &light;
}

}  // namespace

Status RelightWindowDirectional(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                                int32_t yb, float cost, float cosp, float sinp,
                                const float color[3], std::span<uint8_t> pixels,
                                int32_t terms, const MessageSink& progress) {
    if (!WindowPixelsFit(brdf, pixels.size())) return Status::Ok();
    const PixelWindow w = ClipWindow(brdf, xa, xb, ya, yb);
    PrintWindow(progress, w);
    SharedBasis basis;
    basis.angles = ShAngles{cost, cosp, sinp};
    if (Status s = basis.Need(BandsFor(TermsFor(brdf, terms))); !s.ok()) return s;
    const float f[3] = {color[0] * 255.0f, color[1] * 255.0f, color[2] * 255.0f};
    const float* const Y[3] = {basis.Y, basis.Y, basis.Y};
    DirTiles(brdf, w, terms, Y, f, pixels);
    return Status::Ok();
}

Status RelightWindowEnvironment(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                                int32_t yb, const EnvBasis& basis, const float color[3],
                                std::span<uint8_t> pixels, int32_t terms,
                                const MessageSink& progress) {
    if (!WindowPixelsFit(brdf, pixels.size())) return Status::Ok();
    const PixelWindow w = ClipWindow(brdf, xa, xb, ya, yb);
    PrintWindow(progress, w);
    const float f[3] = {color[0] * 255.0f, color[1] * 255.0f, color[2] * 255.0f};
    const float* const Y[3] = {basis.Y[0], basis.Y[1], basis.Y[2]};
    DirTiles(brdf, w, terms, Y, f, pixels);
    return Status::Ok();
}

Status RelightWindowPoint(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                          int32_t yb, std::span<const float> cost,
                          std::span<const float> cosp, std::span<const float> sinp,
                          const float color[3], std::span<uint8_t> pixels, int32_t terms,
                          const MessageSink& progress) {
    if (!WindowArraysFit(brdf, pixels.size(), {cost.size(), cosp.size(), sinp.size()}))
        return Status::Ok();
    const PixelWindow w = ClipWindow(brdf, xa, xb, ya, yb);
    PrintWindow(progress, w);
    const int32_t bands = BandsFor(TermsFor(brdf, terms));
    if (Status s = EnsureShBands(bands); !s.ok()) return s;
    TileJob job(brdf, w, terms, pixels.data());
    job.cost = cost.data();
    job.cosp = cosp.data();
    job.sinp = sinp.data();
    job.lmax = bands - 1;
    for (int ch = 0; ch < 3; ++ch)
        job.f[ch] = color[ch] * 255.0f;
    LocalTilesOf(job);
    return Status::Ok();
}

Status RelightWindowSlide(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                          int32_t yb, std::span<const float> cost,
                          std::span<const float> cosp, std::span<const float> sinp,
                          std::span<const Rgb> intensity, std::span<uint8_t> pixels,
                          int32_t terms, const MessageSink& progress) {
    if (!WindowArraysFit(brdf, pixels.size(),
                         {cost.size(), cosp.size(), sinp.size(), intensity.size()}))
        return Status::Ok();
    const PixelWindow w = ClipWindow(brdf, xa, xb, ya, yb);
    if (progress)
        progress(StrPrintf(
            "\n\nRecontruct with slide projector source for win x:[%d,%d], y:[%d,%d]\n",
            w.x0, w.x1, w.y0, w.y1));
    const int32_t bands = BandsFor(TermsFor(brdf, terms));
    if (Status s = EnsureShBands(bands); !s.ok()) return s;
    ClearWindow(brdf, w, pixels.data());  // pixels without light or coefficients
    TileJob job(brdf, w, terms, pixels.data());
    job.cost = cost.data();
    job.cosp = cosp.data();
    job.sinp = sinp.data();
    job.lmax = bands - 1;
    job.slide = true;
    job.intensity = intensity.data();
    LocalTilesOf(job);
    return Status::Ok();
}

Status RelightWindowSeveral(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                            int32_t yb, std::span<const float> cost,
                            std::span<const float> cosp, std::span<const float> sinp,
                            std::span<const Rgb> colors, int32_t count,
                            std::span<uint8_t> pixels, int32_t terms,
                            const MessageSink& progress) {
    if (!WindowLightsFit(brdf, pixels.size(), count,
                         {cost.size(), cosp.size(), sinp.size(), colors.size()}))
        return Status::Ok();
    const size_t lights = static_cast<size_t>(count);
    const PixelWindow w = ClipWindow(brdf, xa, xb, ya, yb);
    PrintWindow(progress, w);
    const int32_t bands = BandsFor(TermsFor(brdf, terms));
    SharedBasis basis[MAX_LIGHTS];
    LightBasis each[MAX_LIGHTS];
    for (size_t m = 0; m < lights; ++m) {
        basis[m].angles = ShAngles{cost[m], cosp[m], sinp[m]};
        if (Status s = basis[m].Need(bands); !s.ok()) return s;
        each[m].Y[0] = each[m].Y[1] = each[m].Y[2] = basis[m].Y;
        each[m].color = colors[m];
    }
    ClearWindow(brdf, w, pixels.data());
    MultDirTiles(brdf, w, terms, each, count, pixels);
    return Status::Ok();
}

Status RelightSlabDirectional(SlabRecord& slab, const ReconRequest& request) {
    if (slab.format != kFormatBRDF || request.lights.empty()) return Status::Ok();
    const LightSrc& light = request.lights[0];
    const SlabFrame frame = MakeSlabFrame(slab);
    Vec3 L(-light.direction.x, -light.direction.y, -light.direction.z);
    VecNormalize(L);
    SharedBasis basis;
    basis.angles = LightAngles(L, frame.n, frame.s, frame.t);
    const float f[3] = {light.color[0] * 255.0f, light.color[1] * 255.0f,
                        light.color[2] * 255.0f};
    return ImageLoop(
        slab, request, true,
        [&](int32_t, int32_t, size_t, const PixelRect& a, const BrdfImage& brdf,
            std::span<uint8_t> pixels) {
            const PixelWindow w = ClipWindow(brdf, a.x0, a.x1, a.y0, a.y1);
            PrintWindow(request.progress, w);
            if (Status s = basis.Need(BandsFor(TermsFor(brdf, request.terms))); !s.ok())
                return s;
            const float* const Y[3] = {basis.Y, basis.Y, basis.Y};
            DirTiles(brdf, w, request.terms, Y, f, pixels);
            return Status::Ok();
        });
}

Status RelightSlabEnvironment(SlabRecord& slab, const ReconRequest& request) {
    if (slab.format != kFormatBRDF || request.lights.empty()) return Status::Ok();
    LightSrc& light = request.lights[0];
    if (!light.HasEnvironment()) return Status::Ok();
    const SlabFrame frame = MakeSlabFrame(slab);
    const EnvBasis* basis = nullptr;
    if (Status s = light.envcache.Get(light.envmap, light.GetEnvFrame(), frame.n, frame.s,
                                      frame.t, SlabEnvBands(slab), basis);
        !s.ok())
        return s;
    return ImageLoop(slab, request, true,
                     [&](int32_t, int32_t, size_t, const PixelRect& a,
                         const BrdfImage& brdf, std::span<uint8_t> pixels) {
                         return RelightWindowEnvironment(brdf, a.x0, a.x1, a.y0, a.y1,
                                                         *basis, light.color, pixels,
                                                         request.terms, request.progress);
                     });
}

Status RelightSlabPoint(SlabRecord& slab, const ReconRequest& request) {
    if (slab.format != kFormatBRDF || request.lights.empty()) return Status::Ok();
    const LightSrc& light = request.lights[0];
    const SlabFrame frame = MakeSlabFrame(slab);
    if (Status s = ReserveLocalArrays(frame, false); !s.ok()) return s;
    // Each pixel's own direction to the light: relit at full resolution.
    return ImageLoop(slab, request, false,
                     [&](int32_t j, int32_t i, size_t k, const PixelRect& a,
                         const BrdfImage& brdf, std::span<uint8_t> pixels) {
                         const PixelWindow w = ClipWindow(brdf, a.x0, a.x1, a.y0, a.y1);
                         PrintWindow(request.progress, w);
                         const int32_t bands = BandsFor(TermsFor(brdf, request.terms));
                         if (Status s = EnsureShBands(bands); !s.ok()) return s;
                         TileJob job(brdf, w, request.terms, pixels.data());
                         job.lmax = bands - 1;
                         for (int ch = 0; ch < 3; ++ch)
                             job.f[ch] = light.color[ch] * 255.0f;
                         LocalGeometry(slab, frame, j, i, k, light, job);
                         LocalTilesOf(job);
                         return Status::Ok();
                     });
}

Status RelightSlabSlide(SlabRecord& slab, const ReconRequest& request) {
    if (slab.format != kFormatBRDF || request.lights.empty()) return Status::Ok();
    LightSrc& light = request.lights[0];
    const SlabFrame frame = MakeSlabFrame(slab);
    if (Status s = ReserveLocalArrays(frame, true); !s.ok()) return s;
    // Each pixel's own direction to the projector: relit at full resolution.
    return ImageLoop(
        slab, request, false,
        [&](int32_t j, int32_t i, size_t k, const PixelRect& a, const BrdfImage& brdf,
            std::span<uint8_t> pixels) {
            // The first lookup of a changed projector updates (and reports) its
            // frame, before any pixel of this image is looked up.
            if (brdf.tile_count > 0 && light.changed)
                light.UpdateSlideFrame(request.progress);
            const PixelWindow w = ClipWindow(brdf, a.x0, a.x1, a.y0, a.y1);
            if (request.progress)
                request.progress(StrPrintf(
                    "\n\nRecontruct with slide projector source for win x:[%d,%d], "
                    "y:[%d,%d]\n",
                    w.x0, w.x1, w.y0, w.y1));
            const int32_t bands = BandsFor(TermsFor(brdf, request.terms));
            if (Status s = EnsureShBands(bands); !s.ok()) return s;
            // The image was just cleared: pixels without light stay black.
            TileJob job(brdf, w, request.terms, pixels.data());
            job.lmax = bands - 1;
            job.slide = true;
            LocalGeometry(slab, frame, j, i, k, light, job);
            LocalTilesOf(job);
            return Status::Ok();
        });
}

Status RelightSlabSeveral(SlabRecord& slab, const ReconRequest& request) {
    if (slab.format != kFormatBRDF) return Status::Ok();
    const std::span<LightSrc> lights = request.lights;
    const int32_t n = LightsInUse(lights);
    const SlabFrame frame = MakeSlabFrame(slab);
    SharedBasis basis[MAX_LIGHTS];
    LightBasis each[MAX_LIGHTS];
    bool env[MAX_LIGHTS] = {};
    for (int32_t m = 0; m < n; ++m) {
        LightSrc& light = lights[m];
        each[m].color = light.GetColor();
        if (light.HasEnvironment()) {
            // The environment's term, clamped on its own as each light's is.
            const EnvBasis* e = nullptr;
            if (Status s = light.envcache.Get(light.envmap, light.GetEnvFrame(), frame.n,
                                              frame.s, frame.t, SlabEnvBands(slab), e);
                !s.ok())
                return s;
            for (int ch = 0; ch < 3; ++ch)
                each[m].Y[ch] = e->Y[ch];
            env[m] = true;
            continue;
        }
        Vec3 L(-light.direction.x, -light.direction.y, -light.direction.z);
        VecNormalize(L);
        basis[m].angles = LightAngles(L, frame.n, frame.s, frame.t);
        each[m].Y[0] = each[m].Y[1] = each[m].Y[2] = basis[m].Y;
    }
    return ImageLoop(slab, request, true,
                     [&](int32_t, int32_t, size_t, const PixelRect& a,
                         const BrdfImage& brdf, std::span<uint8_t> pixels) {
                         const PixelWindow w = ClipWindow(brdf, a.x0, a.x1, a.y0, a.y1);
                         PrintWindow(request.progress, w);
                         const int32_t bands = BandsFor(TermsFor(brdf, request.terms));
                         for (int32_t m = 0; m < n; ++m) {
                             if (env[m]) continue;
                             if (Status s = basis[m].Need(bands); !s.ok()) return s;
                         }
                         // The image was just cleared: no window to clear again.
                         MultDirTiles(brdf, w, request.terms, each, n, pixels);
                         return Status::Ok();
                     });
}

Status ReconstructAll(LidInfo& info, const ReconRequest& request) {
    static constexpr SlabDrivers kDrivers{
        .directional = &RelightSlabDirectional,
        .point = &RelightSlabPoint,
        .slide = &RelightSlabSlide,
        .environment = &RelightSlabEnvironment,
        .several = &RelightSlabSeveral,
    };
    return ReconstructSlabs(info, request, kDrivers);
}

}  // namespace lumo
