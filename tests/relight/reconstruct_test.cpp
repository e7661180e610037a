// The reconstruction's behaviour, mode by mode, on both the production path
// and the sequential reference.
#include "relight/reconstruct.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "base/bounded_copy.h"
#include "relight/sh_basis.h"
#include "testing/recon_reference.h"
#include "tests/relight/relight_fixture.h"

namespace lumo {
namespace {

using lumo::testing::AllPixels;
using lumo::testing::DirLight;
using lumo::testing::FileTerms;
using lumo::testing::FillPhotos;
using lumo::testing::MakeBrdfSlab;
using lumo::testing::SlabSpec;
using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

struct Engine {
    const char* name;
    decltype(&lumo::ReconstructAll) all;
    decltype(&lumo::RelightWindowDirectional) dir;
    decltype(&lumo::RelightWindowSeveral) mult;
    decltype(&lumo::RelightSlabSeveral) slab_mult;
};

const Engine kEngines[] = {
    {"production", &lumo::ReconstructAll, &lumo::RelightWindowDirectional,
     &lumo::RelightWindowSeveral, &lumo::RelightSlabSeveral},
    {"reference", &lumo::reference::ReconstructAll,
     &lumo::reference::RelightWindowDirectional, &lumo::reference::RelightWindowSeveral,
     &lumo::reference::RelightSlabSeveral},
};

class ReconstructTest : public ::testing::TestWithParam<Engine> {
  protected:
    void SetUp() override {
        info_ = std::make_unique<LidInfo>();
        info_->slab_count = 1;
        info_->kind = kSceneSlab;
    }
    SlabRecord& slab() { return info_->slabs[0]; }

    // A request for lights[0 .. count-1] with the terms the coefficients
    // offer, reporting to the standard streams.
    ReconRequest Request(std::vector<LightSrc>& lights, int32_t count, uint8_t preview) {
        ReconRequest request;
        request.lights = std::span<LightSrc>(lights).first(
            static_cast<size_t>(LightsInUse(lights, count)));
        request.terms = FileTerms(*info_);
        request.preview = preview;
        return request;
    }

    // Runs ReconstructAll, returns what it printed.
    std::string Run(std::vector<LightSrc>& lights, int32_t count, uint8_t preview = 0) {
        CaptureStdout();
        const Status s = GetParam().all(*info_, Request(lights, count, preview));
        std::string out = GetCapturedStdout();
        EXPECT_TRUE(s.ok()) << s.message();
        return out;
    }

    // A 1 x 1 slab of W x H whose every pixel has the given coefficients in
    // the channels of `channels` (bit 0 red, 1 green, 2 blue).
    void OnePixelKind(int32_t W, int32_t H, int32_t lcnt, const std::vector<float>& coeff,
                      int channels = 7) {
        SlabSpec spec;
        spec.nu = spec.nv = 1;
        spec.W = W;
        spec.H = H;
        spec.lcnt = lcnt;
        MakeBrdfSlab(slab(), spec);
        ShCoeffImage img(W, H, lcnt);
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x)
                for (int ch = 0; ch < 3; ++ch)
                    if (channels & (1 << ch)) img.Set(ch, x, y, coeff);
        slab().brdf[0].Reset();
        ASSERT_TRUE(BuildBrdfImage(img, slab().brdf[0]).ok());
    }

    const std::vector<uint8_t>& Pixels(size_t k = 0) { return slab().photo[0][k].pixels; }

