// The real start-up script driven by scripts on standard input: procedures
// that scripts call never wait for a dialog and finish their work before they
// return, the panel shows the values in use and refuses what it cannot use,
// controls that do nothing are disabled, the mixed-lights switch, and the
// main view's drag rate.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/str_printf.h"
#include "tests/app/viewer_harness.h"
#include "tests/support/x_display.h"

namespace lumo::testing {
namespace {

// Runs the viewer with the start-up script built beside it (the folder has no
// lumo.tcl) on `commands` from standard input. A viewer that waits for
// something (a dialog) is killed after a minute and fails the test.
ProcessResult RunRealScript(const TempDir& dir, const std::string& commands) {
    EXPECT_FALSE(TestDisplay().empty()) << "no X display for the viewer";
    const ProcessResult r =
        RunProcess({LUMO_PATH, "scene.lid"}, dir.path().string(), commands, 60);
    EXPECT_EQ(0, r.exit_code) << "the session did not run to its exit\n" << r.err;
    return r;
}

std::string GrabName(int i) {
    return StrPrintf("img%04d.ppm", i);
}

// The lines the session printed after "--".
std::string After(const ProcessResult& r) {
    const size_t at = r.out.find("--\n");
    return at == std::string::npos ? "" : r.out.substr(at + 3);
}

TEST(StartupScriptTest,
     ScriptCalledProceduresFailWithoutADialogAndFinishBeforeReturning) {
    TempDir dir;
    SlabFixture slab;
    WriteBrdfSlab(dir, slab);
    // The failing calls are not caught: Tk reports them and reads on.
    const ProcessResult r =
        RunRealScript(dir,
                      "update\nputs --\n"
                      "set currlighttype 2\nlumo::set_type\n"
                      "lumo::open_envmap_file nosuch.exr\n"
                      "puts \"status=$lumo::status\"\n"
                      "lumo::open_lights_file nosuch.json\n"
                      "puts \"status=$lumo::status\"\n"
                      "set lightcnt 30\n"
                      "lumo::add_light\n"
                      "puts \"lights=$lightcnt status=$lumo::status\"\n"
                      "lumo::dump_transform\n"
                      "exit\n");
    const std::string out = After(r);
    EXPECT_NE(std::string::npos, out.find("status=")) << out;
    // Each failure is on the status line and the console.
    for (const char* what : {"nosuch.exr", "nosuch.json"}) {
        EXPECT_NE(std::string::npos, r.err.find(what)) << r.err;
        EXPECT_NE(std::string::npos, out.find(what)) << out;
    }
    EXPECT_NE(std::string::npos,
              out.find("lights=30 status=lumo has room for 30 lights: no light added\n"))
        << out;
    // The dump is on disk although exit came straight after it.
    const std::string dump = ReadFileBytes(dir.File("transfrm.txt"));
    EXPECT_EQ(0u, dump.find("ModelViewMatrix")) << dump;
    EXPECT_EQ(16u, DumpNumbers(dump, "ModelViewMatrix", 16).size());
}

TEST(StartupScriptTest, ThePanelShowsTheValuesInUseAndRefusesWhatItCannotUse) {
    TempDir dir;
    SlabFixture slab;  // 2 bands: 4 harmonic terms at most
    WriteBrdfSlab(dir, slab);
    const ProcessResult r = RunRealScript(
        dir,
        "update\nputs --\n"
        // The README's own script: the swatch follows the colour applied.
        ".slab changecolor 255 170 90\nlumo::relight\n"
        "puts \"swatch=[.panel.light.colour cget -background] "
        "light=[.slab getinten 0 0],[.slab getinten 0 1],[.slab getinten 0 2]\"\n"
        "set radius_s 2.5\nlumo::relight\nputs \"distance=$radius_s\"\n"
        // Refused entries: the field shows the value in use again.
        "proc attempt {var value} {\n"
        "    global $var\n"
        "    set $var $value\n"
        "    set failed [catch lumo::relight message]\n"
        "    puts \"$var=[set $var] failed=$failed status=$lumo::status\"\n"
        "}\n"
        "attempt radius_s abc\n"
        "attempt harcnt_s 0\n"
        "attempt harcnt_s 5\n"
        "attempt harcnt_s 3\n"
        "set currlighttype 3\nlumo::set_type\n"
        "attempt slidefov_s abc\n"
        "attempt slidefov_s 20,10\n"
        "attempt slidelookat_s 1,2\n"
        "puts \"light=[.slab getinten 0 0],[.slab getinten 0 1],[.slab getinten 0 2]\"\n"
        "exit\n");
    const std::string out = After(r);
    const std::vector<std::string> expected = {
        "swatch=#ffaa5a light=255,170,90\n",
        "distance=2.5\n",
        "radius_s=2.5 failed=1 status=Distance \"abc\" is not a number\n",
        "harcnt_s=4 failed=1 status=Harmonic terms \"0\" refused: 1 to 4 (what the "
        "coefficient files hold)\n",
        "harcnt_s=4 failed=1 status=Harmonic terms \"5\" refused",
        "harcnt_s=3 failed=0 status=Light 1 of 1: Directional  |  3 harmonic terms",
        "slidefov_s=30,30 failed=1 status=Field of view \"abc\" refused: 2 numbers",
        "slidefov_s=20,10 failed=0 status=Light 1 of 1: Slide projector",
        "slidelookat_s=0,0,0 failed=1 status=Aims at \"1,2\" refused: 3 numbers",
        // The refusals left the colour applied before them alone.
        "light=255,170,90\n",
    };
    for (const std::string& line : expected)
        EXPECT_NE(std::string::npos, out.find(line)) << line << "\nin\n" << out;
}

TEST(StartupScriptTest, ThePanelFollowsWidgetCommandsAndKeepsEditsTheyStage) {
    // A script that calls the widget commands itself: what they apply or
    // replace shows in the panel; fields it writes before applying them stay
    // staged across a change of kind.
    TempDir dir;
    SlabFixture slab;
    WriteBrdfSlab(dir, slab);
    const std::string out = After(RunRealScript(
        dir,
        "update\nputs --\n"
        ".slab savelights rig.json\n"
        ".slab changecolor 255 0 0\n.slab svnotifylightchg\n"
        "puts \"swatch=[.panel.light.colour cget -background]\"\n"
        "set radius_s 5\nset currlighttype 1\n.slab chgltype\n"
        "puts \"radius_s=$radius_s [.lights.list get 0]\"\n"
        ".slab svnotifylightchg\n"
        "puts \"radius=[dict get [.slab lightinfo] radius] radius_s=$radius_s\"\n"
        ".slab openlights rig.json\n"
        "puts \"swatch=[.panel.light.colour cget -background] radius_s=$radius_s "
        "[.lights.list get 0]\"\n"
        "exit\n"));
    EXPECT_EQ(
        "swatch=#ff0000\n"
        "radius_s=5 Light 1: Point\n"
        "radius=5 radius_s=5\n"
        "swatch=#ffffff radius_s=3 Light 1: Directional\n",
        out);
}

TEST(StartupScriptTest, ControlsThatDoNothingAreDisabled) {
    // Photographs: lights change nothing, so the light panel and the Lights
    // menu are disabled. A relightable slab: the map only for an environment
    // light, the slide fields only for a slide projector.
    const std::string states =
        "proc states {} {\n"
        "    set s {}\n"
        "    foreach w {.lights.add .panel.light.kind0 .panel.light.radius "
        ".panel.slide.fov .panel.env.browse} {\n"
        "        lappend s [$w cget -state]\n"
        "    }\n"
        "    foreach e {\"Add light\" \"Environment map...\" \"Mixed lights\"} {\n"
        "        lappend s [.menu.lights entrycget $e -state]\n"
        "    }\n"
        "    return $s\n"
        "}\n";
    {
        TempDir dir;
        SlabFixture slab;
        WritePhotoSlab(dir, slab, false);
        const std::string out =
            After(RunRealScript(dir, "update\nputs --\n" + states +
                                         "puts [states]\nputs $lumo::status\nexit\n"));
        EXPECT_EQ(
            "disabled disabled disabled disabled disabled disabled disabled disabled\n"
            "Photographs: lights change nothing  |  centre mode\n",
            out);
    }
    TempDir dir;
    SlabFixture slab;
    WriteBrdfSlab(dir, slab);
    const std::string out = After(
        RunRealScript(dir, "update\nputs --\n" + states +
                               "puts [states]\n"
                               "set currlighttype 2\nlumo::set_type\nputs [states]\n"
                               "set currlighttype 3\nlumo::set_type\nputs [states]\n"
                               "exit\n"));
    EXPECT_EQ(
        "normal normal normal disabled disabled normal disabled normal\n"
        "normal normal normal disabled normal normal normal normal\n"
        "normal normal normal normal disabled normal disabled normal\n",
        out);
}

TEST(StartupScriptTest, TheStatusLineSaysWhenSeveralLightsActAsDirectionalLights) {
    TempDir dir;
    SlabFixture slab;
    WriteBrdfSlab(dir, slab);
    const std::string note =
        "2 lights: point lights and slide projectors act as directional lights "
        "(Lights > Mixed lights)";
    const std::string out = After(
        RunRealScript(dir,
                      "update\nputs --\n"
                      "lumo::add_light\nputs \"1:$lumo::status\"\n"
                      "set currlighttype 1\nlumo::set_type\nputs \"2:$lumo::status\"\n"
                      ".menu.lights invoke \"Mixed lights\"\n"
                      "puts \"3:$mixedlights $lumo::status\"\n"
                      "exit\n"));
    const size_t one = out.find("1:");
    const size_t two = out.find("2:");
    const size_t three = out.find("3:");
    ASSERT_TRUE(one != std::string::npos && two != std::string::npos &&
                three != std::string::npos)
        << out;
    // Two directional lights: nothing to say. A point light among them: the
    // note, until mixed lights are on.
    EXPECT_EQ(std::string::npos, out.substr(one, two - one).find(note)) << out;
    EXPECT_NE(std::string::npos, out.substr(two, three - two).find(note)) << out;
    EXPECT_EQ(0u, out.substr(three).find("3:1 ")) << out;
    EXPECT_EQ(std::string::npos, out.substr(three).find(note)) << out;
}

// The check button relights: a point light beside a directional one lights the
// slab from its position once mixed lights are on, and as a directional light
// again once they are off.
TEST(StartupScriptTest, TheMixedLightsCheckButtonRelights) {
    TempDir dir;
    SlabFixture slab;
    WriteBrdfSlab(dir, slab);
    // Each grab waits for the window to settle (a loaded machine may still be
    // mapping and sizing it at the first).
    RunRealScript(dir,
                  "update\nafter 200\nupdate\n"
                  "lumo::add_light\n"
                  "set currlighttype 1\nlumo::set_type\n"
                  "set radius_s 1.2\nlumo::apply_fields\n"
                  "update\nafter 200\nupdate\n.slab grabscr\n"
                  ".menu.lights invoke \"Mixed lights\"\n"
                  "update\nafter 200\nupdate\n.slab grabscr\n"
                  ".menu.lights invoke \"Mixed lights\"\n"
                  "update\nafter 200\nupdate\n.slab grabscr\n"
                  "exit\n");
    const Photo several = ReadGrab(dir, GrabName(0));
    const Photo mixed = ReadGrab(dir, GrabName(1));
    const Photo again = ReadGrab(dir, GrabName(2));
    ASSERT_GT(several.width, 0);
    ASSERT_EQ(several.width, mixed.width);
    ASSERT_EQ(several.width, again.width);
    EXPECT_TRUE(several.pixels != mixed.pixels) << "mixed lights did not relight";
    EXPECT_TRUE(several.pixels == again.pixels) << "turning them off did not relight";
}

// The extent of what is drawn in a grab: the first and last column and row
// that differ from the background colour of its corner.
struct Extent {
    int x0 = 0, x1 = -1, y0 = 0, y1 = -1;
};

Extent DrawnExtent(const Photo& grab) {
    const Rgb8 background = PixelAt(grab, 0, 0);
    Extent e{grab.width, -1, grab.height, -1};
    for (int y = 0; y < grab.height; ++y) {
        for (int x = 0; x < grab.width; ++x) {
            if (PixelAt(grab, x, y) == background) continue;
            e.x0 = std::min(e.x0, x);
            e.x1 = std::max(e.x1, x);
            e.y0 = std::min(e.y0, y);
            e.y1 = std::max(e.y1, y);
        }
    }
    return e;
}

TEST(StartupScriptTest, ADragAcrossTheWholeViewKeepsTheSlabWholeInTheFrame) {
    // Drags of the pointer bindings across the whole 512-pixel main view, in
    // both drawing modes, each from the start-up view: the slab stays whole
    // (as wide and high as at the start) and does not touch the frame.
    TempDir dir;
    SlabFixture slab;
    slab.cols = slab.rows = 4;
    WriteBrdfSlab(dir, slab);
    std::string commands = "update\n";
    const char* drags[] = {"0 256 511 256", "511 256 0 256", "256 0 256 511",
                           "0 0 511 511"};
    for (const char* mode : {"0", "1"}) {
        commands += std::string("set drawslabmode ") + mode + "\nlumo::set_mode\n" +
                    "update\n.slab grabscr\n";
        for (const char* drag : drags) {
            const std::string d(drag);
            commands += "lassign {" + d +
                        "} x0 y0 x1 y1\n"
                        "event generate .slab <ButtonPress-1> -x $x0 -y $y0\n"
                        "event generate .slab <Motion> -x $x1 -y $y1 -state 256\n"
                        "event generate .slab <ButtonRelease-1> -x $x1 -y $y1\n"
                        "update\n.slab grabscr\n"
                        // Back to the start-up view for the next drag.
                        "event generate .slab <ButtonPress-1> -x $x1 -y $y1\n"
                        "event generate .slab <Motion> -x $x0 -y $y0 -state 256\n"
                        "event generate .slab <ButtonRelease-1> -x $x0 -y $y0\n";
        }
    }
    commands += "exit\n";
    RunRealScript(dir, commands);
    int grab = 0;
    for (int mode = 0; mode < 2; ++mode) {
        const Extent start = DrawnExtent(ReadGrab(dir, GrabName(grab++)));
        ASSERT_LT(start.x0, start.x1) << "nothing drawn";
        for (const char* drag : drags) {
            const std::string name = GrabName(grab++);
            const Photo turned = ReadGrab(dir, name);
            const Extent e = DrawnExtent(turned);
            const std::string what = std::string("mode ") + std::to_string(mode) +
                                     ", drag " + drag + ", " + name;
            EXPECT_GT(e.x0, 0) << what;
            EXPECT_GT(e.y0, 0) << what;
            EXPECT_LT(e.x1, turned.width - 1) << what;
            EXPECT_LT(e.y1, turned.height - 1) << what;
            EXPECT_GE(e.x1 - e.x0, (start.x1 - start.x0) * 98 / 100) << what;
            EXPECT_GE(e.y1 - e.y0, (start.y1 - start.y0) * 98 / 100) << what;
            // And it did turn.
            EXPECT_TRUE(e.x0 != start.x0 || e.y0 != start.y0) << what;
        }
    }
}

}  // namespace
}  // namespace lumo::testing
