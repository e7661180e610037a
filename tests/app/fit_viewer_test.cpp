// A single-camera capture fitted by `lumotool fit` opens in the viewer, shows
// the photograph it was fitted to, and relights when the light changes.
#include <gtest/gtest.h>

#include <string>

#include "tests/app/viewer_harness.h"
#include "tests/support/synthetic_capture.h"

namespace lumo::testing {
namespace {

TEST(FitViewerTest, AFittedCaptureOpensAndRelights) {
    TempDir dir;
    SyntheticCapture cap;
    cap.width = 16;
    cap.height = 16;
    cap.seed = 1;  // under the starting light: (0.7, 0.8, 0.6), off the clear colour
    ASSERT_FALSE(WriteSyntheticCapture(cap, dir.File("cap")).empty());
    const ProcessResult fit =
        RunProcess({LUMOTOOL_PATH, "fit", "cap/lights.lp", ".", "--bands", "3"},
                   dir.path().string(), "", 120);
    ASSERT_EQ(0, fit.exit_code) << fit.err;

    const ProcessResult r = RunViewer(
        dir, "scene.lid",
        std::string(kViews) +
            "set drawslabmode 0\n.slab hnddrawmode\nupdate\n.slab grabscr\n"
            "set currlight 0\n.slab changecolor 255 0 0\n.slab svnotifylightchg\n"
            "update\n.slab grabscr\n");
    ASSERT_EQ(0, r.exit_code) << r.err;
    // The starting light travels along -z: towards it is (0, 0, 1), where the
    // picture is uniform but for its black top-right corner.
    const double towards[3] = {0, 0, 1};
    Rgb8 lit;
    for (int ch = 0; ch < 3; ++ch)
        lit[ch] = static_cast<int>(0.5 + 255 * SyntheticValue(cap, 8, 8, ch, towards));
    const Photo white = ReadGrab(dir, "img0000.ppm");
    ExpectPixel(white, 150, 150, lit, 2);
    const Photo red = ReadGrab(dir, "img0001.ppm");
    ExpectPixel(red, 150, 150, Rgb8{lit[0], 0, 0}, 2);
}

}  // namespace
}  // namespace lumo::testing
