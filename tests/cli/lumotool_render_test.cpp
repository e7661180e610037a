// lumotool relight --rig / --format and lumotool render, run as processes on
// a small baked demo: rigs equal their --light flags byte for byte, malformed
// rigs are refused with one line, PNG outputs hold the PPM outputs' pixels,
// and rendered paths start and end on their keyframes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bake/bake_scene.h"
#include "io/image_file.h"
#include "io/ppm.h"
#include "model/light_rig.h"
#include "model/view_path.h"
#include "tests/support/lumotool.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

using testing::ProcessResult;
using testing::RunProcess;
using testing::TempDir;

std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The picture's pixels as RGB bytes, top row first, through the project's
// own readers.
std::vector<uint8_t> Pixels(const std::filesystem::path& p) {
    if (p.extension() == ".ppm") {
        Photo photo;
        EXPECT_TRUE(ReadPPMFile(p.c_str(), photo, false).ok()) << p;
        return photo.pixels;
    }
    FloatImage image;
    EXPECT_TRUE(ReadImageFile(p.string(), image).ok()) << p;
    std::vector<uint8_t> out;
    for (float v : image.pixels)
        out.push_back(static_cast<uint8_t>(v * 255.0f + 0.5f));
    return out;
}

class LumotoolRenderTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir();
        tool::BakeOptions options;
        options.grid = 3;
        options.size = 32;
        ASSERT_TRUE(
            tool::BakeDemo(dir_->path().string(), options, [](std::string_view) {}).ok());
    }
    static void TearDownTestSuite() { delete dir_; }

    static ProcessResult Tool(std::vector<std::string> args) {
        return testing::Lumotool(dir_->path().string(), std::move(args));
    }
    static std::filesystem::path In(const std::string& name) {
        return dir_->path() / name;
    }

    static TempDir* dir_;
};

TempDir* LumotoolRenderTest::dir_ = nullptr;

// A point light, a slide projector and the baked sky, with values that are not
// short decimals, so the rig's numbers must travel exactly.
const std::vector<std::string> kLights = {
    "kind=point dir=0.31,-0.2,-0.93 radius=2.7 color=0.9,0.61,0.33",
    "kind=slide dir=-0.4,0.1,-1 radius=4.1 color=0.7,0.7,0.2 lookat=0.1,0,0 "
    "fov=33.3,21 slide=slide.rgb",
    "dir=0.1,0.2,-0.7 color=0.123456789,1,0.5",
    "kind=env map=sky.exr dir=0.1,0.3,-1 spin=12.5 color=0.3,0.35,0.4"};

TEST_F(LumotoolRenderTest, ARigAndTheEquivalentLightFlagsGiveTheSameBytes) {
    LightRig rig;
    for (const std::string& text : kLights) {
        LightSpec spec;
        std::string error;
        ASSERT_TRUE(ParseLightSpec(text, spec, error)) << error;
        rig.lights.push_back(spec);
    }
    rig.harmonics = 9;
    ASSERT_TRUE(WriteLightRig(In("rig.json").string(), rig).ok());

    std::vector<std::string> flags = {"relight", "scene.lid", "by-flags", "--harmonics",
                                      "9"};
    for (const std::string& l : kLights) {
        flags.push_back("--light");
        flags.push_back(l);
    }
    const ProcessResult a = Tool(flags);
    ASSERT_EQ(0, a.exit_code) << a.err;
    const ProcessResult b = Tool({"relight", "scene.lid", "by-rig", "--rig", "rig.json"});
    ASSERT_EQ(0, b.exit_code) << b.err;
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(In("by-flags"))) {
        const std::filesystem::path twin = In("by-rig") / e.path().filename();
        ASSERT_TRUE(std::filesystem::exists(twin)) << twin;
        EXPECT_TRUE(Slurp(e.path()) == Slurp(twin)) << e.path().filename();
        ++files;
    }
    EXPECT_EQ(9, files);
    // The rig differs from the default light: the images are relit by it.
    const ProcessResult c = Tool({"relight", "scene.lid", "default"});
    ASSERT_EQ(0, c.exit_code) << c.err;
    EXPECT_TRUE(Slurp(In("default/view.1.1.ppm")) != Slurp(In("by-rig/view.1.1.ppm")));
}

