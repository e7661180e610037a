// The production reconstruction against the sequential reference: the same
// bytes and the same printed lines, over every mode and the cases that take
// different paths through the tiled kernels.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/parallel_for.h"
#include "relight/brdf_file.h"
#include "relight/recon_lanes.h"
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
using lumo::testing::FillPhotos;
using lumo::testing::MakeBrdfSlab;
using lumo::testing::RandomEnvMap;
using lumo::testing::ScenarioSlab;
using lumo::testing::SlabSpec;
using lumo::testing::SparseScenarioSlab;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

LightSrc PointLight(const Vec3& d, float radius, float r = 1.0f, float g = 0.8f,
                    float b = 1.3f) {
    LightSrc l = DirLight(d, r, g, b);
    l.SetKind(Point);
    l.SetRadius(radius);
    return l;
}

LightSrc Projector(const Vec3& d, float radius, float field, const Vec3& lookat = {}) {
    LightSrc l = DirLight(d, 1.0f, 0.7f, 0.9f);
    l.SetKind(SlideProjector);
    l.SetRadius(radius);
    l.SetSlideLookAt(lookat);
    l.slidehangle = field;
    l.slidevangle = field * 0.75f;
    std::snprintf(l.slidename, sizeof l.slidename, "%s", "slide.rgb");
    EXPECT_TRUE(l.slide.Alloc(13, 9).ok());
    std::mt19937 rng(5);
    for (uint8_t& p : l.slide.pixels)
        p = static_cast<uint8_t>(rng() % 256);
    // Some black slide pixels give exactly zero intensity.
    for (size_t i = 0; i < 30; ++i)
        l.slide.pixels[i] = 0;
    return l;
}

struct Scenario {
    std::string name;
    SlabSpec spec;
    std::vector<LightSrc> lights;
    int32_t lightcnt = 1;
    int active = -1;  // the terms applied; -1 keeps those the files offer
    uint8_t preview = 0;
    std::vector<uint8_t> subskip;
};

