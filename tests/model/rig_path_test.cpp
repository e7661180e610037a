// Light rigs and view paths in the model: the rig text carries every value
// back exactly, an opened rig keeps its exact directions under the arcballs,
// and paths interpolate as documented.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "io/image_file.h"
#include "io/sgi_writer.h"
#include "model/light_control.h"
#include "model/light_rig.h"
#include "model/light_steering.h"
#include "model/view_path.h"
#include "tests/support/memory_limit.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

// A 4 x 2 environment map of one grey written to `path`.
bool WriteGreySky(const std::string& path, float grey) {
    FloatImage sky;
    sky.width = 4;
    sky.height = 2;
    sky.channels = 3;
    sky.pixels.assign(4 * 2 * 3, grey);
    return WriteImageFile(path, sky, ImageBits::kFloat).ok();
}

LightSpec Spec(const std::string& text) {
    LightSpec spec;
    std::string error;
    EXPECT_TRUE(ParseLightSpec(text, spec, error)) << error;
    return spec;
}

// Rigs and paths are read only from regular files of a bounded size: a
// folder, a FIFO (never waited on) or a device is refused by name, and so is
// a file over the limit before it is parsed (a rig of millions of lights).
TEST(RigPathFileTest, OnlySmallRegularFilesAreRead) {
    testing::TempDir dir;
    std::filesystem::create_directory(dir.File("folder"));
    ASSERT_EQ(0, mkfifo(dir.File("fifo").c_str(), 0600));
    dir.Write("huge", "{\"lights\": [");
    std::filesystem::resize_file(dir.File("huge"), (size_t{64} << 20) + 1);
    struct Case {
        std::string path;
        std::string rig_why;
        std::string path_why;
    } const cases[] = {
        {dir.File("folder"), "not a regular file", "not a regular file"},
        {dir.File("fifo"), "not a regular file", "not a regular file"},
        {"/dev/zero", "not a regular file", "not a regular file"},
        {dir.File("huge"), "larger than the limit of 1048576 bytes",
         "larger than the limit of 67108864 bytes"},
        {dir.File("missing"), "cannot read the file", "cannot read the file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        LightRig rig;
        EXPECT_EQ("[ReadRig]: " + c.path + ": " + c.rig_why + "\n",
                  ReadLightRig(c.path, rig).message());
        ViewPath path;
        EXPECT_EQ("[ReadPath]: " + c.path + ": " + c.path_why + "\n",
                  ReadViewPath(c.path, path).message());
    }
}

// A path naming one map in every keyframe reads it once: every keyframe's
// light shares the one map.
TEST(RigPathFileTest, AMapNamedByManyKeyframesIsReadOnce) {
    testing::TempDir dir;
    ASSERT_TRUE(WriteGreySky(dir.File("sky.exr"), 0.5f));
    std::string text = R"({"format": "lumo-path", "version": 1, "keyframes": [)";
    for (int i = 0; i < 40; ++i) {
        text += (i > 0 ? ", " : "") + std::string(R"({"time": )") + std::to_string(i) +
                R"(, "rig": {"format": "lumo-rig", "version": 1, "lights": [{"kind": )"
                R"("env", "map": ")" +
                dir.File("sky.exr") + R"("}]}})";
    }
    text += "]}";
    ViewPath path;
    ASSERT_TRUE(ParseViewPath(text, "path.json", path).ok());
    ASSERT_EQ(40u, path.keyframes.size());
    const auto& first = path.keyframes[0].rig->lights[0].envmap;
    ASSERT_NE(nullptr, first);
    for (const Keyframe& k : path.keyframes)
        EXPECT_EQ(first, k.rig->lights[0].envmap);
}