// The reader's refusals are tested in tests/model/light_spec_test.cpp; here
// one of them at the process boundary, and giving both kinds of lights.
TEST_F(LumotoolRenderTest, AMalformedRigIsRefusedWithOneLineNamingTheFileAndTheFault) {
    std::ofstream(In("bad0.json"))
        << R"({"format": "lumo-rig", "version": 2, "lights": []})";
    const ProcessResult r =
        Tool({"relight", "scene.lid", "bad-out", "--rig", "bad0.json"});
    EXPECT_EQ(1, r.exit_code);
    EXPECT_EQ("[ReadRig]: bad0.json: version must be 1\n", r.err);
    EXPECT_FALSE(std::filesystem::exists(In("bad-out")));
    const ProcessResult both = Tool(
        {"relight", "scene.lid", "x", "--rig", "bad0.json", "--light", "dir=0,0,-1"});
    EXPECT_EQ(2, both.exit_code);
    EXPECT_EQ(0u, both.err.find("lumotool: relight: give --light or --rig, not both\n"))
        << both.err;
}

TEST_F(LumotoolRenderTest, PngOutputsHoldThePixelsOfThePpmOutputs) {
    struct Case {
        std::vector<std::string> ppm, png;
        std::string ppm_file, png_file;
    };
    const std::vector<Case> cases = {
        {{"relight", "scene.lid", "r-ppm", "--light", kLights[0]},
         {"relight", "scene.lid", "r-png", "--light", kLights[0], "--format", "png"},
         "r-ppm/view.2.1.ppm",
         "r-png/view.2.1.png"},
        {{"unpack", "scene.dat", "u-ppm"},
         {"unpack", "scene.dat", "u-png", "--format", "png"},
         "u-ppm/view.1.2.ppm",
         "u-png/view.1.2.png"},
        {{"render", "scene.lid", "f-ppm", "--frames", "2", "--size", "96x64", "--format",
          "ppm"},
         {"render", "scene.lid", "f-png", "--frames", "2", "--size", "96x64"},
         "f-ppm/frame.0001.ppm",
         "f-png/frame.0001.png"},
    };
    for (const Case& c : cases) {
        const ProcessResult a = Tool(c.ppm);
        ASSERT_EQ(0, a.exit_code) << a.err;
        const ProcessResult b = Tool(c.png);
        ASSERT_EQ(0, b.exit_code) << b.err;
        const std::vector<uint8_t> ppm = Pixels(In(c.ppm_file));
        ASSERT_FALSE(ppm.empty());
        EXPECT_TRUE(ppm == Pixels(In(c.png_file))) << c.png_file;
    }
    const ProcessResult bad = Tool({"unpack", "scene.dat", "u-x", "--format", "gif"});
    EXPECT_EQ(2, bad.exit_code);
    EXPECT_EQ(0u, bad.err.find("lumotool: unpack: --format must be png or ppm\n"))
        << bad.err;
}

// A render with fewer frames than the last one into the same folder leaves
// one sequence: the earlier run's later frames go, nothing else does.
TEST_F(LumotoolRenderTest, AShorterRenderLeavesOneSequenceAndTheUsersFiles) {
    ASSERT_EQ(0, Tool({"render", "scene.lid", "seq", "--frames", "4", "--size", "32x32"})
                     .exit_code);
    const std::vector<std::string> users = {"frame.notes.txt", "frame.0007.png.bak",
                                            "myframe.0003.png", "frame.12.png"};
    for (const std::string& name : users)
        std::ofstream(In("seq/" + name)) << "mine";
    std::filesystem::create_directory(In("seq/frame.0009.png"));  // not a file
    const ProcessResult r =
        Tool({"render", "scene.lid", "seq", "--frames", "2", "--size", "32x32"});
    ASSERT_EQ(0, r.exit_code) << r.err;
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(In("seq")))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(
        (std::vector<std::string>{"frame.0000.png", "frame.0001.png",
                                  "frame.0007.png.bak", "frame.0009.png", "frame.12.png",
                                  "frame.notes.txt", "myframe.0003.png"}),
        names);
}

