#include "relight/brdf_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "io/memory_stream.h"
#include "relight/brdf_writer.h"
#include "relight/reconstruct.h"
#include "relight/sh_basis.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

using lumo::testing::ReadFileBytes;
using lumo::testing::TempDir;

class BrdfFileTest : public ::testing::Test {
  protected:
    // Writes `img`, returns the file's bytes.
    std::string WriteBytes(const ShCoeffImage& img) {
        const std::string path = dir_.File("img.urdf.sh");
        EXPECT_TRUE(WriteBrdfFile(path.c_str(), img).ok());
        return ReadFileBytes(path);
    }
    // Reads `bytes` as a coefficient file, discarding the reader's reports.
    Status ReadBytes(const std::string& bytes, BrdfImage& image) {
        const std::string path = dir_.Write("in.urdf.sh", bytes);
        return ReadBrdfPath(path.c_str(), image,
                            {.header = MessageSink(), .opening = MessageSink()});
    }

    TempDir dir_;
};

std::vector<float> Ramp(int n, float start) {
    std::vector<float> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<size_t>(i)] = start + static_cast<float>(i);
    return v;
}

// Where the binary part starts: after the third line feed.
size_t BinaryStart(const std::string& bytes) {
    size_t pos = 0;
    for (int i = 0; i < 3; ++i)
        pos = bytes.find('\n', pos) + 1;
    return pos;
}

TEST_F(BrdfFileTest, BitmapsHaveWidthTimesHeightDivEightPlusOneBytes) {
    const struct {
        int32_t w, h;
        size_t bitmap;
    } cases[] = {{64, 1, 9}, {8, 8, 9}, {7, 1, 1}, {3, 5, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.w << " x " << c.h);
        ShCoeffImage img(c.w, c.h, 2);
        img.Set(1, c.w - 1, c.h - 1, Ramp(4, 1.0f));  // one green pixel
        const std::string bytes = WriteBytes(img);
        EXPECT_EQ(BinaryStart(bytes) + 3 * c.bitmap + 4 * 4, bytes.size());
        BrdfImage image;
        ASSERT_TRUE(ReadBytes(bytes, image).ok());
        EXPECT_EQ(c.w, image.width);
        EXPECT_EQ(c.h, image.height);
    }
}

TEST_F(BrdfFileTest, MostSignificantBitIsTheFirstPixel) {
    ShCoeffImage img(8, 2, 1);
    img.Set(0, 0, 0, std::vector<float>{5.0f});
    img.Set(0, 7, 1, std::vector<float>{6.0f});
    const std::string bytes = WriteBytes(img);
    const size_t bin = BinaryStart(bytes);
    EXPECT_EQ("BRDF\n8 2 1 1\n2 0 0\n", bytes.substr(0, bin));
    EXPECT_EQ(0x80, static_cast<uint8_t>(bytes[bin]));      // (0, 0)
    EXPECT_EQ(0x01, static_cast<uint8_t>(bytes[bin + 1]));  // (7, 1)
    // Coefficients are big-endian floats in pixel order: 5.0 = 40 a0 00 00.
    EXPECT_EQ(std::string("\x40\xa0\x00\x00\x40\xc0\x00\x00", 8),
              bytes.substr(bin + 9, 8));

    BrdfImage image;
    ASSERT_TRUE(ReadBytes(bytes, image).ok());
    EXPECT_EQ(5.0f, image.Pixel(0, 0).Coeff(0));
    EXPECT_EQ(6.0f, image.Pixel(0, 15).Coeff(0));
    for (int e = 1; e < 15; ++e)
        EXPECT_FALSE(image.Pixel(0, e).present()) << e;
}