std::vector<Scenario> Scenarios() {
    std::vector<Scenario> all;
    auto add = [&](std::string name, SlabSpec spec, std::vector<LightSrc> lights,
                   int32_t count = -1) {
        Scenario s;
        s.name = std::move(name);
        s.spec = spec;
        s.lightcnt = count < 0 ? static_cast<int32_t>(lights.size()) : count;
        s.lights = std::move(lights);
        all.push_back(std::move(s));
        return &all.back();
    };
    const SlabSpec base = ScenarioSlab();
    SlabSpec sparse = SparseScenarioSlab();
    sparse.enabled = {1, 1, 1, 0, 1, 1};

    SlabSpec short_files = base;  // harcnt below the terms in use
    short_files.harcnt = 7;
    SlabSpec one_band = base;
    one_band.lcnt = 1;
    SlabSpec many_bands = base;
    many_bands.nu = 2;
    many_bands.nv = 1;
    many_bands.W = 11;
    many_bands.H = 5;
    many_bands.lcnt = kMaxShBands;
    SlabSpec wide = base;
    wide.nu = 1;
    wide.nv = 1;
    wide.W = 70;  // several tiles per row
    wide.H = 40;
    wide.density[1] = 0.9;

    const Vec3 oblique(0.35f, -0.55f, -0.8f);
    const std::shared_ptr<const EnvMap> sky = RandomEnvMap(16, 9, 3);
    for (const auto& [label, spec] :
         std::vector<std::pair<std::string, SlabSpec>>{{"full", base},
                                                       {"sparse", sparse},
                                                       {"short files", short_files},
                                                       {"one band", one_band},
                                                       {"wide", wide}}) {
        add("directional oblique / " + label, spec,
            {DirLight(oblique, 1.0f, 0.4f, 2.0f)});
        add("directional along the normal / " + label, spec, {DirLight({0, 0, -1})});
        add("directional from behind / " + label, spec, {DirLight({0, 0, 1})});
        add("directional grazing / " + label, spec, {DirLight({1, 0, 0})});
        add("point near / " + label, spec, {PointLight({0.2f, 0.1f, -1}, 1.5f)});
        add("point far / " + label, spec, {PointLight({-0.4f, 0.3f, -0.7f}, 40.0f)});
        add("slide / " + label, spec, {Projector({0.1f, -0.1f, -1}, 3.0f, 25.0f)});
        add("two lights, point as directional / " + label, spec,
            {PointLight({0.2f, 0.1f, -1}, 1.5f), DirLight(oblique, 0.3f, 0.3f, 0.3f)});
        add("environment / " + label, spec,
            {EnvLight(sky, oblique, 30.0f, 1, 0.6f, 1.4f)});
        add("environment and directional / " + label, spec,
            {DirLight(oblique, 0.3f, 0.3f, 0.3f), EnvLight(sky, {1, 0, 0}, -75.0f)});
        add("four lights / " + label, spec,
            {DirLight(oblique), DirLight({0, 0, -1}, 0.5f, 0.2f, 0.1f),
             Projector({0.5f, 0.5f, -1}, 2.0f, 40.0f),
             DirLight({-1, 0.2f, -0.3f}, 2, 2, 2)});
    }
    add("many bands directional", many_bands, {DirLight(oblique)});
    add("many bands point", many_bands, {PointLight({0.2f, 0.1f, -1}, 1.5f)});
    add("many bands several", many_bands, {DirLight(oblique), DirLight({0.1f, 0, -1})});
    add("many bands environment", many_bands, {EnvLight(sky, oblique, 10.0f)});
    add("environment without a map among several", base, [&] {
        LightSrc bare = EnvLight(nullptr, {0.2f, 0.4f, -1});
        return std::vector<LightSrc>{bare, EnvLight(sky), DirLight(oblique)};
    }());
    add("five environments", base,
        {EnvLight(sky), EnvLight(sky, oblique, 5), EnvLight(RandomEnvMap(5, 2, 8)),
         DirLight({0, 0, -1}), EnvLight(sky, {0, 1, 0}, 90, 0.2f, 0.4f, 0.1f)});

    std::vector<LightSrc> thirty;
    for (int m = 0; m < MAX_LIGHTS; ++m) {
        const float a = 0.21f * static_cast<float>(m);
        thirty.push_back(
            DirLight({std::cos(a), std::sin(a), -1.0f}, 0.05f * m, 0.1f, 0.03f));
    }
    add("thirty lights", base, thirty);
    add("five lights of thirty", base, thirty, 5);
    add("lightcnt above the table", base, thirty, 99);

    for (int active : {0, 1, 5, 16}) {
        for (const char* mode :
             {"directional", "point", "slide", "environment", "several"}) {
            std::vector<LightSrc> lights;
            if (std::string(mode) == "environment") lights = {EnvLight(sky, oblique)};
            if (std::string(mode) == "directional") lights = {DirLight(oblique)};
            if (std::string(mode) == "point") lights = {PointLight({0, 0.3f, -1}, 2.0f)};
            if (std::string(mode) == "slide") lights = {Projector({0, 0, -1}, 3, 30)};
            if (std::string(mode) == "several")
                lights = {DirLight(oblique), DirLight({0, 0, -1})};
            Scenario* s = add(std::string(mode) + " with terms " + std::to_string(active),
                              active == 16 ? short_files : base, lights);
            s->active = active;
        }
    }
    for (const char* mode : {"directional", "point", "slide", "environment", "several"}) {
        std::vector<LightSrc> lights = {DirLight(oblique)};
        if (std::string(mode) == "environment") lights = {EnvLight(sky)};
        if (std::string(mode) == "point") lights = {PointLight({0, 0.3f, -1}, 2.0f)};
        if (std::string(mode) == "slide") lights = {Projector({0, 0, -1}, 3, 30)};
        if (std::string(mode) == "several") lights.push_back(DirLight({0, 0, -1}));
        Scenario* s = add(std::string("preview / ") + mode, base, lights);
        s->preview = 1;
        s->subskip = {0, 1, 0, 0, 1, 0};
    }
    add("projector without a frame", base, {Projector({0, -1, 0}, 3, 30)});
    add("projector without slide pixels", base, [] {
        LightSrc l = Projector({0, 0, -1}, 3, 30);
        l.slide.Reset();
        return std::vector<LightSrc>{l};
    }());
    return all;
}

// Run with each lane width of the tile loops: sixteen lanes (AVX-512, where
// the processor has it) and the eight-lane loops every machine can run.
class ReconEquivalenceTest : public ::testing::TestWithParam<int32_t> {
  protected:
    void SetUp() override {
        if (GetParam() == 16 && !ReconWideLanesAvailable())
            GTEST_SKIP() << "no AVX-512 on this machine";
        SetReconLaneWidth(GetParam());
        ASSERT_EQ(GetParam(), ReconLaneWidth());
    }
    void TearDown() override {
        SetParallelThreads(default_threads_);
        SetReconLaneWidth(0);
    }
    int default_threads_ = ParallelThreads();
};