// Picture writes into a file system that takes no byte (the file size limit
// 0, its signal ignored) fail with the file and the reason, status 1, and
// leave no picture under a final name.
TEST_F(LumotoolRenderTest, PngWritesOnAFullDiskFailWithTheReason) {
    struct Case {
        std::vector<std::string> args;
        std::string folder, message;
    } const cases[] = {
        {{"render", "scene.lid", "full-f", "--frames", "1", "--size", "32x32"},
         "full-f",
         "[WriteImage]: cannot write full-f/frame.0000.png: File too large\n"},
        {{"relight", "scene.lid", "full-r", "--format", "png"},
         "full-r",
         "[WriteImage]: cannot write full-r/view.0.0.png: File too large\n"},
        {{"unpack", "scene.dat", "full-u", "--format", "png"},
         "full-u",
         "[WriteImage]: cannot write full-u/view.0.0.png: File too large\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        std::filesystem::create_directory(In(c.folder));  // making it takes no bytes
        std::vector<std::string> args = {"/bin/sh", "-c",
                                         "trap '' XFSZ; ulimit -f 0; exec \"$0\" \"$@\"",
                                         LUMOTOOL_PATH};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProcessResult r = RunProcess(args, dir_->path().string(), "", 300);
        EXPECT_EQ(1, r.exit_code) << r.err;
        // Any reading lines of the scene, then the one message.
        EXPECT_TRUE(r.err == c.message || r.err.ends_with("\n" + c.message)) << r.err;
        EXPECT_TRUE(std::filesystem::is_empty(In(c.folder)));
    }
}

TEST_F(LumotoolRenderTest, APathStartsAndEndsOnItsKeyframesAndMovesBetween) {
    // Two keyframes that differ in view, zoom and lights.
    ViewPath path;
    Keyframe a;
    a.rig = LightRig();
    a.rig->lights.resize(1);
    Keyframe b = a;
    a.time = 0.0f;
    b.time = 2.0f;
    b.turn_x = 0.02f;
    b.turn_y = -0.05f;
    b.zoom = 1.3f;
    b.rig->lights[0].direction = Vec3(0.6f, 0.0f, -0.8f);
    b.rig->lights[0].color[1] = 0.4f;
    path.keyframes = {a, b};
    ASSERT_TRUE(WriteViewPath(In("path.json").string(), path).ok());
    path.keyframes = {a};
    ASSERT_TRUE(WriteViewPath(In("first.json").string(), path).ok());
    path.keyframes = {b};
    ASSERT_TRUE(WriteViewPath(In("last.json").string(), path).ok());

    const std::vector<std::string> common = {"--size", "80x80", "--format", "ppm",
                                             "--quiet"};
    auto render = [&](const std::string& file, const std::string& out, int frames) {
        std::vector<std::string> args = {
            "render",   "scene.lid",           out, "--path", file,
            "--frames", std::to_string(frames)};
        args.insert(args.end(), common.begin(), common.end());
        const ProcessResult r = Tool(args);
        ASSERT_EQ(0, r.exit_code) << r.err;
    };
    render("path.json", "p", 5);
    render("first.json", "p0", 1);
    render("last.json", "p1", 1);
    EXPECT_TRUE(Slurp(In("p0/frame.0000.ppm")) == Slurp(In("p/frame.0000.ppm")));
    EXPECT_TRUE(Slurp(In("p1/frame.0000.ppm")) == Slurp(In("p/frame.0004.ppm")));
    const std::string mid = Slurp(In("p/frame.0002.ppm"));
    EXPECT_TRUE(mid != Slurp(In("p/frame.0000.ppm")));
    EXPECT_TRUE(mid != Slurp(In("p/frame.0004.ppm")));
    // Only whole frames: five files, no temporaries left behind.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(In("p"))) {
        EXPECT_EQ(0u, e.path().filename().string().find("frame.")) << e.path();
        ++files;
    }
    EXPECT_EQ(5, files);
    // The same input gives the same bytes.
    render("path.json", "p-again", 5);
    EXPECT_TRUE(Slurp(In("p/frame.0002.ppm")) == Slurp(In("p-again/frame.0002.ppm")));
}