TEST_F(BrdfFileTest, RoundTripKeepsEveryPixelsCoefficientsPerChannel) {
    ShCoeffImage img(13, 6, 3);  // 78 pixels: tiles end part-filled
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 13; ++x) {
            if ((x + y) % 3 != 0) img.Set(0, x, y, Ramp(9, 100.0f * x + y));
            if ((x * y) % 4 == 1) img.Set(1, x, y, Ramp(9, -50.0f * y - x));
            if (x == 4) img.Set(2, x, y, Ramp(5, 0.5f + y));  // padded with zeros
        }
    }
    BrdfImage image;
    ASSERT_TRUE(ReadBytes(WriteBytes(img), image).ok());
    EXPECT_EQ(3, image.lcnt);
    EXPECT_EQ(9, image.harcnt);
    for (int ch = 0; ch < 3; ++ch) {
        for (int y = 0; y < 6; ++y) {
            for (int x = 0; x < 13; ++x) {
                const ShPixel p = image.Pixel(ch, static_cast<size_t>(y * 13 + x));
                ASSERT_EQ(img.Present(ch, x, y), p.present())
                    << ch << " " << x << " " << y;
                if (!p.present()) continue;
                const auto want = img.Coefficients(ch, x, y);
                for (int i = 0; i < 9; ++i)
                    EXPECT_EQ(want[static_cast<size_t>(i)], p.Coeff(i))
                        << ch << " " << x << " " << y;
            }
        }
    }
    // Every tile lane names its pixel, and its channel masks agree with the pointers.
    for (int32_t t = 0; t < image.tile_count; ++t) {
        for (int lane = 0; lane < kShLanes; ++lane) {
            const int32_t e = image.tile_pixel[static_cast<size_t>(t * kShLanes + lane)];
            for (int ch = 0; ch < 3; ++ch) {
                const bool bit =
                    image.tile_mask[static_cast<size_t>(t * 3 + ch)] & (1u << lane);
                EXPECT_EQ(e >= 0 && image.Pixel(ch, static_cast<size_t>(e)).present(),
                          bit);
            }
        }
    }
}

TEST_F(BrdfFileTest, WindowIsTheBoundingBoxOverAllChannels) {
    ShCoeffImage img(20, 10, 1);
    img.Set(0, 15, 2, std::vector<float>{1.0f});  // red only
    img.Set(2, 3, 7, std::vector<float>{1.0f});   // blue only
    BrdfImage image;
    ASSERT_TRUE(ReadBytes(WriteBytes(img), image).ok());
    EXPECT_EQ(3, image.xmin);
    EXPECT_EQ(15, image.xmax);
    EXPECT_EQ(2, image.ymin);
    EXPECT_EQ(7, image.ymax);
}

TEST_F(BrdfFileTest, AFileWithoutPixelsReadsWithTheEmptyWindow) {
    BrdfImage image;
    ASSERT_TRUE(ReadBytes(WriteBytes(ShCoeffImage(16, 4, 2)), image).ok());
    EXPECT_EQ(16, image.xmin);
    EXPECT_EQ(-1, image.xmax);
    EXPECT_EQ(4, image.ymin);
    EXPECT_EQ(-1, image.ymax);
    EXPECT_EQ(0, image.tile_count);
    // The basis is rebuilt, but no pixel is present: the image offers no terms.
    EXPECT_EQ(2, ShBasisTables().L);
    EXPECT_EQ(0, AvailableTerms(std::span<const BrdfImage>(&image, 1)));
}

TEST_F(BrdfFileTest, TheFirstImageWithAPixelGivesTheAvailableTerms) {
    ShCoeffImage a(4, 4, 3);
    a.Set(0, 1, 1, Ramp(9, 1.0f));
    ShCoeffImage b(4, 4, 2);
    b.Set(0, 1, 1, Ramp(4, 1.0f));
    BrdfImage ia, ib;
    BrdfImage empty;
    ASSERT_TRUE(ReadBytes(WriteBytes(ShCoeffImage(4, 4, 4)), empty).ok());
    ASSERT_TRUE(ReadBytes(WriteBytes(a), ia).ok());
    ASSERT_TRUE(ReadBytes(WriteBytes(b), ib).ok());
    EXPECT_EQ(2, ShBasisTables().L);  // tables follow the last file
    std::vector<BrdfImage> images;
    images.push_back(std::move(empty));
    images.push_back(std::move(ia));
    images.push_back(std::move(ib));
    EXPECT_EQ(9, AvailableTerms(images));
    EXPECT_EQ(4, AvailableTerms(std::span<const BrdfImage>(images).subspan(2)));
    EXPECT_EQ(0, AvailableTerms(std::span<const BrdfImage>(images).first(1)));
}

