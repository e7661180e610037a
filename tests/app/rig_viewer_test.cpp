// The viewer's light rigs, PNG frames and recorded paths, and lumotool
// render against the viewer's own grab, on a small baked demo under the test
// display.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "bake/bake_scene.h"
#include "base/str_printf.h"
#include "io/image_file.h"
#include "model/light_rig.h"
#include "model/view_path.h"
#include "tests/app/viewer_harness.h"

namespace lumo::testing {
namespace {

class RigViewerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tool::BakeOptions options;
        options.grid = 3;
        options.size = 32;
        ASSERT_TRUE(
            tool::BakeDemo(dir_.path().string(), options, [](std::string_view) {}).ok());
    }
    TempDir dir_;
};

TEST_F(RigViewerTest, RenderingOneFrameGivesTheViewersStartUpGrab) {
    const ProcessResult v =
        RunViewer(dir_, "scene.lid", std::string(kViews) + ".slab grabscr\n");
    ASSERT_EQ(0, v.exit_code) << v.err;
    const ProcessResult r =
        RunProcess({LUMOTOOL_PATH, "render", "scene.lid", "out", "--frames", "1",
                    "--size", "300x300", "--format", "ppm"},
                   dir_.path().string(), "", 120);
    ASSERT_EQ(0, r.exit_code) << r.err;
    const std::string grab = ReadFileBytes(dir_.File("img0000.ppm"));
    ASSERT_EQ(15u + 270000u, grab.size());
    EXPECT_TRUE(grab == ReadFileBytes(dir_.File("out/frame.0000.ppm")));
}

TEST_F(RigViewerTest, SavingThenOpeningLightsGivesTheIdenticalFrame) {
    // Two lights, the second a point light, both turned with their arcballs
    // and coloured; saved; then changed; then the rig is opened again.
    const std::string turn_and_colour =
        ".light ab_lbdown 150 150\n.light ab_lbdrag %X %Y\nupdate\n.light ab_lbup\n"
        ".slab changecolor %C\n.slab svnotifylightchg\nupdate\n";
    auto step = [&](const char* x, const char* y, const char* c) {
        std::string s = turn_and_colour;
        s.replace(s.find("%X"), 2, x);
        s.replace(s.find("%Y"), 2, y);
        s.replace(s.find("%C"), 2, c);
        return s;
    };
    const std::string script =
        std::string(kViews) + step("210", "110", "255 170 90") +
        "set lightcnt 2\nset currlight 1\nset currlighttype 1\n.slab chgltype\n" +
        step("80", "190", "90 140 255") + ".slab savelights rig.json\n.slab grabscr\n" +
        ".slab savepng frame.png\n" + step("60", "60", "30 255 30") + ".slab grabscr\n" +
        "puts kinds=[.slab openlights rig.json]\n.slab grabscr\n" +
        "if {[catch {.slab openlights bad.json} m]} {puts \"refused: $m\"}\n"
        ".slab grabscr\n";
    dir_.Write("bad.json",
               R"({"format": "lumo-rig", "version": 1, "lights": [{"kind": "x"}]})");
    const ProcessResult r = RunViewer(dir_, "scene.lid", script);
    ASSERT_EQ(0, r.exit_code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("kinds=0 1\n")) << r.out;
    EXPECT_NE(std::string::npos,
              r.out.find("refused: [ReadRig]: bad.json: light 0: bad value for kind: 'x' "
                         "(dir, point, slide, env or reserved)\n"))
        << r.out;
    const std::string saved = ReadFileBytes(dir_.File("img0000.ppm"));
    EXPECT_TRUE(saved != ReadFileBytes(dir_.File("img0001.ppm")));
    EXPECT_TRUE(saved == ReadFileBytes(dir_.File("img0002.ppm")));
    EXPECT_TRUE(saved ==
                ReadFileBytes(dir_.File("img0003.ppm")));  // the bad rig changed nothing

    // The PNG holds the grab's pixels.
    FloatImage png;
    ASSERT_TRUE(ReadImageFile(dir_.File("frame.png"), png).ok());
    ASSERT_EQ(300, png.width);
    ASSERT_EQ(3, png.channels);
    std::string pixels;
    for (float v : png.pixels)
        pixels += static_cast<char>(static_cast<uint8_t>(v * 255.0f + 0.5f));
    EXPECT_TRUE(saved.substr(15) == pixels);
}

// The viewer's saves: a PNG that cannot be written is a Tcl error naming the
// file and the reason; saving through a symlink writes the file it points to
// and keeps the link; a file of the user's named like a temporary survives.
TEST_F(RigViewerTest, SavesReportFailuresFollowLinksAndKeepTheUsersFiles) {
    std::filesystem::create_directory(dir_.File("real"));
    std::filesystem::create_symlink("real/lights.json", dir_.File("link.json"));
    dir_.Write("rig.json.tmp", "mine");
    const std::string script =
        std::string(kViews) +
        "if {[catch {.slab savepng /dev/full} m]} {puts \"png refused: $m\"}\n"
        ".slab savelights link.json\n.slab savelights rig.json\n"
        ".slab addkeyframe\n.slab savepath rig.json\n";
    const ProcessResult r = RunViewer(dir_, "scene.lid", script);
    ASSERT_EQ(0, r.exit_code) << r.err;
    EXPECT_NE(
        std::string::npos,
        r.out.find("png refused: [WriteImage]: cannot write /dev/full: not a regular "
                   "file"))
        << r.out;
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir_.File("link.json")));
    LightRig rig;
    EXPECT_TRUE(ReadLightRig(dir_.File("real/lights.json"), rig).ok());
    EXPECT_EQ("mine", ReadFileBytes(dir_.File("rig.json.tmp")));
    ViewPath path;
    EXPECT_TRUE(ReadViewPath(dir_.File("rig.json"), path).ok());
}

