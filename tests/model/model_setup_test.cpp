#include "model/model_setup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "base/parallel_for.h"
#include "io/image_set_writer.h"
#include "io/sgi_writer.h"
#include "relight/brdf_writer.h"
#include "tests/support/memory_limit.h"
#include "tests/support/scene_fixture.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

using testing::SlabFixture;
using testing::TempDir;

// Runs InitModel in `dir` (data files are named relative to the current
// folder) and returns what it printed on standard output.
std::string BuildModel(const TempDir& dir, Model& model, const char* lid = "scene.lid") {
    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    ::testing::internal::CaptureStdout();
    const Status status = InitModel(model, lid);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(status.ok()) << status.message();
    std::filesystem::current_path(here);
    return out;
}

constexpr char kRgbScene[] =
    "SLAB 0 data/obj\nSAMPLES_UV 2 2\nSAMPLES_ST 4 4\nFORMAT RGB\n"
    "SLAB_UV\n-1 -1 2 1\n1 -1 2 1\n1 1 2 1\n-1 1 2 1\n"
    "SLAB_ST\n-1 -1 0 1\n1 -1 0 1\n1 1 0 1\n-1 1 0 1\n";

TEST(ModelSetupTest, PhotographsAreReadByNameInGridOrderAndDisabledOnesSkipped) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "data");
    Photo p;
    ASSERT_TRUE(p.Alloc(4, 4).ok());
    p.pixels[0] = 77;
    ASSERT_TRUE(WriteSGIRGB(dir.File("data/obj.01.01.rgb").c_str(), p).ok());
    dir.Write("scene.lid", kRgbScene);
    auto model = std::make_unique<Model>();
    EXPECT_EQ(
        "data/obj.00.00.rgb\ndata/obj.01.00.rgb\ndata/obj.00.01.rgb\ndata/"
        "obj.01.01.rgb\n",
        BuildModel(dir, *model));
    const SlabRecord& slab = model->scene.info->slabs[0];
    ASSERT_EQ(4u, slab.photo[0].size());
    EXPECT_FALSE(slab.photo[0][0].has_pixels())
        << "a missing file leaves its image empty";
    EXPECT_EQ(77, slab.photo[0][3].pixels[0]);
    EXPECT_EQ(3.0f, slab.photo[0][3].x1) << "the loader's pixel window";

    dir.Write("masked.lid",
              std::string(kRgbScene) + "VIEW_ENABLE_MASK_BEGIN\n1 1\n1 0\nE\n");
    auto masked = std::make_unique<Model>();
    EXPECT_EQ("data/obj.00.00.rgb\ndata/obj.00.01.rgb\ndata/obj.01.01.rgb\n",
              BuildModel(dir, *masked, "masked.lid"));
}

TEST(ModelSetupTest, AnImageSetNameReadsTheWholeGridFromOneFile) {
    TempDir dir;
    std::vector<Photo> photos(4);
    for (size_t i = 0; i < photos.size(); ++i) {
        ASSERT_TRUE(photos[i].Alloc(8, 8).ok());
        std::fill(photos[i].pixels.begin(), photos[i].pixels.end(),
                  static_cast<uint8_t>(40 * (i + 1)));
    }
    ASSERT_TRUE(WriteImageSet(dir.File("views.dat").c_str(), photos.data(), 2, 2).ok());
    std::string lid = kRgbScene;
    lid.replace(lid.find("data/obj"), 8, "views.dat");
    dir.Write("scene.lid", lid);
    auto model = std::make_unique<Model>();
    const std::string out = BuildModel(dir, *model);
    EXPECT_EQ(std::string::npos, out.find(".rgb")) << out;
    EXPECT_NE(std::string::npos, out.find("reading and decompressing [views.dat]"))
        << out;
    const SlabRecord& slab = model->scene.info->slabs[0];
    ASSERT_EQ(4u, slab.photo[0].size());
    for (size_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(slab.photo[0][i].has_pixels());
        EXPECT_NEAR(40 * (i + 1), slab.photo[0][i].pixels[27], 3) << i;
    }
}