TEST_F(BrdfFileTest, ReaderPrintsItsProgressLines) {
    ShCoeffImage img(5, 3, 2);
    img.Set(0, 0, 0, Ramp(4, 1.0f));
    img.Set(1, 0, 0, Ramp(4, 1.0f));
    img.Set(1, 1, 0, Ramp(4, 1.0f));
    const std::string path = dir_.File("p.urdf.sh");
    ASSERT_TRUE(WriteBrdfFile(path.c_str(), img).ok());
    BrdfImage image;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(ReadBrdfPath(path.c_str(), image).ok());
    EXPECT_EQ("5 x 3\nlcnt=2, harcnt=4\nrcnt=1, gcnt=2, bcnt=0\n",
              ::testing::internal::GetCapturedStdout());
    EXPECT_EQ("Reading BRDF file " + path + " ... \n",
              ::testing::internal::GetCapturedStderr());
}

// A valid file, then patched.
std::string ValidFile(BrdfFileTest&) {
    ShCoeffImage img(8, 2, 2);
    for (int x = 0; x < 8; ++x)
        for (int ch = 0; ch < 3; ++ch)
            img.Set(ch, x, x % 2, Ramp(4, 1.0f + x));
    std::FILE* f = std::tmpfile();
    EXPECT_TRUE(WriteBrdfStream(f, img.ToFileData()).ok());
    std::string bytes(static_cast<size_t>(std::ftell(f)), '\0');
    std::rewind(f);
    EXPECT_EQ(bytes.size(), std::fread(bytes.data(), 1, bytes.size(), f));
    std::fclose(f);
    return bytes;
}

TEST_F(BrdfFileTest, RefusesBrokenFilesWithTheirMessages) {
    const std::string good = ValidFile(*this);
    const size_t bin = BinaryStart(good);
    const std::string tail = good.substr(bin);
    const struct {
        const char* name;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"empty file", "", "Cannot read brdf's header\n"},
        {"only the magic line", "BRDF\n", "Cannot read brdf's header\n"},
        {"third line missing", "BRDF\n8 2 2 4\n", "Cannot read brdf's header\n"},
        {"second line short of a number", "BRDF\n8 2 2\n8 8 8\n" + tail,
         "Cannot read brdf's header\n"},
        {"magic in lower case", "brdf\n8 2 2 4\n8 8 8\n" + tail, "Not a BRDF file\n"},
        {"magic cut short", "BRD\n8 2 2 4\n8 8 8\n" + tail, "Not a BRDF file\n"},
        {"file ends inside the blue block", good.substr(0, good.size() - 5),
         "BRDF file possibly corrupted\n"},
        {"file ends inside the bitmaps", good.substr(0, bin + 4),
         "BRDF file possibly corrupted\n"},
        {"more set bits than the red count", "BRDF\n8 2 2 4\n7 8 8\n" + tail,
         "BRDF file possibly corrupted\n"},
        {"negative count", "BRDF\n8 2 2 4\n-8 8 8\n" + tail,
         "BRDF file possibly corrupted\n"},
        {"negative harcnt", "BRDF\n8 2 2 -4\n8 8 8\n" + tail,
         "BRDF file possibly corrupted\n"},
        {"negative width", "BRDF\n-8 2 2 4\n8 8 8\n" + tail,
         "BRDF file possibly corrupted\n"},
        {"counts the file cannot hold", "BRDF\n8 2 2 4\n8 8 2000000000\n" + tail,
         "BRDF file possibly corrupted\n"},
        {"image the file cannot hold", "BRDF\n100000 100000 2 4\n8 8 8\n" + tail,
         "BRDF file possibly corrupted\n"},
        {"no bands", "BRDF\n8 2 0 4\n8 8 8\n" + tail,
         "BRDF file has an unsupported band count\n"},
        {"more bands than the basis holds", "BRDF\n8 2 19 4\n8 8 8\n" + tail,
         "BRDF file has an unsupported band count\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BrdfImage image;
        EXPECT_EQ(c.message, ReadBytes(c.bytes, image).message());
    }
}