TEST_F(RigViewerTest, AnEnvironmentLightIsChosenLoadedTurnedAndRenderedAlike) {
    // The starting light becomes an environment light: dark until it has a
    // map; the baked sky; a turn with the arcball; a map that cannot be used
    // (the light stays as it was); the lights saved and rendered by lumotool.
    const std::string script =
        std::string(kViews) + ".slab grabscr\n" +
        "set currlighttype 2\n.slab chgltype\n.slab svnotifylightchg\nupdate\n"
        ".slab grabscr\n"
        "puts map=[.slab envmap sky.exr]\n.slab svnotifylightchg\nupdate\n.slab grabscr\n"
        ".light ab_lbdown 150 150\n.light ab_lbdrag 190 120\nupdate\n.light ab_lbup\n"
        ".slab svnotifylightchg\nupdate\n.slab grabscr\n"
        "if {[catch {.slab envmap nowhere.exr} m]} {puts \"refused: $m\"}\n"
        "puts still=[.slab envmap]\n.slab svnotifylightchg\nupdate\n.slab grabscr\n"
        ".slab savelights env.json\n";
    const ProcessResult r = RunViewer(dir_, "scene.lid", script);
    ASSERT_EQ(0, r.exit_code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("map=sky.exr\n")) << r.out;
    EXPECT_NE(std::string::npos,
              r.out.find("refused: [ReadImage]: cannot read nowhere.exr: no such file\n"))
        << r.out;
    EXPECT_NE(std::string::npos, r.out.find("still=sky.exr\n")) << r.out;
    const auto grab = [&](int i) {
        return ReadFileBytes(dir_.File(StrPrintf("img%04d.ppm", i)));
    };
    const std::string directional = grab(0), dark = grab(1), sky = grab(2),
                      turned = grab(3), after_refusal = grab(4);
    EXPECT_TRUE(dark == directional);  // without a map nothing is relit
    EXPECT_TRUE(sky != dark);
    EXPECT_TRUE(turned != sky);
    EXPECT_TRUE(turned == after_refusal);

    // The saved light is the environment, turned: its direction left the
    // default and the rig names the map.
    // (A rig's file names are read from the current folder, as the viewer's.)
    LightRig rig;
    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    const Status s = ReadLightRig("env.json", rig);
    std::filesystem::current_path(here);
    ASSERT_TRUE(s.ok()) << s.message();
    ASSERT_EQ(1u, rig.lights.size());
    EXPECT_TRUE(rig.lights[0].env) << ReadFileBytes(dir_.File("env.json"));
    EXPECT_EQ("sky.exr", rig.lights[0].map);
    EXPECT_GT(std::abs(rig.lights[0].direction.x) + std::abs(rig.lights[0].direction.y),
              0.1f);

    // lumotool draws the same frame from the saved rig.
    const ProcessResult t = RunProcess(
        {LUMOTOOL_PATH, "render", "scene.lid", "out", "--frames", "1", "--size",
         "300x300", "--format", "ppm", "--rig", "env.json", "--quiet"},
        dir_.path().string(), "", 120);
    ASSERT_EQ(0, t.exit_code) << t.err;
    EXPECT_TRUE(turned == ReadFileBytes(dir_.File("out/frame.0000.ppm")));
}

TEST_F(RigViewerTest, RecordedKeyframesRenderAsTheViewShowedThem) {
    const ProcessResult v =
        RunViewer(dir_, "scene.lid",
                  std::string(kViews) +
                      "if {[catch {.slab savepath none.json} m]} {puts \"refused: $m\"}\n"
                      ".slab addkeyframe\n.slab lbdown 100 100\n.slab lbdrag 130 90\n"
                      ".slab mbdown 200 200\n.slab mbdrag 230 230\n.slab mbup\n"
                      "set drawslabmode 0\n.slab hnddrawmode\nupdate\n.slab grabscr\n"
                      "puts keys=[.slab addkeyframe]\n.slab savepath path.json\n");
    ASSERT_EQ(0, v.exit_code) << v.err;
    EXPECT_NE(std::string::npos, v.out.find("refused: no keyframes: add one first\n"));
    EXPECT_NE(std::string::npos, v.out.find("keys=2\n"));
    ViewPath path;
    ASSERT_TRUE(ReadViewPath(dir_.File("path.json"), path).ok());
    ASSERT_EQ(2u, path.keyframes.size());
    EXPECT_EQ(0, path.keyframes[1].mode);
    const ProcessResult r =
        RunProcess({LUMOTOOL_PATH, "render", "scene.lid", "out", "--path", "path.json",
                    "--frames", "3", "--size", "300x300", "--format", "ppm", "--quiet"},
                   dir_.path().string(), "", 120);
    ASSERT_EQ(0, r.exit_code) << r.err;
    EXPECT_TRUE(ReadFileBytes(dir_.File("img0000.ppm")) ==
                ReadFileBytes(dir_.File("out/frame.0002.ppm")));
}

}  // namespace
}  // namespace lumo::testing