TEST(ModelSetupTest, RelightableSlabLoadsCoefficientsAndRelightsUnderOneWhiteLight) {
    TempDir dir;
    SlabFixture fixture;
    fixture.cols = 3;
    fixture.rows = 2;
    fixture.width = 6;
    fixture.height = 5;
    fixture.mask = "101111";
    fixture.colour = [](int a, int b) {
        return testing::Rgb8{10 + 50 * a, 20 + 60 * b, 30};
    };
    testing::WriteBrdfSlab(dir, fixture);
    auto model = std::make_unique<Model>();
    const std::string out = BuildModel(dir, *model);
    EXPECT_NE(std::string::npos, out.find("Reconstructing image (2,1) ...")) << out;
    EXPECT_EQ(std::string::npos, out.find("Reconstructing image (1,0) ...")) << out;

    EXPECT_EQ(1, model->lights.lightcnt);
    EXPECT_EQ(0, model->lights.currlight);
    const LightSrc& light = model->lights.table[0];
    EXPECT_EQ(Directional, light.kind);
    EXPECT_EQ(-1.0f, light.direction.z);
    EXPECT_EQ(1.0f, light.color[1]);
    EXPECT_EQ(1, model->scene.slab_visible[0]);
    EXPECT_EQ(0, model->scene.slab_visible[1]);
    EXPECT_EQ(0, model->scene.qr_mode);

    const SlabRecord& slab = model->scene.info->slabs[0];
    EXPECT_FLOAT_EQ(1.0f, slab.normal.z) << "from the image plane towards the cameras";
    EXPECT_EQ(2u * 4u * 3u, slab.curr_st.size());
    ASSERT_EQ(6u, slab.photo[0].size());
    EXPECT_FALSE(slab.photo[0][1].has_pixels()) << "disabled camera";
    const Photo& p = slab.photo[0][5];  // camera (2, 1)
    EXPECT_EQ(6, p.width);
    EXPECT_EQ(5, p.height);
    EXPECT_EQ((std::vector<uint8_t>{110, 80, 30}),
              std::vector<uint8_t>(p.pixels.begin(), p.pixels.begin() + 3));
    EXPECT_GT(slab.image_generation, 0u);
}

TEST(ModelSetupTest, TextureWindowFollowsTheCoefficientRows) {
    Photo photo;
    ASSERT_TRUE(photo.Alloc(64, 64).ok());
    BrdfImage brdf;
    brdf.xmin = 10;
    brdf.xmax = 53;
    brdf.ymin = 0;
    brdf.ymax = 31;
    SetSlabTextureWindow(photo, brdf);
    EXPECT_FLOAT_EQ(10.0f / 63, photo.x0);
    EXPECT_FLOAT_EQ(53.0f / 63, photo.x1);
    // Row y of the coefficients is texture row y: the lower half stays below.
    EXPECT_FLOAT_EQ(0.0f, photo.y0);
    EXPECT_FLOAT_EQ(31.0f / 63, photo.y1);

    BrdfImage empty;  // no coefficients: xmin = width > xmax = -1
    empty.xmin = 64;
    empty.ymin = 64;
    SetSlabTextureWindow(photo, empty);
    EXPECT_LE(photo.x0, photo.x1);
    EXPECT_GE(photo.x0, 0.0f);
    EXPECT_LE(photo.x1, 1.0f);

    Photo thin;
    ASSERT_TRUE(thin.Alloc(1, 1).ok());
    SetSlabTextureWindow(thin, brdf);
    EXPECT_EQ(0.0f, thin.x0);
    EXPECT_EQ(1.0f, thin.y1);
}

TEST(ModelSetupTest, APanoramaBuildsNoSlabButTheLights) {
    TempDir dir;
    dir.Write("scene.lid", "PANORAMA 1 pano\nBOUNDARY_ANGLE 30\n");
    auto model = std::make_unique<Model>();
    EXPECT_EQ("", BuildModel(dir, *model));
    ASSERT_NE(nullptr, model->scene.info);
    EXPECT_EQ(0, model->scene.info->slab_count);
    EXPECT_EQ(kScenePanorama, model->scene.info->kind);
    EXPECT_EQ(1, model->lights.lightcnt);
}

