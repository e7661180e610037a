// A small bake, end to end: every file is there and readable by the project's
// own readers, the files agree with each other and with the scene's geometry,
// and relighting them with the engine reproduces the ray tracer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "bake/bake_scene.h"
#include "bake/demo_scene.h"
#include "bake/direction_set.h"
#include "bake/sky_map.h"
#include "base/str_printf.h"
#include "io/image_set.h"
#include "io/sgi_image.h"
#include "relight/brdf_file.h"
#include "relight/env_map.h"
#include "scene/lid_reader.h"
#include "testing/bake_fidelity.h"
#include "tests/support/temp_dir.h"

namespace lumo::tool {
namespace {

constexpr int kGrid = 2;
constexpr int kSize = 32;

double Mean(const std::vector<double>& v) {
    return std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
}

// One small bake shared by the tests of this file.
class BakeSceneTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new lumo::testing::TempDir();
        BakeOptions options;
        options.grid = kGrid;
        options.size = kSize;
        lines_ = new std::vector<std::string>();
        status_ = new Status(BakeDemo(
            Dir(), options, [](std::string_view line) { lines_->emplace_back(line); }));
    }
    static void TearDownTestSuite() {
        delete dir_;
        delete lines_;
        delete status_;
    }
    void SetUp() override { ASSERT_TRUE(status_->ok()) << status_->message(); }

    static std::string Dir() { return dir_->path().string(); }
    static std::string File(const std::string& name) { return dir_->File(name); }

    static std::unique_ptr<SlabRecord> Load(bool depth) {
        auto record = std::make_unique<SlabRecord>();
        const Status s = LoadBakedSlab(Dir(), kGrid, kSize, depth, *record);
        EXPECT_TRUE(s.ok()) << s.message();
        return record;
    }

    static lumo::testing::TempDir* dir_;
    static std::vector<std::string>* lines_;
    static Status* status_;
};

lumo::testing::TempDir* BakeSceneTest::dir_ = nullptr;
std::vector<std::string>* BakeSceneTest::lines_ = nullptr;
Status* BakeSceneTest::status_ = nullptr;

TEST_F(BakeSceneTest, WritesEveryFileAndReportsProgress) {
    std::vector<std::string> want = {"scene.lid",    "scene-rgb.lid", "scene-dat.lid",
                                     "scene-qr.lid", "scene.dat",     "slide.rgb",
                                     "sky.exr"};
    for (int b = 0; b < kGrid; ++b) {
        for (int a = 0; a < kGrid; ++a) {
            want.push_back(StrPrintf("scene.%d.%d.urdf.sh", a, b));
            want.push_back(StrPrintf("scene.%d.%d.z", a, b));
            want.push_back(StrPrintf("scene.%02d.%02d.rgb", a, b));
        }
    }
    std::vector<std::string> have;
    for (const auto& e : std::filesystem::directory_iterator(dir_->path()))
        have.push_back(e.path().filename().string());
    std::sort(want.begin(), want.end());
    std::sort(have.begin(), have.end());
    EXPECT_EQ(want, have);
    ASSERT_FALSE(lines_->empty());
    EXPECT_EQ(0u, lines_->front().find("bake: 2 x 2 cameras of 32 x 32 pixels, 4 bands"));
    EXPECT_EQ(0u, lines_->back().find("bake: done in "));
}

TEST_F(BakeSceneTest, TheSkyIsAnEnvironmentMapWithItsSunWhereDocumented) {
    std::shared_ptr<const EnvMap> sky;
    const Status s = LoadEnvMap(File("sky.exr"), sky);
    ASSERT_TRUE(s.ok()) << s.message();
    ASSERT_EQ(128, sky->width);
    ASSERT_EQ(64, sky->height);
    int32_t bi = 0, bj = 0;
    for (int32_t j = 0; j < sky->height; ++j) {
        for (int32_t i = 0; i < sky->width; ++i) {
            if (sky->At(i, j, 1) > sky->At(bi, bj, 1)) {
                bi = i;
                bj = j;
            }
        }
    }
    // The brightest texel lies in the sun, within a texel of its centre.
    const double deg = 180.0 / M_PI;
    const double theta = M_PI * (bj + 0.5) / sky->height * deg;
    const double phi = 2.0 * M_PI * (bi + 0.5) / sky->width * deg;
    EXPECT_NEAR(tool::kSkySunPolarDegrees, theta, 3.0);
    EXPECT_NEAR(tool::kSkySunAzimuthDegrees, phi, 3.0);
    // Blue overhead, paler at the horizon, dark ground below.
    const float zenith_blue = sky->At(0, 0, 2) / sky->At(0, 0, 0);
    const float horizon_blue =
        sky->At(0, sky->height / 2 - 1, 2) / sky->At(0, sky->height / 2 - 1, 0);
    EXPECT_GT(zenith_blue, 2.0f * horizon_blue);
    EXPECT_LT(sky->At(0, sky->height - 1, 1), 0.5f * sky->At(0, sky->height / 2 - 1, 1));
}