    std::unique_ptr<LidInfo> info_;
};

TEST_P(ReconstructTest, LightAlongTheNormalUsesOnlyTheZonalTerms) {
    // Y(0,0) a0 + Y(1,0) a2 = 0.28209479 + 0.48860251 * 0.5 = 0.52639605.
    OnePixelKind(5, 3, 2, {1.0f, 7.0f, 0.5f, -9.0f});
    std::vector<LightSrc> lights = {DirLight({0, 0, -1}, 1.0f, 0.5f, 0.25f)};
    Run(lights, 1);
    for (size_t e = 0; e < 15; ++e) {
        EXPECT_EQ(134, Pixels()[3 * e]) << e;     // 134.23
        EXPECT_EQ(67, Pixels()[3 * e + 1]) << e;  // 67.12
        EXPECT_EQ(33, Pixels()[3 * e + 2]) << e;  // 33.56
    }
}

TEST_P(ReconstructTest, BytesSaturateAt255AndTruncate) {
    const struct {
        double value;  // value * 255 wanted
        int byte;
    } cases[] = {{300.7, 255}, {254.9, 254}, {0.4, 0}};
    for (const auto& c : cases) {
        OnePixelKind(3, 1, 1, {static_cast<float>(c.value / 255.0 / 0.28209479)});
        std::vector<LightSrc> lights = {DirLight({0, 0, -1})};
        Run(lights, 1);
        EXPECT_EQ(c.byte, Pixels()[0]) << c.value;
    }
}

TEST_P(ReconstructTest, ChannelsWithoutCoefficientsStayBlackInEveryMode) {
    LightSrc point;
    point.SetKind(Point);
    point.SetDirection({0.1f, 0.2f, -1.0f});
    LightSrc slide;
    slide.SetKind(SlideProjector);
    slide.slidehangle = slide.slidevangle = 120.0f;
    ASSERT_TRUE(slide.slide.Alloc(2, 2).ok());
    std::fill(slide.slide.pixels.begin(), slide.slide.pixels.end(), 255);
    const struct {
        const char* name;
        std::vector<LightSrc> lights;
    } modes[] = {
        {"directional", {DirLight({0.2f, 0.1f, -1})}},
        {"point", {point}},
        {"slide", {slide}},
        {"several", {DirLight({0.2f, 0.1f, -1}), point}},
    };
    for (const auto& m : modes) {
        OnePixelKind(6, 4, 2, {2.0f, 0.1f, 0.3f, 0.1f}, /*red only*/ 1);
        FillPhotos(slab(), 99);
        std::vector<LightSrc> lights = m.lights;
        Run(lights, static_cast<int32_t>(lights.size()));
        for (size_t e = 0; e < 24; ++e) {
            EXPECT_GT(Pixels()[3 * e], 0) << m.name << " " << e;
            EXPECT_EQ(0, Pixels()[3 * e + 1]) << m.name << " " << e;
            EXPECT_EQ(0, Pixels()[3 * e + 2]) << m.name << " " << e;
        }
    }
}

TEST_P(ReconstructTest, SeveralLightsActAsDirectionalAndAddUp) {
    SlabSpec spec;
    spec.W = 9;
    spec.H = 5;
    MakeBrdfSlab(slab(), spec);
    const Vec3 d(0.3f, -0.2f, -1.0f);
    std::vector<LightSrc> one = {DirLight(d)};
    Run(one, 1);
    const std::vector<uint8_t> single = AllPixels(slab());

    // A point light travelling along d at half colour, plus a directional one:
    // the same picture as one full light along d.
    LightSrc point = DirLight(d, 0.5f, 0.5f, 0.5f);
    point.SetKind(Point);
    std::vector<LightSrc> two = {point, DirLight(d, 0.5f, 0.5f, 0.5f)};
    Run(two, 2);
    EXPECT_EQ(single, AllPixels(slab()));
    // Moving the point light without turning it changes nothing.
    two[0].SetRadius(1.2f);
    Run(two, 2);
    EXPECT_EQ(single, AllPixels(slab()));
}

TEST_P(ReconstructTest, NothingIsReconstructedForAReservedLightOrNoLight) {
    SlabSpec spec;
    MakeBrdfSlab(slab(), spec);
    FillPhotos(slab(), 42);
    LightSrc reserved;
    reserved.SetKind(Environment);
    std::vector<LightSrc> lights = {reserved, DirLight({0, 0, -1})};
    EXPECT_EQ("", Run(lights, 1));
    EXPECT_EQ("", Run(lights, 0));
    EXPECT_EQ("", Run(lights, -3));
    EXPECT_EQ(std::vector<uint8_t>(AllPixels(slab()).size(), 42), AllPixels(slab()));
}

TEST_P(ReconstructTest, PreviewKeepsImagesWhoseCellIsOutOfView) {
    SlabSpec spec;
    spec.nu = 2;
    spec.nv = 1;
    spec.W = 4;
    spec.H = 2;
    MakeBrdfSlab(slab(), spec);
    FillPhotos(slab(), 42);
    slab().subskip[0] = {1, 0};
    std::vector<LightSrc> lights = {DirLight({0, 0, -1})};
    const std::string out = Run(lights, 1, /*preview=*/1);
    EXPECT_EQ(
        "Reconstructing image (1,0) ...\n"
        "Reconstruct window xmin=0 xmax=3, ymin=0 ymax=1\n",
        out);
    EXPECT_EQ(std::vector<uint8_t>(24, 42), Pixels(0));
    EXPECT_NE(std::vector<uint8_t>(24, 42), Pixels(1));
    // Without preview the flag does not matter.
    EXPECT_NE(std::string::npos, Run(lights, 1, 0).find("(0,0)"));
}

TEST_P(ReconstructTest, ImageLoopPrintsEachImageItReconstructs) {
    SlabSpec spec;
    spec.nu = 2;
    spec.nv = 2;
    spec.W = 10;
    spec.H = 6;
    spec.enabled = {1, 0, 1, 1};
    spec.empty_images = {3};
    MakeBrdfSlab(slab(), spec);
    std::vector<LightSrc> lights = {DirLight({0, 0, -1}), DirLight({1, 0, -1})};
    const std::string window = "Reconstruct window xmin=0 xmax=9, ymin=0 ymax=5\n";
    const std::string empty = "Reconstruct window xmin=10 xmax=-1, ymin=6 ymax=-1\n";
    const std::string lines = "Reconstructing image (0,0) ...\n" + window +
                              "Reconstructing image (0,1) ...\n" + window +
                              "Reconstructing image (1,1) ...\n" + empty;
    EXPECT_EQ(lines, Run(lights, 1));
    EXPECT_EQ(lines, Run(lights, 2));
    EXPECT_EQ(std::vector<uint8_t>(180, 0), Pixels(3));  // the empty window: all black

    // Slabs of photographs are left alone; every BRDF slab is reconstructed.
    info_->slab_count = 3;
    info_->slabs[1].format = kFormatRGB;
    MakeBrdfSlab(info_->slabs[2], spec);
    const std::string all = Run(lights, 1);
    EXPECT_EQ(lines + lines, all);
}

TEST_P(ReconstructTest, SlideProjectorLightsOnlyWhatItsSlideCovers) {
    SlabSpec spec;
    spec.nu = spec.nv = 1;
    spec.W = 16;
    spec.H = 16;
    MakeBrdfSlab(slab(), spec);
    LightSrc l;
    l.SetKind(SlideProjector);
    l.slidehangle = l.slidevangle = 10.0f;  // covers about 0.5 of the 1 x 1 image plane
    CopyBounded(l.slidename, "s.rgb");
    ASSERT_TRUE(l.slide.Alloc(4, 4).ok());
    std::fill(l.slide.pixels.begin(), l.slide.pixels.end(), 255);
    std::vector<LightSrc> lights = {l};
    const std::string out = Run(lights, 1);
    EXPECT_EQ(0, lights[0].changed);
    const size_t dump = out.find("slidename: s.rgb\n");
    const size_t recon = out.find(
        "\n\nRecontruct with slide projector source for win x:[0,15], y:[0,15]\n");
    EXPECT_EQ(0u, out.find("Reconstructing image (0,0) ...\n"));
    EXPECT_NE(std::string::npos, dump);
    EXPECT_LT(dump, recon);
    const auto px = [&](int x, int y) {
        return Pixels()[3 * static_cast<size_t>(y * 16 + x)];
    };
    EXPECT_EQ(0, px(0, 0));  // outside the slide: black despite coefficients
    EXPECT_EQ(0, px(15, 15));
    EXPECT_GT(px(8, 8), 0);  // in its middle: lit
    // A second reconstruction does not print the frame again.
    EXPECT_EQ(std::string::npos, Run(lights, 1).find("slidename:"));
}

TEST_P(ReconstructTest, EveryReportGoesToTheRequestsSinksInOrder) {
    // Two images, the second of the wrong size; a slide projector, whose frame
    // is reported between the image line and the window line.
    SlabSpec spec;
    spec.nu = 2;
    spec.nv = 1;
    spec.W = 6;
    spec.H = 4;
    MakeBrdfSlab(slab(), spec);
    slab().brdf[1].Reset();
    ASSERT_TRUE(BuildBrdfImage(ShCoeffImage(5, 4, 3), slab().brdf[1]).ok());
    LightSrc l;
    l.SetKind(SlideProjector);
    CopyBounded(l.slidename, "s.rgb");
    ASSERT_TRUE(l.slide.Alloc(2, 2).ok());
    std::vector<LightSrc> lights = {l};
    std::vector<std::string> progress;
    std::string errors;
    ReconRequest request = Request(lights, 1, 0);
    request.progress = [&](std::string_view t) { progress.emplace_back(t); };
    request.errors = [&](std::string_view t) { errors += t; };
    CaptureStdout();
    CaptureStderr();
    EXPECT_TRUE(GetParam().all(*info_, request).ok());
    EXPECT_EQ("", GetCapturedStdout());
    EXPECT_EQ("", GetCapturedStderr());
    ASSERT_EQ(11u, progress.size());
    EXPECT_EQ("Reconstructing image (0,0) ...\n", progress[0]);
    EXPECT_EQ("slidename: s.rgb\n", progress[1]);
    EXPECT_EQ("slidehangle: 30.000000 slidevangle: 30.000000\n", progress[9]);
    EXPECT_EQ("\n\nRecontruct with slide projector source for win x:[0,5], y:[0,3]\n",
              progress[10]);
    EXPECT_EQ(
        "[ReconstructAll]: image (1,0) skipped: its coefficients are 5 x 4, its image 6 "
        "x 4, the slab's images 6 x 4\n",
        errors);

    // Empty sinks discard the reports.
    lights[0].changed = 1;
    request.progress = MessageSink();
    request.errors = MessageSink();
    CaptureStdout();
    CaptureStderr();
    EXPECT_TRUE(GetParam().all(*info_, request).ok());
    EXPECT_EQ("", GetCapturedStdout());
    EXPECT_EQ("", GetCapturedStderr());
}

TEST_P(ReconstructTest, WindowFunctionsWriteOnlyInsideTheirWindow) {
    OnePixelKind(8, 6, 2, {2.0f, 0.1f, 0.4f, -0.3f}, 3);  // red and green
    const BrdfImage& brdf = slab().brdf[0];
    std::vector<uint8_t> px(8 * 6 * 3, 77);
    const float color[3] = {1, 1, 1};
    CaptureStdout();
    // Ranges in either order; columns 2..5, rows 1..3.
    EXPECT_TRUE(GetParam()
                    .dir(brdf, 5, 2, 3, 1, 1.0f, 1.0f, 0.0f, color, px, FileTerms(*info_),
                         WriteToStdout)
                    .ok());
    EXPECT_EQ("Reconstruct window xmin=2 xmax=5, ymin=1 ymax=3\n", GetCapturedStdout());
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            const uint8_t* p = &px[3 * static_cast<size_t>(y * 8 + x)];
            const bool in = x >= 2 && x <= 5 && y >= 1 && y <= 3;
            EXPECT_EQ(in, p[0] != 77) << x << "," << y;
            EXPECT_EQ(77, p[2]) << x << "," << y;  // no blue coefficients: not written
        }
    }
    // Several lights write every pixel of the window, 0 where a channel has
    // no coefficients.
    std::fill(px.begin(), px.end(), 77);
    const std::vector<float> cost = {1}, cosp = {1}, sinp = {0};
    const std::vector<Rgb> colors = {{1, 1, 1}};
    CaptureStdout();
    EXPECT_TRUE(GetParam()
                    .mult(brdf, 0, 1, 0, 0, cost, cosp, sinp, colors, 1, px,
                          FileTerms(*info_), WriteToStdout)
                    .ok());
    GetCapturedStdout();
    EXPECT_NE(77, px[0]);
    EXPECT_EQ(0, px[2]);
    EXPECT_EQ(0, px[5]);
    EXPECT_EQ(77, px[6]);  // column 2 is outside
    // A window that misses the image's own window touches nothing.
    std::fill(px.begin(), px.end(), 77);
    CaptureStdout();
    EXPECT_TRUE(GetParam()
                    .dir(brdf, 20, 30, 0, 5, 1.0f, 1.0f, 0.0f, color, px,
                         FileTerms(*info_), WriteToStdout)
                    .ok());
    EXPECT_TRUE(GetParam()
                    .mult(brdf, -5, -1, 0, 5, cost, cosp, sinp, colors, 1, px,
                          FileTerms(*info_), WriteToStdout)
                    .ok());
    GetCapturedStdout();
    EXPECT_EQ(std::vector<uint8_t>(px.size(), 77), px);
}