TEST(ModelSetupTest, SetUpFailuresReturnTheirMessage) {
    TempDir dir;
    SlabFixture fixture;
    testing::WriteBrdfSlab(dir, fixture);
    dir.Write("qr.lid",
              testing::ReadFileBytes(dir.File("scene.lid")) + "SAMPLES_QR 2 2\n");
    std::string lid = testing::ReadFileBytes(dir.File("scene.lid"));
    lid.replace(lid.find("SAMPLES_ST 16 16"), 16, "SAMPLES_ST 16 12");
    dir.Write("size.lid", lid);
    std::filesystem::remove(dir.File("obj.1.1.urdf.sh"));
    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const struct {
        const char* lid;
        const char* message;
    } cases[] = {
        {"qr.lid",
         "[InitModel]: slab obj has both a QR grid and BRDF format; a relightable slab "
         "uses the UV grid only\n"},
        {"size.lid",
         "[LoadSlabSH]: obj.0.0.urdf.sh holds 16 x 16 pixels, the slab's images are 16 x "
         "12\n"},
        {"scene.lid", "Cannot read brdf file: obj.1.1.urdf.sh\n"},
        {"missing.lid", "[ReadLidFile]: cannot open lidfile\n"},
    };
    for (const auto& c : cases) {
        auto model = std::make_unique<Model>();
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const Status status = InitModel(*model, c.lid);
        ::testing::internal::GetCapturedStdout();
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(c.message, status.message()) << c.lid;
    }
    // The program's set-up ends with the message and status 1 (the other
    // messages are checked at lumotool's boundary).
    EXPECT_EXIT(
        {
            auto model = std::make_unique<Model>();
            InitModelOrExit(*model, "size.lid");
        },
        ::testing::ExitedWithCode(1),
        "\\[LoadSlabSH\\]: obj.0.0.urdf.sh holds 16 x 16 pixels, the slab's images are "
        "16 x "
        "12\n$");
    std::filesystem::current_path(here);
}

// The coefficient files are read on several threads; what reading prints,
// and a failure, come in camera order as if they were read one by one.
TEST(ModelSetupDeathTest, CoefficientFilesReportInCameraOrder) {
    const int threads = ParallelThreads();
    SetParallelThreads(2);
    TempDir dir;
    SlabFixture fixture;
    fixture.cols = 3;
    fixture.rows = 3;
    fixture.width = 5;
    fixture.height = 3;
    fixture.mask = "111101111";
    testing::WriteBrdfSlab(dir, fixture);
    std::string opening, header;
    for (int b = 0; b < 3; ++b) {
        for (int a = 0; a < 3; ++a) {
            if (a == 1 && b == 1) continue;
            opening += "Reading BRDF file obj." + std::to_string(a) + "." +
                       std::to_string(b) + ".urdf.sh ... \n";
            header += "5 x 3\nlcnt=2, harcnt=4\nrcnt=15, gcnt=15, bcnt=15\n";
        }
    }
    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    auto model = std::make_unique<Model>();
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(InitModel(*model, "scene.lid").ok());
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(opening, err);
    EXPECT_EQ(header, out.substr(0, header.size()));

    // Camera (1, 0) cut short: the files before it report, then its message
    // ends the set-up; nothing of the files after it shows.
    dir.Write("obj.1.0.urdf.sh", "BRDF\n5 3 1 1\n");
    {
        auto broken = std::make_unique<Model>();
        ::testing::internal::CaptureStderr();
        const Status status = InitModel(*broken, "scene.lid");
        EXPECT_EQ(
            "Reading BRDF file obj.0.0.urdf.sh ... \n"
            "Reading BRDF file obj.1.0.urdf.sh ... \n",
            ::testing::internal::GetCapturedStderr());
        EXPECT_EQ("Cannot read brdf's header\n", status.message());
    }
    EXPECT_EXIT(
        {
            auto broken = std::make_unique<Model>();
            InitModelOrExit(*broken, "scene.lid");
        },
        ::testing::ExitedWithCode(1),
        "^Reading BRDF file obj\\.0\\.0\\.urdf\\.sh \\.\\.\\. \n"
        "Reading BRDF file obj\\.1\\.0\\.urdf\\.sh \\.\\.\\. \n"
        "Cannot read brdf's header\n$");
    std::filesystem::current_path(here);
    SetParallelThreads(threads);
}

// A relightable slab of 4 x 4 cameras of 8192 x 8192 pixels whose
// coefficient files are missing: the description alone (3 GB of images if
// they were allocated up front) fits in a few MiB, and the first missing
// file ends the set-up with the reader's message.
TEST(ModelSetupDeathTest, RelitImagesAreAllocatedOnlyOnceTheirFileIsRead) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit";
#endif
    TempDir dir;
    dir.Write("big.lid",
              "SLAB 0 none\nSAMPLES_UV 4 4\nSAMPLES_ST 8192 8192\nFORMAT BRDF\n"
              "SLAB_UV\n-1 -1 2 1\n1 -1 2 1\n1 1 2 1\n-1 1 2 1\n"
              "SLAB_ST\n-1 -1 0 1\n1 -1 0 1\n1 1 0 1\n-1 1 0 1\n");
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto run = [&] {
        std::filesystem::current_path(dir.path());
        testing::LimitMemory(64 << 20);
        Model model;
        InitModelOrExit(model, "big.lid");
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(1), "none\\.0\\.0\\.urdf\\.sh");
}

}  // namespace
}  // namespace lumo