TEST_F(BakeSceneTest, SceneDescriptionsDescribeTheirData) {
    struct Case {
        const char* file;
        const char* name;
        uint8_t format;
        bool qr;
    };
    const Case cases[] = {{"scene.lid", "scene", kFormatBRDF, false},
                          {"scene-rgb.lid", "scene", kFormatRGB, false},
                          {"scene-dat.lid", "scene.dat", kFormatRGB, false},
                          {"scene-qr.lid", "scene", kFormatRGB, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        auto info = std::make_unique<LidInfo>();
        const Status s = ReadLidFile(File(c.file).c_str(), *info);
        ASSERT_TRUE(s.ok()) << s.message();
        ASSERT_EQ(1, info->slab_count);
        const SlabRecord& slab = info->slabs[0];
        EXPECT_STREQ(c.name, slab.name);
        EXPECT_EQ(c.format, slab.format);
        EXPECT_EQ(c.qr ? 0 : kGrid, slab.samples_u);
        EXPECT_EQ(c.qr ? kGrid : 0, slab.samples_q);
        EXPECT_EQ(kSize, slab.samples_s);
        if (c.format == kFormatBRDF) {
            EXPECT_EQ(16, slab.sh_count);
        }
    }
}

TEST_F(BakeSceneTest, CoefficientsExistExactlyWhereTheDepthMapsSeeASurface) {
    const auto record = Load(true);
    const Scene scene = DemoScene();
    const BakeSlab slab = DemoSlab(kGrid, kSize);
    int misses = 0;
    for (int k = 0; k < kGrid * kGrid; ++k) {
        SCOPED_TRACE(k);
        const BrdfImage& brdf = record->brdf[static_cast<size_t>(k)];
        const Zfile& z = record->zfile[static_cast<size_t>(k)];
        ASSERT_EQ(kSize, brdf.width);
        ASSERT_EQ(4, brdf.lcnt);
        ASSERT_EQ(16, brdf.harcnt);
        ASSERT_EQ(kSize, z.width);
        const Vec3d eye = CameraPosition(slab, k % kGrid, k / kGrid);
        for (int y = 0; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                const size_t e = static_cast<size_t>(y * kSize + x);
                const float depth = z.DepthAt(x, kSize - 1 - y);
                for (int ch = 0; ch < 3; ++ch)
                    ASSERT_EQ(depth >= 0.0f, brdf.Pixel(ch, e).present())
                        << x << "," << y;
                if (depth < 0.0f) {
                    ++misses;
                    continue;
                }
                // The surface point lies on one of the scene's shapes.
                const Vec3d dir = Normalize(PixelPoint(slab, x, y) - eye);
                const Vec3d p = eye + dir * static_cast<double>(depth);
                double nearest = 1e9;
                for (const Shape& s : scene.shapes) {
                    double d = 1e9;
                    if (s.kind == ShapeKind::kSphere) {
                        d = std::fabs(Length(p - s.centre) - s.radius);
                    } else if (s.kind == ShapeKind::kGround) {
                        d = std::fabs(p.z - s.centre.z);
                    } else {
                        const Vec3d q = p - s.centre;
                        const double l[3] = {Dot(q, s.axis[0]), Dot(q, s.axis[1]),
                                             Dot(q, s.axis[2])};
                        const double h[3] = {s.half.x, s.half.y, s.half.z};
                        double out = -1e9;
                        for (int i = 0; i < 3; ++i)
                            out = std::max(out, std::fabs(l[i]) - h[i]);
                        d = std::fabs(out);
                    }
                    nearest = std::min(nearest, d);
                }
                ASSERT_LT(nearest, 1e-5) << x << "," << y;
            }
        }
    }
    // The outer views see past the ground tile's edge.
    EXPECT_GT(misses, 0);
}