// Images that must be identical member by member, the coefficient block
// compared bit for bit.
void ExpectSameImage(const BrdfImage& want, const BrdfImage& got) {
    EXPECT_EQ(want.lcnt, got.lcnt);
    EXPECT_EQ(want.width, got.width);
    EXPECT_EQ(want.height, got.height);
    EXPECT_EQ(want.harcnt, got.harcnt);
    EXPECT_EQ(want.xmin, got.xmin);
    EXPECT_EQ(want.xmax, got.xmax);
    EXPECT_EQ(want.ymin, got.ymin);
    EXPECT_EQ(want.ymax, got.ymax);
    EXPECT_EQ(want.tile_count, got.tile_count);
    EXPECT_TRUE(want.tile_pixel == got.tile_pixel);
    EXPECT_TRUE(want.tile_mask == got.tile_mask);
    ASSERT_EQ(want.coeff.size(), got.coeff.size());
    // An image without coefficients has no block (memcmp wants real pointers).
    if (want.coeff.empty()) return;
    EXPECT_EQ(0, std::memcmp(want.coeff.data(), got.coeff.data(),
                             want.coeff.size() * sizeof(float)));
}

// The reference: the file's blocks read whole in file order, then assembled.
Status ReadByBlocks(const std::string& bytes, BrdfImage& image) {
    FilePtr f = OpenMemoryStream(bytes.data(), bytes.size());
    BrdfFileData data;
    if (Status s = ReadBrdfData(f.get(), data, MessageSink()); !s.ok()) return s;
    return AssembleBrdfImage(data, image);
}

// The direct reader on a seekable stream of `bytes`.
Status ReadDirect(const std::string& bytes, BrdfImage& image) {
    FilePtr f = OpenMemoryStream(bytes.data(), bytes.size());
    return ReadBrdfImage(f.get(), image, MessageSink());
}

// Coefficient values that tell every pixel, channel and term apart, with
// byte patterns of every kind (negative, tiny, not-a-number payloads).
float Value(int ch, int32_t x, int32_t y, int i) {
    const uint32_t bits = 0x9E3779B9u * static_cast<uint32_t>(1 + ch + 3 * i) ^
                          (static_cast<uint32_t>(x) << 12) ^ static_cast<uint32_t>(y);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// A file of w x h pixels; pixel (x, y) is present in channel ch when
// keep(ch, x, y).
template <class Keep>
ShCoeffImage Pattern(int32_t w, int32_t h, int32_t lcnt, int32_t harcnt, Keep keep) {
    ShCoeffImage img(w, h, lcnt, harcnt);
    std::vector<float> v(static_cast<size_t>(std::max(img.harcnt(), 0)));
    for (int ch = 0; ch < 3; ++ch) {
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                if (!keep(ch, x, y)) continue;
                for (size_t i = 0; i < v.size(); ++i)
                    v[i] = Value(ch, x, y, static_cast<int>(i));
                img.Set(ch, x, y, v);
            }
        }
    }
    return img;
}