// Text whose JSON value would be many times its size (nesting deeper than
// any rig or path goes, a list longer than the file could hold) is refused
// while it is read, with one line.
TEST(RigPathFileTest, TextThatWouldGrowFarBeyondItsSizeIsRefusedWhileRead) {
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const std::string path_head =
        R"({"format": "lumo-path", "version": 1, "keyframes": )";
    std::string numbers = "[0";
    for (int i = 0; i < 2000; ++i)
        numbers += ",0";
    numbers += "]";
    const std::string long_turn =
        path_head + R"([{"time": 0, "turn": )" + numbers + "}]}";
    const std::string rig_head = R"({"format": "lumo-rig", "version": 1, "lights": )";
    LightRig rig;
    EXPECT_EQ("[ReadRig]: r.json: not JSON: nested more than 16 deep\n",
              ParseLightRig(rig_head + deep + "}", "r.json", rig).message());
    ViewPath path;
    EXPECT_EQ("[ReadPath]: p.json: not JSON: nested more than 16 deep\n",
              ParseViewPath(path_head + deep + "}", "p.json", path).message());
    EXPECT_EQ("[ReadPath]: p.json: not JSON: more than " +
                  std::to_string(long_turn.size() / 10) +
                  " elements in one array or object\n",
              ParseViewPath(long_turn, "p.json", path).message());
    // Depth 16 and lists the file can hold still read as before.
    EXPECT_EQ(
        "[ReadPath]: p.json: keyframe 0: turn must be an array of 2 numbers\n",
        ParseViewPath(path_head + R"([{"time": 0, "turn": [0, 0, 0]}]})", "p.json", path)
            .message());
}

// A path of 48 MB of empty lists, under a memory limit of 16 times its size:
// refused with its line once the list is longer than the file could hold (5
// million, about 400 MB of value), where the whole value of 16 million would
// take well over 1 GB.
TEST(RigPathFileTest, AFloodOfEmptyListsIsRefusedWithinAFewTimesItsSize) {
#ifdef LUMO_ASAN
    GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto run = [] {
        std::string text = R"({"format": "lumo-path", "version": 1, "keyframes": [[])";
        text.reserve(48u << 20);
        while (text.size() < (48u << 20))
            text += ",[]";
        text += "]}";
        testing::LimitMemory(768u << 20);
        ViewPath path;
        const Status s = ParseViewPath(text, "p.json", path);
        std::fputs(s.message().c_str(), stderr);
        std::exit(s.message().find("elements in one array or object") != std::string::npos
                      ? 3
                      : 4);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(3), "elements in one array or object");
#endif
}