// The box of a frame's pixels that differ from its corner pixel (the
// background): what is drawn of the slab.
struct DrawnBox {
    int x0, x1, y0, y1;
};

DrawnBox Drawn(const Photo& frame) {
    auto pixel = [&](int x, int y) {
        const size_t i = 3 * (static_cast<size_t>(y) * static_cast<size_t>(frame.width) +
                              static_cast<size_t>(x));
        return std::array<uint8_t, 3>{frame.pixels[i], frame.pixels[i + 1],
                                      frame.pixels[i + 2]};
    };
    const auto background = pixel(0, 0);
    DrawnBox box{frame.width, -1, frame.height, -1};
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            if (pixel(x, y) == background) continue;
            box.x0 = std::min(box.x0, x);
            box.x1 = std::max(box.x1, x);
            box.y0 = std::min(box.y0, y);
            box.y1 = std::max(box.y1, y);
        }
    }
    return box;
}

TEST_F(LumotoolRenderTest, TheTurntableAndTheExamplePathKeepTheWholeSlabInTheFrame) {
    // On this suite's 3 x 3 bake and on a bake with the demo's 8 x 8 grid:
    // every frame of the default turntable (both modes) and of the README's
    // example path shows the slab whole (at least as wide and high as the
    // first frame, within 2%: no patch left out) and clear of the frame's
    // edges.
    TempDir demo;
    tool::BakeOptions options;
    options.grid = 8;
    options.size = 16;
    ASSERT_TRUE(
        tool::BakeDemo(demo.path().string(), options, [](std::string_view) {}).ok());
    const std::string fly_by = std::string(LUMO_EXAMPLES_DIR) + "/fly-by.path.json";
    struct Case {
        std::vector<std::string> options;
        int frames;
    };
    const Case cases[] = {
        {{}, 16},
        {{"--mode", "corner"}, 16},
        {{"--path", fly_by}, 9},
    };
    for (const std::filesystem::path& dir : {dir_->path(), demo.path()}) {
        int run = 0;
        for (const Case& c : cases) {
            const std::string out = "whole" + std::to_string(run++);
            std::vector<std::string> args = {
                LUMOTOOL_PATH, "render",   "scene.lid",
                out,           "--frames", std::to_string(c.frames),
                "--size",      "128x128",  "--format",
                "ppm",         "--quiet"};
            args.insert(args.end(), c.options.begin(), c.options.end());
            const ProcessResult r = RunProcess(args, dir.string(), "", 300);
            ASSERT_EQ(0, r.exit_code) << r.err;
            DrawnBox first{};
            for (int i = 0; i < c.frames; ++i) {
                char name[32];
                std::snprintf(name, sizeof name, "frame.%04d.ppm", i);
                const std::filesystem::path file = dir / out / name;
                Photo frame;
                ASSERT_TRUE(ReadPPMFile(file.c_str(), frame, false).ok()) << file;
                const DrawnBox box = Drawn(frame);
                if (i == 0) first = box;
                const std::string what = file.string();
                EXPECT_GT(box.x0, 0) << what;
                EXPECT_GT(box.y0, 0) << what;
                EXPECT_LT(box.x1, frame.width - 1) << what;
                EXPECT_LT(box.y1, frame.height - 1) << what;
                EXPECT_GE(box.x1 - box.x0, (first.x1 - first.x0) * 98 / 100) << what;
                EXPECT_GE(box.y1 - box.y0, (first.y1 - first.y0) * 98 / 100) << what;
            }
        }
    }
}