// The direct reader fills the tiles from the three blocks a run of tiles at
// a time through blocks of 16384 floats per channel: files with more vectors
// than a block holds, whose runs end inside a channel's block and inside a
// tile, give the image that reading the whole blocks and assembling them
// gives, bit for bit.
TEST_F(BrdfFileTest, DirectReaderGivesTheAssembledImageBitForBit) {
    const auto all = [](int, int32_t, int32_t) { return true; };
    const auto ragged = [](int ch, int32_t x, int32_t y) {
        return (x * 7 + y * 3 + ch) % 5 != 0 && !(ch == 2 && y % 9 == 4);
    };
    const struct {
        const char* name;
        ShCoeffImage img;
    } cases[] = {
        {"one term, 40000 vectors a channel", Pattern(200, 200, 1, -1, all)},
        {"one term, channels of their own", Pattern(203, 181, 1, -1, ragged)},
        {"nine terms, ragged", Pattern(97, 61, 3, -1, ragged)},
        {"sixteen terms, all present", Pattern(64, 48, 4, -1, all)},
        {"nine terms, all present", Pattern(40, 21, 3, -1, all)},
        {"long vectors, few pixels", Pattern(5, 3, 2, 20000, ragged)},
        {"terms beyond the bands", Pattern(13, 6, 2, 7, ragged)},
        {"no coefficients", Pattern(9, 7, 2, 0, ragged)},
        {"narrower than a bitmap byte", Pattern(3, 5, 2, -1, ragged)},
        {"no pixels", Pattern(16, 4, 2, -1, [](int, int32_t, int32_t) { return false; })},
        {"green only",
         Pattern(33, 9, 2, -1, [](int ch, int32_t, int32_t) { return ch == 1; })},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = WriteBytes(c.img);
        BrdfImage want, got;
        ASSERT_TRUE(ReadByBlocks(bytes, want).ok());
        ASSERT_TRUE(ReadDirect(bytes, got).ok());
        ExpectSameImage(want, got);
        // And every pixel holds what was written, bit for bit.
        int wrong = 0;
        for (int ch = 0; ch < 3; ++ch) {
            for (int32_t y = 0; y < c.img.height(); ++y) {
                for (int32_t x = 0; x < c.img.width(); ++x) {
                    const ShPixel p = got.Pixel(
                        ch, static_cast<size_t>(y) * static_cast<size_t>(c.img.width()) +
                                static_cast<size_t>(x));
                    if (p.present() != c.img.Present(ch, x, y)) {
                        ++wrong;
                        continue;
                    }
                    if (!p.present()) continue;
                    const auto v = c.img.Coefficients(ch, x, y);
                    for (int32_t i = 0; i < c.img.harcnt(); ++i) {
                        const float f = p.Coeff(i);
                        wrong += std::memcmp(&f, &v[static_cast<size_t>(i)], 4) != 0;
                    }
                }
            }
        }
        EXPECT_EQ(0, wrong);
    }
}

// Spare vectors (counts above the set bits) are never pointed at, in either
// reader, and a pipe (which cannot seek) is read block after block.
TEST_F(BrdfFileTest, DirectReaderSkipsSpareVectorsAndReadsPipes) {
    ShCoeffImage img = Pattern(90, 40, 2, -1, [](int ch, int32_t x, int32_t y) {
        return (x + y + ch) % 3 != 0;
    });
    BrdfFileData data = img.ToFileData();
    for (int ch = 0; ch < 3; ++ch) {
        data.count[ch] += 5 + ch;
        for (int i = 0; i < 4 * (5 + ch); ++i)
            data.CC[ch].push_back(-1.0f - static_cast<float>(i));
    }
    const std::string path = dir_.File("spare.urdf.sh");
    ASSERT_TRUE(WriteBrdfFile(path.c_str(), data).ok());
    const std::string bytes = ReadFileBytes(path);
    BrdfImage want, got, piped;
    ASSERT_TRUE(ReadByBlocks(bytes, want).ok());
    ASSERT_TRUE(ReadDirect(bytes, got).ok());
    ExpectSameImage(want, got);

    std::FILE* pipe = popen(("cat '" + path + "'").c_str(), "r");
    ASSERT_NE(nullptr, pipe);
    const Status s = ReadBrdfImage(pipe, piped, MessageSink());
    pclose(pipe);
    ASSERT_TRUE(s.ok()) << s.message();
    ExpectSameImage(want, piped);
}