TEST_P(ReconstructTest, ImagesWhoseSizesDoNotMatchTheSlabAreSkipped) {
    SlabSpec spec;
    spec.nu = 2;
    spec.nv = 1;
    spec.W = 6;
    spec.H = 4;
    MakeBrdfSlab(slab(), spec);
    ShCoeffImage wrong(5, 4, 3);
    slab().brdf[1].Reset();
    ASSERT_TRUE(BuildBrdfImage(wrong, slab().brdf[1]).ok());
    std::vector<LightSrc> lights = {DirLight({0, 0, -1})};
    CaptureStderr();
    const std::string out = Run(lights, 1);
    EXPECT_EQ(
        "[ReconstructAll]: image (1,0) skipped: its coefficients are 5 x 4, its image 6 "
        "x 4, "
        "the slab's images 6 x 4\n",
        GetCapturedStderr());
    EXPECT_EQ(std::string::npos, out.find("(1,0)"));
}

TEST_P(ReconstructTest, ModelSetUpPathWithOneLightMatchesDirectional) {
    SlabSpec spec;
    spec.W = 12;
    spec.H = 7;
    spec.density[1] = 0.5;
    MakeBrdfSlab(slab(), spec);
    std::vector<LightSrc> lights = {DirLight({0, 0, -1})};
    Run(lights, 1);
    const std::vector<uint8_t> directional = AllPixels(slab());
    FillPhotos(slab(), 5);
    CaptureStdout();
    EXPECT_TRUE(GetParam().slab_mult(slab(), Request(lights, 1, 0)).ok());
    GetCapturedStdout();
    EXPECT_EQ(directional, AllPixels(slab()));
}

