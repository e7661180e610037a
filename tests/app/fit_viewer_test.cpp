// A single-camera capture fitted by `lumotool fit` opens in the viewer, shows
// the photograph it was fitted to, and relights when the light changes; with
// nothing chosen by hand (the README's three commands, lumotool render's
// defaults) the photograph is what is shown.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "io/image_file.h"
#include "io/ppm.h"
#include "tests/app/viewer_harness.h"
#include "tests/support/synthetic_capture.h"
#include "tests/support/x_display.h"

namespace lumo::testing {
namespace {

// The rectangle of a frame (rows top first) that is not the corner mode's
// clear colour, found along its middle row and column.
struct PictureBox {
    int x0 = -1, x1 = -1, y0 = -1, y1 = -1;
};

PictureBox FindPicture(const Photo& frame) {
    const Rgb8 clear = {153, 153, 204};
    PictureBox box;
    for (int x = 0; x < frame.width; ++x) {
        if (PixelAt(frame, x, frame.height / 2) == clear) continue;
        if (box.x0 < 0) box.x0 = x;
        box.x1 = x;
    }
    for (int y = 0; y < frame.height; ++y) {
        if (PixelAt(frame, frame.width / 2, y) == clear) continue;
        if (box.y0 < 0) box.y0 = y;
        box.y1 = y;
    }
    return box;
}

// The frame shows the picture centred, and none of its two outermost rows
// and columns on any side is black: the photograph reaches every edge of
// what is drawn (its only black is one corner pixel column, 3 rows high).
void ExpectPictureReachesItsEdges(const Photo& frame, const std::string& what) {
    const PictureBox box = FindPicture(frame);
    ASSERT_GE(box.x0, 1) << what;
    ASSERT_GE(box.y0, 1) << what;
    EXPECT_NEAR(box.x0, frame.width - 1 - box.x1, 1) << what;
    EXPECT_NEAR(box.y0, frame.height - 1 - box.y1, 1) << what;
    EXPECT_NEAR(box.x1 - box.x0, box.y1 - box.y0, 1) << what;
    auto black = [&](int x, int y) {
        const Rgb8 p = PixelAt(frame, x, y);
        return std::max({p[0], p[1], p[2]}) < 16;
    };
    for (int i = 0; i < 2; ++i) {
        const int columns[2] = {box.x0 + i, box.x1 - i};
        const int rows[2] = {box.y0 + i, box.y1 - i};
        for (const int x : columns) {
            int count = 0;
            for (int y = box.y0; y <= box.y1; ++y)
                count += black(x, y);
            EXPECT_LT(count, (box.y1 - box.y0 + 1) / 4) << what << ": column " << x;
        }
        for (const int y : rows) {
            int count = 0;
            for (int x = box.x0; x <= box.x1; ++x)
                count += black(x, y);
            EXPECT_LT(count, (box.x1 - box.x0 + 1) / 4) << what << ": row " << y;
        }
    }
}

// Writes `cap` as the capture folder `folder` of `dir` and fits it with
// `lumotool fit FOLDER/lights.lp` and `args` (the output folder first).
void WriteAndFit(const TempDir& dir, const SyntheticCapture& cap,
                 const std::string& folder, const std::vector<std::string>& args) {
    ASSERT_FALSE(WriteSyntheticCapture(cap, dir.File(folder)).empty());
    std::vector<std::string> command = {LUMOTOOL_PATH, "fit", folder + "/lights.lp"};
    command.insert(command.end(), args.begin(), args.end());
    const ProcessResult fit = RunProcess(command, dir.path().string(), "", 300);
    ASSERT_EQ(0, fit.exit_code) << fit.err;
}

TEST(FitViewerTest, AFittedCaptureOpensAndRelights) {
    TempDir dir;
    SyntheticCapture cap;
    cap.width = 16;
    cap.height = 16;
    cap.seed = 1;  // under the starting light: (0.7, 0.8, 0.6), off the clear colour
    ASSERT_NO_FATAL_FAILURE(WriteAndFit(dir, cap, "cap", {".", "--bands", "3"}));

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

TEST(FitViewerTest, TheReadmeCommandsShowTheFittedPhotograph) {
    TempDir dir;
    SyntheticCapture cap;
    cap.width = 16;
    cap.height = 16;
    cap.seed = 1;
    ASSERT_NO_FATAL_FAILURE(WriteAndFit(dir, cap, "mycapture", {"myslab"}));
    const std::string slab = (dir.path() / "myslab").string();
    const double towards[3] = {0, 0, 1};
    Rgb8 lit;
    for (int ch = 0; ch < 3; ++ch)
        lit[ch] = static_cast<int>(0.5 + 255 * SyntheticValue(cap, 8, 8, ch, towards));

    // The real start-up script (none in the folder), the user's first grab.
    ASSERT_FALSE(TestDisplay().empty());
    const ProcessResult r =
        RunProcess({LUMO_PATH, "scene.lid"}, slab,
                   "update\nlumo::grab\nputs \"mode=$drawslabmode\"\n"
                   "lumo::update_status\nputs \"status=$lumo::status\"\nexit\n",
                   120);
    ASSERT_EQ(0, r.exit_code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("mode=0\n")) << r.out;
    EXPECT_NE(std::string::npos,
              r.out.find("|  corner mode (one camera across: centre mode needs two)\n"))
        << r.out;
    Photo grab;
    ASSERT_TRUE(
        ReadPPMFile((dir.path() / "myslab" / "img0000.ppm").c_str(), grab, false).ok());
    ExpectPixel(grab, grab.width / 2, grab.height / 2, lit, 2);

    // lumotool render with its defaults shows it too; centre mode, asked for,
    // has nothing to blend and stays black.
    for (const char* mode : {"", "centre"}) {
        std::vector<std::string> args = {LUMOTOOL_PATH, "render", "scene.lid", "frames",
                                         "--frames",    "1",      "--size",    "64x64"};
        if (*mode != 0) {
            args.push_back("--mode");
            args.push_back(mode);
        }
        const ProcessResult render = RunProcess(args, slab, "", 300);
        ASSERT_EQ(0, render.exit_code) << render.err;
        FloatImage frame;
        ASSERT_TRUE(ReadImageFile(slab + "/frames/frame.0000.png", frame).ok());
        for (int ch = 0; ch < 3; ++ch) {
            const int got = static_cast<int>(0.5f + 255.0f * frame.At(32, 32, ch));
            EXPECT_NEAR(*mode != 0 ? 0 : lit[ch], got, 2) << "mode '" << mode << "'";
        }
    }
}

// A one-camera fit's default render and the viewer's corner-mode grab show
// the photograph out to every edge of its square, with no black rows or
// columns around it.
TEST(FitViewerTest, TheFittedPhotographReachesEveryEdgeOfItsFrame) {
    TempDir dir;
    SyntheticCapture cap;
    cap.width = 32;
    cap.height = 32;
    cap.seed = 1;
    ASSERT_NO_FATAL_FAILURE(WriteAndFit(dir, cap, "cap", {".", "--quiet"}));
    const ProcessResult render =
        RunProcess({LUMOTOOL_PATH, "render", "scene.lid", "frames", "--frames", "1",
                    "--size", "160x160", "--format", "ppm", "--quiet"},
                   dir.path().string(), "", 300);
    ASSERT_EQ(0, render.exit_code) << render.err;
    Photo frame;
    ASSERT_TRUE(
        ReadPPMFile(dir.File("frames/frame.0000.ppm").c_str(), frame, false).ok());
    ExpectPictureReachesItsEdges(frame, "render");

    const ProcessResult r =
        RunViewer(dir, "scene.lid",
                  std::string(kViews) +
                      "set drawslabmode [.slab startmode]\n.slab hnddrawmode\nupdate\n"
                      ".slab grabscr\n");
    ASSERT_EQ(0, r.exit_code) << r.err;
    ExpectPictureReachesItsEdges(ReadGrab(dir, "img0000.ppm"), "viewer");
}

// The "Reconstruct window" lines a run printed, each as its columns and rows.
std::vector<std::vector<int>> ReconstructWindows(const std::string& out) {
    std::vector<std::vector<int>> windows;
    const std::string key = "Reconstruct window ";
    for (size_t at = out.find(key); at != std::string::npos; at = out.find(key, at + 1)) {
        int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
        if (std::sscanf(out.c_str() + at,
                        "Reconstruct window xmin=%d xmax=%d, ymin=%d ymax=%d", &x0, &x1,
                        &y0, &y1) == 4)
            windows.push_back({x0, x1, y0, y1});
    }
    return windows;
}

// A 510 x 510 fitted picture in a 128-pixel window, drawn about five times
// smaller than its size: with preview on a light change relights the picture
// at a reduced level (a quarter of its columns and rows or fewer, the last
// block of each cut short), and the frame differs from the full relight's
// (preview off) by a level or two. At
// actual pixels the part in view is relit at full resolution, and the frame
// is the full relight's exactly.
TEST(FitViewerTest, ABigPictureDrawnSmallRelightsReducedUntilShownAtActualPixels) {
    TempDir dir;
    SyntheticCapture cap;
    cap.width = 510;
    cap.height = 510;
    cap.photos = 12;
    cap.seed = 1;
    ASSERT_NO_FATAL_FAILURE(
        WriteAndFit(dir, cap, "cap", {".", "--bands", "2", "--quiet"}));

    const ProcessResult r = RunViewer(
        dir, "scene.lid",
        "togl .slab -ident slabview -width 128 -height 128 -rgba true -double true "
        "-depth true\npack .slab\nupdate\n"
        "set drawslabmode 0\n.slab hnddrawmode\nupdate\n"
        "set currlight 0\n.slab changecolor 255 140 70\n.slab svnotifylightchg\n"
        "update\n.slab grabscr\n"
        "set preview 0\n.slab grabscr\nset preview 1\n"
        ".slab actualpixels\nupdate\n"
        ".slab changecolor 90 200 255\n.slab svnotifylightchg\nupdate\n.slab grabscr\n"
        "set preview 0\n.slab grabscr\n");
    ASSERT_EQ(0, r.exit_code) << r.err;
    // Set-up relights in full; then the reduced light change, the full relight
    // of preview off, the part in view at actual pixels, preview off again.
    const std::vector<std::vector<int>> windows = ReconstructWindows(r.out);
    ASSERT_EQ(5u, windows.size()) << r.out;
    const std::vector<int> whole = {0, 509, 0, 509};
    EXPECT_EQ(whole, windows[0]);
    EXPECT_LE(windows[1][1], 127) << r.out;
    EXPECT_LE(windows[1][3], 127) << r.out;
    EXPECT_EQ(whole, windows[2]);
    EXPECT_GT(windows[3][1], 127) << r.out;
    EXPECT_LT(windows[3][1] - windows[3][0], 509) << r.out;
    EXPECT_EQ(whole, windows[4]);

    // The cell drawn reaches a little past the picture, repeating its edge
    // texels there; at the black corner those differ (a full picture's
    // mipmap levels drop an odd last column, which the reduced picture's cut
    // blocks keep): the picture is compared inside a band of 4 pixels.
    const Photo reduced = ReadGrab(dir, "img0000.ppm");
    const Photo full = ReadGrab(dir, "img0001.ppm");
    const PictureBox box = FindPicture(full);
    const PictureBox reduced_box = FindPicture(reduced);
    EXPECT_EQ(box.x0, reduced_box.x0);
    EXPECT_EQ(box.x1, reduced_box.x1);
    EXPECT_EQ(box.y0, reduced_box.y0);
    EXPECT_EQ(box.y1, reduced_box.y1);
    ASSERT_GT(box.x1 - box.x0, 90);
    for (int y = box.y0 + 4; y <= box.y1 - 4; ++y) {
        for (int x = box.x0 + 4; x <= box.x1 - 4; ++x) {
            const Rgb8 want = PixelAt(full, x, y);
            ExpectPixel(reduced, x, y, want, 2);
            if (::testing::Test::HasFailure()) return;
        }
    }
    EXPECT_NE(full.pixels, ReadGrab(dir, "img0002.ppm").pixels);  // another light
    EXPECT_EQ(ReadGrab(dir, "img0003.ppm").pixels, ReadGrab(dir, "img0002.ppm").pixels);
}

}  // namespace
}  // namespace lumo::testing