// Cut or patched files get the message the block reader gives them.
TEST_F(BrdfFileTest, DirectReaderRefusesBrokenFilesAsTheBlockReaderDoes) {
    const std::string big =
        WriteBytes(Pattern(200, 200, 1, -1, [](int, int32_t, int32_t) { return true; }));
    const size_t bin = BinaryStart(big);
    const size_t bitmap = 200 * 200 / 8 + 1;
    const size_t block = 200 * 200 * 4;  // one channel's floats
    const size_t cuts[] = {
        bin + 1,                           // inside the red bitmap
        bin + 3 * bitmap,                  // the bitmaps only
        bin + 3 * bitmap + 16384 * 4 - 2,  // inside the first staging block
        bin + 3 * bitmap + block + 1,      // just into the green block
        big.size() - 4,                    // the last float missing
        big.size() - 1,                    // the last byte missing
    };
    for (size_t cut : cuts) {
        SCOPED_TRACE(cut);
        const std::string bytes = big.substr(0, cut);
        BrdfImage a, b;
        const Status want = ReadByBlocks(bytes, a);
        EXPECT_EQ("BRDF file possibly corrupted\n", want.message());
        EXPECT_EQ(want.message(), ReadDirect(bytes, b).message());
    }
    const std::string good = ValidFile(*this);
    const std::string tail = good.substr(BinaryStart(good));
    const std::string patched[] = {
        "BRDF\n8 2 2 4\n7 8 8\n" + tail,  // more set bits than the red count
        "BRDF\n8 2 2 4\n8 8 7\n" + tail,  // ... than the blue count
        "BRDF\n8 2 2 4\n8 8 9\n" + tail,  // a blue vector more than the file holds
        "BRDF\n8 2 0 4\n8 8 8\n" + tail,
        "BRDF\n8 2 2 -4\n8 8 8\n" + tail,
        "BRDF\n8 2 2 4\n",
    };
    for (const std::string& bytes : patched) {
        SCOPED_TRACE(bytes.substr(0, 20));
        BrdfImage a, b;
        const Status want = ReadByBlocks(bytes, a);
        ASSERT_FALSE(want.ok());
        EXPECT_EQ(want.message(), ReadDirect(bytes, b).message());
    }
}

// The direct reader leaves the basis tables alone (files are read on several
// threads at once); FinishBrdfImage applies what the block reader's assembly
// does.
TEST_F(BrdfFileTest, DirectReaderLeavesTheProcessWideStateToFinish) {
    ASSERT_TRUE(InitCoeffArr(5).ok());
    ShCoeffImage img(4, 4, 3);
    img.Set(2, 3, 3, Ramp(9, 1.0f));
    const std::string bytes = WriteBytes(img);
    BrdfImage image;
    ASSERT_TRUE(ReadDirect(bytes, image).ok());
    EXPECT_EQ(5, ShBasisTables().L);
    ASSERT_TRUE(FinishBrdfImage(image).ok());
    EXPECT_EQ(3, ShBasisTables().L);
}

TEST_F(BrdfFileTest, AcceptsTextAfterTheMagicAndSpareCoefficientVectors) {
    const std::string good = ValidFile(*this);
    const std::string tail = good.substr(BinaryStart(good));
    BrdfImage image;
    ASSERT_TRUE(ReadBytes("BRDF coefficients v2\n8 2 2 4\n8 8 8\n" + tail, image).ok());
    EXPECT_EQ(8, image.xmax - image.xmin + 1);
    // Fewer set bits than the count: the extra vector is never pointed at.
    BrdfFileData data = ShCoeffImage(8, 2, 2).ToFileData();
    data.count[0] = 1;
    data.CC[0] = Ramp(4, 1.0f);
    BrdfImage spare;
    EXPECT_TRUE(AssembleBrdfImage(data, spare).ok());
    EXPECT_EQ(0, spare.tile_count);
}

