#include "bake/view_render.h"

#include <algorithm>
#include <cmath>

#include "io/depth_map.h"

namespace lumo::tool {
namespace {

size_t PixelCount(const ViewHits& view) {
    return static_cast<size_t>(view.width) * static_cast<size_t>(view.height);
}

// Shades every pixel with `light(shader, ray)` returning the response colour.
template <class Light>
std::vector<uint8_t> Render(const Scene& scene, const ViewHits& view, const Vec3d& colour,
                            Light light) {
    const size_t n = PixelCount(view);
    std::vector<uint8_t> rgb(n * 3, 0);
    const float factor[3] = {static_cast<float>(colour.x) * 255.0f,
                             static_cast<float>(colour.y) * 255.0f,
                             static_cast<float>(colour.z) * 255.0f};
    for (size_t i = 0; i < n; ++i) {
        const SurfacePoint& sp = view.surface[i];
        if (!sp.hit()) continue;
        const PointShader shader(scene, sp, -view.rays[i].dir);
        const Vec3d c = light(shader);
        rgb[3 * i + 0] = ResponseByte(static_cast<float>(c.x) * factor[0]);
        rgb[3 * i + 1] = ResponseByte(static_cast<float>(c.y) * factor[1]);
        rgb[3 * i + 2] = ResponseByte(static_cast<float>(c.z) * factor[2]);
    }
    return rgb;
}

}  // namespace

ViewHits TraceView(const Scene& scene, const BakeSlab& slab, int a, int b) {
    ViewHits view;
    view.a = a;
    view.b = b;
    view.width = slab.width;
    view.height = slab.height;
    view.camera = CameraPosition(slab, a, b);
    const size_t n = PixelCount(view);
    view.rays.resize(n);
    view.surface.resize(n);
    for (int y = 0; y < slab.height; ++y) {
        for (int x = 0; x < slab.width; ++x) {
            const size_t i = static_cast<size_t>(y) * static_cast<size_t>(slab.width) +
                             static_cast<size_t>(x);
            view.rays[i] = PixelRay(slab, view.camera, x, y);
            view.surface[i] = Intersect(scene, view.rays[i]);
        }
    }
    return view;
}

uint8_t ResponseByte(float value) {
    if (value > 255.0f) return 255;
    if (!(value > 0.0f)) return 0;
    return static_cast<uint8_t>(value);
}

std::vector<uint8_t> RenderDirectional(const Scene& scene, const ViewHits& view,
                                       const Vec3d& direction, const Vec3d& colour) {
    const Vec3d to_light = Normalize(-direction);
    return Render(scene, view, colour, [&](const PointShader& shader) {
        return shader.Colour(shader.Terms(to_light));
    });
}

std::vector<uint8_t> RenderPoint(const Scene& scene, const ViewHits& view,
                                 const Vec3d& position, const Vec3d& colour) {
    return Render(scene, view, colour, [&](const PointShader& shader) {
        const Vec3d to_light = position - shader.point();
        const double distance = Length(to_light);
        return shader.Colour(shader.Terms(to_light * (1.0 / distance), distance));
    });
}

std::vector<float> DepthMapValues(const ViewHits& view) {
    std::vector<float> depth(PixelCount(view), kNoSurfaceDepth);
    for (int y = 0; y < view.height; ++y) {
        for (int x = 0; x < view.width; ++x) {
            const SurfacePoint& sp =
                view.surface[static_cast<size_t>(y) * static_cast<size_t>(view.width) +
                             static_cast<size_t>(x)];
            if (!sp.hit()) continue;
            depth[static_cast<size_t>(view.height - 1 - y) *
                      static_cast<size_t>(view.width) +
                  static_cast<size_t>(x)] = static_cast<float>(sp.t);
        }
    }
    return depth;
}

ViewCoefficients ProjectResponse(const Scene& scene, const ViewHits& view,
                                 const std::vector<Vec3d>& directions,
                                 const std::vector<float>& basis, int terms) {
    ViewCoefficients out;
    out.terms = terms;
    const size_t n = PixelCount(view);
    const size_t nt = static_cast<size_t>(terms);
    out.present.assign(n, 0);
    for (std::vector<float>& c : out.coeff)
        c.assign(n * nt, 0.0f);
    // The basis rows padded to whole blocks of kBlock floats, so that the
    // sums below run on fixed-size blocks the compiler turns into vector
    // operations. Each coefficient is still summed over the directions in
    // their order.
    constexpr size_t kBlock = 8;
    const size_t stride = (nt + kBlock - 1) / kBlock * kBlock;
    const size_t count = directions.size();
    std::vector<float> padded(count * stride, 0.0f);
    for (size_t k = 0; k < count; ++k)
        std::copy_n(&basis[k * nt], nt, &padded[k * stride]);
    const double weight = 4.0 * M_PI / static_cast<double>(count);
    std::vector<float> diffuse_term(count);
    std::vector<float> specular_term(count);
    std::vector<float> diffuse_sum(stride);
    std::vector<float> specular_sum(stride);
    for (size_t i = 0; i < n; ++i) {
        const SurfacePoint& sp = view.surface[i];
        if (!sp.hit()) continue;
        out.present[i] = 1;
        const PointShader shader(scene, sp, -view.rays[i].dir);
        shader.TermsForDirections(directions.data(), count, weight, diffuse_term.data(),
                                  specular_term.data());
        std::fill(diffuse_sum.begin(), diffuse_sum.end(), 0.0f);
        std::fill(specular_sum.begin(), specular_sum.end(), 0.0f);
        float* ds = diffuse_sum.data();
        float* ss = specular_sum.data();
        for (size_t k = 0; k < count; ++k) {
            const float d = diffuse_term[k];
            if (d == 0.0f) continue;
            const float s = specular_term[k];
            const float* y = &padded[k * stride];
            for (size_t j = 0; j < stride; j += kBlock) {
                for (size_t q = 0; q < kBlock; ++q)
                    ds[j + q] += d * y[j + q];
            }
            if (s == 0.0f) continue;
            for (size_t j = 0; j < stride; j += kBlock) {
                for (size_t q = 0; q < kBlock; ++q)
                    ss[j + q] += s * y[j + q];
            }
        }
        const Vec3d& kd = shader.diffuse_colour();
        const Vec3d& ks = shader.specular_colour();
        const double kd_c[3] = {kd.x, kd.y, kd.z};
        const double ks_c[3] = {ks.x, ks.y, ks.z};
        for (int c = 0; c < 3; ++c) {
            float* dst = &out.coeff[c][i * nt];
            for (size_t j = 0; j < nt; ++j) {
                dst[j] = static_cast<float>(kd_c[c] * diffuse_sum[j] +
                                            ks_c[c] * specular_sum[j]);
            }
        }
    }
    return out;
}

}  // namespace lumo::tool
