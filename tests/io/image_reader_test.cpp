// Reading pictures in strips: any strip height, any order, gives exactly the
// values of reading the whole picture, in every format and in tiles; and the
// helpers around it (strips handed to a consumer, non-finite values, pictures
// in memory).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "io/image_file.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

using lumo::testing::TempDir;

// An odd-sized RGB picture whose values vary in every direction (smooth
// enough for JPEG; on the 8-bit grid so that 8- and 16-bit files hold them
// exactly).
FloatImage Pattern(int32_t w, int32_t h) {
    FloatImage img;
    img.width = w;
    img.height = h;
    img.channels = 3;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            for (int32_t c = 0; c < 3; ++c)
                img.pixels.push_back(
                    static_cast<float>((20 + 3 * x + 5 * y + 40 * c) % 256) / 255.0f);
        }
    }
    return img;
}

struct FileCase {
    const char* name;
    ImageBits bits;
    int32_t tile;
};

const FileCase kFiles[] = {
    {"p8.png", ImageBits::k8, 0},     {"p16.png", ImageBits::k16, 0},
    {"p.jpg", ImageBits::k8, 0},      {"p.tif", ImageBits::k16, 0},
    {"t.tif", ImageBits::k8, 16},     {"p.exr", ImageBits::kFloat, 0},
    {"t.exr", ImageBits::kFloat, 16}, {"p.hdr", ImageBits::kFloat, 0},
};

bool SameBytes(const float* a, const float* b, size_t n) {
    return std::memcmp(a, b, n * sizeof(float)) == 0;
}

TEST(ImageReaderTest, StripsOfAnyHeightGiveTheWholePicturesValues) {
    TempDir dir;
    const FloatImage pattern = Pattern(37, 45);
    for (const FileCase& f : kFiles) {
        SCOPED_TRACE(f.name);
        const std::string path = dir.File(f.name);
        ASSERT_TRUE(WriteImageFile(path, pattern, f.bits, f.tile).ok());
        FloatImage whole;
        ASSERT_TRUE(ReadImageFile(path, whole).ok());
        ASSERT_EQ(37, whole.width);
        ASSERT_EQ(45, whole.height);
        const size_t row =
            static_cast<size_t>(whole.width) * static_cast<size_t>(whole.channels);
        for (int32_t strip : {1, 2, 7, 16, 17, 44, 45}) {
            SCOPED_TRACE(strip);
            ImageReader reader;
            ASSERT_TRUE(reader.Open(path).ok());
            EXPECT_EQ(37, reader.size().width);
            EXPECT_EQ(whole.channels, reader.size().channels);
            std::vector<float> rows(row * static_cast<size_t>(strip));
            for (int32_t y = 0; y < 45; y += strip) {
                const int32_t y1 = std::min(45, y + strip);
                ASSERT_TRUE(reader.ReadRows(y, y1, rows.data()).ok());
                ASSERT_TRUE(SameBytes(rows.data(), whole.pixels.data() + row * y,
                                      row * static_cast<size_t>(y1 - y)))
                    << "rows " << y << " to " << y1;
            }
        }
        // Backwards, one row at a time: each row read again from the start.
        ImageReader reader;
        ASSERT_TRUE(reader.Open(path).ok());
        std::vector<float> one(row);
        for (int32_t y = 44; y >= 0; y -= 11) {
            ASSERT_TRUE(reader.ReadRows(y, y + 1, one.data()).ok());
            EXPECT_TRUE(SameBytes(one.data(), whole.pixels.data() + row * y, row)) << y;
        }
    }
}

TEST(ImageReaderTest, TilesHoldTheSameValuesAsScanlines) {
    TempDir dir;
    const FloatImage pattern = Pattern(37, 45);
    for (const char* ext : {".tif", ".exr"}) {
        SCOPED_TRACE(ext);
        FloatImage lines, tiles;
        ASSERT_TRUE(
            WriteImageFile(dir.File(std::string("l") + ext), pattern, ImageBits::kFloat)
                .ok());
        ASSERT_TRUE(WriteImageFile(dir.File(std::string("t") + ext), pattern,
                                   ImageBits::kFloat, 16)
                        .ok());
        ASSERT_TRUE(ReadImageFile(dir.File(std::string("l") + ext), lines).ok());
        ASSERT_TRUE(ReadImageFile(dir.File(std::string("t") + ext), tiles).ok());
        EXPECT_EQ(pattern.pixels, tiles.pixels);
        EXPECT_EQ(lines.pixels, tiles.pixels);
    }
}

