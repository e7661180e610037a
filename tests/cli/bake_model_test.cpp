// A small baked demo, end to end: its scenes load through model set-up,
// `lumotool relight` reproduces the ray tracer under directional and point
// lights, and the photograph slabs agree with each other.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bake/bake_camera.h"
#include "bake/bake_scene.h"
#include "bake/demo_scene.h"
#include "bake/view_render.h"
#include "base/str_printf.h"
#include "io/ppm.h"
#include "model/model_setup.h"
#include "testing/bake_fidelity.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace lumo::tool {
namespace {

using lumo::testing::ProcessResult;
using lumo::testing::RunProcess;
using lumo::testing::TempDir;

constexpr int kGrid = 2;
constexpr int kSize = 32;

class BakeModelTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir();
        BakeOptions options;
        options.grid = kGrid;
        options.size = kSize;
        ASSERT_TRUE(
            BakeDemo(dir_->path().string(), options, [](std::string_view) {}).ok());
        scene_ = new Scene(DemoScene());
        views_ =
            new std::vector<ViewHits>(TraceAllViews(*scene_, DemoSlab(kGrid, kSize)));
    }
    static void TearDownTestSuite() {
        delete views_;
        delete scene_;
        delete dir_;
    }

    // `lumotool relight` in the bake folder; returns the mean PSNR of its
    // views against `reference(view)`.
    template <class Reference>
    double RelightPsnr(const std::vector<std::string>& light_args, Reference reference) {
        std::vector<std::string> argv = {LUMOTOOL_PATH, "relight", "scene.lid", "out"};
        argv.insert(argv.end(), light_args.begin(), light_args.end());
        const ProcessResult r = RunProcess(argv, dir_->path().string(), "", 120);
        EXPECT_EQ(0, r.exit_code) << r.err;
        double sum = 0;
        for (int b = 0; b < kGrid; ++b) {
            for (int a = 0; a < kGrid; ++a) {
                Photo got;
                const std::string file =
                    dir_->File(StrPrintf("out/view.%d.%d.ppm", a, b));
                EXPECT_TRUE(ReadPPMFile(file.c_str(), got, /*upright=*/true).ok())
                    << file;
                const std::vector<uint8_t> want = reference((*views_)[b * kGrid + a]);
                sum += Psnr(got.pixels, want);
            }
        }
        return sum / (kGrid * kGrid);
    }

    // Model set-up of one of the bake's scene files, in the bake folder.
    static std::unique_ptr<Model> Load(const char* lid) {
        const std::filesystem::path here = std::filesystem::current_path();
        std::filesystem::current_path(dir_->path());
        auto model = std::make_unique<Model>();
        ::testing::internal::CaptureStdout();
        EXPECT_TRUE(InitModel(*model, lid).ok());
        ::testing::internal::GetCapturedStdout();
        std::filesystem::current_path(here);
        return model;
    }

    static TempDir* dir_;
    static Scene* scene_;
    static std::vector<ViewHits>* views_;
};

TempDir* BakeModelTest::dir_ = nullptr;
Scene* BakeModelTest::scene_ = nullptr;
std::vector<ViewHits>* BakeModelTest::views_ = nullptr;

std::string Triple(const Vec3d& v) {
    return StrPrintf("%.6f,%.6f,%.6f", v.x, v.y, v.z);
}

TEST_F(BakeModelTest, RelightingThroughModelSetUpReproducesTheRayTracer) {
    const Vec3d white{1, 1, 1};
    double sum = 0;
    for (const Vec3d& d : HeldOutLightDirections()) {
        const double psnr =
            RelightPsnr({"--light", "dir=" + Triple(d)}, [&](const ViewHits& view) {
                return RenderDirectional(*scene_, view, d, white);
            });
        EXPECT_GE(psnr, 27.0) << "light travelling along " << Triple(d);
        sum += psnr;
    }
    // Four bands reproduce held-out lights at 28 dB or better on average.
    EXPECT_GE(sum / static_cast<double>(HeldOutLightDirections().size()), 28.0);
    // The viewer's starting light.
    EXPECT_GE(
        RelightPsnr({},
                    [&](const ViewHits& view) {
                        return RenderDirectional(*scene_, view, Vec3d{0, 0, -1}, white);
                    }),
        27.0);
}

TEST_F(BakeModelTest, PointLightsThroughTheDepthMapsAgreeWithTheRayTracer) {
    const Vec3d white{1, 1, 1};
    for (const Vec3d& d : {Vec3d{0.3, -0.4, -0.87}, Vec3d{-0.5, 0.2, -0.84}}) {
        // A point light at distance 3 against the way the light travels.
        const double n = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
        const Vec3d position{-3 * d.x / n, -3 * d.y / n, -3 * d.z / n};
        const double psnr =
            RelightPsnr({"--light", "kind=point radius=3 dir=" + Triple(d)},
                        [&](const ViewHits& view) {
                            return RenderPoint(*scene_, view, position, white);
                        });
        EXPECT_GE(psnr, 26.0) << "point light at " << Triple(position);
    }
}

TEST_F(BakeModelTest, PhotographSlabsLoadAndAgreeWithinTheCodecsLoss) {
    const auto rgb = Load("scene-rgb.lid");
    const auto dat = Load("scene-dat.lid");
    const auto qr = Load("scene-qr.lid");
    const auto brdf = Load("scene.lid");
    EXPECT_EQ(1, qr->scene.qr_mode);
    const SlabRecord& r = rgb->scene.info->slabs[0];
    const SlabRecord& d = dat->scene.info->slabs[0];
    const SlabRecord& q = qr->scene.info->slabs[0];
    const Vec3d white{1, 1, 1};
    for (int k = 0; k < kGrid * kGrid; ++k) {
        SCOPED_TRACE(k);
        ASSERT_TRUE(r.photo[0][k].has_pixels());
        // The SGI photographs are the ray tracer's pictures under the photo light.
        EXPECT_EQ(RenderDirectional(*scene_, (*views_)[k], kPhotoLightDirection, white),
                  r.photo[0][k].pixels);
        EXPECT_EQ(r.photo[0][k].pixels, q.photo[1][k].pixels);
        EXPECT_GE(Psnr(r.photo[0][k].pixels, d.photo[0][k].pixels), 30.0);
        // The relightable slab's images (under the starting light) are its size.
        EXPECT_EQ(kSize, brdf->scene.info->slabs[0].photo[0][k].width);
    }
}

}  // namespace
}  // namespace lumo::tool
