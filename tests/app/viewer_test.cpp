// The real viewer under Xvfb, driven by test start-up scripts: the command
// line, the main view's window, grabs, the transform dump, the drawing modes,
// the multi-light cache and scene errors.
#include "tests/app/viewer_harness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "tests/support/scene_fixture.h"

namespace lumo::testing {
namespace {

Rgb8 CameraColour(int a, int b) {
    return Rgb8{40 + 150 * a, 60 + 120 * b, 200 - 50 * a};
}

TEST(ViewerTest, TheCommandLineTakesOneSceneOrAsksForHelpOrTheVersion) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;  // the start of standard output
        std::string err;
    };
    const Case cases[] = {
        {{}, 1, "", "[main]:lid filename not provided\n"},
        {{"a.lid", "b"},
         1,
         "",
         "lumo: one scene description expected, 2 arguments given\n"
         "usage: lumo SCENE.lid (lumo --help)\n"},
        {{"--help"}, 0, "usage: lumo SCENE.lid\n       lumo --help | --version\n", ""},
        {{"--version"}, 0, "lumo 0.", ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {LUMO_PATH};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const ProcessResult r = RunProcess(argv, "", "", 20);
        const std::string what = c.args.empty() ? "(none)" : c.args[0];
        EXPECT_EQ(c.status, r.exit_code) << what;
        EXPECT_EQ(0u, r.out.find(c.out)) << what << ": " << r.out;
        if (c.out.empty()) {
            EXPECT_EQ("", r.out) << what;
        }
        EXPECT_EQ(c.err, r.err) << what;
    }
}

TEST(ViewerTest, GrabsNeverOverwriteAnEarlierSessionsFiles) {
    // img0000.ppm and img0002.ppm are left from an earlier session (and
    // img0003.ppm is a link to nowhere): the grabs take the free names and
    // count on from there.
    TempDir dir;
    SlabFixture slab;
    WriteBrdfSlab(dir, slab);
    dir.Write("img0000.ppm", "earlier grab 0");
    dir.Write("img0002.ppm", "earlier grab 2");
    std::filesystem::create_symlink("nowhere.ppm", dir.File("img0003.ppm"));
    const ProcessResult r = RunViewer(dir, "scene.lid",
                                      std::string(kViews) +
                                          "puts [.slab grabscr]\nputs [.slab grabscr]\n"
                                          "puts [.slab grabscr]\n");
    ASSERT_EQ(0, r.exit_code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("img0001.ppm\nimg0004.ppm\nimg0005.ppm\n"))
        << r.out;
    EXPECT_EQ("earlier grab 0", ReadFileBytes(dir.File("img0000.ppm")));
    EXPECT_EQ("earlier grab 2", ReadFileBytes(dir.File("img0002.ppm")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("nowhere.ppm")));
    for (const char* name : {"img0001.ppm", "img0004.ppm", "img0005.ppm"})
        EXPECT_EQ(15u + 270000u, ReadFileBytes(dir.File(name)).size()) << name;
}

TEST(ViewerTest, WithoutADisplayTheViewerSaysSoAndEndsWithStatus1) {
    TempDir dir;
    const ProcessResult r = RunProcess(
        {"/usr/bin/env", "-u", "DISPLAY", LUMO_PATH, "scene.lid"}, dir.path(), "", 20);
    EXPECT_EQ(1, r.exit_code);
    EXPECT_EQ(0u, r.err.find("application-specific initialization failed: ")) << r.err;
}

TEST(ViewerTest, ReshapePrintsTheWindowSizeAndGrabsAreNumberedTopDownPpms) {
    TempDir dir;
    SlabFixture slab;
    slab.colour = CameraColour;
    WriteBrdfSlab(dir, slab);
    const ProcessResult r =
        RunViewer(dir, "scene.lid",
                  std::string(kViews) +
                      "set drawslabmode 0\n.slab hnddrawmode\nupdate\n"
                      ".slab grabscr\n.slab grabscr\n.light grabscr\n");
    ASSERT_EQ(0, r.exit_code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("window size : 300 x 300\n")) << r.out;
    for (const char* name : {"img0000.ppm", "img0001.ppm", "img0002.ppm"}) {
        const std::string bytes = ReadFileBytes(dir.File(name));
        ASSERT_EQ(15u + 270000u, bytes.size()) << name;
        EXPECT_EQ("P6\n300 300\n255\n", bytes.substr(0, 15)) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("img0003.ppm")));
    // The grab on the light-editing view is the main view's frame.
    EXPECT_EQ(ReadFileBytes(dir.File("img0000.ppm")),
              ReadFileBytes(dir.File("img0002.ppm")));
}