// A rig and a path read with one cache (lumotool render --rig R --path P)
// read a map or slide they both name once: once the rig has read them, the
// files can go and the path still gets them, as every keyframe of the path
// and the rig's lights share the one copy; without the cache the path would
// read them again. Applying a light takes the slide read then.
TEST(RigPathFileTest, ARigAndAPathSharingACacheReadTheirMapsAndSlidesOnce) {
    testing::TempDir dir;
    const std::string map = dir.File("sky.exr");
    ASSERT_TRUE(WriteGreySky(map, 0.5f));
    Photo picture;
    ASSERT_TRUE(picture.Alloc(3, 2).ok());
    for (size_t i = 0; i < picture.pixels.size(); ++i)
        picture.pixels[i] = static_cast<uint8_t>(10 * i + 1);
    const std::string slide = dir.File("slide.rgb");
    ASSERT_TRUE(WriteSGIRGB(slide.c_str(), picture).ok());
    const std::string rig_text =
        R"({"format": "lumo-rig", "version": 1, "lights": [{"kind": "env", "map": ")" +
        map + R"("}, {"kind": "env", "map": ")" + map +
        R"(", "spin": 30}, {"kind": "slide", "slide": ")" + slide +
        R"("}, {"kind": "slide", "slide": ")" + slide + R"(", "fov": [10, 20]}]})";
    std::string path_text = R"({"format": "lumo-path", "version": 1, "keyframes": [)";
    for (int i = 0; i < 3; ++i)
        path_text += (i > 0 ? ", " : "") + std::string(R"({"time": )") +
                     std::to_string(i) + R"(, "rig": )" + rig_text + "}";
    path_text += "]}";
    const std::string rig_file = dir.File("rig.json");
    {
        std::FILE* f = std::fopen(rig_file.c_str(), "w");
        ASSERT_NE(nullptr, f);
        std::fputs(rig_text.c_str(), f);
        std::fclose(f);
    }

    MapFileCache maps;
    LightRig rig;
    ASSERT_TRUE(ReadLightRig(rig_file, rig, &maps).ok());
    ASSERT_EQ(4u, rig.lights.size());
    const auto& shared = rig.lights[0].envmap;
    ASSERT_NE(nullptr, shared);
    EXPECT_EQ(shared, rig.lights[1].envmap);
    const auto& shared_slide = rig.lights[2].slideimage;
    ASSERT_NE(nullptr, shared_slide);
    EXPECT_EQ(shared_slide, rig.lights[3].slideimage);
    ASSERT_TRUE(std::filesystem::remove(map));
    ASSERT_TRUE(std::filesystem::remove(slide));

    ViewPath path;
    const Status read = ParseViewPath(path_text, "path.json", path, &maps);
    ASSERT_TRUE(read.ok()) << read.message();
    for (const Keyframe& k : path.keyframes) {
        EXPECT_EQ(shared, k.rig->lights[0].envmap);
        EXPECT_EQ(shared, k.rig->lights[1].envmap);
        EXPECT_EQ(shared_slide, k.rig->lights[2].slideimage);
        EXPECT_EQ(shared_slide, k.rig->lights[3].slideimage);
    }
    LightSrc light;
    ASSERT_TRUE(ApplyLightSpec(path.keyframes[2].rig->lights[3], light).ok());
    EXPECT_EQ(slide, light.GetSlideName());
    EXPECT_EQ(picture.pixels, light.slide.pixels);
    EXPECT_EQ(3, light.slide.width);
    // Without the cache the path reads the files, which are gone.
    ViewPath alone;
    EXPECT_NE(std::string::npos,
              ParseViewPath(path_text, "path.json", alone).message().find("sky.exr"));
}

TEST(LightRigTest, TheTextGivesBackEveryValueBitForBit) {
    // A slide whose name needs escaping in JSON; the reader checks it loads.
    testing::TempDir dir;
    const std::string slide = dir.File("my \"slide\".rgb");
    Photo photo;
    ASSERT_TRUE(photo.Alloc(2, 1).ok());
    ASSERT_TRUE(WriteSGIRGB(slide.c_str(), photo).ok());
    LightRig rig;
    rig.harmonics = 7;
    rig.current = 2;
    rig.lights = {Spec("dir=0.1,0.2,-0.3 radius=1.0000001 color=0.1,0.2,0.30000001"),
                  Spec("kind=slide dir=1e-7,1,0 radius=123456.7 lookat=0.3,-0.1,2 "
                       "up=0,0,1 fov=12.34,170"),
                  Spec("kind=point color=0.003921569,1,0"), Spec("kind=reserved")};
    rig.lights[1].slide = slide;
    // An environment light: its map is read when the rig is.
    const std::string map = dir.File("sky \\ map.exr");
    ASSERT_TRUE(WriteGreySky(map, 0.25f));
    rig.lights.push_back(Spec("kind=env dir=0,0.6,-0.8 spin=-33.3 color=1,0.5,0.25"));
    rig.lights.back().map = map;
    const std::string text = LightRigText(rig);
    LightRig back;
    const Status s = ParseLightRig(text, "t", back);
    ASSERT_TRUE(s.ok()) << s.message() << text;
    EXPECT_EQ(7, back.harmonics);
    EXPECT_EQ(2, back.current);
    ASSERT_EQ(rig.lights.size(), back.lights.size());
    for (size_t i = 0; i < rig.lights.size(); ++i) {
        // The same key=value text: every float and word is the same.
        EXPECT_EQ(FormatLightSpec(rig.lights[i]), FormatLightSpec(back.lights[i]));
        EXPECT_EQ(0, std::memcmp(&rig.lights[i].direction, &back.lights[i].direction,
                                 sizeof(Vec3)));
    }
    EXPECT_EQ(slide, back.lights[1].slide);
    EXPECT_TRUE(back.lights[4].env);
    EXPECT_EQ(map, back.lights[4].map);
    ASSERT_NE(nullptr, back.lights[4].envmap);
    EXPECT_EQ(4, back.lights[4].envmap->width);
    // The spec line reads back as the same light too.
    EXPECT_EQ(FormatLightSpec(rig.lights[0]),
              FormatLightSpec(Spec(FormatLightSpec(rig.lights[0]))));
}

