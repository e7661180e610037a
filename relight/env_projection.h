// The environment light's projection onto the spherical-harmonic basis.
//
// The map's frame in the scene: its zenith is -direction of the light, its
// azimuth 0 lies along world +x projected onto the plane across the zenith
// (world +y when the zenith runs along +-x), turned by the light's spin about
// the zenith by the right-hand rule; the third axis is zenith x azimuth 0, so
// the frame is right-handed and the default light (direction (0, 0, -1), spin
// 0) has the world's axes.
//
// For a slab with normal n and image axes s, t, per channel,
//   E_i = sum over texels of L(texel) Y_i(LightAngles(world direction)) dOmega
// with the engine's own basis (unclamped). A pixel's value under the
// environment is then max(0, sum_i c_i E_i) / pi: the 1 / pi makes a uniform
// white environment of 1 light a surface as a white directional light straight
// onto it does. The projection keeps E_i / pi, so that the reconstruction
// treats the environment as a directional light whose basis differs per
// channel.
//
// Summation order (the sequential reference repeats it): per row, in double,
// texel after texel, the products L * Y_i; the row's sums times the row's
// solid angle; then the rows in order, in double; finally E_i / pi rounded to
// float.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/status.h"
#include "geom/vec.h"
#include "relight/env_map.h"
#include "relight/sh_basis.h"
#include "scene/slab_record.h"

namespace lumo {

// The map's axes in the world: azimuth 0, the third axis, the zenith.
struct EnvFrame {
    Vec3 x{1.0f, 0.0f, 0.0f};
    Vec3 y{0.0f, 1.0f, 0.0f};
    Vec3 z{0.0f, 0.0f, 1.0f};
};

// The frame of a light travelling along `direction` (any length but 0), spun
// by `spin_degrees` about its zenith.
EnvFrame MakeEnvFrame(const Vec3& direction, float spin_degrees);

// The world direction of texel (i, j) of a W x H map in `frame`, computed in
// double and rounded to float.
Vec3 EnvTexelDirection(const EnvFrame& frame, int32_t W, int32_t H, int32_t i, int32_t j);

// The solid angle of a texel in row j of a W x H map, and its polar angle.
double EnvTexelSolidAngle(int32_t W, int32_t H, int32_t j);

// E_i / pi per channel for the first bands * bands terms.
struct EnvBasis {
    int32_t bands = 0;
    float Y[3][kMaxShTerms] = {};
};

// The bands a slab's coefficient files hold: the largest lcnt of its images
// (at most kMaxShBands).
int32_t SlabEnvBands(const SlabRecord& slab);

// Projects `map` in `frame` onto the basis against the slab axes n, s, t for
// `bands` bands (0..kMaxShBands). The rows are spread over the worker
// threads; the result does not depend on their number. Fails with the basis
// tables' message when they cannot grow to `bands`.
Status ProjectEnvironment(const EnvMap& map, const EnvFrame& frame, const Vec3& n,
                          const Vec3& s, const Vec3& t, int32_t bands, EnvBasis& out);

// The projections an environment light has made, one per slab frame, kept
// while its map and frame stay the same.
class EnvProjectionCache {
  public:
    // Points `out` at the projection of `map` in `frame` against the axes n,
    // s, t with at least `bands` bands: a kept one when the map, frame and
    // axes are the same, otherwise a new one (a new map or frame forgets every
    // kept one). `out` stays valid until the next call or Clear. Fails as
    // ProjectEnvironment does; nothing is kept for a failed projection.
    Status Get(const std::shared_ptr<const EnvMap>& map, const EnvFrame& frame,
               const Vec3& n, const Vec3& s, const Vec3& t, int32_t bands,
               const EnvBasis*& out);
    // Projections computed so far.
    int64_t projections() const { return projections_; }
    void Clear() { entries_.clear(); }

  private:
    struct Entry {
        Vec3 n, s, t;
        std::shared_ptr<const EnvBasis> basis;
    };
    std::shared_ptr<const EnvMap> map_;
    EnvFrame frame_;
    std::vector<Entry> entries_;
    int64_t projections_ = 0;
};

}  // namespace lumo