TEST_F(BakeSceneTest, RelightingReproducesTheRayTracer) {
    auto record = Load(true);
    const Scene scene = DemoScene();
    const BakeSlab slab = DemoSlab(kGrid, kSize);
    const std::vector<ViewHits> views = TraceAllViews(scene, slab);
    // Lights along bake directions from the cameras' side.
    const std::vector<Vec3d> bake_dirs = SphereDirections(1024);
    std::vector<double> on_bake;
    for (size_t k = 0; k < bake_dirs.size(); k += 97) {
        if (bake_dirs[k].z < 0.3) continue;
        std::vector<double> p;
        ASSERT_TRUE(CompareDirectional(*record, scene, views, -bake_dirs[k], p).ok());
        on_bake.insert(on_bake.end(), p.begin(), p.end());
    }
    ASSERT_GE(on_bake.size(), 8u);
    EXPECT_GE(Mean(on_bake), 28.0);
    // Held-out lights and point lights through the depth maps.
    std::vector<double> held;
    std::vector<double> points;
    for (const Vec3d& d : HeldOutLightDirections()) {
        std::vector<double> p, q;
        ASSERT_TRUE(CompareDirectional(*record, scene, views, d, p).ok());
        held.insert(held.end(), p.begin(), p.end());
        ASSERT_TRUE(ComparePoint(*record, scene, views, d * -3.0, q).ok());
        points.insert(points.end(), q.begin(), q.end());
    }
    EXPECT_GE(Mean(held), 28.0);
    EXPECT_GE(Mean(points), 28.0);
    // A light straight along the normal lights every pixel that has a
    // surface: the relit views are far from black.
    std::vector<double> head_on;
    ASSERT_TRUE(CompareDirectional(*record, scene, views, Vec3d(0, 0, -1), head_on).ok());
    EXPECT_GE(Mean(head_on), 28.0);
}

TEST_F(BakeSceneTest, PhotographsAreTheRayTracedViewsAndTheImageSetKeepsThem) {
    const Scene scene = DemoScene();
    const BakeSlab slab = DemoSlab(kGrid, kSize);
    std::vector<Photo> dat(kGrid * kGrid);
    int32_t cols = kGrid;
    int32_t rows = kGrid;
    const Status s =
        ReadDAT(File("scene.dat").c_str(), dat.data(), dat.size(), cols, rows, nullptr);
    ASSERT_TRUE(s.ok()) << s.message();
    for (int k = 0; k < kGrid * kGrid; ++k) {
        SCOPED_TRACE(k);
        const int a = k % kGrid;
        const int b = k / kGrid;
        Photo rgb;
        bool loaded = false;
        ASSERT_TRUE(ReadSGIRGB(rgb, File(StrPrintf("scene.%02d.%02d.rgb", a, b)).c_str(),
                               {}, {}, loaded)
                        .ok());
        ASSERT_TRUE(loaded);
        const ViewHits view = TraceView(scene, slab, a, b);
        EXPECT_EQ(RenderDirectional(scene, view, kPhotoLightDirection, {1, 1, 1}),
                  rgb.pixels);
        ASSERT_EQ(rgb.pixels.size(), dat[static_cast<size_t>(k)].pixels.size());
        // The image set is lossy: close, not equal.
        EXPECT_GE(Psnr(rgb.pixels, dat[static_cast<size_t>(k)].pixels), 30.0);
    }
}

TEST(BakeDemoTest, SameOptionsGiveTheSameBytesWhateverTheThreads) {
    lumo::testing::TempDir one;
    lumo::testing::TempDir two;
    BakeOptions options;
    options.grid = 2;
    options.size = 16;
    options.bands = 3;
    options.directions = 200;
    options.threads = 1;
    ASSERT_TRUE(BakeDemo(one.path().string(), options, [](std::string_view) {}).ok());
    options.threads = 3;
    ASSERT_TRUE(BakeDemo(two.path().string(), options, [](std::string_view) {}).ok());
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(one.path())) {
        const std::string name = e.path().filename().string();
        SCOPED_TRACE(name);
        EXPECT_EQ(lumo::testing::ReadFileBytes(e.path().string()),
                  lumo::testing::ReadFileBytes(two.File(name)));
        ++files;
    }
    EXPECT_EQ(7 + 3 * 4, files);
}

TEST(BakeDemoTest, OptionsOutOfRangeWriteNothing) {
    lumo::testing::TempDir dir;
    const std::string out = dir.File("out");
    BakeOptions options;
    options.bands = 4;
    options.directions = 15;  // fewer directions than coefficients
    Status s = BakeDemo(out, options, [](std::string_view) {});
    EXPECT_EQ("[BakeDemo]: options out of range\n", s.message());
    options = BakeOptions();
    options.grid = 0;
    s = BakeDemo(out, options, [](std::string_view) {});
    EXPECT_EQ("[BakeDemo]: options out of range\n", s.message());
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(BakeDemoTest, AFolderThatCannotBeMadeIsAnError) {
    lumo::testing::TempDir dir;
    const std::string blocker = dir.Write("file", "x");
    BakeOptions options;
    options.grid = 1;
    options.size = 8;
    options.directions = 16;
    const Status s = BakeDemo(blocker + "/sub", options, [](std::string_view) {});
    ASSERT_FALSE(s.ok());
    EXPECT_EQ("[BakeDemo]: cannot create folder " + blocker + "/sub\n", s.message());
}

}  // namespace
}  // namespace lumo::tool
