// The picture-file wrapper: values normalised by bit depth, rows top first,
// every format the fitter is promised, and one-line errors naming the file.
#include "io/image_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <string>

#include "io/ppm.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

using lumo::testing::TempDir;

// A smooth 5 x 3 RGB picture (so that lossy JPEG stays close) whose values
// lie on all the grids (multiples of 1/255 are exact in 8 and 16 bits:
// 65535 = 257 * 255) and differ from pixel to pixel.
FloatImage Pattern() {
    FloatImage img;
    img.width = 5;
    img.height = 3;
    img.channels = 3;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            for (int ch = 0; ch < 3; ++ch)
                img.pixels.push_back(static_cast<float>(40 + 25 * x + 35 * y + 9 * ch) /
                                     255.0f);
        }
    }
    return img;
}

struct FormatCase {
    const char* file;
    ImageBits bits;
    float tolerance;  // of the mean difference of the values read back (lossy formats)
};

TEST(ImageFileTest, RoundTripsEveryFormatWithItsNormalisation) {
    const FormatCase cases[] = {
        {"a.png", ImageBits::k8, 0.0f},      {"a16.png", ImageBits::k16, 0.0f},
        {"a.tif", ImageBits::k16, 0.0f},     {"a.exr", ImageBits::kFloat, 0.0f},
        {"a.hdr", ImageBits::kFloat, 0.01f}, {"a.jpg", ImageBits::k8, 0.03f},
    };
    TempDir dir;
    const FloatImage want = Pattern();
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(WriteImageFile(dir.File(c.file), want, c.bits).ok());
        ImageSize size;
        ASSERT_TRUE(ReadImageSize(dir.File(c.file), size).ok());
        EXPECT_EQ(5, size.width);
        EXPECT_EQ(3, size.height);
        FloatImage got;
        ASSERT_TRUE(ReadImageFile(dir.File(c.file), got).ok());
        ASSERT_EQ(5, got.width);
        ASSERT_EQ(3, got.height);
        ASSERT_GE(got.channels, 3);
        double total = 0;
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x) {
                for (int ch = 0; ch < 3; ++ch) {
                    const float d = std::fabs(got.At(x, y, ch) - want.At(x, y, ch));
                    total += d;
                    if (c.tolerance == 0.0f) {
                        EXPECT_EQ(want.At(x, y, ch), got.At(x, y, ch));
                    }
                }
            }
        }
        EXPECT_LE(total / 45, c.tolerance);
    }
}

TEST(ImageFileTest, EightAndSixteenBitValuesScaleToTheirLargestValue) {
    TempDir dir;
    FloatImage img;
    img.width = 3;
    img.height = 1;
    img.channels = 1;
    img.pixels = {1.0f, 1000.0f / 65535.0f, 0.0f};
    ASSERT_TRUE(WriteImageFile(dir.File("g.png"), img, ImageBits::k16).ok());
    FloatImage got;
    ASSERT_TRUE(ReadImageFile(dir.File("g.png"), got).ok());
    EXPECT_EQ(img.pixels, got.pixels);
    // Floats beyond 1 stay as they are where the format holds them.
    img.pixels = {4.5f, -0.25f, 1e-3f};
    ASSERT_TRUE(WriteImageFile(dir.File("g.exr"), img, ImageBits::kFloat).ok());
    ASSERT_TRUE(ReadImageFile(dir.File("g.exr"), got).ok());
    EXPECT_EQ(img.pixels, got.pixels);
}

TEST(ImageFileTest, RowsRunTopFirst) {
    // A PPM's first stored row is the picture's top; WritePPM without
    // `upright` stores row 0 first.
    TempDir dir;
    Photo p;
    ASSERT_TRUE(p.Alloc(2, 2).ok());
    p.pixels = {51, 0, 0, 51, 0, 0, 0, 0, 255, 0, 0, 255};
    ASSERT_TRUE(WritePPMFile(dir.File("top.ppm").c_str(), p, false).ok());
    FloatImage got;
    ASSERT_TRUE(ReadImageFile(dir.File("top.ppm"), got).ok());
    EXPECT_EQ(0.2f, got.At(1, 0, 0));
    EXPECT_EQ(1.0f, got.At(0, 1, 2));
    EXPECT_EQ(0.0f, got.At(0, 1, 0));

    // WritePng8 writes rows top first too.
    const uint8_t bytes[6] = {10, 20, 30, 40, 50, 60};
    ASSERT_TRUE(WritePng8(dir.File("p.png"), 1, 2, 3, bytes).ok());
    ASSERT_TRUE(ReadImageFile(dir.File("p.png"), got).ok());
    EXPECT_EQ(10.0f / 255.0f, got.At(0, 0, 0));
    EXPECT_EQ(60.0f / 255.0f, got.At(0, 1, 2));
}

TEST(ImageFileTest, WrittenFilesCarryNoTimeOfWriting) {
    // Some formats stamp the date of writing into their header (OpenEXR's
    // capDate, TIFF's DateTime), which would make the same picture give other
    // bytes every second.
    TempDir dir;
    char today[16];
    const std::time_t now = std::time(nullptr);
    std::strftime(today, sizeof today, "%Y:%m:%d", std::localtime(&now));
    const struct {
        const char* name;
        ImageBits bits;
    } cases[] = {{"p.exr", ImageBits::kFloat},
                 {"p.tif", ImageBits::k16},
                 {"p.png", ImageBits::k8},
                 {"p.hdr", ImageBits::kFloat}};
    for (const auto& [name, bits] : cases) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(WriteImageFile(dir.File(name), Pattern(), bits).ok());
        const std::string bytes = lumo::testing::ReadFileBytes(dir.File(name));
        EXPECT_EQ(std::string::npos, bytes.find(today));
    }
}

TEST(ImageFileTest, FailuresAreOneLineNamingTheFile) {
    TempDir dir;
    const std::string garbage = dir.Write("bad.png", "not a picture at all");
    const std::string missing = dir.File("missing.png");
    for (const std::string& path : {garbage, missing}) {
        FloatImage img;
        const Status s = ReadImageFile(path, img);
        ASSERT_FALSE(s.ok());
        const std::string prefix = "[ReadImage]: cannot read " + path + ": ";
        EXPECT_EQ(prefix, s.message().substr(0, prefix.size()));
        EXPECT_EQ(s.message().find('\n'), s.message().size() - 1) << s.message();
        ImageSize size;
        EXPECT_EQ(s.message().substr(0, prefix.size()),
                  ReadImageSize(path, size).message().substr(0, prefix.size()));
    }
    const uint8_t px[3] = {1, 2, 3};
    const std::string nowhere = dir.File("no/such/dir/x.png");
    const Status s = WritePng8(nowhere, 1, 1, 3, px);
    const std::string prefix = "[WriteImage]: cannot write " + nowhere + ": ";
    EXPECT_EQ(prefix, s.message().substr(0, prefix.size()));
    EXPECT_EQ(prefix.substr(0, 27),
              WritePng8(dir.File("short.png"), 2, 1, 3, px).message().substr(0, 27));
}

}  // namespace
}  // namespace lumo