TEST_F(BrdfFileTest, HarcntBelowTheBandsLimitsTheTermsUsed) {
    ShCoeffImage img(4, 1, 3, 4);  // 3 bands would be 9 terms; the file stores 4
    img.Set(0, 0, 0, Ramp(4, 1.0f));
    BrdfImage image;
    ASSERT_TRUE(BuildBrdfImage(img, image).ok());
    EXPECT_EQ(4, image.stored_terms());
    ShCoeffImage more(4, 1, 2, 7);  // spare coefficients beyond 2 bands
    BrdfImage image2;
    ASSERT_TRUE(BuildBrdfImage(more, image2).ok());
    EXPECT_EQ(4, image2.stored_terms());
}

// A file that stores no coefficients (harcnt 0) marks its pixels present and
// relights them to black, every pixel pointing into the coefficient block
// (the sanitizer builds check the pointers).
TEST_F(BrdfFileTest, AFileWithoutCoefficientsRelightsToBlack) {
    ShCoeffImage img(9, 2, 2, 0);
    for (int32_t x = 0; x < 9; ++x)
        img.Set(x % 3, x, x % 2, std::vector<float>{});
    BrdfImage image;
    ASSERT_TRUE(BuildBrdfImage(img, image).ok());
    EXPECT_EQ(0, image.stored_terms());
    const size_t at = 1 * 9 + 1;  // pixel (1, 1): green only
    EXPECT_TRUE(image.Pixel(1, at).present());
    std::vector<uint8_t> pixels(9 * 2 * 3, 7);
    const float color[3] = {1, 1, 1};
    EXPECT_TRUE(RelightWindowDirectional(image, 0, 8, 0, 1, 1.0f, 1.0f, 0.0f, color,
                                         pixels, 4, MessageSink())
                    .ok());
    EXPECT_EQ(0, pixels[3 * at + 1]);  // present, no terms: black
    EXPECT_EQ(7, pixels[3 * at + 0]);  // red is absent there: not written
}

TEST_F(BrdfFileTest, WriterRefusesInconsistentData) {
    BrdfFileData data = ShCoeffImage(8, 1, 1).ToFileData();
    data.count[1] = 3;  // no block for them
    std::FILE* f = std::tmpfile();
    EXPECT_EQ("[WriteBrdfFile]: inconsistent coefficient data\n",
              WriteBrdfStream(f, data).message());
    std::fclose(f);
    std::FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(nullptr, full);
    EXPECT_EQ(
        "[WriteBrdfFile]: cannot write /dev/full: No space left on device\n",
        WriteBrdfStream(full, ShCoeffImage(8, 1, 1).ToFileData(), "/dev/full").message());
    std::fclose(full);
    EXPECT_EQ(
        "[WriteBrdfFile]: cannot create " + dir_.File("no/such/dir") + "\n",
        WriteBrdfFile(dir_.File("no/such/dir").c_str(), ShCoeffImage(1, 1, 1)).message());
}

// Each failure of reading a file by its path returns the reader's exact
// message (lumotool's tests see them end the program).
TEST_F(BrdfFileTest, ReadingByPathReturnsEachMessage) {
    const std::string missing = dir_.File("missing.urdf.sh");
    BrdfImage none;
    EXPECT_EQ("Cannot read brdf file: " + missing + "\n",
              ReadBrdfPath(missing.c_str(), none,
                           {.header = MessageSink(), .opening = MessageSink()})
                  .message());
    const struct {
        std::string bytes;
        const char* message;
    } cases[] = {
        {"BRDF\n", "Cannot read brdf's header\n"},
        {"brdf\n1 1 1 1\n0 0 0\n\x00\x00\x00", "Not a BRDF file\n"},
        {"BRDF\n8 1 1 1\n0 0 0\n\x01", "BRDF file possibly corrupted\n"},
    };
    for (const auto& c : cases) {
        BrdfImage image;
        EXPECT_EQ(c.message, ReadBytes(c.bytes, image).message());
    }
}

}  // namespace
}  // namespace lumo
