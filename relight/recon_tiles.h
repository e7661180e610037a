// The production reconstruction's tile machinery, private to the relighting
// engine: the jobs its window functions and slab drivers hand to the tile
// loops, and the entry points that run those loops on the worker threads with
// the instruction set the machine chose (relight/recon_lanes.h).
#pragma once

#include <cstdint>
#include <span>

#include "base/status.h"
#include "relight/light_source.h"
#include "relight/recon_common.h"
#include "relight/recon_lane_geometry.h"
#include "relight/recon_slide_lanes.h"
#include "relight/recon_sums.h"
#include "scene/brdf_image.h"

namespace lumo::tiles {

using kernels::DepthLookup;
using kernels::kMaxTerms;

// Which lanes of a tile a window function writes: in the window and, per
// channel, present. A window that covers the image's own window holds every
// tile pixel.
struct TileWindow {
    const BrdfImage* image;
    PixelWindow w;
    bool whole;

    TileWindow(const BrdfImage& b, const PixelWindow& win)
        : image(&b),
          w(win),
          whole(win.x0 <= b.xmin && win.x1 >= b.xmax && win.y0 <= b.ymin &&
                win.y1 >= b.ymax) {}

    // Bit `lane` set for the lanes of tile t whose pixel is inside the window.
    uint32_t Lanes(int32_t t) const {
        const BrdfImage& brdf = *image;
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
        const BrdfImage& brdf = *image;
        const int32_t* pix = brdf.tile_pixel.data() + static_cast<size_t>(t) * kShLanes;
        int32_t last = kShLanes - 1;
        while (last > 0 && pix[last] < 0)
            --last;
        return pix[last] / brdf.width < w.y0 || pix[0] / brdf.width > w.y1;
    }
};

// What a window function's tile loop needs; the fields of other modes stay
// unset.
struct TileJob {
    const BrdfImage* brdf = nullptr;
    TileWindow tw;
    int32_t terms = 0;  // coefficients summed per pixel
    uint8_t* out = nullptr;
    // Directional and environment: the shared basis per channel and the
    // factors colour * 255.
    const float* Y[3] = {};
    float f[3] = {};
    // Several lights: per channel, count factors; the bases packed in blocks
    // of as many lights as a pass of the tile loop takes (PackLightBases),
    // block after block.
    int32_t count = 0;
    const float* packed = nullptr;
    const float* fs[3] = {};
    // Point and slide: the basis degree and, for the slide, that mode's
    // scaling. The window functions give per-pixel angles and intensities;
    // the slab drivers give the geometry to compute them from instead.
    int32_t lmax = -1;
    bool slide = false;
    const float* cost = nullptr;
    const float* cosp = nullptr;
    const float* sinp = nullptr;
    const Rgb* intensity = nullptr;
    const SlabFrame* frame = nullptr;         // set: compute the angles from the geometry
    Vec3 E;                                   // the image's eye point
    DepthLookup depth{SlabFrame(), nullptr};  // its depth map
    const LightSrc* light = nullptr;          // the point light or projector

    TileJob(const BrdfImage& b, const PixelWindow& w, int32_t wanted_terms,
            uint8_t* pixels)
        : brdf(&b), tw(b, w), terms(TermsFor(b, wanted_terms)), out(pixels) {}
};

// Sets every pixel of the window to 0.
void ClearWindow(const BrdfImage& brdf, const PixelWindow& w, uint8_t* out);

// Runs the point or slide tile loop of the chosen width.
void LocalTilesOf(const TileJob& job);

// A shared basis evaluated once for the largest band count any image needs.
struct SharedBasis {
    ShAngles angles;
    int32_t bands = 0;
    float Y[kMaxTerms] = {};

    // Evaluates the basis for `wanted` bands unless it holds as many already.
    // Fails with the basis tables' message when they cannot grow.
    Status Need(int32_t wanted);
};

// Directional and environment: one basis per channel (Y[ch]).
void DirTiles(const BrdfImage& brdf, const PixelWindow& w, int32_t terms,
              const float* const Y[3], const float f[3], std::span<uint8_t> pixels);

// One light of the several-lights mode: its basis per channel (the same one
// thrice for a directional light) and its colour.
struct LightBasis {
    const float* Y[3] = {};
    Rgb color;
};

// Several lights: each light's basis and colour, in passes of as many lights
// as the loop of the chosen width takes.
void MultDirTiles(const BrdfImage& brdf, const PixelWindow& w, int32_t terms,
                  const LightBasis* lights, int32_t count, std::span<uint8_t> pixels);

}  // namespace lumo::tiles