namespace lumo {
namespace {

// The viewer's LUMO_HALF turns half-float coefficients on for "1" only.
TEST(ModelSetupTest, HalfCoefficientsFromTheEnvironmentOnlyForOne) {
    const struct {
        const char* value;
        bool half;
    } cases[] = {{nullptr, false}, {"", false},    {"0", false},
                 {"1", true},      {"yes", false}, {"10", false}};
    for (const auto& c : cases)
        EXPECT_EQ(c.half, HalfFromEnvironment(c.value)) << (c.value ? c.value : "unset");
}

}  // namespace
}  // namespace lumo

namespace lumo {
namespace {

// The coefficient cache at set-up: written by the first set-up, mapped by the
// next with the same images and lines; off with RelightSettings::cache or
// LUMO_CACHE=0; the one line when no folder takes it.
TEST(ModelSetupCacheTest, TheSecondSetUpMapsTheCachesTheFirstWrote) {
    TempDir dir;
    SlabFixture fixture;
    fixture.mask = "1101";
    testing::WriteBrdfSlab(dir, fixture);
    auto first = std::make_unique<Model>();
    const std::string out1 = BuildModel(dir, *first);
    auto second = std::make_unique<Model>();
    const std::string out2 = BuildModel(dir, *second);
    EXPECT_EQ(out1, out2);
    const SlabRecord& a = first->scene.info->slabs[0];
    const SlabRecord& b = second->scene.info->slabs[0];
    for (size_t k : {0u, 1u, 3u}) {
        SCOPED_TRACE(k);
        EXPECT_TRUE(b.brdf[k].mapped());
        EXPECT_TRUE(a.photo[0][k].pixels == b.photo[0][k].pixels);
    }
    EXPECT_TRUE(
        std::filesystem::exists(dir.File(".lumocache/obj.1.1.urdf.sh.float.lumocache")));
    EXPECT_FALSE(
        std::filesystem::exists(dir.File(".lumocache/obj.0.1.urdf.sh.float.lumocache")))
        << "a disabled camera's file is not read";

    // Off: read from the files.
    auto off = std::make_unique<Model>();
    off->relight.cache = false;
    BuildModel(dir, *off);
    EXPECT_FALSE(off->scene.info->slabs[0].brdf[0].mapped());
    setenv("LUMO_CACHE", "0", 1);
    auto env_off = std::make_unique<Model>();
    BuildModel(dir, *env_off);
    unsetenv("LUMO_CACHE");
    EXPECT_FALSE(env_off->scene.info->slabs[0].brdf[0].mapped());
}

TEST(ModelSetupCacheTest, NoFolderForTheCacheIsOneLineOnTheReportsAndNoFailure) {
    TempDir dir;
    SlabFixture fixture;
    testing::WriteBrdfSlab(dir, fixture);
    dir.Write(".lumocache", "in the way\n");
    const char* saved = std::getenv("XDG_CACHE_HOME");
    const std::string saved_value = saved != nullptr ? saved : "";
    setenv("XDG_CACHE_HOME", dir.File(".lumocache").c_str(), 1);  // under a file
    auto model = std::make_unique<Model>();
    std::string reports;
    model->console.reports = [&reports](std::string_view s) { reports.append(s); };
    BuildModel(dir, *model);
    if (saved != nullptr) {
        setenv("XDG_CACHE_HOME", saved_value.c_str(), 1);
    } else {
        unsetenv("XDG_CACHE_HOME");
    }
    EXPECT_FALSE(model->scene.info->slabs[0].brdf[0].mapped());
    const std::string line = "No coefficient cache for obj.0.0.urdf.sh (.lumocache: ";
    ASSERT_NE(std::string::npos, reports.find(line)) << reports;
    EXPECT_EQ(std::string::npos,
              reports.find("No coefficient cache", reports.find(line) + 1))
        << "one line for the slab";
    EXPECT_NE(std::string::npos,
              reports.find("): its files will be read again next time\n"));
}

}  // namespace
}  // namespace lumo