// The request of a scenario with the active harmonic count its coefficients
// (or the scenario) set, collecting the reports into `out` and `err`.
ReconRequest Request(std::vector<LightSrc>& lights, const Scenario& sc,
                     const LidInfo& info, std::string& out, std::string& err) {
    ReconRequest request;
    request.lights = std::span<LightSrc>(lights).first(
        static_cast<size_t>(LightsInUse(lights, sc.lightcnt)));
    request.terms = sc.active >= 0 ? sc.active : FileTerms(info);
    request.preview = sc.preview;
    request.progress = [&out](std::string_view t) { out += t; };
    request.errors = [&err](std::string_view t) { err += t; };
    return request;
}

TEST_P(ReconEquivalenceTest, ReconstructAllGivesTheReferenceBytesAndLines) {
    const std::vector<Scenario> scenarios = Scenarios();
    for (int threads : {2, 1, 3}) {
        SetParallelThreads(threads);
        for (const Scenario& sc : scenarios) {
            SCOPED_TRACE(sc.name + " / threads " + std::to_string(threads));
            auto info = std::make_unique<LidInfo>();
            info->slab_count = 2;
            MakeBrdfSlab(info->slabs[0], sc.spec);
            SlabSpec second = sc.spec;
            second.seed = 99;
            MakeBrdfSlab(info->slabs[1], second);
            if (!sc.subskip.empty()) info->slabs[0].subskip[0] = sc.subskip;

            FillPhotos(info->slabs[0], 77);
            FillPhotos(info->slabs[1], 77);
            // Both engines report through the request's sinks; the texts must
            // agree line for line, however many threads do the work.
            std::string ref_out, ref_err;
            std::vector<LightSrc> lights = sc.lights;
            EXPECT_TRUE(reference::ReconstructAll(
                            *info, Request(lights, sc, *info, ref_out, ref_err))
                            .ok());
            const std::vector<uint8_t> ref0 = AllPixels(info->slabs[0]);
            const std::vector<uint8_t> ref1 = AllPixels(info->slabs[1]);

            FillPhotos(info->slabs[0], 77);
            FillPhotos(info->slabs[1], 77);
            lights = sc.lights;
            std::string out, err;
            EXPECT_TRUE(ReconstructAll(*info, Request(lights, sc, *info, out, err)).ok());

            EXPECT_EQ(ref_out, out);
            EXPECT_EQ(ref_err, err);
            EXPECT_TRUE(ref0 == AllPixels(info->slabs[0])) << "slab 0 differs";
            EXPECT_TRUE(ref1 == AllPixels(info->slabs[1])) << "slab 1 differs";
            // The case reconstructed something worth comparing.
            if ((sc.lights[0].kind != Environment || sc.lights[0].HasEnvironment()) &&
                threads == 2) {
                int lit = 0;
                for (uint8_t v : ref0)
                    lit += v != 0 && v != 77;
                if (sc.active != 0 && sc.name.find("without") == std::string::npos) {
                    EXPECT_GT(lit, 0);
                }
            }
        }
    }
}

// Random angles per pixel, a few of them exactly along the normal.
void RandomAngles(size_t n, std::mt19937& rng, std::vector<float>& cost,
                  std::vector<float>& cosp, std::vector<float>& sinp) {
    std::uniform_real_distribution<float> u(-1.0f, 1.0f), phi(-3.1f, 3.1f);
    cost.resize(n);
    cosp.resize(n);
    sinp.resize(n);
    for (size_t e = 0; e < n; ++e) {
        const float p = phi(rng);
        cost[e] = e % 11 == 0 ? 1.0f : u(rng);
        cosp[e] = std::cos(p);
        sinp[e] = std::sin(p);
    }
}