TEST(ImageReaderTest, StripsAreHandedToTheConsumerInOrder) {
    TempDir dir;
    const FloatImage pattern = Pattern(9, 10);
    const std::string path = dir.File("p.exr");
    ASSERT_TRUE(WriteImageFile(path, pattern, ImageBits::kFloat).ok());
    std::vector<float> got;
    std::vector<int32_t> starts;
    ASSERT_TRUE(ReadImageStrips(path, 4,
                                [&](const ImageSize& size, int32_t y0, int32_t rows,
                                    std::span<const float> values) {
                                    EXPECT_EQ(9, size.width);
                                    EXPECT_EQ(size_t(rows) * 9 * 3, values.size());
                                    starts.push_back(y0);
                                    got.insert(got.end(), values.begin(), values.end());
                                    return Status::Ok();
                                })
                    .ok());
    EXPECT_EQ((std::vector<int32_t>{0, 4, 8}), starts);
    EXPECT_EQ(pattern.pixels, got);
    // The consumer's failure ends the reading and is returned.
    int calls = 0;
    const Status s = ReadImageStrips(
        path, 4, [&](const ImageSize&, int32_t, int32_t, std::span<const float>) {
            ++calls;
            return Status::Error("stop\n");
        });
    EXPECT_EQ("stop\n", s.message());
    EXPECT_EQ(1, calls);
}

TEST(ImageReaderTest, RowsOutsideThePictureAreRefused) {
    TempDir dir;
    const std::string path = dir.File("p.png");
    ASSERT_TRUE(WriteImageFile(path, Pattern(4, 3), ImageBits::k8).ok());
    ImageReader reader;
    ASSERT_TRUE(reader.Open(path).ok());
    std::vector<float> rows(4 * 3 * 4);
    for (auto [y0, y1] : {std::pair{-1, 1}, std::pair{2, 4}, std::pair{2, 1}}) {
        EXPECT_EQ("[ReadImage]: cannot read " + path + ": rows " + std::to_string(y0) +
                      " to " + std::to_string(y1) + " are outside its 3 rows\n",
                  reader.ReadRows(y0, y1, rows.data()).message());
    }
    EXPECT_TRUE(reader.ReadRows(3, 3, rows.data()).ok());
    reader.Close();
    EXPECT_FALSE(reader.is_open());
    EXPECT_EQ(0, reader.size().width);
    EXPECT_FALSE(reader.ReadRows(0, 1, rows.data()).ok());
}

TEST(ImageReaderTest, FindsTheFirstNonFiniteValue) {
    TempDir dir;
    FloatImage img = Pattern(5, 4);
    const float inf = std::numeric_limits<float>::infinity();
    img.pixels[(2 * 5 + 3) * 3 + 1] =
        std::numeric_limits<float>::quiet_NaN();  // (3, 2) green
    img.pixels[(3 * 5 + 0) * 3 + 0] = -inf;       // (0, 3) red
    const std::string path = dir.File("nan.exr");
    ASSERT_TRUE(WriteImageFile(path, img, ImageBits::kFloat).ok());
    FloatImage got;
    ASSERT_TRUE(ReadImageFile(path, got).ok());  // read as stored; the callers refuse
    NonFiniteValue at;
    ASSERT_TRUE(FindNonFinite(got, at));
    EXPECT_EQ(3, at.x);
    EXPECT_EQ(2, at.y);
    EXPECT_EQ(1, at.channel);
    EXPECT_TRUE(std::isnan(at.value));
    // In a strip, positions count from the strip's first row.
    ImageReader reader;
    ASSERT_TRUE(reader.Open(path).ok());
    std::vector<float> rows(5 * 3);
    ASSERT_TRUE(reader.ReadRows(3, 4, rows.data()).ok());
    ASSERT_TRUE(FindNonFinite(rows, 5, 3, 3, at));
    EXPECT_EQ(0, at.x);
    EXPECT_EQ(3, at.y);
    EXPECT_EQ(0, at.channel);
    EXPECT_EQ(-inf, at.value);
    EXPECT_FALSE(FindNonFinite(Pattern(5, 4), at));
}

TEST(ImageReaderTest, PicturesInMemoryReadAsTheirFiles) {
    TempDir dir;
    const FloatImage pattern = Pattern(6, 5);
    for (const FileCase& f : kFiles) {
        SCOPED_TRACE(f.name);
        const std::string path = dir.File(f.name);
        ASSERT_TRUE(WriteImageFile(path, pattern, f.bits, f.tile).ok());
        FloatImage whole;
        ASSERT_TRUE(ReadImageFile(path, whole).ok());
        const std::string bytes = lumo::testing::ReadFileBytes(path);
        ImageReader reader;
        ASSERT_TRUE(reader
                        .OpenBytes(f.name, std::span(reinterpret_cast<const uint8_t*>(
                                                         bytes.data()),
                                                     bytes.size()))
                        .ok());
        std::vector<float> all(whole.pixels.size());
        ASSERT_TRUE(reader.ReadRows(0, 5, all.data()).ok());
        EXPECT_EQ(whole.pixels, all);
    }
    ImageReader reader;
    const uint8_t junk[4] = {1, 2, 3, 4};
    const Status s = reader.OpenBytes("junk.png", junk);
    const std::string prefix = "[ReadImage]: cannot read junk.png: ";
    EXPECT_EQ(prefix, s.message().substr(0, prefix.size()));
}

}  // namespace
}  // namespace lumo
