// Half-float coefficients: the reader keeps each coefficient rounded to the
// nearest half, and the production reconstruction of such an image gives the
// bytes and lines of the sequential reference run on the same coefficients
// rounded to half and kept as floats, in every mode, with every loop the
// machine can run (sixteen lanes, eight lanes with F16C, the portable
// widening).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <unistd.h>

#include "base/half_float.h"
#include "base/parallel_for.h"
#include "relight/brdf_file.h"
#include "relight/brdf_writer.h"
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
using lumo::testing::RandomCoefficients;
using lumo::testing::RandomEnvMap;
using lumo::testing::ScenarioSlab;
using lumo::testing::SlabSpec;
using lumo::testing::SparseScenarioSlab;

LightSrc PointLight(const Vec3& d, float radius) {
    LightSrc l = DirLight(d, 1.0f, 0.8f, 1.3f);
    l.SetKind(Point);
    l.SetRadius(radius);
    return l;
}

LightSrc Projector(const Vec3& d, float radius, float field) {
    LightSrc l = DirLight(d, 1.0f, 0.7f, 0.9f);
    l.SetKind(SlideProjector);
    l.SetRadius(radius);
    l.SetSlideLookAt({});
    l.slidehangle = field;
    l.slidevangle = field * 0.75f;
    std::snprintf(l.slidename, sizeof l.slidename, "%s", "slide.rgb");
    EXPECT_TRUE(l.slide.Alloc(13, 9).ok());
    for (size_t i = 0; i < l.slide.pixels.size(); ++i)
        l.slide.pixels[i] = static_cast<uint8_t>((i * 37) % 256);
    return l;
}

// The loops a half image can take on this machine.
struct Loops {
    const char* name;
    int32_t lanes;
    bool hardware;
};

class ReconHalfTest : public ::testing::TestWithParam<Loops> {
  protected:
    void SetUp() override {
        const Loops& l = GetParam();
        if (l.lanes == 16 && !ReconWideLanesAvailable())
            GTEST_SKIP() << "no AVX-512 on this machine";
        SetReconLaneWidth(l.lanes);
        SetReconHalfHardware(l.hardware);
        if (l.hardware && !ReconHalfHardware()) GTEST_SKIP() << "no F16C on this machine";
    }
    void TearDown() override {
        SetReconLaneWidth(0);
        SetReconHalfHardware(true);
        SetParallelThreads(default_threads_);
    }
    int default_threads_ = ParallelThreads();
};

ReconRequest Request(std::span<LightSrc> lights, int32_t terms, std::string& out) {
    ReconRequest request;
    request.lights = lights;
    request.terms = terms;
    request.progress = [&out](std::string_view t) { out += t; };
    return request;
}