TEST(ViewerTest, CornerModeShowsEachCamerasRelitImageOnItsCellAndTheClearColourAround) {
    TempDir dir;
    SlabFixture slab;
    slab.colour = CameraColour;
    WriteBrdfSlab(dir, slab);
    const ProcessResult r =
        RunViewer(dir, "scene.lid",
                  std::string(kViews) +
                      "set drawslabmode 0\n.slab hnddrawmode\nupdate\n.slab grabscr\n");
    ASSERT_EQ(0, r.exit_code) << r.err;
    const Photo grab = ReadGrab(dir, "img0000.ppm");
    // The window's corner: the clear colour (0.6, 0.6, 0.8).
    ExpectPixel(grab, 2, 2, Rgb8{153, 153, 204}, 1);
    // The slab spans about 245 of the 300 pixels; the quadrants show the four
    // cameras. Row 0 of the file is the top of the window, where camera row 1 is.
    ExpectPixel(grab, 100, 200, CameraColour(0, 0), 1);
    ExpectPixel(grab, 200, 200, CameraColour(1, 0), 1);
    ExpectPixel(grab, 100, 100, CameraColour(0, 1), 1);
    ExpectPixel(grab, 200, 100, CameraColour(1, 1), 1);
}

TEST(ViewerTest, CentreModeBlendsTheCamerasAdditively) {
    TempDir dir;
    SlabFixture slab;
    slab.cols = slab.rows = 3;
    slab.colour = [](int, int) { return Rgb8{180, 90, 30}; };
    WriteBrdfSlab(dir, slab);
    const ProcessResult r =
        RunViewer(dir, "scene.lid", std::string(kViews) + ".slab grabscr\n");
    ASSERT_EQ(0, r.exit_code) << r.err;
    const Photo grab = ReadGrab(dir, "img0000.ppm");
    // Inside the samples' hull the weights of the fans sum to one.
    ExpectPixel(grab, 150, 150, Rgb8{180, 90, 30}, 3);
    ExpectPixel(grab, 120, 170, Rgb8{180, 90, 30}, 3);
    // Outside it nothing is drawn on the black clear colour.
    ExpectPixel(grab, 5, 5, Rgb8{0, 0, 0}, 0);
}

TEST(ViewerTest, CentreModeWeighsNeighbouringCamerasLinearly) {
    TempDir dir;
    SlabFixture slab;
    slab.cols = 2;
    slab.rows = 1;
    slab.colour = [](int a, int) { return a == 0 ? Rgb8{200, 0, 0} : Rgb8{0, 0, 200}; };
    WriteBrdfSlab(dir, slab);
    const ProcessResult r =
        RunViewer(dir, "scene.lid", std::string(kViews) + ".slab grabscr\n");
    ASSERT_EQ(0, r.exit_code) << r.err;
    const Photo grab = ReadGrab(dir, "img0000.ppm");
    // A 2 x 1 grid has no triangle: nothing is drawn.
    ExpectPixel(grab, 150, 150, Rgb8{0, 0, 0}, 0);
}

TEST(ViewerTest, TransformDumpHoldsTheLookAtAndFollowsTheViewTurn) {
    TempDir dir;
    SlabFixture slab;
    WriteBrdfSlab(dir, slab);
    const ProcessResult r = RunViewer(
        dir, "scene.lid",
        std::string(kViews) +
            ".slab rectran\nupdate\nfile rename transfrm.txt first.txt\n"
            ".slab lbdown 100 100\n.slab lbdrag 400 100\n.slab rectran\nupdate\n");
    ASSERT_EQ(0, r.exit_code) << r.err;
    const std::string first = ReadFileBytes(dir.File("first.txt"));
    EXPECT_EQ(0u,
              first.find("ModelViewMatrix 1.000000 0.000000 0.000000 0.000000 0.000000 "
                         "1.000000 0.000000 0.000000 0.000000 0.000000 1.000000 0.000000 "
                         "0.000000 0.000000 -30.000000 1.000000\nProjectionMatrix "))
        << first;
    EXPECT_NE(std::string::npos, first.find("\nViewport 0 0 300 300\nDepthRange 0.000000 "
                                            "1.000000"))
        << first;
    EXPECT_NE('\n', first.back());
    const std::vector<double> projection = DumpNumbers(first, "ProjectionMatrix", 16);
    ASSERT_EQ(16u, projection.size());
    EXPECT_NEAR(1.0 / std::tan(1.5 * M_PI / 180.0), projection[5],
                1e-3);  // 3-degree field

    // A drag across the whole width of a 300-pixel view: a quarter turn about y.
    const std::vector<double> turned =
        DumpNumbers(ReadFileBytes(dir.File("transfrm.txt")), "ModelViewMatrix", 16);
    ASSERT_EQ(16u, turned.size());
    EXPECT_NEAR(0.0, turned[0], 1e-5);
    EXPECT_NEAR(-1.0, turned[2], 1e-5);
    EXPECT_NEAR(1.0, turned[8], 1e-5);
    EXPECT_NEAR(-30.0, turned[14], 1e-5);
}