// A frame that is not square shows the scene at the scale of the square of its
// shorter side, and more of it along the longer one: its centre square is that
// square frame, byte for byte (frames 0 and 1 of a path zoomed in so far that
// the slab overfills the square: the first keyframe and a turned view).
TEST_F(LumotoolRenderTest, AFrameThatIsNotSquareKeepsTheSceneProportions) {
    constexpr int S = 48;
    ViewPath path;
    Keyframe key;
    key.zoom = 2.5f;
    path.keyframes.push_back(key);
    key.time = 1.0f;
    key.turn_y = 0.03f;
    key.turn_x = -0.02f;
    path.keyframes.push_back(key);
    ASSERT_TRUE(WriteViewPath(In("zoomed.json").string(), path).ok());
    for (const char* light : {"dir=0.2,0.1,-1", "kind=point radius=2 dir=1,0,-1"}) {
        const ProcessResult square = Tool(
            {"render", "scene.lid", "sq", "--frames", "3", "--size", "48x48", "--format",
             "ppm", "--path", "zoomed.json", "--light", light, "--light", "dir=0,0,-1"});
        ASSERT_EQ(0, square.exit_code) << square.err;
        struct Case {
            int width, height;
            int left, top;  // where the square lies in the picture (top row first)
        };
        for (const Case& c :
             {Case{80, 48, 16, 0}, Case{81, 48, 16, 0}, Case{48, 80, 0, 16},
              Case{48, 81, 0, 17}, Case{200, 48, 76, 0}}) {
            const std::string size =
                std::to_string(c.width) + "x" + std::to_string(c.height);
            SCOPED_TRACE(size);
            const ProcessResult r =
                Tool({"render", "scene.lid", "p" + size, "--frames", "3", "--size", size,
                      "--format", "ppm", "--path", "zoomed.json", "--light", light,
                      "--light", "dir=0,0,-1"});
            ASSERT_EQ(0, r.exit_code) << r.err;
            EXPECT_NE(std::string::npos,
                      r.out.find("window size : " + std::to_string(c.width) + " x " +
                                 std::to_string(c.height) + "\n"));
            for (const char* name : {"frame.0000.ppm", "frame.0001.ppm"}) {
                const std::vector<uint8_t> want = Pixels(In("sq") / name);
                const std::vector<uint8_t> got = Pixels(In("p" + size) / name);
                ASSERT_EQ(static_cast<size_t>(c.width * c.height * 3), got.size());
                size_t differ = 0;
                for (int y = 0; y < S; ++y)
                    for (int x = 0; x < S * 3; ++x)
                        differ += want[static_cast<size_t>(y * S * 3 + x)] !=
                                  got[static_cast<size_t>(
                                      ((y + c.top) * c.width + c.left) * 3 + x)];
                EXPECT_EQ(0u, differ) << name;
                // The scene goes on beyond the square: zoomed in, the slab
                // fills more than the square.
                size_t beyond = 0;
                for (int y = 0; y < c.height; ++y)
                    for (int x = 0; x < c.width; ++x) {
                        const bool inside =
                            x >= c.left && x < c.left + S && y >= c.top && y < c.top + S;
                        const uint8_t* p =
                            &got[static_cast<size_t>((y * c.width + x) * 3)];
                        beyond += !inside && (p[0] | p[1] | p[2]) != 0;
                    }
                EXPECT_GT(beyond, 0u) << name;
            }
        }
    }
}

