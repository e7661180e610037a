#include "tests/relight/relight_fixture.h"

#include <algorithm>
#include <random>

#include "base/fatal.h"
#include "base/half_float.h"
#include "relight/brdf_file.h"

namespace lumo::testing {

ShCoeffImage RandomCoefficients(int32_t W, int32_t H, int32_t lcnt, int32_t harcnt,
                                const double density[3], uint32_t seed) {
    ShCoeffImage img(W, H, lcnt, harcnt);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> coeff(-0.6f, 1.6f);
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    std::vector<float> c(static_cast<size_t>(img.harcnt()));
    for (int32_t y = 0; y < H; ++y) {
        for (int32_t x = 0; x < W; ++x) {
            for (int ch = 0; ch < 3; ++ch) {
                if (chance(rng) >= density[ch]) continue;
                for (float& v : c)
                    v = coeff(rng);
                // The constant term dominates, as it does for real surfaces.
                if (!c.empty()) c[0] = 2.0f + coeff(rng);
                img.Set(ch, x, y, c);
            }
        }
    }
    return img;
}

std::shared_ptr<const EnvMap> RandomEnvMap(int32_t W, int32_t H, uint32_t seed) {
    auto map = std::make_shared<EnvMap>();
    map->name = "random.exr";
    map->width = W;
    map->height = H;
    map->rgb.resize(static_cast<size_t>(W) * static_cast<size_t>(H) * 3);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> value(0.0f, 2.0f);
    for (float& v : map->rgb)
        v = value(rng);
    return map;
}

LightSrc EnvLight(std::shared_ptr<const EnvMap> map, const Vec3& d, float spin, float r,
                  float g, float b) {
    LightSrc l = DirLight(d, r, g, b);
    l.SetKind(Environment);
    l.envmap = std::move(map);
    l.envspin = spin;
    return l;
}

int32_t FileTerms(const LidInfo& info) {
    for (int32_t i = 0; i < info.slab_count; ++i)
        if (const int32_t terms = AvailableTerms(info.slabs[static_cast<size_t>(i)].brdf))
            return terms;
    return 0;
}

SlabSpec ScenarioSlab() {
    SlabSpec spec;
    spec.nu = 3;
    spec.nv = 2;
    spec.W = 21;
    spec.H = 13;
    spec.lcnt = 4;
    spec.depth_maps = true;
    spec.images_without_depth = {4};
    return spec;
}

SlabSpec SparseScenarioSlab() {
    SlabSpec spec = ScenarioSlab();
    spec.density[0] = 0.6;
    spec.density[1] = 0.25;
    spec.density[2] = 0.0;  // a channel without coefficients
    spec.empty_images = {2};
    return spec;
}

void MakeBrdfSlab(SlabRecord& slab, const SlabSpec& spec) {
    slab.Clear();
    slab.format = kFormatBRDF;
    slab.samples_u = spec.nu;
    slab.samples_v = spec.nv;
    slab.samples_s = spec.W;
    slab.samples_t = spec.H;
    const Vec4 uv[4] = {{-1, -1, 2, 1}, {1, -1, 2, 1}, {1, 1, 2, 1}, {-1, 1, 2, 1}};
    const Vec4 st[4] = {{-0.5f, -0.5f, 0, 1},
                        {0.5f, -0.5f, 0, 1},
                        {0.5f, 0.5f, 0, 1},
                        {-0.5f, 0.5f, 0, 1}};
    for (int i = 0; i < 4; ++i) {
        slab.corner_vert[kPlaneUV][i] = uv[i];
        slab.corner_vert[kPlaneST][i] = st[i];
    }
    slab.normal = Vec3(0, 0, 1);
    const size_t images = static_cast<size_t>(spec.nu) * static_cast<size_t>(spec.nv);
    slab.viewenablemask[0] =
        spec.enabled.empty() ? std::vector<uint8_t>(images, 1) : spec.enabled;
    slab.subskip[0].assign(images, 0);
    slab.photo[0].resize(images);
    slab.brdf.resize(images);
    std::mt19937 rng(spec.seed * 7919u + 3u);
    std::uniform_real_distribution<float> jitter(-0.05f, 0.05f);
    if (spec.depth_maps) slab.zfile.resize(images);
    for (size_t k = 0; k < images; ++k) {
        if (!slab.viewenablemask[0][k]) continue;
        FatalIfError(slab.photo[0][k].Alloc(spec.W, spec.H));
        const bool empty = std::find(spec.empty_images.begin(), spec.empty_images.end(),
                                     static_cast<int32_t>(k)) != spec.empty_images.end();
        const double none[3] = {0, 0, 0};
        const ShCoeffImage img = RandomCoefficients(
            spec.W, spec.H, spec.lcnt, spec.harcnt, empty ? none : spec.density,
            spec.seed * 131u + static_cast<uint32_t>(k));
        FatalIfError(BuildBrdfImage(img, slab.brdf[k], spec.half));
        if (spec.round_to_half) {
            for (float& c : slab.brdf[k].coeff)
                c = HalfToFloat(FloatToHalf(c));
        }
        if (!spec.depth_maps) continue;
        if (std::find(spec.images_without_depth.begin(), spec.images_without_depth.end(),
                      static_cast<int32_t>(k)) != spec.images_without_depth.end())
            continue;
        Zfile& z = slab.zfile[k];
        z.width = spec.W;
        z.height = spec.H;
        z.depth.resize(static_cast<size_t>(spec.W) * static_cast<size_t>(spec.H));
        for (size_t e = 0; e < z.depth.size(); ++e)
            z.depth[e] = e % 17 == 5 ? 1e30f : 2.0f + jitter(rng);
    }
}

LightSrc DirLight(const Vec3& d, float r, float g, float b) {
    LightSrc l;
    l.SetKind(Directional);
    l.SetDirection(d);
    l.color[0] = r;
    l.color[1] = g;
    l.color[2] = b;
    return l;
}

std::vector<uint8_t> AllPixels(const SlabRecord& slab) {
    std::vector<uint8_t> all;
    for (const Photo& p : slab.photo[0])
        all.insert(all.end(), p.pixels.begin(), p.pixels.end());
    return all;
}

void FillPhotos(SlabRecord& slab, uint8_t value) {
    for (Photo& p : slab.photo[0])
        std::fill(p.pixels.begin(), p.pixels.end(), value);
}

}  // namespace lumo::testing
