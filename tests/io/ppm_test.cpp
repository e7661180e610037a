#include "io/ppm.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

TEST(PpmTest, WritesTheHeaderAndRowsUprightOrNot) {
    testing::TempDir dir;
    Photo p;
    ASSERT_TRUE(p.Alloc(2, 3).ok());
    for (size_t i = 0; i < p.pixels.size(); ++i)
        p.pixels[i] = static_cast<uint8_t>(i);
    const std::string path = dir.File("a.ppm");
    ASSERT_TRUE(WritePPMFile(path.c_str(), p, false).ok());
    const std::string bytes = testing::ReadFileBytes(path);
    EXPECT_EQ("P6\n2 3\n255\n", bytes.substr(0, 11));
    EXPECT_EQ(std::string(p.pixels.begin(), p.pixels.end()), bytes.substr(11));

    ASSERT_TRUE(WritePPMFile(path.c_str(), p, true).ok());
    const std::string upright = testing::ReadFileBytes(path);
    EXPECT_EQ(std::string(p.pixels.begin() + 12, p.pixels.end()), upright.substr(11, 6));

    for (bool up : {false, true}) {
        ASSERT_TRUE(WritePPMFile(path.c_str(), p, up).ok());
        Photo back;
        ASSERT_TRUE(ReadPPMFile(path.c_str(), back, up).ok());
        EXPECT_EQ(p.pixels, back.pixels);
        EXPECT_EQ(2, back.width);
        EXPECT_EQ(1.0f, back.x1);
    }
}

TEST(PpmTest, RefusedImages) {
    testing::TempDir dir;
    Photo empty;
    EXPECT_EQ("[WritePPM]: image without pixels\n",
              WritePPMFile(dir.File("e.ppm").c_str(), empty, false).message());
    Photo p;
    for (const char* text :
         {"P5\n1 1\n255\nabc", "P6\n1 1\n65535\n", "P6\n2 2\n255\nabc", ""}) {
        const std::string path = dir.Write("bad.ppm", text);
        EXPECT_EQ("[ReadPPM]: " + path + " is not a binary PPM image\n",
                  ReadPPMFile(path.c_str(), p, false).message());
    }
}

// A write the system refuses names the file and the reason; a file that
// cannot be replaced by a rename (a device) is refused before any byte.
TEST(PpmTest, WriteFailuresNameTheFileAndTheReason) {
    Photo p;
    p.width = 2;
    p.height = 1;
    p.pixels.assign(6, 9);
    std::FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(nullptr, full);
    EXPECT_EQ("[WritePPM]: cannot write /dev/full: No space left on device\n",
              WritePPM(full, p, false, "/dev/full").message());
    std::fclose(full);
    EXPECT_EQ("[WritePPM]: cannot write /dev/full: not a regular file\n",
              WritePPMFile("/dev/full", p, false).message());
    testing::TempDir dir;
    EXPECT_EQ("[WritePPM]: cannot open " + dir.File("no/such.ppm") + " for writing\n",
              WritePPMFile(dir.File("no/such.ppm").c_str(), p, false).message());
}

}  // namespace
}  // namespace lumo