// --quiet: nothing on standard output (the set-up's and the relighting's
// lines, the window size), nothing on standard error but faults.
TEST_F(LumotoolRenderTest, QuietRendersAndRelightsPrintNothing) {
    const std::vector<std::string> point = {"--light", "kind=point radius=2 dir=1,0,-1",
                                            "--light", "kind=slide radius=3 fov=40,40"};
    struct Case {
        std::vector<std::string> args;
        const char* loud_line;  // a line the run prints without --quiet
    };
    const std::vector<Case> cases = {
        {{"render", "scene.lid", "q-render", "--frames", "1", "--size", "64x48"},
         "window size : 64 x 48\n"},
        {{"relight", "scene.lid", "q-relight"}, "Reconstructing image (0,0) ...\n"},
        {{"relight", "scene.lid", "q-mixed", "--mixed-lights"}, "Reconstruct window"},
        {{"render", "scene-dat.lid", "q-dat", "--frames", "1", "--size", "32x32"},
         "window size : 32 x 32\n"},
        {{"relight", "scene-rgb.lid", "q-rgb"}, "scene.00.00.rgb\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), point.begin(), point.end());
        SCOPED_TRACE(args[0] + " " + args[1]);
        const ProcessResult loud = Tool(args);
        ASSERT_EQ(0, loud.exit_code) << loud.err;
        EXPECT_NE(std::string::npos, loud.out.find(c.loud_line)) << loud.out;
        args.push_back("--quiet");
        args[2] += "-q";
        const ProcessResult quiet = Tool(args);
        ASSERT_EQ(0, quiet.exit_code) << quiet.err;
        EXPECT_EQ(0u, quiet.out.size()) << quiet.out;
        EXPECT_EQ("", quiet.err);
    }
}

// --mixed-lights and "mixed": true in a path's rig give the same frames; the
// lights then differ from several lights acting as directional ones.
TEST_F(LumotoolRenderTest, MixedLightsFromTheFlagAndFromAPathRigAgree) {
    LightRig rig;
    for (const char* text : {"kind=point radius=2 dir=1,0,-1 color=1,0.6,0.3",
                             "kind=slide radius=3 fov=40,40 dir=-0.3,0,-1"}) {
        LightSpec spec;
        std::string error;
        ASSERT_TRUE(ParseLightSpec(text, spec, error)) << error;
        rig.lights.push_back(spec);
    }
    rig.mixed = true;
    ViewPath path;
    Keyframe key;
    key.rig = rig;
    path.keyframes.push_back(key);
    key.time = 1.0f;
    key.turn_y = 0.02f;
    path.keyframes.push_back(key);
    ASSERT_TRUE(WriteViewPath(In("mixed-path.json").string(), path).ok());
    const std::string text = Slurp(In("mixed-path.json"));
    EXPECT_NE(std::string::npos, text.find("\"mixed\": true")) << text;
    rig.mixed = false;
    ASSERT_TRUE(WriteLightRig(In("unmixed-rig.json").string(), rig).ok());
    EXPECT_EQ(std::string::npos, Slurp(In("unmixed-rig.json")).find("mixed"));

    const std::vector<std::string> common = {"--frames", "2",        "--size",
                                             "48x48",    "--format", "ppm"};
    auto render = [&](const std::string& out, std::vector<std::string> extra) {
        std::vector<std::string> args = {"render", "scene.lid", out};
        args.insert(args.end(), common.begin(), common.end());
        args.insert(args.end(), extra.begin(), extra.end());
        const ProcessResult r = Tool(args);
        EXPECT_EQ(0, r.exit_code) << r.err;
    };
    render("m-path", {"--path", "mixed-path.json"});
    render("m-flag",
           {"--path", "mixed-path.json", "--rig", "unmixed-rig.json", "--mixed-lights"});
    render("m-none", {"--rig", "unmixed-rig.json"});
    render("m-rigflag", {"--rig", "unmixed-rig.json", "--mixed-lights"});
    for (const char* name : {"frame.0000.ppm", "frame.0001.ppm"}) {
        EXPECT_TRUE(Slurp(In("m-path") / name) == Slurp(In("m-flag") / name)) << name;
    }
    EXPECT_TRUE(Slurp(In("m-path") / "frame.0000.ppm") ==
                Slurp(In("m-rigflag") / "frame.0000.ppm"));
    EXPECT_TRUE(Slurp(In("m-none") / "frame.0000.ppm") !=
                Slurp(In("m-rigflag") / "frame.0000.ppm"));
}

TEST_F(LumotoolRenderTest, RenderUsageErrorsAndABadPathEndAsTheRulesSay) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err_start;
    };
    std::ofstream(In("badpath.json")) << R"({"format": "lumo-path", "version": 1,
        "keyframes": [{"time": 1}, {"time": 1}]})";
    const std::vector<Case> cases = {
        {{"--size", "12"}, 2, "lumotool: render: --size must be WxH, each 1..8192\n"},
        {{"--frames", "0"}, 2, "lumotool: render: --frames must be at least 1\n"},
        {{"--mode", "side"},
         2,
         "lumotool: render: --mode must be auto, corner or centre\n"},
        {{"--magnify", "0"},
         2,
         "lumotool: render: --magnify must be a number from 1/64 to 4096, or actual\n"},
        {{"--magnify", "2x"},
         2,
         "lumotool: render: --magnify must be a number from 1/64 to 4096, or actual\n"},
        {{"--pan", "3"}, 2, "lumotool: render: --pan must be DX,DY\n"},
        {{"--path", "badpath.json"},
         1,
         "[ReadPath]: badpath.json: keyframe 1: times must increase\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"render", "scene.lid", "never"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProcessResult r = Tool(args);
        EXPECT_EQ(c.status, r.exit_code) << c.args[0];
        EXPECT_EQ(0u, r.err.find(c.err_start)) << r.err;
        EXPECT_FALSE(std::filesystem::exists(In("never")));
    }
}

