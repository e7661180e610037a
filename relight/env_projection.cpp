#include "relight/env_projection.h"

#include <algorithm>
#include <cmath>

#include "base/parallel_for.h"
#include "relight/slab_frame.h"

namespace lumo {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Projections kept per light: one per slab of the largest scene.
constexpr size_t kKeptProjections = 64;

bool Same(const Vec3& a, const Vec3& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

bool SameFrame(const EnvFrame& a, const EnvFrame& b) {
    return Same(a.x, b.x) && Same(a.y, b.y) && Same(a.z, b.z);
}

struct D3 {
    double x, y, z;
};

D3 Unit(D3 v) {
    const double len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / len, v.y / len, v.z / len};
}

D3 Cross(const D3& a, const D3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

}  // namespace

EnvFrame MakeEnvFrame(const Vec3& direction, float spin_degrees) {
    const D3 z =
        Unit({-static_cast<double>(direction.x), -static_cast<double>(direction.y),
              -static_cast<double>(direction.z)});
    // World +x across the zenith; world +y when the zenith runs along +-x.
    D3 ref{1.0, 0.0, 0.0};
    double along = z.x;
    D3 a{ref.x - along * z.x, -along * z.y, -along * z.z};
    if (std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z) < 1e-6) {
        along = z.y;
        a = {-along * z.x, 1.0 - along * z.y, -along * z.z};
    }
    a = Unit(a);
    const D3 b = Cross(z, a);
    const double spin = static_cast<double>(spin_degrees) * kPi / 180.0;
    const double c = std::cos(spin), s = std::sin(spin);
    const D3 x{c * a.x + s * b.x, c * a.y + s * b.y, c * a.z + s * b.z};
    const D3 y = Cross(z, x);
    auto f = [](const D3& v) {
        return Vec3(static_cast<float>(v.x), static_cast<float>(v.y),
                    static_cast<float>(v.z));
    };
    return {f(x), f(y), f(z)};
}

Vec3 EnvTexelDirection(const EnvFrame& frame, int32_t W, int32_t H, int32_t i,
                       int32_t j) {
    const double theta = kPi * (static_cast<double>(j) + 0.5) / static_cast<double>(H);
    const double phi =
        2.0 * kPi * (static_cast<double>(i) + 0.5) / static_cast<double>(W);
    const double st = std::sin(theta);
    const double d[3] = {st * std::cos(phi), st * std::sin(phi), std::cos(theta)};
    auto axis = [&](float ax, float ay, float az) {
        return d[0] * static_cast<double>(ax) + d[1] * static_cast<double>(ay) +
               d[2] * static_cast<double>(az);
    };
    return Vec3(static_cast<float>(axis(frame.x.x, frame.y.x, frame.z.x)),
                static_cast<float>(axis(frame.x.y, frame.y.y, frame.z.y)),
                static_cast<float>(axis(frame.x.z, frame.y.z, frame.z.z)));
}

double EnvTexelSolidAngle(int32_t W, int32_t H, int32_t j) {
    const double theta = kPi * (static_cast<double>(j) + 0.5) / static_cast<double>(H);
    return (2.0 * kPi / static_cast<double>(W)) * (kPi / static_cast<double>(H)) *
           std::sin(theta);
}

int32_t SlabEnvBands(const SlabRecord& slab) {
    int32_t bands = 0;
    for (const BrdfImage& brdf : slab.brdf)
        bands = std::max(bands, brdf.lcnt);
    return std::min(bands, kMaxShBands);
}

Status ProjectEnvironment(const EnvMap& map, const EnvFrame& frame, const Vec3& n,
                          const Vec3& s, const Vec3& t, int32_t bands, EnvBasis& out) {
    out = EnvBasis();
    bands = std::clamp(bands, 0, kMaxShBands);
    out.bands = bands;
    const int32_t W = map.width, H = map.height;
    if (bands == 0 || W <= 0 || H <= 0) return Status::Ok();
    if (Status status = EnsureShBands(bands); !status.ok()) return status;
    const size_t terms = static_cast<size_t>(bands) * static_cast<size_t>(bands);
    const size_t row_size = 3 * terms;
    std::vector<double> rows(static_cast<size_t>(H) * row_size, 0.0);
    ParallelFor(static_cast<size_t>(H), 4, [&](size_t begin, size_t end) {
        float Y[kMaxShTerms];
        for (size_t jj = begin; jj < end; ++jj) {
            const int32_t j = static_cast<int32_t>(jj);
            double* acc = rows.data() + jj * row_size;
            for (int32_t i = 0; i < W; ++i) {
                const Vec3 d = EnvTexelDirection(frame, W, H, i, j);
                const ShAngles a = LightAngles(d, n, s, t);
                EvalShBasis(a.cost, a.cosp, a.sinp, bands - 1, Y);
                for (size_t c = 0; c < 3; ++c) {
                    const double L =
                        static_cast<double>(map.At(i, j, static_cast<int>(c)));
                    double* e = acc + c * terms;
                    for (size_t k = 0; k < terms; ++k)
                        e[k] = e[k] + L * static_cast<double>(Y[k]);
                }
            }
            const double domega = EnvTexelSolidAngle(W, H, j);
            for (size_t k = 0; k < row_size; ++k)
                acc[k] = acc[k] * domega;
        }
    });
    for (size_t c = 0; c < 3; ++c) {
        for (size_t k = 0; k < terms; ++k) {
            double sum = 0.0;
            for (size_t j = 0; j < static_cast<size_t>(H); ++j)
                sum = sum + rows[j * row_size + c * terms + k];
            out.Y[c][k] = static_cast<float>(sum / kPi);
        }
    }
    return Status::Ok();
}

Status EnvProjectionCache::Get(const std::shared_ptr<const EnvMap>& map,
                               const EnvFrame& frame, const Vec3& n, const Vec3& s,
                               const Vec3& t, int32_t bands, const EnvBasis*& out) {
    if (map != map_ || !SameFrame(frame, frame_)) {
        entries_.clear();
        map_ = map;
        frame_ = frame;
    }
    for (Entry& e : entries_) {
        if (Same(e.n, n) && Same(e.s, s) && Same(e.t, t) && e.basis->bands >= bands) {
            out = e.basis.get();
            return Status::Ok();
        }
    }
    std::erase_if(entries_, [&](const Entry& e) {
        return Same(e.n, n) && Same(e.s, s) && Same(e.t, t);
    });
    if (entries_.size() >= kKeptProjections) entries_.erase(entries_.begin());
    auto basis = std::make_shared<EnvBasis>();
    if (map) {
        if (Status status = ProjectEnvironment(*map, frame, n, s, t, bands, *basis);
            !status.ok())
            return status;
    }
    ++projections_;
    entries_.push_back(Entry{n, s, t, std::move(basis)});
    out = entries_.back().basis.get();
    return Status::Ok();
}

}  // namespace lumo
