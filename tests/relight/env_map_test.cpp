// Environment maps from files: the image library's values, and the failures
// that leave a light unchanged. In a binary of its own: the image library
// keeps threads that other tests' death tests would fork.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "io/image_file.h"
#include "relight/env_map.h"
#include "relight/light_source.h"
#include "tests/relight/relight_fixture.h"

namespace lumo {
namespace {

using lumo::testing::EnvLight;
using lumo::testing::RandomEnvMap;

class EnvMapFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("lumo_envmap_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const char* name) const { return (dir_ / name).string(); }
    std::filesystem::path dir_;
};

TEST_F(EnvMapFileTest, MapsAreReadAsTheImageLibraryNormalisesThem) {
    FloatImage grey;
    grey.width = 3;
    grey.height = 2;
    grey.channels = 1;
    grey.pixels = {0.0f, 0.2f, 1.0f, 0.4f, 0.6f, 0.8f};
    ASSERT_TRUE(WriteImageFile(Path("grey.png"), grey, ImageBits::k8).ok());
    FloatImage hdr;
    hdr.width = 2;
    hdr.height = 1;
    hdr.channels = 3;
    hdr.pixels = {7.5f, 0.25f, 100.0f, 0.0f, 1.0f, 3.0f};
    ASSERT_TRUE(WriteImageFile(Path("sky.exr"), hdr, ImageBits::kFloat).ok());

    LightSrc light;
    light.SetKind(Environment);
    ASSERT_TRUE(light.SetEnvMap(Path("grey.png")).ok());
    ASSERT_TRUE(light.HasEnvironment());
    EXPECT_EQ(Path("grey.png"), light.GetEnvName());
    EXPECT_EQ(3, light.envmap->width);
    EXPECT_FLOAT_EQ(51.0f / 255.0f, light.envmap->At(1, 0, 2));  // grey lights all three
    EXPECT_FLOAT_EQ(204.0f / 255.0f, light.envmap->At(2, 1, 0));
    ASSERT_TRUE(light.SetEnvMap(Path("sky.exr")).ok());
    EXPECT_FLOAT_EQ(100.0f, light.envmap->At(0, 0, 2));  // values above 1 stay
    EXPECT_FLOAT_EQ(3.0f, light.envmap->At(1, 0, 2));
}

TEST_F(EnvMapFileTest, AFailingMapLeavesTheLightUnchangedAndNamesTheFile) {
    FloatImage narrow;
    narrow.width = 1;
    narrow.height = 4;
    narrow.channels = 3;
    narrow.pixels.assign(12, 0.5f);
    ASSERT_TRUE(WriteImageFile(Path("narrow.exr"), narrow, ImageBits::kFloat).ok());
    std::ofstream(Path("junk.png")) << "not a picture\n";
    // One NaN texel (x 2, y 1 from the top, green) and one infinity.
    FloatImage nan = narrow;
    nan.width = 4;
    nan.height = 3;
    nan.pixels.assign(36, 0.25f);
    nan.pixels[(1 * 4 + 2) * 3 + 1] = std::nanf("");
    ASSERT_TRUE(WriteImageFile(Path("nan.exr"), nan, ImageBits::kFloat).ok());
    nan.pixels[(1 * 4 + 2) * 3 + 1] = 0.25f;
    nan.pixels[(2 * 4 + 0) * 3 + 2] = INFINITY;
    ASSERT_TRUE(WriteImageFile(Path("inf.exr"), nan, ImageBits::kFloat).ok());

    LightSrc light = EnvLight(RandomEnvMap(4, 2, 1));
    const auto before = light.envmap;
    struct Case {
        const char* file;
        const char* says;
    };
    const Case cases[] = {
        {"missing.hdr", "missing.hdr"},
        {"junk.png", "junk.png"},
        {"narrow.exr", "is 1 x 4: an environment map is at least 2 x 1"},
        {"nan.exr", ": the value at x 2, y 1 is not a finite number"},
        {"inf.exr", ": the value at x 0, y 2 is not a finite number"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Status status = light.SetEnvMap(Path(c.file));
        ASSERT_FALSE(status.ok());
        EXPECT_NE(std::string::npos, status.message().find(c.says)) << status.message();
        EXPECT_NE(std::string::npos, status.message().find(Path(c.file)));
        EXPECT_EQ(1, std::count(status.message().begin(), status.message().end(), '\n'));
        EXPECT_EQ(before, light.envmap);
    }
}

}  // namespace
}  // namespace lumo