TEST_F(LumotoolRenderTest, AutoModeAMagnificationAndAPanDrawWhatTheySay) {
    auto frame = [&](const std::string& out, std::vector<std::string> extra) {
        std::vector<std::string> args = {"render",   "scene.lid", out,
                                         "--frames", "1",         "--size",
                                         "96x96",    "--format",  "ppm"};
        args.insert(args.end(), extra.begin(), extra.end());
        const ProcessResult r = Tool(args);
        EXPECT_EQ(0, r.exit_code) << r.err;
        Photo p;
        EXPECT_TRUE(ReadPPMFile(In(out + "/frame.0000.ppm").c_str(), p, false).ok());
        return p;
    };
    // The demo has 3 x 3 cameras: auto is centre mode.
    const Photo plain = frame("auto", {});
    EXPECT_EQ(frame("centre", {"--mode", "centre"}).pixels, plain.pixels);
    EXPECT_NE(frame("corner", {"--mode", "corner"}).pixels, plain.pixels);
    // A pan of 5 right and 3 down moves the whole frame by that (within the
    // rounding of texture coordinates interpolated from other positions).
    const Photo moved = frame("pan", {"--pan", "5,3"});
    int same = 0, count = 0;
    for (int y = 10; y < 80; ++y)
        for (int x = 10; x < 80; ++x)
            for (int c = 0; c < 3; ++c) {
                ++count;
                same += std::abs(moved.pixels[((y + 3) * 96 + x + 5) * 3 + c] -
                                 plain.pixels[(y * 96 + x) * 3 + c]) <= 2;
            }
    EXPECT_GE(same, count * 98 / 100) << same << " of " << count;
    // Magnified twice about the centre: the frame's middle half fills it.
    const Photo big = frame("big", {"--magnify", "2"});
    EXPECT_NE(big.pixels, plain.pixels);
    // At actual pixels the demo's 32-pixel images cover about 32 pixels.
    const Photo actual = frame("actual", {"--magnify", "actual", "--mode", "corner"});
    int background = 0;
    for (int x = 0; x < 96; ++x) {
        const uint8_t* p = &actual.pixels[(48 * 96 + x) * 3];
        background += p[0] == 153 && p[1] == 153 && p[2] == 204;  // corner mode's clear
    }
    EXPECT_GE(background, 96 - 36);
    EXPECT_LE(background, 96 - 28);
}

}  // namespace
}  // namespace lumo
