// The environment light against closed forms: its frame, the projection of
// uniform and point-like maps, the spin, the sum with other lights, the cache
// of projections and the reading of maps.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/parallel_for.h"
#include "base/psnr.h"
#include "io/image_file.h"
#include "relight/env_map.h"
#include "relight/env_projection.h"
#include "relight/reconstruct.h"
#include "relight/sh_basis.h"
#include "testing/recon_reference.h"
#include "tests/relight/relight_fixture.h"

namespace lumo {
namespace {

using lumo::testing::AllPixels;
using lumo::testing::DirLight;
using lumo::testing::EnvLight;
using lumo::testing::FileTerms;
using lumo::testing::MakeBrdfSlab;
using lumo::testing::RandomEnvMap;
using lumo::testing::SlabSpec;

constexpr double kPi = 3.14159265358979323846;

void ExpectNear(const Vec3& want, const Vec3& got) {
    EXPECT_NEAR(want.x, got.x, 1e-6);
    EXPECT_NEAR(want.y, got.y, 1e-6);
    EXPECT_NEAR(want.z, got.z, 1e-6);
}

TEST(EnvFrameTest, ZenithIsAgainstTheDirectionAndSpinTurnsRightHanded) {
    struct Case {
        const char* name;
        Vec3 direction;
        float spin;
        Vec3 x, y, z;
    };
    const Case cases[] = {
        {"default: the world frame", {0, 0, -1}, 0, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {"spin 90 takes azimuth 0 to +y",
         {0, 0, -1},
         90,
         {0, 1, 0},
         {-1, 0, 0},
         {0, 0, 1}},
        {"spin -90", {0, 0, -2}, -90, {0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
        {"zenith down", {0, 0, 1}, 0, {1, 0, 0}, {0, -1, 0}, {0, 0, -1}},
        {"zenith along +x uses +y", {-1, 0, 0}, 0, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
        {"zenith along -x uses +y", {3, 0, 0}, 0, {0, 1, 0}, {0, 0, -1}, {-1, 0, 0}},
        {"zenith along +y projects +x", {0, -1, 0}, 0, {1, 0, 0}, {0, 0, -1}, {0, 1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const EnvFrame f = MakeEnvFrame(c.direction, c.spin);
        ExpectNear(c.x, f.x);
        ExpectNear(c.y, f.y);
        ExpectNear(c.z, f.z);
    }
    // An oblique frame is orthonormal and right-handed.
    const EnvFrame f = MakeEnvFrame({0.3f, -0.5f, -0.7f}, 33.0f);
    Vec3 cross;
    VecCross(f.x, f.y, cross);
    ExpectNear(f.z, cross);
    EXPECT_NEAR(0.0, VecDot(f.x, f.z), 1e-6);
    EXPECT_NEAR(1.0, VecLength(f.x), 1e-6);
    // Texel directions: the top row is near the zenith, azimuth 0 at the
    // left edge, a quarter of the way along at the frame's y axis.
    const EnvFrame w = MakeEnvFrame({0, 0, -1}, 0);
    const Vec3 top = EnvTexelDirection(w, 8, 1000, 3, 0);
    EXPECT_GT(top.z, 0.9999f);
    const Vec3 q = EnvTexelDirection(w, 4000, 2, 999, 0);  // phi just below 90
    EXPECT_NEAR(0.0, q.x, 1e-3);
    EXPECT_NEAR(std::sqrt(0.5), q.y, 1e-3);
}

// A slab of one W x H image whose every pixel has `coeff` in all channels.
void UniformSlab(SlabRecord& slab, int32_t lcnt, const std::vector<float>& coeff,
                 const std::vector<float>& green = {}) {
    SlabSpec spec;
    spec.nu = spec.nv = 1;
    spec.W = 3;
    spec.H = 2;
    spec.lcnt = lcnt;
    MakeBrdfSlab(slab, spec);
    ShCoeffImage img(3, 2, lcnt);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x)
            for (int ch = 0; ch < 3; ++ch)
                img.Set(ch, x, y, ch == 1 && !green.empty() ? green : coeff);
    slab.brdf[0].Reset();
    ASSERT_TRUE(BuildBrdfImage(img, slab.brdf[0]).ok());
}

std::shared_ptr<EnvMap> UniformMap(int32_t W, int32_t H, float v) {
    auto map = std::make_shared<EnvMap>();
    map->width = W;
    map->height = H;
    map->rgb.assign(static_cast<size_t>(W) * static_cast<size_t>(H) * 3, v);
    return map;
}

struct Engine {
    const char* name;
    decltype(&lumo::ReconstructAll) all;
};
const Engine kEngines[] = {{"production", &lumo::ReconstructAll},
                           {"reference", &lumo::reference::ReconstructAll}};

class EnvLightTest : public ::testing::TestWithParam<Engine> {
  protected:
    void SetUp() override {
        info_ = std::make_unique<LidInfo>();
        info_->slab_count = 1;
    }
    std::vector<uint8_t> Run(std::vector<LightSrc> lights) {
        ReconRequest request;
        request.lights = lights;
        request.terms = FileTerms(*info_);
        request.progress = nullptr;
        EXPECT_TRUE(GetParam().all(*info_, request).ok());
        return AllPixels(info_->slabs[0]);
    }
    SlabRecord& slab() { return info_->slabs[0]; }

    std::unique_ptr<LidInfo> info_;
};

TEST_P(EnvLightTest, UniformMapGivesTheClosedFormBytes) {
    // Value v of a uniform map projects onto the constant term only:
    // E_0 = v sqrt(4 pi), so a pixel with coefficients c gets
    // c_0 v sqrt(4 pi) / pi (times colour and 255).
    const double y0 = 1.0 / std::sqrt(4.0 * kPi);
    // The clamped cosine about the normal, to three bands: under a uniform
    // sky of v it lights exactly as v (the 1 / pi of the model).
    const std::vector<float> cosine = {
        static_cast<float>(std::sqrt(kPi) / 2), 0, 0, 0, 0, 0,
        static_cast<float>(std::sqrt(kPi / 3)), 0, 0};
    std::vector<float> lobe(9, 0.0f);
    lobe[0] = cosine[0];
    lobe[2] = static_cast<float>(std::sqrt(kPi / 3));      // (1, 0): along the normal
    lobe[6] = static_cast<float>(std::sqrt(5 * kPi) / 8);  // (2, 0)
    struct Case {
        const char* name;
        int32_t lcnt;
        std::vector<float> coeff;
        float v;
        float color[3];
    };
    const Case cases[] = {
        {"constant term only", 1, {0.7f}, 0.9f, {1, 0.5f, 0.25f}},
        {"clamped cosine, three bands", 3, lobe, 0.41f, {1, 1, 1}},
        {"clamped cosine, bright sky, tinted", 3, lobe, 3.3f, {0.2f, 0.05f, 0.3f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UniformSlab(slab(), c.lcnt, c.coeff);
        const double value = static_cast<double>(c.coeff[0]) * c.v * y0 * 4.0 * kPi / kPi;
        const std::vector<uint8_t> got = Run({EnvLight(
            UniformMap(64, 32, c.v), {0, 0, -1}, 0, c.color[0], c.color[1], c.color[2])});
        for (int ch = 0; ch < 3; ++ch) {
            const double want = value * c.color[ch] * 255.0;
            const double frac = want - std::floor(want);
            ASSERT_TRUE(frac > 0.05 && frac < 0.95) << "a test near a step";
            EXPECT_EQ(static_cast<int>(std::floor(want)), got[static_cast<size_t>(ch)])
                << "channel " << ch << " want " << want;
        }
    }
    // The clamped cosine under a white sky of 1 is as bright as a white light
    // straight onto the surface: 1, that is 255.
    UniformSlab(slab(), 3, lobe);
    EXPECT_EQ(254, Run({EnvLight(UniformMap(64, 32, 0.998f))})[0]);
}

TEST_P(EnvLightTest, ASmallBrightPatchLightsAsADirectionalLightFromIt) {
    SlabSpec spec;
    spec.nu = 2;
    spec.nv = 1;
    spec.W = 23;
    spec.H = 9;
    spec.lcnt = 3;
    MakeBrdfSlab(slab(), spec);
    const int32_t W = 256, H = 128;
    struct Case {
        const char* name;
        Vec3 direction;
        float spin;
        int32_t i, j;  // centre texel of the patch
    };
    const Case cases[] = {
        {"default frame, high", {0, 0, -1}, 0, 40, 30},
        {"default frame, low", {0, 0, -1}, 0, 170, 55},
        {"tilted and spun", {0.4f, 0.2f, -1}, 70, 100, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto map = UniformMap(W, H, 0.0f);
        double omega = 0.0;
        const float L = 50.0f;
        for (int32_t j = c.j - 1; j <= c.j + 1; ++j) {
            for (int32_t i = c.i - 1; i <= c.i + 1; ++i) {
                for (int ch = 0; ch < 3; ++ch)
                    map->rgb[(static_cast<size_t>(j) * W + static_cast<size_t>(i)) * 3 +
                             static_cast<size_t>(ch)] = L;
                omega += EnvTexelSolidAngle(W, H, j);
            }
        }
        LightSrc env = EnvLight(map, c.direction, c.spin);
        // The patch carries L omega / pi of light: scale it back to 1.
        const float scale = static_cast<float>(kPi / (L * omega));
        env.color[0] = env.color[1] = env.color[2] = scale;
        const std::vector<uint8_t> lit = Run({env});
        const Vec3 toward = EnvTexelDirection(env.GetEnvFrame(), W, H, c.i, c.j);
        const std::vector<uint8_t> dir =
            Run({DirLight(Vec3(-toward.x, -toward.y, -toward.z))});
        EXPECT_GT(Psnr(lit, dir), 40.0);
        int bright = 0;
        for (uint8_t v : dir)
            bright += v > 40;
        EXPECT_GT(bright, 100);  // the comparison is about lit pixels
    }
}

TEST_P(EnvLightTest, SpinMovesTheLitSide) {
    // Red favours light from one side along a horizontal axis, green the other
    // (opposite signs of one first-band term); a map lit on half of its
    // azimuths, at the horizon.
    const int32_t W = 64, H = 32;
    auto map = UniformMap(W, H, 0.0f);
    for (int32_t j = 0; j < H; ++j)
        for (int32_t i = 0; i < W; ++i)
            if (i < W / 4 || i >= 3 * W / 4)  // cos(phi) > 0: azimuth 0's side
                for (int ch = 0; ch < 3; ++ch)
                    map->rgb[(static_cast<size_t>(j) * W + static_cast<size_t>(i)) * 3 +
                             static_cast<size_t>(ch)] = 1.0f;
    struct Case {
        const char* name;
        int term;     // the first-band term the channels differ in
        float spin;   // the map's spin
        Vec3 toward;  // a light from there ranks the channels the same way
    };
    const Case cases[] = {
        {"spin 0: lit from +x", 3, 0, {1, 0, 0}},
        {"spin 180: lit from -x", 3, 180, {-1, 0, 0}},
        {"spin 90: lit from +y", 1, 90, {0, 1, 0}},
        {"spin -90: lit from -y", 1, -90, {0, -1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<float> red = {1.0f, 0, 0, 0}, green = {1.0f, 0, 0, 0};
        red[static_cast<size_t>(c.term)] = 0.8f;
        green[static_cast<size_t>(c.term)] = -0.8f;
        UniformSlab(slab(), 2, red, green);
        const std::vector<uint8_t> env =
            Run({EnvLight(map, {0, 0, -1}, c.spin, 0.5f, 0.5f, 0.5f)});
        const Vec3 d(-c.toward.x, -c.toward.y, -0.3f);
        const std::vector<uint8_t> dir = Run({DirLight(d, 0.5f, 0.5f, 0.5f)});
        // The channel a light from there favours is the one the map favours.
        const int dir_diff = dir[0] - dir[1], env_diff = env[0] - env[1];
        EXPECT_GT(std::abs(dir_diff), 20);
        EXPECT_GT(std::abs(env_diff), 20);
        EXPECT_EQ(dir_diff > 0, env_diff > 0) << dir_diff << " " << env_diff;
    }
}

TEST_P(EnvLightTest, EnvironmentAndDirectionalAddBeforeTheByteConversion) {
    SlabSpec spec;
    spec.W = 17;
    spec.H = 6;
    spec.lcnt = 3;
    MakeBrdfSlab(slab(), spec);
    const auto sky = RandomEnvMap(32, 16, 4);
    const LightSrc env = EnvLight(sky, {0.2f, -0.3f, -1}, 40, 0.05f, 0.04f, 0.06f);
    const LightSrc dir = DirLight({-0.4f, 0.1f, -1}, 0.15f, 0.1f, 0.12f);
    const std::vector<uint8_t> a = Run({env});
    const std::vector<uint8_t> b = Run({dir});
    const std::vector<uint8_t> both = Run({env, dir});
    const std::vector<uint8_t> swapped = Run({dir, env});
    int lit = 0;
    for (size_t e = 0; e < both.size(); ++e) {
        const int sum = a[e] + b[e];
        ASSERT_LT(sum, 254) << "the colours keep the test below saturation";
        EXPECT_GE(both[e], sum) << e;
        EXPECT_LE(both[e], sum + 1) << e;
        EXPECT_NEAR(both[e], swapped[e], 1) << e;
        lit += a[e] > 5 && b[e] > 5;
    }
    EXPECT_GT(lit, 50);
}

TEST_P(EnvLightTest, AnEnvironmentLightWithoutAMapKeepsItsOldRole) {
    SlabSpec spec;
    MakeBrdfSlab(slab(), spec);
    lumo::testing::FillPhotos(slab(), 42);
    // Alone: nothing is reconstructed.
    const std::vector<uint8_t> kept = Run({EnvLight(nullptr)});
    EXPECT_EQ(std::vector<uint8_t>(kept.size(), 42), kept);
    // Among several: a directional light, as before.
    const Vec3 d(0.1f, 0.3f, -1);
    const std::vector<uint8_t> as_dir =
        Run({EnvLight(nullptr, d, 0, 0.5f, 0.5f, 0.5f), DirLight(d, 0.5f, 0.5f, 0.5f)});
    EXPECT_EQ(Run({DirLight(d)}), as_dir);
}

INSTANTIATE_TEST_SUITE_P(Paths, EnvLightTest, ::testing::ValuesIn(kEngines),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EnvProjectionTest, ProductionProjectionIsTheReferencesForAnyThreadCount) {
    const auto map = RandomEnvMap(37, 19, 12);
    const EnvFrame frame = MakeEnvFrame({0.3f, 0.1f, -0.8f}, 12.0f);
    const Vec3 n(0, 0.6f, 0.8f), s(1, 0, 0), t(0, 0.8f, -0.6f);
    EnvBasis want;
    ASSERT_TRUE(reference::ProjectEnvironment(*map, frame, n, s, t, 5, want).ok());
    const int threads = ParallelThreads();
    for (int k : {1, 2, 3, 8}) {
        SetParallelThreads(k);
        EnvBasis got;
        EXPECT_TRUE(ProjectEnvironment(*map, frame, n, s, t, 5, got).ok());
        EXPECT_EQ(0, std::memcmp(&want, &got, sizeof want)) << k << " threads";
    }
    SetParallelThreads(threads);
}

TEST(EnvProjectionTest, ProjectionsAreKeptUntilTheMapItsFrameOrTheSlabChanges) {
    auto info = std::make_unique<LidInfo>();
    info->slab_count = 2;
    SlabSpec spec;
    spec.lcnt = 3;
    MakeBrdfSlab(info->slabs[0], spec);
    MakeBrdfSlab(info->slabs[1], spec);
    // The second slab faces another way.
    info->slabs[1].normal = Vec3(0, 1, 0);
    std::vector<LightSrc> lights = {EnvLight(RandomEnvMap(8, 4, 1))};
    auto run = [&] {
        ReconRequest request;
        request.lights = lights;
        request.terms = FileTerms(*info);
        request.progress = nullptr;
        EXPECT_TRUE(ReconstructAll(*info, request).ok());
        return lights[0].envcache.projections();
    };
    EXPECT_EQ(2, run());  // one per slab frame
    EXPECT_EQ(2, run());  // kept
    lights[0].color[0] = 0.3f;
    EXPECT_EQ(2, run());  // the colour is not part of the projection
    lights[0].envspin = 10.0f;
    EXPECT_EQ(4, run());
    lights[0].SetDirection({0, 0.1f, -1});
    EXPECT_EQ(6, run());
    lights[0].envmap = RandomEnvMap(8, 4, 1);  // a new map, even with equal values
    EXPECT_EQ(8, run());
    info->slabs[0].normal = Vec3(0, 0, -1);
    EXPECT_EQ(9, run());
    // Among several lights too.
    lights.push_back(DirLight({0, 0, -1}));
    EXPECT_EQ(9, run());
}

}  // namespace
}  // namespace lumo