// Bytes of two runs agree within one step (the same light reached through a
// different but equivalent computation).
void ExpectClose(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    ASSERT_EQ(a.size(), b.size());
    int off = 0;
    for (size_t i = 0; i < a.size(); ++i)
        off += std::abs(int{a[i]} - int{b[i]}) > 1;
    EXPECT_EQ(0, off);
}

TEST_P(ReconstructTest, AFarPointLightLooksLikeADirectionalOne) {
    SlabSpec spec;
    spec.W = 12;
    spec.H = 9;
    spec.depth_maps = true;
    MakeBrdfSlab(slab(), spec);
    const Vec3 d(0.3f, -0.4f, -1.0f);
    std::vector<LightSrc> dir = {DirLight(d)};
    Run(dir, 1);
    const std::vector<uint8_t> directional = AllPixels(slab());
    LightSrc far = DirLight(d);
    far.SetKind(Point);
    far.SetRadius(1e6f);  // toward the light is -d from every surface point
    std::vector<LightSrc> point = {far};
    Run(point, 1);
    ExpectClose(directional, AllPixels(slab()));
}

TEST_P(ReconstructTest, AWhiteSlideLightsLikeAPointLightWhereItReaches) {
    SlabSpec spec;
    spec.nu = spec.nv = 1;
    spec.W = 10;
    spec.H = 10;
    MakeBrdfSlab(slab(), spec);
    LightSrc point = DirLight({0.1f, 0.05f, -1.0f});
    point.SetKind(Point);
    std::vector<LightSrc> lights = {point};
    Run(lights, 1);
    const std::vector<uint8_t> lit = AllPixels(slab());
    LightSrc slide = point;
    slide.SetKind(SlideProjector);
    slide.SetSlideLookAt({-0.3f, -0.15f, 0.0f});     // along the light's own axis
    slide.slidehangle = slide.slidevangle = 120.0f;  // wide enough for the whole image
    ASSERT_TRUE(slide.slide.Alloc(3, 3).ok());
    std::fill(slide.slide.pixels.begin(), slide.slide.pixels.end(), 255);
    lights = {slide};
    Run(lights, 1);
    ExpectClose(lit, AllPixels(slab()));
}