TEST(ViewerTest, MultiLightCacheRendersOtherLightsOnlyWhenTheCurrentLightChanges) {
    TempDir dir;
    SlabFixture slab;
    slab.cols = slab.rows = 3;
    WritePhotoSlab(dir, slab, /*qr_grid=*/true);
    const ProcessResult r =
        RunViewer(dir, "scene.lid",
                  std::string(kViews) +
                      "set lightcnt 3\nset currlight 0\n"
                      ".slab svnotifylightchg\n"
                      "puts stderr frame1; .slab postredisplay; update\n"
                      "puts stderr frame2; .slab postredisplay; update\n"
                      "set currlight 2\n"
                      "puts stderr frame3; .slab postredisplay; update\n"
                      "puts stderr frame4; .slab postredisplay; update\n",
                  {"LUMO_TRACE=passes"});
    ASSERT_EQ(0, r.exit_code) << r.err;
    // Passes per light between two markers. The X server may add redisplays
    // of its own (exposures), which draw the current light again from the
    // cache; the other lights are drawn only when the current light changed.
    auto passes = [&](const std::string& from, const std::string& to) {
        std::vector<int> count(3, 0);
        const size_t a = r.err.find(from);
        const size_t b = to.empty() ? r.err.size() : r.err.find(to);
        if (a == std::string::npos || b == std::string::npos) return count;
        std::istringstream lines(r.err.substr(a, b - a));
        std::string line;
        while (std::getline(lines, line)) {
            if (line.rfind("light pass ", 0) == 0)
                ++count.at(std::stoul(line.substr(11)));
        }
        return count;
    };
    const std::vector<int> first = passes("frame1", "frame2");
    EXPECT_EQ(1, first[1]);
    EXPECT_EQ(1, first[2]);
    EXPECT_GE(first[0], 1);
    const std::vector<int> second = passes("frame2", "frame3");
    EXPECT_EQ(0, second[1]);
    EXPECT_EQ(0, second[2]);
    EXPECT_GE(second[0], 1);
    const std::vector<int> third = passes("frame3", "frame4");
    EXPECT_EQ(1, third[0]);
    EXPECT_EQ(1, third[1]);
    EXPECT_GE(third[2], 1);
    const std::vector<int> fourth = passes("frame4", "");
    EXPECT_EQ(0, fourth[0]);
    EXPECT_EQ(0, fourth[1]);
    EXPECT_GE(fourth[2], 1);
}

TEST(ViewerTest, TheCachedLightsLookTheSameAfterACornerModeFrame) {
    // The first centre-mode frame after a corner-mode frame copies the cached
    // image of the other lights; it must equal a frame drawn when centre mode
    // was never left.
    const std::string start = std::string(kViews) +
                              "set lightcnt 3\nset currlight 1\n.slab svnotifylightchg\n"
                              ".slab postredisplay; update\n";
    const std::string corner =
        "set drawslabmode 0\n.slab hnddrawmode\nupdate\n.slab grabscr\n"
        "set drawslabmode 1\n.slab hnddrawmode\n";
    std::string grabs[2];
    for (int left = 0; left < 2; ++left) {
        TempDir dir;
        SlabFixture slab;
        slab.cols = slab.rows = 3;
        slab.colour = CameraColour;
        WritePhotoSlab(dir, slab, /*qr_grid=*/true);
        const std::string script =
            start + (left != 0 ? corner : ".slab grabscr\n") + "puts [.slab grabscr]\n";
        const ProcessResult r = RunViewer(dir, "scene.lid", script);
        ASSERT_EQ(0, r.exit_code) << r.err;
        grabs[left] = ReadFileBytes(dir.File("img0001.ppm"));
        ASSERT_EQ(15u + 270000u, grabs[left].size());
    }
    EXPECT_NE(std::string::npos, grabs[0].find_first_not_of('\0', 15));
    EXPECT_TRUE(grabs[0] == grabs[1]) << "the frame after corner mode differs";
}

TEST(ViewerTest, ASceneErrorWhenTheMainViewIsCreatedEndsWithItsMessage) {
    TempDir dir;
    SlabFixture slab;
    WriteBrdfSlab(dir, slab);
    std::filesystem::remove(dir.File("obj.1.0.urdf.sh"));
    const ProcessResult r = RunViewer(dir, "scene.lid", kViews);
    EXPECT_EQ(1, r.exit_code);
    const std::string message = "Cannot read brdf file: obj.1.0.urdf.sh\n";
    ASSERT_GE(r.err.size(), message.size()) << r.err;
    EXPECT_EQ(message, r.err.substr(r.err.size() - message.size())) << r.err;

    const ProcessResult missing = RunViewer(dir, "nothing.lid", kViews);
    EXPECT_EQ(1, missing.exit_code);
    EXPECT_EQ("[ReadLidFile]: cannot open lidfile\n", missing.err);
}

TEST(ViewerTest, OnlyOneMainViewIsMade) {
    TempDir dir;
    SlabFixture slab;
    WriteBrdfSlab(dir, slab);
    const ProcessResult r = RunViewer(dir, "scene.lid",
                                      std::string(kViews) +
                                          "if {![catch {togl .again -ident slabview "
                                          "-double true -depth true} m]} {exit 3}\n"
                                          "puts \"refused: $m\"\n");
    ASSERT_EQ(0, r.exit_code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("refused: only one main view")) << r.out;
    // The model was loaded once: one reconstruction of camera (0,0).
    const std::string line = "Reconstructing image (0,0) ...\n";
    EXPECT_EQ(r.out.find(line), r.out.rfind(line)) << r.out;
}

}  // namespace
}  // namespace lumo::testing