TEST(LightRigTest, AnOpenedRigKeepsItsDirectionsUnderTheArcballsUntilADrag) {
    auto model = std::make_unique<Model>();
    // A light-editing view that looks from an angle.
    model->lightview.created = 1;
    MatIdentity(model->lightview.modelview);
    const float c = std::cos(0.3f), s = std::sin(0.3f);
    model->lightview.modelview.at(0, 0) = c;
    model->lightview.modelview.at(0, 2) = s;
    model->lightview.modelview.at(2, 0) = -s;
    model->lightview.modelview.at(2, 2) = c;
    model->lightview.modelview.at(2, 3) = -5.0f;
    for (LightControl& control : model->lights.controls)
        control.arcball.Reset();
    LightRig rig;
    rig.lights = {Spec("dir=0.3,-0.4,-0.5"), Spec("dir=0.1,0.9,0.2"), Spec("dir=0,0,1")};
    rig.current = 1;
    ASSERT_TRUE(ApplyLightRig(*model, rig).ok());
    AimLightControls(*model);
    for (size_t i = 0; i < rig.lights.size(); ++i) {
        const Vec3 d = FrameDirection(
            LightFrame(model->lightview.modelview, model->lights.controls[i].arcball));
        const LightSpec& want = rig.lights[i];
        EXPECT_NEAR(want.direction.x, d.x, 1e-5) << i;
        EXPECT_NEAR(want.direction.y, d.y, 1e-5) << i;
        EXPECT_NEAR(want.direction.z, d.z, 1e-5) << i;
    }
    // Redraws sync the current light from its arcball: the direction stays exact.
    SteerCurrentLight(*model);
    EXPECT_EQ(rig.lights[1].direction.y, model->lights.table[1].direction.y);
    EXPECT_EQ(rig.lights[1].direction.x, model->lights.table[1].direction.x);
    // A drag takes the light over again.
    ArcBallPress(*model, 150, 150);
    EXPECT_EQ(0, model->lights.controls[1].direction_pinned);
}

TEST(LightRigTest, AnEnvironmentsArcballTakesItsWholeFrameSpinIncluded) {
    auto model = std::make_unique<Model>();
    model->lightview.created = 1;
    MatIdentity(model->lightview.modelview);
    const float c = std::cos(0.4f), s = std::sin(0.4f);
    model->lightview.modelview.at(1, 1) = c;
    model->lightview.modelview.at(1, 2) = -s;
    model->lightview.modelview.at(2, 1) = s;
    model->lightview.modelview.at(2, 2) = c;
    model->lightview.modelview.at(2, 3) = -3.0f;
    for (LightControl& control : model->lights.controls)
        control.arcball.Reset();
    LightRig rig;
    // A tilted zenith, a zenith along -x (azimuth 0 then starts from +y), the
    // zenith straight down, and no spin at all.
    rig.lights = {Spec("kind=env dir=0.2,0.5,-0.8 spin=75"),
                  Spec("kind=env dir=1,0,0 spin=-120"),
                  Spec("kind=env dir=0,0,1 spin=30"), Spec("kind=env")};
    ASSERT_TRUE(ApplyLightRig(*model, rig).ok());
    AimLightControls(*model);
    for (size_t i = 0; i < rig.lights.size(); ++i) {
        SCOPED_TRACE(FormatLightSpec(rig.lights[i]));
        const Mat4 frame =
            LightFrame(model->lightview.modelview, model->lights.controls[i].arcball);
        const Vec3 d = FrameDirection(frame);
        EXPECT_NEAR(rig.lights[i].direction.x, d.x, 1e-5);
        EXPECT_NEAR(rig.lights[i].direction.y, d.y, 1e-5);
        EXPECT_NEAR(rig.lights[i].direction.z, d.z, 1e-5);
        EXPECT_NEAR(rig.lights[i].spin, FrameEnvSpin(frame, d), 1e-3);
        // Taking the light over with its arcball keeps where it stood.
        model->lights.currlight = static_cast<int32_t>(i);
        ArcBallPress(*model, 150, 150);
        ArcBallRelease(*model);
        EXPECT_NEAR(rig.lights[i].spin, model->lights.table[i].envspin, 1e-3);
        EXPECT_NEAR(rig.lights[i].direction.z, model->lights.table[i].direction.z, 1e-5);
    }
}

