// The demo captured under known lights (`lumotool bake --capture`), fitted
// (`lumotool fit`) and relit (`lumotool relight`) under the bake's held-out
// lights: the fitted slab comes within 1 dB (PSNR against the ray tracer) of
// the baked coefficient files, for the full-sphere capture and the dome.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bake/bake_camera.h"
#include "bake/demo_scene.h"
#include "bake/view_render.h"
#include "base/psnr.h"
#include "base/str_printf.h"
#include "io/ppm.h"
#include "testing/bake_fidelity.h"
#include "tests/support/lumotool.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace lumo::tool {
namespace {

using lumo::testing::Lumotool;
using lumo::testing::ProcessResult;
using lumo::testing::TempDir;

constexpr int kGrid = 2;
constexpr int kSize = 32;

// Mean PSNR over the views and the held-out lights of `lumotool relight` in
// `folder` against the ray tracer.
double RelitPsnr(const std::string& folder, const Scene& scene,
                 const std::vector<ViewHits>& views) {
    double sum = 0;
    int count = 0;
    for (const Vec3d& d : HeldOutLightDirections()) {
        const ProcessResult r =
            Lumotool(folder, {"relight", "scene.lid", "out", "--light",
                              StrPrintf("dir=%.17g,%.17g,%.17g", d.x, d.y, d.z)});
        EXPECT_EQ(0, r.exit_code) << r.err;
        for (int b = 0; b < kGrid; ++b) {
            for (int a = 0; a < kGrid; ++a) {
                Photo got;
                const std::string file = folder + StrPrintf("/out/view.%d.%d.ppm", a, b);
                EXPECT_TRUE(ReadPPMFile(file.c_str(), got, /*upright=*/true).ok())
                    << file;
                sum += Psnr(got.pixels,
                            RenderDirectional(scene, views[b * kGrid + a], d, {1, 1, 1}));
                ++count;
            }
        }
    }
    return sum / count;
}

TEST(FitFidelityTest, FittedCapturesRelightWithinOneDecibelOfTheBakedFiles) {
    TempDir dir;
    const std::string root = dir.path().string();
    ProcessResult r =
        Lumotool(root, {"bake", ".", "--grid", std::to_string(kGrid), "--size",
                        std::to_string(kSize), "--capture", "64", "--quiet"});
    ASSERT_EQ(0, r.exit_code) << r.err;
    const Scene scene = DemoScene();
    const std::vector<ViewHits> views = TraceAllViews(scene, DemoSlab(kGrid, kSize));
    const double baked = RelitPsnr(root, scene, views);
    for (const char* variant : {"sphere", "dome"}) {
        SCOPED_TRACE(variant);
        const std::string out = std::string("fit-") + variant;
        r = Lumotool(root, {"fit", std::string("capture-") + variant + ".json", out});
        ASSERT_EQ(0, r.exit_code) << r.err;
        const double fitted = RelitPsnr(dir.File(out), scene, views);
        std::printf("%s: fitted %.2f dB, baked %.2f dB\n", variant, fitted, baked);
        EXPECT_GT(fitted, baked - 1.0);
    }
}

}  // namespace
}  // namespace lumo::tool