TEST_P(ReconstructTest, PerPixelArraysThatCannotBeHadFailWithTheirMessage) {
    SlabSpec spec;
    MakeBrdfSlab(slab(), spec);
    slab().samples_s = slab().samples_t = 2000000000;
    LightSrc point;
    point.SetKind(Point);
    LightSrc slide;
    slide.SetKind(SlideProjector);
    const struct {
        LightSrc light;
        const char* message;
    } cases[] = {
        {point, "no memory for cost, cosp, sinp\n"},
        {slide, "no memory for cost, cosp, sinp, intensity\n"},
    };
    for (const auto& c : cases) {
        std::vector<LightSrc> lights = {c.light};
        CaptureStdout();
        const Status s = GetParam().all(*info_, Request(lights, 1, 0));
        // The failure comes before any image is reconstructed.
        EXPECT_EQ("", GetCapturedStdout()) << c.message;
        EXPECT_FALSE(s.ok()) << c.message;
        EXPECT_EQ(c.message, s.message());
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, ReconstructTest, ::testing::ValuesIn(kEngines),
                         [](const ::testing::TestParamInfo<Engine>& i) {
                             return std::string(i.param.name);
                         });

// The geometry the point and slide modes share.
TEST(ReconGeometryTest, LightAnglesMeasureFromTheNormalAndTheImageAxes) {
    const Vec3 n(0, 0, 1), s(1, 0, 0), t(0, 1, 0);
    const struct {
        double theta, phi;
    } cases[] = {{0.5, 0.3}, {1.2, -2.0}, {2.5, 2.8}, {1.5707963, -0.1}};
    for (const auto& c : cases) {
        const Vec3 L(static_cast<float>(std::sin(c.theta) * std::cos(c.phi)),
                     static_cast<float>(std::sin(c.theta) * std::sin(c.phi)),
                     static_cast<float>(std::cos(c.theta)));
        const ShAngles a = LightAngles(L, n, s, t);
        EXPECT_NEAR(std::cos(c.theta), a.cost, 1e-6);
        EXPECT_NEAR(std::cos(c.phi), a.cosp, 1e-5);
        EXPECT_NEAR(std::sin(c.phi), a.sinp, 1e-5);
    }
    for (float z : {1.0f, -1.0f}) {  // along +-n: phi = 0
        const ShAngles a = LightAngles({0, 0, z}, n, s, t);
        EXPECT_EQ(z, a.cost);
        EXPECT_EQ(1.0f, a.cosp);
        EXPECT_EQ(0.0f, a.sinp);
    }
}

TEST(ReconGeometryTest, EyeIsTheCameraAndSurfacesComeFromTheDepthMap) {
    SlabRecord slab;
    SlabSpec spec;
    spec.nu = 2;
    spec.nv = 2;
    spec.W = 4;
    spec.H = 2;
    MakeBrdfSlab(slab, spec);
    // Cameras at the cell centres of the camera plane.
    const Vec3 e = EyePoint(slab, 1, 0);
    EXPECT_NEAR(0.5f, e.x, 1e-6);
    EXPECT_NEAR(-0.5f, e.y, 1e-6);
    EXPECT_NEAR(2.0f, e.z, 1e-6);

    const SlabFrame frame = MakeSlabFrame(slab);
    // Pixel (1, 0): x = -0.5 + 1.5/4, y = -0.5 + 0.5/2 on the image plane.
    const Vec3 P = SurfacePoint(frame, e, nullptr, 1, 0);
    EXPECT_NEAR(-0.125f, P.x, 1e-6);
    EXPECT_NEAR(-0.25f, P.y, 1e-6);
    EXPECT_NEAR(0.0f, P.z, 1e-6);

    Zfile z;
    z.width = 4;
    z.height = 2;
    z.depth = {9, 9, 9, 9, 9, 1.0f, 9, 9};  // pixel (1, 0) is depth-map row H - 1 - 0 = 1
    const Vec3 X = SurfacePoint(frame, e, &z, 1, 0);
    Vec3 ray;
    VecSub(P, e, ray);
    VecNormalize(ray);
    EXPECT_NEAR(e.x + ray.x, X.x, 1e-6);
    EXPECT_NEAR(e.y + ray.y, X.y, 1e-6);
    EXPECT_NEAR(e.z + ray.z, X.z, 1e-6);
    // No surface recorded, a map too small, or no map: the image-plane point.
    z.depth[5] = 1e30f;
    const Vec3 none = SurfacePoint(frame, e, &z, 1, 0);
    EXPECT_EQ(P.x, none.x);
    EXPECT_EQ(P.z, none.z);
    z.width = 1;
    EXPECT_EQ(P.x, SurfacePoint(frame, e, &z, 1, 0).x);
}

}  // namespace
}  // namespace lumo