TEST(ViewPathTest, FramesBetweenKeyframesSlerpTheViewAndTheLights) {
    ViewPath path;
    Keyframe a, b, c;
    a.time = 0.0f;
    a.rig = LightRig();
    a.rig->lights = {Spec("dir=1,0,0 color=0,0,0 radius=2")};
    b = a;
    b.time = 1.0f;
    b.turn_y = 1.0f;  // a quarter turn about y
    b.zoom = 3.0f;
    b.rig->lights = {Spec("dir=0,1,0 color=1,0.5,0 radius=4")};
    c.time = 2.0f;
    c.mode = 0;
    c.rig = LightRig();
    c.rig->lights = {Spec("kind=point dir=0,0,-1")};
    path.keyframes = {a, b, c};

    const PathSample mid = SamplePath(path, 0.5f);
    ASSERT_TRUE(mid.use_rotation);
    // Half of a quarter turn about y: angle pi/4, so w = cos(pi/8).
    EXPECT_NEAR(std::cos(M_PI / 8), mid.rotation.w, 1e-6);
    EXPECT_NEAR(std::sin(M_PI / 8), mid.rotation.y, 1e-6);
    EXPECT_NEAR(0.0, mid.rotation.x, 1e-7);
    EXPECT_FLOAT_EQ(2.0f, mid.zoom);
    ASSERT_TRUE(mid.rig);
    const LightSpec& l = mid.rig->lights[0];
    EXPECT_NEAR(std::sqrt(0.5), l.direction.x, 1e-6);  // slerp, not lerp
    EXPECT_NEAR(std::sqrt(0.5), l.direction.y, 1e-6);
    EXPECT_FLOAT_EQ(0.5f, l.color[0]);
    EXPECT_FLOAT_EQ(3.0f, l.radius);

    // At a keyframe: its exact turns, no quaternion.
    const PathSample at_b = SamplePath(path, 1.0f);
    EXPECT_FALSE(at_b.use_rotation);
    EXPECT_EQ(1.0f, at_b.turn_y);
    // Lights of different kinds do not blend: the earlier keyframe's hold, as
    // does its mode.
    const PathSample late = SamplePath(path, 1.5f);
    EXPECT_EQ(1, late.mode);
    EXPECT_EQ(FormatLightSpec(b.rig->lights[0]), FormatLightSpec(late.rig->lights[0]));
    EXPECT_EQ(0, SamplePath(path, 5.0f).mode);

    // The path text reads back to the same keyframes.
    ViewPath back;
    ASSERT_TRUE(ParseViewPath(ViewPathText(path), "p", back).ok());
    ASSERT_EQ(3u, back.keyframes.size());
    EXPECT_EQ(3.0f, back.keyframes[1].zoom);
    EXPECT_EQ(0, back.keyframes[2].mode);
    EXPECT_EQ(FormatLightSpec(c.rig->lights[0]),
              FormatLightSpec(back.keyframes[2].rig->lights[0]));
}

}  // namespace
}  // namespace lumo
