// The light-spec parser and the rig reader, called directly: what they
// accept and each refusal's message (lumotool's tests keep one of each at the
// process boundary).
#include "model/light_spec.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "io/image_file.h"
#include "model/light_rig.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

using lumo::testing::TempDir;

TEST(LightSpecTest, ParsesKeysWithSpacesOrSemicolonsAndClamps) {
    LightSpec spec;
    std::string error;
    ASSERT_TRUE(ParseLightSpec(
        "kind=slide; radius=0.5 fov=200,-3;dir=0,3,-4 color=1,0.5,0", spec, error))
        << error;
    EXPECT_EQ(SlideProjector, spec.kind);
    EXPECT_EQ(1.0f, spec.radius);
    EXPECT_EQ(180.0f, spec.fov[0]);
    EXPECT_EQ(0.0f, spec.fov[1]);
    EXPECT_FLOAT_EQ(0.6f, spec.direction.y);
    EXPECT_FLOAT_EQ(-0.8f, spec.direction.z);
    EXPECT_EQ(0.5f, spec.color[1]);
    ASSERT_TRUE(ParseLightSpec("", spec, error));
    EXPECT_EQ(Directional, spec.kind);
    EXPECT_EQ(-1.0f, spec.direction.z);
    EXPECT_EQ("slide.rgb", spec.slide);
}

TEST(LightSpecTest, MalformedSpecsAreRefusedWithAReason) {
    for (const char* text : {"kind=lamp", "dir=0,0,0", "dir=1,2", "radius=far",
                             "nonsense", "fov=10", "color=1,1,1,1", "slide="}) {
        LightSpec spec;
        std::string error;
        EXPECT_FALSE(ParseLightSpec(text, spec, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(LightRigTest, MalformedRigsAreRefusedWithOneLineNamingTheFault) {
    TempDir dir;
    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    FloatImage sky;
    sky.width = 4;
    sky.height = 2;
    sky.channels = 3;
    sky.pixels.assign(4 * 2 * 3, 0.5f);
    ASSERT_TRUE(WriteImageFile("sky.png", sky, ImageBits::k8).ok());
    std::string many = R"({"format": "lumo-rig", "version": 1, "lights": [)";
    for (int i = 0; i < 31; ++i)
        many += std::string(i ? "," : "") + R"({"kind": "dir"})";
    many += "]}";
    const std::string head = R"({"format": "lumo-rig", "version": 1, "lights": [)";
    struct Case {
        std::string text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"{\"format\": ",
         "not JSON: parse error at line 1, column 12: syntax error "
         "while parsing value - unexpected end of input; expected '[', "
         "'{', or a literal"},
        {R"({"format": "other", "version": 1, "lights": []})",
         "format must be \"lumo-rig\""},
        {R"({"format": "lumo-rig", "version": 2, "lights": []})", "version must be 1"},
        // Too large even for a float: the parser throws other than on syntax.
        {R"({"format": "lumo-rig", "version": 777777777777777777777777777777777777777777777, "lights": []})",
         "not JSON: number overflow parsing "
         "'777777777777777777777777777777777777777777777'"},
        {head + R"({"kind": "laser"}]})",
         "light 0: bad value for kind: 'laser' (dir, point, slide, env or reserved)"},
        {head + R"({"kind": "dir"}, {"dir": "0,0,-1"}]})",
         "light 1: dir must be an array of 3 numbers"},
        {head + R"({"radius": [3]}]})", "light 0: radius must be a number"},
        {head + R"({"color": [1, 1]}]})", "light 0: color must be an array of 3 numbers"},
        {head + R"({"kind": 1}]})", "light 0: kind must be a string"},
        {head + R"({"bright": 1}]})",
         "light 0: unknown key 'bright' (kind, dir, radius, color, lookat, up, fov, "
         "slide, map, spin)"},
        {head + R"({"dir": [0, 0, 0]}]})",
         "light 0: bad value for dir: '0,0,0' (X,Y,Z, not all zero)"},
        {head + R"({"kind": "slide", "slide": "missing.rgb"}]})",
         "light 0: cannot read the slide 'missing.rgb'"},
        {head + R"({"kind": "env"}]})", "light 0: kind=env wants map=FILE"},
        {head + R"({"kind": "env", "map": "none.hdr"}]})",
         "light 0: [ReadImage]: cannot read none.hdr: no such file"},
        {head + R"({"kind": "env", "map": "sky.png", "spin": "east"}]})",
         "light 0: spin must be a number"},
        {head + R"({"kind": "dir"}], "current": 1})",
         "current must be an integer in 0..0"},
        {many, "more than 30 lights (31)"},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string name = "bad" + std::to_string(i) + ".json";
        LightRig rig;
        EXPECT_EQ("[ReadRig]: " + name + ": " + cases[i].message + "\n",
                  ParseLightRig(cases[i].text, name, rig).message())
            << cases[i].text;
    }
    std::filesystem::current_path(here);
}

}  // namespace
}  // namespace lumo