TEST_P(ReconHalfTest, GivesTheReferenceBytesOnCoefficientsRoundedToHalf) {
    const SlabSpec full = ScenarioSlab();
    const SlabSpec sparse = SparseScenarioSlab();
    SlabSpec short_files = full;
    short_files.harcnt = 7;
    SlabSpec wide = full;
    wide.nu = wide.nv = 1;
    wide.W = 70;
    wide.H = 40;

    const Vec3 oblique(0.35f, -0.55f, -0.8f);
    const std::shared_ptr<const EnvMap> sky = RandomEnvMap(16, 9, 3);
    std::vector<LightSrc> thirty;
    for (int m = 0; m < MAX_LIGHTS; ++m) {
        const float a = 0.21f * static_cast<float>(m);
        thirty.push_back(
            DirLight({std::cos(a), std::sin(a), -1.0f}, 0.05f * m, 0.1f, 0.03f));
    }
    const std::vector<std::pair<std::string, std::vector<LightSrc>>> modes = {
        {"directional", {DirLight(oblique, 1.0f, 0.4f, 2.0f)}},
        {"point", {PointLight({0.2f, 0.1f, -1}, 1.5f)}},
        {"slide", {Projector({0.1f, -0.1f, -1}, 3.0f, 25.0f)}},
        {"environment", {EnvLight(sky, oblique, 30.0f, 1, 0.6f, 1.4f)}},
        {"four lights",
         {DirLight(oblique), DirLight({0, 0, -1}, 0.5f, 0.2f, 0.1f),
          EnvLight(sky, {1, 0, 0}, -75.0f), DirLight({-1, 0.2f, -0.3f}, 2, 2, 2)}},
        {"thirty lights", thirty},
    };
    for (int threads : {2, 1}) {
        SetParallelThreads(threads);
        for (const auto& [label, spec] :
             std::vector<std::pair<std::string, SlabSpec>>{{"full", full},
                                                           {"sparse", sparse},
                                                           {"short files", short_files},
                                                           {"wide", wide}}) {
            for (const auto& [mode, lights] : modes) {
                SCOPED_TRACE(mode + " / " + label + " / threads " +
                             std::to_string(threads));
                SlabSpec rounded_spec = spec;
                rounded_spec.round_to_half = true;
                SlabSpec half_spec = spec;
                half_spec.half = true;
                auto rounded = std::make_unique<LidInfo>();
                auto half = std::make_unique<LidInfo>();
                rounded->slab_count = half->slab_count = 1;
                MakeBrdfSlab(rounded->slabs[0], rounded_spec);
                MakeBrdfSlab(half->slabs[0], half_spec);
                const BrdfImage& h = half->slabs[0].brdf[0];
                ASSERT_TRUE(h.half);
                ASSERT_TRUE(h.coeff.empty());
                ASSERT_EQ(rounded->slabs[0].brdf[0].coeff.size(), h.coeff_half.size());

                FillPhotos(rounded->slabs[0], 77);
                FillPhotos(half->slabs[0], 77);
                std::vector<LightSrc> a = lights, b = lights;
                std::string ref_out, out;
                EXPECT_TRUE(reference::ReconstructAll(
                                *rounded, Request(a, FileTerms(*rounded), ref_out))
                                .ok());
                EXPECT_TRUE(
                    ReconstructAll(*half, Request(b, FileTerms(*rounded), out)).ok());
                EXPECT_EQ(ref_out, out);
                const std::vector<uint8_t> want = AllPixels(rounded->slabs[0]);
                EXPECT_TRUE(want == AllPixels(half->slabs[0]));
                int lit = 0;
                for (uint8_t v : want)
                    lit += v != 0 && v != 77;
                EXPECT_GT(lit, 0);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Loops, ReconHalfTest,
                         ::testing::Values(Loops{"sixteen_lanes", 16, true},
                                           Loops{"eight_lanes_f16c", 8, true},
                                           Loops{"portable", 8, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The file reader keeps the halves of the floats it reads, by the seekable
// stream's path and the in-memory assembly alike, and single pixels read back
// as the rounded floats.
TEST(BrdfHalfRead, KeepsEachCoefficientRoundedToHalf) {
    const double density[3] = {1.0, 0.5, 0.0};
    const ShCoeffImage img = RandomCoefficients(29, 7, 3, 11, density, 4);
    char path[] = "/tmp/lumo_half_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_TRUE(WriteBrdfFile(path, img).ok());
    BrdfImage flt, built, read;
    ASSERT_TRUE(BuildBrdfImage(img, flt).ok());
    ASSERT_TRUE(BuildBrdfImage(img, built, true).ok());
    BrdfReadOptions options;
    options.opening = nullptr;
    options.header = nullptr;
    options.half = true;
    ASSERT_TRUE(ReadBrdfPath(path, read, options).ok());
    std::remove(path);

    ASSERT_TRUE(read.half);
    EXPECT_TRUE(read.coeff.empty());
    EXPECT_TRUE(built.coeff_half == read.coeff_half);
    EXPECT_EQ(flt.tile_pixel, read.tile_pixel);
    EXPECT_EQ(flt.tile_mask, read.tile_mask);
    ASSERT_EQ(flt.coeff.size(), read.coeff_half.size());
    for (size_t i = 0; i < flt.coeff.size(); ++i)
        ASSERT_EQ(FloatToHalf(flt.coeff[i]), read.coeff_half[i]) << i;
    for (int ch = 0; ch < 3; ++ch) {
        for (size_t e = 0; e < 29 * 7; ++e) {
            const ShPixel want = flt.Pixel(ch, e);
            const ShPixel got = read.Pixel(ch, e);
            ASSERT_EQ(want.present(), got.present());
            if (!want.present()) continue;
            for (int32_t i = 0; i < 11; ++i)
                EXPECT_EQ(HalfToFloat(FloatToHalf(want.Coeff(i))), got.Coeff(i));
        }
    }
}

}  // namespace
}  // namespace lumo