TEST_P(ReconEquivalenceTest, WindowFunctionsGiveTheReferenceBytesForAnyWindow) {
    SlabSpec spec;
    spec.nu = spec.nv = 1;
    spec.W = 27;
    spec.H = 14;
    spec.lcnt = 5;
    spec.density[0] = 0.8;
    spec.density[1] = 0.5;
    spec.density[2] = 0.3;
    SlabRecord slab;
    MakeBrdfSlab(slab, spec);
    const BrdfImage& brdf = slab.brdf[0];
    const size_t n = 27 * 14;
    std::mt19937 rng(17);
    std::vector<float> cost, cosp, sinp;
    RandomAngles(n, rng, cost, cosp, sinp);
    std::vector<Rgb> inten(n);
    std::uniform_real_distribution<float> in(0.0f, 1.5f);
    for (size_t e = 0; e < n; ++e)
        inten[e] =
            e % 5 == 0 ? Rgb{} : Rgb{in(rng), in(rng), e % 7 == 0 ? 0.0f : in(rng)};
    std::vector<float> lcost, lcosp, lsinp;
    RandomAngles(7, rng, lcost, lcosp, lsinp);
    const Rgb colors[7] = {{1, 1, 1},          {0.5f, 0, 2}, {0, 0, 0},         {3, 3, 3},
                           {0.1f, 0.2f, 0.3f}, {1, 0, 1},    {0.7f, 0.7f, 0.7f}};
    const float color[3] = {0.9f, 1.4f, 0.2f};
    // An environment's basis: random values, some negative, per channel.
    EnvBasis env;
    env.bands = 5;
    std::uniform_real_distribution<float> e(-0.5f, 1.0f);
    for (auto& channel : env.Y)
        for (int32_t i = 0; i < 25; ++i)
            channel[i] = e(rng);

    const int32_t windows[][4] = {{0, 26, 0, 13},  {26, 0, 13, 0},  {3, 9, 2, 11},
                                  {-5, 40, 5, 5},  {10, 10, -3, 2}, {30, 40, 0, 13},
                                  {0, 26, 20, 30}, {8, 20, 12, 1}};
    for (const auto& w : windows) {
        SCOPED_TRACE(::testing::Message()
                     << w[0] << ".." << w[1] << " x " << w[2] << ".." << w[3]);
        for (int mode = 0; mode < 5; ++mode) {
            std::vector<uint8_t> a(n * 3, 77), b(n * 3, 77);
            const int32_t terms = AvailableTerms(slab.brdf);
            Status ref_status, status;
            CaptureStdout();
            switch (mode) {
                case 0:
                    ref_status = reference::RelightWindowDirectional(
                        brdf, w[0], w[1], w[2], w[3], lcost[1], lcosp[1], lsinp[1], color,
                        a, terms, WriteToStdout);
                    break;
                case 1:
                    ref_status = reference::RelightWindowPoint(
                        brdf, w[0], w[1], w[2], w[3], cost, cosp, sinp, color, a, terms,
                        WriteToStdout);
                    break;
                case 2:
                    ref_status = reference::RelightWindowSlide(
                        brdf, w[0], w[1], w[2], w[3], cost, cosp, sinp, inten, a, terms,
                        WriteToStdout);
                    break;
                case 3:
                    ref_status = reference::RelightWindowSeveral(
                        brdf, w[0], w[1], w[2], w[3], lcost, lcosp, lsinp, colors, 7, a,
                        terms, WriteToStdout);
                    break;
                case 4:
                    ref_status = reference::RelightWindowEnvironment(
                        brdf, w[0], w[1], w[2], w[3], env, color, a, terms,
                        WriteToStdout);
                    break;
            }
            const std::string ref_out = GetCapturedStdout();
            CaptureStdout();
            switch (mode) {
                case 0:
                    status = RelightWindowDirectional(brdf, w[0], w[1], w[2], w[3],
                                                      lcost[1], lcosp[1], lsinp[1], color,
                                                      b, terms, WriteToStdout);
                    break;
                case 1:
                    status = RelightWindowPoint(brdf, w[0], w[1], w[2], w[3], cost, cosp,
                                                sinp, color, b, terms, WriteToStdout);
                    break;
                case 2:
                    status = RelightWindowSlide(brdf, w[0], w[1], w[2], w[3], cost, cosp,
                                                sinp, inten, b, terms, WriteToStdout);
                    break;
                case 3:
                    status =
                        RelightWindowSeveral(brdf, w[0], w[1], w[2], w[3], lcost, lcosp,
                                             lsinp, colors, 7, b, terms, WriteToStdout);
                    break;
                case 4:
                    status = RelightWindowEnvironment(brdf, w[0], w[1], w[2], w[3], env,
                                                      color, b, terms, WriteToStdout);
                    break;
            }
            EXPECT_EQ(ref_out, GetCapturedStdout()) << "mode " << mode;
            EXPECT_TRUE(ref_status.ok())
                << "mode " << mode << ": " << ref_status.message();
            EXPECT_TRUE(status.ok()) << "mode " << mode << ": " << status.message();
            EXPECT_TRUE(a == b) << "mode " << mode;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lanes, ReconEquivalenceTest, ::testing::Values(16, 8),
                         [](const ::testing::TestParamInfo<int32_t>& i) {
                             return std::to_string(i.param) + "lanes";
                         });

}  // namespace
}  // namespace lumo
