// The interaction and light-editing commands and the light-editing view,
// driven through test start-up scripts on the real viewer.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "base/str_printf.h"
#include "io/sgi_writer.h"
#include "relight/brdf_writer.h"
#include "tests/app/viewer_harness.h"
#include "tests/support/x_display.h"

namespace lumo::testing {
namespace {

// Runs `script` after the views are made on a small relightable slab and
// returns what the script printed on standard output after "--\n".
std::string Session(const std::string& script, ProcessResult* result = nullptr) {
    TempDir dir;
    SlabFixture slab;
    WriteBrdfSlab(dir, slab);
    const ProcessResult r =
        RunViewer(dir, "scene.lid", std::string(kViews) + "puts --\n" + script);
    EXPECT_EQ(0, r.exit_code) << r.err;
    if (result != nullptr) *result = r;
    const size_t at = r.out.find("--\n");
    return at == std::string::npos ? "" : r.out.substr(at + 3);
}

TEST(CommandsTest, LeftDragTurnsTheViewAQuarterTurnAcrossTheWindow) {
    // The turn shows in the transform dump: a quarter turn about y. The drag
    // is sent to the light-editing view: the commands act on the main view.
    TempDir dir;
    SlabFixture slab;
    WriteBrdfSlab(dir, slab);
    const ProcessResult r = RunViewer(
        dir, "scene.lid",
        std::string(kViews) +
            ".slab lbdown 100 100\n.light lbdrag 400 100\n.slab rectran\nupdate\n");
    ASSERT_EQ(0, r.exit_code) << r.err;
    const std::vector<double> m =
        DumpNumbers(ReadFileBytes(dir.File("transfrm.txt")), "ModelViewMatrix", 16);
    const double expected[16] = {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, -30, 1};
    ASSERT_EQ(16u, m.size());
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(expected[i], m[static_cast<size_t>(i)], 1e-5) << i;
}

TEST(CommandsTest, ZoomFollowsTheDragAwayFromOrTowardsTheCentre) {
    TempDir dir;
    SlabFixture slab;
    WriteBrdfSlab(dir, slab);
    // At the exact centre the zoom axis is (1, 1); 30 right and 40 down moves
    // 50 pixels away: zoom 1 + 50/150. The release keeps it; a drag back
    // towards the centre shrinks from there.
    const ProcessResult r = RunViewer(
        dir, "scene.lid",
        std::string(kViews) +
            ".slab mbdown 150 150\n.slab mbdrag 180 190\n.slab rectran\nupdate\n"
            "file rename transfrm.txt zoomed.txt\n.slab mbup\n"
            ".slab mbdown 200 150\n.slab mbdrag 170 150\n.slab rectran\nupdate\n");
    ASSERT_EQ(0, r.exit_code) << r.err;
    const std::vector<double> zoomed =
        DumpNumbers(ReadFileBytes(dir.File("zoomed.txt")), "ModelViewMatrix", 16);
    const std::vector<double> shrunk =
        DumpNumbers(ReadFileBytes(dir.File("transfrm.txt")), "ModelViewMatrix", 16);
    ASSERT_EQ(16u, zoomed.size());
    ASSERT_EQ(16u, shrunk.size());
    EXPECT_NEAR(1.0 + 50.0 / 150.0, zoomed[0], 1e-5);
    EXPECT_NEAR(1.0 + 50.0 / 150.0, zoomed[10], 1e-5);
    EXPECT_NEAR((1.0 + 50.0 / 150.0) * (1.0 - 30.0 / 150.0), shrunk[0], 1e-5);
}

TEST(CommandsTest, LightChangeClampsAndRewritesTheVariables) {
    const std::string out = Session(
        "set harcnt_s -5\n.slab svnotifylightchg\n.slab reflectlightinfo\nputs "
        "h=$harcnt_s\n"
        "set harcnt_s 999\n.slab svnotifylightchg\n.slab reflectlightinfo\nputs "
        "h=$harcnt_s\n"
        "set radius_s 0.5\n.slab svnotifylightchg\nputs r=<$radius_s>\n"
        ".slab reflectlightinfo\nputs r=<$radius_s>\n"
        "set radius_s abc\n.slab svnotifylightchg\nputs r=<$radius_s>\n"
        "set currlighttype 3\n.slab chgltype\nset slidefov_s 200,-3\nset slidename "
        "none.rgb\n"
        ".slab svnotifylightchg\nputs f=$slidefov_s\n.slab reflectlightinfo\nputs "
        "f=$slidefov_s\n"
        ".slab newlightvalue\n"
        "puts n=$radius_s,$slidelookat_s,$slideup_s,$slidefov_s,<$slidename>\n");
    // The slab has 2 bands, so 4 harmonic terms at most.
    EXPECT_EQ(
        "h=0\nh=4\nr=<   1.000>\nr=<1.0>\nr=<   1.000>\nf=180.000,0.000\nf=180.0,0.0\n"
        "n=3.000,0.0,0.0,0.0,0.0,1.0,0.0,45.0,45.0,<>\n",
        out);
}

TEST(CommandsTest, SlidesLoadOncePerName) {
    ProcessResult r;
    // The slide files do not exist: every load says so, which counts them.
    Session(
        "set currlighttype 3\n.slab chgltype\n"
        "set slidename {}\n.slab svnotifylightchg\nputs name=$slidename\n"
        ".slab svnotifylightchg\n"
        "set slidename a.rgb\n.slab svnotifylightchg\n.slab svnotifylightchg\n"
        "set slidename [string repeat x 120]\n.slab svnotifylightchg\n",
        &r);
    EXPECT_NE(std::string::npos, r.out.find("name=slide.rgb\n")) << r.out;
    auto count = [&](const std::string& what) {
        size_t n = 0;
        for (size_t at = r.err.find(what); at != std::string::npos;
             at = r.err.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(1u, count("slide.rgb: can't open file")) << r.err;
    EXPECT_EQ(1u, count("a.rgb: can't open file")) << r.err;
    EXPECT_EQ(1u, count("slide name longer than 99 characters")) << r.err;
}

TEST(CommandsTest, DeleteMovesLightsDownAndReturnsTheNewCurrentLight) {
    // Three lights of distinct colours: red, green, blue.
    const std::string setup =
        "set lightcnt 3\n"
        "foreach i {0 1 2} c {{255 0 0} {0 255 0} {0 0 255}} {\n"
        "    set currlight $i\n    .slab changecolor {*}$c\n    .slab "
        "svnotifylightchg\n}\n";
    const std::string colours =
        "proc show {} {\n    global lightcnt\n    set s {}\n"
        "    for {set i 0} {$i < 3} {incr i} {\n"
        "        lappend s [.slab getinten $i 0]/[.slab getinten $i 1]/[.slab getinten "
        "$i 2]\n"
        "    }\n    return \"$lightcnt [join $s { }]\"\n}\n";
    EXPECT_EQ("0\n2 0/255/0 0/0/255 -1/-1/-1\n",
              Session(setup + colours +
                      "set currlight 0\nputs [.slab deletesrc 0]\nputs [show]\n"));
    EXPECT_EQ("1\n2 0/255/0 0/0/255 -1/-1/-1\n",
              Session(setup + colours +
                      "set currlight 2\nputs [.slab deletesrc 0]\nputs [show]\n"));
    // An index beyond the last removes the last light; a negative one nothing.
    EXPECT_EQ("1\n2 255/0/0 0/255/0 -1/-1/-1\n1\n2\n",
              Session(setup + colours +
                      "set currlight 2\nputs [.slab deletesrc 9]\nputs [show]\n"
                      "puts [.slab deletesrc -1]\nputs $lightcnt\n"));
}

TEST(CommandsTest, GetIntensityAndArgumentChecks) {
    EXPECT_EQ(
        "255 -1 -1 -1\nerror\n1\n",
        Session(
            "puts \"[.slab getinten 0 0] [.slab getinten 0 3] [.slab getinten 1 0] "
            "[.slab getinten -1 0]\"\n"
            "if {[catch {.slab lbdown 5}]} {puts error}\n"
            "set lightcnt 99\n.slab svnotifylightchg\nputs [expr {$lightcnt == 30}]\n"));
}

// A one-camera slab whose image is bright when lit from the front (light
// travelling along -z) and black when lit from behind: band 0 and the
// cos(theta) term of band 1 in equal measure.
void WriteTurnScene(const TempDir& dir) {
    dir.Write("scene.lid",
              "SLAB 0 turn\nSAMPLES_UV 1 1\nSAMPLES_ST 8 8\nFORMAT BRDF\n"
              "SLAB_UV\n-0.6 -0.6 2 1\n0.6 -0.6 2 1\n0.6 0.6 2 1\n-0.6 0.6 2 1\n"
              "SLAB_ST\n-0.6 -0.6 0 1\n0.6 -0.6 0 1\n0.6 0.6 0 1\n-0.6 0.6 0 1\n");
    ShCoeffImage image(8, 8, 2);
    const float coeff[4] = {1.2f, 0.0f, 1.2f, 0.0f};
    for (int ch = 0; ch < 3; ++ch)
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                image.Set(ch, x, y, coeff);
    ASSERT_TRUE(WriteBrdfFile(dir.File("turn.0.0.urdf.sh").c_str(), image).ok());
}

// From the disc's centre to just inside its rim: almost half a turn about y.
constexpr char kHalfTurn[] =
    ".light ab_lbdown 150 149\n.light ab_lbdrag 262 149\nupdate\n.light ab_lbup\n";

TEST(CommandsTest, ArcBallDragInTheLightViewTurnsTheCurrentLight) {
    TempDir dir;
    WriteTurnScene(dir);
    const ProcessResult r = RunViewer(
        dir, "scene.lid",
        std::string(kViews) +
            "set drawslabmode 0\n.slab hnddrawmode\nupdate\n.slab grabscr\n" + kHalfTurn +
            ".slab svnotifylightchg\n.slab postredisplay\nupdate\n.slab grabscr\n");
    ASSERT_EQ(0, r.exit_code) << r.err;
    const Rgb8 before = PixelAt(ReadGrab(dir, "img0000.ppm"), 150, 150);
    const Rgb8 after = PixelAt(ReadGrab(dir, "img0001.ppm"), 150, 150);
    EXPECT_GT(before[0], 150) << "lit from the front";
    EXPECT_LT(after[0], before[0] / 4) << "lit from behind after the drag";
}

TEST(CommandsTest, EachLightKeepsItsOwnArcballAndARedrawMovesOnlyTheCurrentLight) {
    // Light 0 red, light 1 green; light 1 is turned to shine from behind. When
    // light 0 becomes current and the light view redraws, light 0 (its arcball
    // at rest) points into the screen again and light 1 stays turned.
    TempDir dir;
    WriteTurnScene(dir);
    const ProcessResult r = RunViewer(
        dir, "scene.lid",
        std::string(kViews) +
            "set drawslabmode 0\n.slab hnddrawmode\nset lightcnt 2\n"
            "set currlight 0\n.slab changecolor 255 0 0\n.slab svnotifylightchg\n"
            "set currlight 1\n.slab changecolor 0 255 0\n.slab svnotifylightchg\n"
            ".light postredisplay\nupdate\n" +
            kHalfTurn +
            "set currlight 0\n.light postredisplay\nupdate\n"
            // Edits are staged: restage light 0's own colour before applying.
            ".slab changecolor 255 0 0\n"
            ".slab svnotifylightchg\n.slab postredisplay\nupdate\n.slab grabscr\n");
    ASSERT_EQ(0, r.exit_code) << r.err;
    const Rgb8 pixel = PixelAt(ReadGrab(dir, "img0000.ppm"), 150, 150);
    EXPECT_GT(pixel[0], 150) << "light 0 lights from the front";
    EXPECT_LT(pixel[1], 60) << "light 1 stays turned away";
}

TEST(CommandsTest, ExtremeIndicesAndCoordinatesAreTakenSafely) {
    // deletesrc of the largest index removes the last light, with one light
    // left or three; pointer coordinates at the ends of the integer range turn
    // and zoom without wrapping around.
    EXPECT_EQ("1 2\n-1 0\nok\n",
              Session("set lightcnt 3\nset currlight 1\n"
                      "puts \"[.slab deletesrc 2147483647] $lightcnt\"\n"
                      "set lightcnt 1\nset currlight 0\n"
                      "puts \"[.slab deletesrc 2147483647] $lightcnt\"\n"
                      ".slab lbdown -2147483648 2147483647\n"
                      ".slab lbdrag 2147483647 -2147483648\n"
                      ".slab mbdown -2147483648 -2147483648\n"
                      ".slab mbdrag 2147483647 2147483647\n.slab mbup\n"
                      "update\nputs ok\n"));
}

TEST(CommandsTest, ADeletedMainViewLeavesTheViewerSafeAndCanBeMadeAgain) {
    // Without the main view, the commands that need it do nothing; a new
    // widget with its ident becomes the main view and draws the same frame.
    TempDir dir;
    SlabFixture slab;
    slab.colour = [](int, int) { return Rgb8{180, 90, 30}; };
    WriteBrdfSlab(dir, slab);
    const ProcessResult r = RunViewer(
        dir, "scene.lid",
        std::string(kViews) +
            "puts first=[.slab grabscr]\n"
            "destroy .slab\nupdate\n"
            "puts gone=[.light grabscr]\n.light hnddrawmode\n.light rectran\n"
            ".light lbdown 1 1\n.light mbdown 1 1\n.light svnotifylightchg\nupdate\n"
            "togl .slab -ident slabview -width 300 -height 300 -rgba true -double true "
            "-depth true\npack .slab\nupdate\n"
            "puts again=[.light grabscr]\n");
    ASSERT_EQ(0, r.exit_code) << r.err;
    for (const char* line : {"first=img0000.ppm\ngone=\n", "\nagain=img0001.ppm\n"})
        EXPECT_NE(std::string::npos, r.out.find(line)) << r.out;
    EXPECT_EQ(ReadFileBytes(dir.File("img0000.ppm")),
              ReadFileBytes(dir.File("img0001.ppm")));
    // The model was built once: each of the four coefficient files read once.
    size_t reads = 0;
    for (size_t at = r.out.find("lcnt="); at != std::string::npos;
         at = r.out.find("lcnt=", at + 1))
        ++reads;
    EXPECT_EQ(4u, reads) << r.out;
}

TEST(CommandsTest, WithNoLightInUseTheArcballTurnsNothing) {
    // The drag comes while no light is in use; the light added afterwards
    // still lights from the front.
    TempDir dir;
    WriteTurnScene(dir);
    const ProcessResult r = RunViewer(
        dir, "scene.lid",
        std::string(kViews) + "set drawslabmode 0\n.slab hnddrawmode\nset lightcnt 0\n" +
            kHalfTurn +
            "set lightcnt 1\nset currlight 0\n.light postredisplay\nupdate\n" +
            ".slab svnotifylightchg\n.slab postredisplay\nupdate\n.slab grabscr\n");
    ASSERT_EQ(0, r.exit_code) << r.err;
    EXPECT_GT(PixelAt(ReadGrab(dir, "img0000.ppm"), 150, 150)[0], 150);
}

TEST(CommandsTest, ADragReleasedBeforeAnyRedrawIsKept) {
    TempDir dir;
    WriteTurnScene(dir);
    const ProcessResult r = RunViewer(
        dir, "scene.lid",
        std::string(kViews) +
            "set drawslabmode 0\n.slab hnddrawmode\n"
            ".light ab_lbdown 150 149\n.light ab_lbdrag 262 149\n.light ab_lbup\n"
            ".slab svnotifylightchg\n.slab postredisplay\nupdate\n.slab grabscr\n");
    ASSERT_EQ(0, r.exit_code) << r.err;
    EXPECT_LT(PixelAt(ReadGrab(dir, "img0000.ppm"), 150, 150)[0], 40)
        << "lit from behind after the drag";
}

TEST(CommandsTest, TheVariablesShowWhatTheViewerApplied) {
    // The harmonic terms applied replace a larger request; a light count or
    // current light the viewer changes reaches write traces and widgets.
    EXPECT_EQ(
        "4\n0\n"
        "lightcnt=30\n"
        "lightcnt=2 currlight=1\nlabel 2\n"
        "lightcnt=0\ncurrlight=-1\n",
        Session(
            "set harcnt_s 400\n.slab svnotifylightchg\nputs $harcnt_s\n"
            "set harcnt_s 0abc\n.slab svnotifylightchg\nputs $harcnt_s\n"
            "set lightcnt 99\n"
            "proc seen {name args} { upvar #0 $name v; lappend ::seen $name=$v }\n"
            "trace add variable lightcnt write seen\n"
            "trace add variable currlight write seen\n"
            "label .count -textvariable lightcnt\n"
            "set ::seen {}\n.slab svnotifylightchg\nputs [join $::seen]\n"
            "set lightcnt 3\nset currlight 2\nset ::seen {}\n"
            ".slab deletesrc 0\nputs [join $::seen]\nputs \"label [.count cget -text]\"\n"
            "set lightcnt 1\nset currlight 0\nset ::seen {}\n"
            ".slab deletesrc 0\nputs [join $::seen \\n]\n"));
}

TEST(CommandsTest, RealStartupScriptSessionAddsLightsRelightsGrabsAndExits) {
    // No lumo.tcl in the folder: the viewer uses the one built beside it.
    TempDir dir;
    SlabFixture slab;
    WriteBrdfSlab(dir, slab);
    const std::string commands =
        "update\n"
        "lumo::add_light\n"
        ".slab changecolor 255 128 0\nlumo::relight\n"
        "set currlighttype 1\nlumo::set_type\n"
        "update\n"
        "lumo::grab\n"
        "puts \"lights=$lightcnt current=$currlight [.slab getinten 1 1]\"\n"
        "exit\n";
    ASSERT_FALSE(TestDisplay().empty());
    const ProcessResult r =
        RunProcess({LUMO_PATH, "scene.lid"}, dir.path().string(), commands, 120);
    ASSERT_EQ(0, r.exit_code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("lights=2 current=1 128")) << r.out << r.err;
    const Photo grab = ReadGrab(dir, "img0000.ppm");
    EXPECT_EQ(512, grab.width);
}

TEST(CommandsTest, RealStartupScriptShowsTheGrabsNameAndANoLightState) {
    // A grab made outside the window's menu still leaves the status line
    // naming the right file; with the last light deleted the light fields are
    // disabled and the status line says so.
    TempDir dir;
    SlabFixture slab;
    WriteBrdfSlab(dir, slab);
    const std::string commands =
        "update\n"
        ".slab grabscr\nlumo::grab\nputs \"status=$lumo::status\"\n"
        "puts \"state=[.panel.light.radius cget -state]\"\n"
        "lumo::delete_light\nupdate\n"
        "puts \"state=[.panel.light.radius cget -state] [.panel.light.kind0 cget -state] "
        "[.panel.slide.name cget -state]\"\n"
        "puts \"status=$lumo::status\"\n"
        "exit\n";
    ASSERT_FALSE(TestDisplay().empty());
    const ProcessResult r =
        RunProcess({LUMO_PATH, "scene.lid"}, dir.path().string(), commands, 120);
    ASSERT_EQ(0, r.exit_code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("status=Frame written to img0001.ppm in "))
        << r.out;
    EXPECT_NE(std::string::npos, r.out.find("state=normal\n")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("state=disabled disabled disabled\n"))
        << r.out;
    EXPECT_NE(std::string::npos, r.out.find("status=No light  |  centre mode\n"))
        << r.out;
}

TEST(CommandsTest, PanMagnifyActualPixelsAndResetViewThroughTheRealStartupScript) {
    // The View menu's entries and keys call the widget commands; "Reset view"
    // brings back the start-up frame exactly after a turn, a zoom, a pan and
    // a magnification.
    TempDir dir;
    SlabFixture slab;
    slab.colour = [](int a, int b) { return Rgb8{60 + 120 * a, 200 - 100 * b, 90}; };
    WriteBrdfSlab(dir, slab);
    const std::string commands =
        "update\n.slab grabscr\n"
        "puts \"start=[.slab startmode] mode=$drawslabmode\"\n"
        ".slab lbdown 100 100\n.slab lbdrag 160 130\n"
        ".slab mbdown 300 300\n.slab mbdrag 340 340\n.slab mbup\n"
        "puts \"pan=[.slab pan 10 -4]\"\n"
        "puts \"magnify=[.slab magnify 2]\"\n"
        "lumo::pan_step 1 0\n"
        "update\n.slab grabscr\n"
        ".menu.view invoke \"Reset view\"\n"
        "update\n.slab grabscr\n"
        "puts \"actual=[.slab actualpixels]\"\n"
        "puts \"home=[bind . <Key-Home>]\"\n"
        "puts \"ctrl0=[bind . <Control-Key-0>]\"\n"
        "puts \"entry=[.menu.view entrycget {Actual pixels} -accelerator]\"\n"
        "exit\n";
    ASSERT_FALSE(TestDisplay().empty());
    const ProcessResult r =
        RunProcess({LUMO_PATH, "scene.lid"}, dir.path().string(), commands, 120);
    ASSERT_EQ(0, r.exit_code) << r.err;
    // A 2 x 2 slab keeps centre mode.
    EXPECT_NE(std::string::npos, r.out.find("start=1 mode=1\n")) << r.out;
    // Ten right and four down: the shift is kept x right, y up.
    EXPECT_NE(std::string::npos, r.out.find("pan=10 4\n")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("magnify=2\n")) << r.out;
    // 16 image pixels across about 390 window pixels: magnified about 0.04.
    const size_t at = r.out.find("actual=");
    ASSERT_NE(std::string::npos, at) << r.out;
    const double actual = std::stod(r.out.substr(at + 7));
    EXPECT_GT(actual, 0.035);
    EXPECT_LT(actual, 0.045);
    EXPECT_NE(std::string::npos, r.out.find("lumo::reset_view")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("ctrl0=lumo::actual_pixels\n")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("entry=Ctrl+0\n")) << r.out;
    const Photo start = ReadGrab(dir, "img0000.ppm");
    const Photo moved = ReadGrab(dir, "img0001.ppm");
    const Photo reset = ReadGrab(dir, "img0002.ppm");
    EXPECT_NE(start.pixels, moved.pixels);
    EXPECT_EQ(start.pixels, reset.pixels);
}

}  // namespace
}  // namespace lumo::testing
