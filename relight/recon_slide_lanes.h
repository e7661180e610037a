// The slide projector's lookups in the production reconstruction's vector
// kernels: SampleSlide and LightSrc::SlideIntensity for a lane group of
// directions at once, operation for operation as the scalar functions (see
// relight/recon_sums.h for the rules every kernel keeps).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "io/photo.h"
#include "relight/lane_types.h"
#include "relight/light_source.h"
#include "relight/recon_lane_geometry.h"

namespace lumo::kernels {

// SampleSlide of `photo` at (s, t) for the lanes in `lanes` (the others, and
// lanes whose position is not finite, get 0): the texel indices and the
// gathers per lane, the bilinear weighting on vectors, operation for
// operation as SampleSlide.
template <class V>
LUMO_KERNEL void SampleSlideLanes(const Photo& photo, const V& s, const V& t,
                                  uint32_t lanes, V out[3]) {
    out[0] = out[1] = out[2] = V{};
    const int32_t w = photo.width;
    const int32_t h = photo.height;
    if (w <= 0 || h <= 0 ||
        photo.pixels.size() < static_cast<size_t>(w) * static_cast<size_t>(h) * 3)
        return;
    const V x = static_cast<float>(w) * s;
    const V y = static_cast<float>(h) * t;
    // Lane values go through arrays: writing a vector lane by lane costs a
    // masked insert per lane.
    constexpr int kLanes = kLanesOf<V>;
    using I = typename LaneTraits<V>::Int;
    float fxa[kLanes] = {}, fya[kLanes] = {};
    int32_t q[4][3][kLanes] = {};  // corner, channel, lane
    const uint8_t* px = photo.pixels.data();
    auto at = [&](int32_t col, int32_t row) {
        return px + (static_cast<size_t>(row) * static_cast<size_t>(w) +
                     static_cast<size_t>(col)) *
                        3;
    };
    for (int lane = 0; lane < kLanes; ++lane) {
        if (!(lanes & (1u << lane))) continue;
        if (!std::isfinite(x[lane]) || !std::isfinite(y[lane])) {
            lanes &= ~(1u << lane);
            continue;
        }
        // SampleSlide's fmax(0, fmin(x, w - 1)) for a finite x, whose only
        // freedom (the sign of a zero) the conversion to an integer drops.
        const float cx =
            x[lane] < static_cast<float>(w - 1) ? x[lane] : static_cast<float>(w - 1);
        const float cy =
            y[lane] < static_cast<float>(h - 1) ? y[lane] : static_cast<float>(h - 1);
        const int32_t ix = static_cast<int32_t>(cx > 0.0f ? cx : 0.0f);
        const int32_t iy = static_cast<int32_t>(cy > 0.0f ? cy : 0.0f);
        fxa[lane] = x[lane] - static_cast<float>(ix);
        fya[lane] = y[lane] - static_cast<float>(iy);
        const int32_t ix1 = ix + 1 < w ? ix + 1 : w - 1;
        const int32_t iy1 = iy + 1 < h ? iy + 1 : h - 1;
        const uint8_t* corner[4] = {at(ix, iy), at(ix1, iy), at(ix, iy1), at(ix1, iy1)};
        for (int k = 0; k < 4; ++k)
            for (int ch = 0; ch < 3; ++ch)
                q[k][ch][lane] = corner[k][ch];
    }
    if (lanes == 0) return;
    V fx, fy;
    std::memcpy(&fx, fxa, sizeof fx);
    std::memcpy(&fy, fya, sizeof fy);
    const V gx = 1.0f - fx;
    const V gy = 1.0f - fy;
    for (int ch = 0; ch < 3; ++ch) {
        V p[4];
        for (int k = 0; k < 4; ++k) {
            I qi;
            std::memcpy(&qi, q[k][ch], sizeof qi);
            p[k] = __builtin_convertvector(qi, V);
        }
        // p[0..3]: (ix, iy), (ix1, iy), (ix, iy1), (ix1, iy1).
        const V v =
            (gy * (fx * p[1] + gx * p[0]) + fy * (fx * p[3] + gx * p[2])) * 0.003921569f;
        float va[kLanes];
        std::memcpy(va, &v, sizeof va);
        for (int lane = 0; lane < kLanes; ++lane) {
            if (!(lanes & (1u << lane))) va[lane] = 0.0f;
        }
        std::memcpy(&out[ch], va, sizeof va);
    }
}

// LightSrc::SlideIntensity of the directions -L for the lanes in `wanted`
// (the others get no light), from the projector's current frame: the ray
// from the light to the slide plane and the slide coordinates are vector
// arithmetic, as is the bilinear lookup (SampleSlideLanes) for the lanes whose
// ray meets the slide inside its margins.
template <class V>
LUMO_KERNEL void SlideIntensityLanes(const LightSrc& light, const V3T<V>& L,
                                     uint32_t wanted, V in[3]) {
    in[0] = in[1] = in[2] = V{};
    if (!light.slidevalid || wanted == 0) return;
    using D = typename LaneTraits<V>::Double;
    const Vec3 nn(light.slideplane[0], light.slideplane[1], light.slideplane[2]);
    V3T<V> d, n;
    d.x = -L.x;
    d.y = -L.y;
    d.z = -L.z;
    Broadcast3(n, nn);
    V dn;
    Dot(dn, d, n);
    const D margin = D{} + kSlideMargin;
    uint32_t lit = wanted;
    {
        const auto toward = LUMO_WIDE(dn) > margin;
        for (int lane = 0; lane < kLanesOf<V>; ++lane) {
            if (!toward[lane]) lit &= ~(1u << lane);
        }
    }
    if (lit == 0) return;
    V3T<V> dir = d;
    Normalize(dir);
    V ndir;
    Dot(ndir, n, dir);
    const Vec3 position = light.position;
    const float np = VecDot(nn, position);
    const V along = -(np + light.slideplane[3]) / ndir;
    V3T<V> hit, center, sx, sy;
    Broadcast3(hit, position);
    AddScaled(hit, dir, along);
    Broadcast3(center, light.slidecenter);
    V3T<V> rel;
    Sub(rel, hit, center);
    Broadcast3(sx, light.slidex);
    Broadcast3(sy, light.slideup);
    V ds, dt;
    Dot(ds, rel, sx);
    Dot(dt, rel, sy);
    const V s = ds / light.slidewidth + 0.5f;
    const V t = dt / light.slideheight + 0.5f;
    const D upper = D{} + (1.0 - kSlideMargin);
    const auto inside = (LUMO_WIDE(s) > margin) & (LUMO_WIDE(t) > margin) &
                        (LUMO_WIDE(s) < upper) & (LUMO_WIDE(t) < upper);
    for (int lane = 0; lane < kLanesOf<V>; ++lane) {
        if (!inside[lane]) lit &= ~(1u << lane);
    }
    if (lit == 0) return;
    V sample[3];
    SampleSlideLanes(light.slide, s, t, lit, sample);
    // Lanes without light stay 0 whatever the colour.
    for (int ch = 0; ch < 3; ++ch) {
        const V v = sample[ch] * light.color[ch];
        float va[kLanesOf<V>];
        std::memcpy(va, &v, sizeof va);
        for (int lane = 0; lane < kLanesOf<V>; ++lane) {
            if (!(lit & (1u << lane))) va[lane] = 0.0f;
        }
        std::memcpy(&in[ch], va, sizeof va);
    }
}

}  // namespace lumo::kernels
