#include "io/image_set.h"
#include "io/dct_pvt.h"
#include "io/image_set_pvt.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/file_ptr.h"
#include "base/psnr.h"
#include "io/deflate_container.h"
#include "io/deflate_writer.h"
#include "io/image_set_writer.h"
#include "io/memory_stream.h"
#include "tests/io/exact_regex.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

// ExactRegex(text) with the folder `dir` in it matching any folder: a death
// test's child runs the test afresh and makes a temporary folder of its own.
std::string AnyFolderRegex(const std::string& text, const std::string& dir) {
    std::string regex = testing::ExactRegex(text);
    const std::string exact = testing::ExactRegex(dir);
    const std::string folder = exact.substr(1, exact.size() - 2);
    for (size_t at = regex.find(folder); at != std::string::npos;
         at = regex.find(folder, at + 5))
        regex.replace(at, folder.size(), "[^]]*");
    return regex;
}

using testing::TempDir;

// numRow x numCol photos of w x h, each a smooth picture of its own.
std::vector<Photo> Photos(int numCol, int numRow, int w, int h) {
    std::vector<Photo> photos(static_cast<size_t>(numCol) * numRow);
    for (size_t i = 0; i < photos.size(); ++i) {
        Photo& p = photos[i];
        EXPECT_TRUE(p.Alloc(w, h).ok());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c)
                    p.pixels[(static_cast<size_t>(y) * w + x) * 3 + c] =
                        static_cast<uint8_t>(
                            120 + 60 * std::sin(0.3 * x + i + c) * std::cos(0.2 * y - c) +
                            5 * i);
    }
    return photos;
}

struct Loaded {
    Status status;
    std::vector<Photo> photos;
    int32_t numCol = 0, numRow = 0;
    std::string progress, errors;
};

Loaded Load(const std::string& path, int32_t numCol, int32_t numRow, size_t count,
            const uint8_t* mask = nullptr, std::vector<Photo> start = {}) {
    Loaded r;
    r.photos = start.empty() ? std::vector<Photo>(count) : start;
    r.numCol = numCol;
    r.numRow = numRow;
    ImageSetReadOptions options;
    options.progress = [&](std::string_view t) { r.progress += t; };
    options.errors = [&](std::string_view t) { r.errors += t; };
    r.status = ReadDAT(path.c_str(), r.photos.data(), r.photos.size(), r.numCol, r.numRow,
                       mask, options);
    return r;
}

// Runs the DCT decoder with `lanes` lanes for the life of the object.
class LaneWidth {
  public:
    explicit LaneWidth(int lanes) : before_(DctLaneWidth()) { SetDctLaneWidth(lanes); }
    ~LaneWidth() { SetDctLaneWidth(before_); }
    LaneWidth(const LaneWidth&) = delete;
    LaneWidth& operator=(const LaneWidth&) = delete;

  private:
    int before_;
};

// The photos a reader must give: the decoder applied to the encoder's own
// indices, taken apart again by the mosaic rule.
std::vector<Photo> Expected(const ImageSetCode& code, int numCol, int numRow, int w,
                            int h) {
    std::vector<Photo> out(static_cast<size_t>(numCol) * numRow);
    std::vector<uint8_t> planes[3];
    for (int c = 0; c < 3; ++c) {
        std::vector<float> f;
        int32_t mw, mh;
        EXPECT_TRUE(DctImageFromCode(code.channel[c])
                        .DecodeTo(f, mw, mh, MessageSink(), MessageSink())
                        .ok());
        planes[c].resize(f.size());
        FloatToByte(f.data(), planes[c].data(), f.size());
    }
    for (int j = 0; j < numRow; ++j)
        for (int k = 0; k < numCol; ++k) {
            Photo& p = out[j * numCol + k];
            EXPECT_TRUE(p.Alloc(w, h).ok());
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    for (int c = 0; c < 3; ++c)
                        p.pixels[(y * w + x) * 3 + c] =
                            planes[c][MosaicY(y, j, numRow) * numCol * w +
                                      MosaicX(x, k, numCol)];
        }
    return out;
}

double Psnr(const std::vector<Photo>& a, const std::vector<Photo>& b) {
    double se = 0;
    size_t n = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        se += SquaredError(a[i].pixels, b[i].pixels);
        n += a[i].pixels.size();
    }
    return PsnrFromMse(se / static_cast<double>(n));
}

TEST(MosaicTest, InterleavingAndMirroring) {
    // numCol 3, width 2: x = 0 at column k, x = 1 at 3 + (2 - k).
    for (size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(k, MosaicX(0, k, 3));
        EXPECT_EQ(3 + 2 - k, MosaicX(1, k, 3));
        EXPECT_EQ(6 + k, MosaicX(2, k, 3));
    }
    // Multiples of 8 are never mirrored; a single image is the mosaic.
    EXPECT_EQ(8u + 5, MosaicX(1, 5, 8));
    EXPECT_EQ(16u + 5, MosaicY(1, 5, 16));
    EXPECT_EQ(7u, MosaicX(7, 0, 1));
    EXPECT_EQ(5u, MosaicY(5, 0, 1));
    // numRow 5: odd rows mirror the image rows, even rows do not.
    EXPECT_EQ(5u + 3, MosaicY(1, 1, 5));
    EXPECT_EQ(10u + 1, MosaicY(2, 1, 5));
}

TEST(ImageSetRoundTripTest, TheReaderGivesTheDecoderOfTheEncodersIndices) {
    struct Case {
        const char* name;
        int numCol, numRow, w, h;
        double rate;
    };
    const Case cases[] = {
        {"one image", 1, 1, 16, 16, 3.0},
        // Counts not multiples of 8 (mirroring) and sizes not multiples of 8
        // (padding).
        {"3 x 2 grid, odd sizes", 3, 2, 10, 7, 3.0},
        {"8 x 8 grid", 8, 8, 8, 8, 2.0},
        {"5 x 9 grid", 5, 9, 12, 6, 4.0},
        // Views that make whole blocks, 16 pixels and more wide: decoded
        // straight into the photos where the decoder has 16 lanes (runs of
        // 16 pixels, the last overlapping the one before; two blocks per
        // pixel row across 16 columns).
        {"8 x 8 grid of 20 x 12", 8, 8, 20, 12, 3.0},
        {"16 x 8 grid of 32 x 9", 16, 8, 32, 9, 2.5},
        {"8 x 16 grid of 16 x 3", 8, 16, 16, 3, 3.0},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Photo> photos = Photos(c.numCol, c.numRow, c.w, c.h);
        ImageSetWriteOptions options;
        options.dct.rate = c.rate;
        ImageSetCode code;
        const std::string path = dir.File("set.dat");
        ASSERT_TRUE(
            WriteImageSet(path.c_str(), photos.data(), c.numCol, c.numRow, options, &code)
                .ok());
        const std::vector<Photo> expected = Expected(code, c.numCol, c.numRow, c.w, c.h);
        // With 4 lanes (the band path) and 16 where the machine has them;
        // with every third image masked out, the masked ones left as they
        // were.
        std::vector<uint8_t> mask(photos.size(), 1);
        for (size_t i = 0; i < mask.size(); i += 3)
            mask[i] = 0;
        const std::vector<Photo> before = Photos(c.numCol, c.numRow, 4, 4);
        for (int lanes : {4, 16}) {
            const LaneWidth width(lanes);
            SCOPED_TRACE(DctLaneWidth());
            const Loaded r = Load(path, c.numCol, c.numRow, photos.size());
            ASSERT_TRUE(r.status.ok()) << r.status.message();
            EXPECT_EQ("", r.errors);
            for (size_t i = 0; i < photos.size(); ++i) {
                const Photo& p = r.photos[i];
                EXPECT_EQ(c.w, p.width);
                EXPECT_EQ(c.h, p.height);
                EXPECT_EQ(0.0f, p.x0);
                EXPECT_EQ(c.w - 1.0f, p.x1);
                EXPECT_EQ(c.h - 1.0f, p.y1);
                EXPECT_EQ(expected[i].pixels, p.pixels) << "image " << i;
            }
            const Loaded m =
                Load(path, c.numCol, c.numRow, photos.size(), mask.data(), before);
            ASSERT_TRUE(m.status.ok()) << m.status.message();
            for (size_t i = 0; i < photos.size(); ++i)
                EXPECT_EQ((mask[i] ? expected : before)[i].pixels, m.photos[i].pixels)
                    << "image " << i;
        }
        const Loaded r = Load(path, c.numCol, c.numRow, photos.size());
        const double psnr = Psnr(photos, r.photos);
        std::printf("%s at %.1f bits: PSNR %.2f dB\n", c.name, c.rate, psnr);
        EXPECT_GT(psnr, 25.0);  // neighbouring views differ a lot in these pictures
    }
}

// The decoded stream of a valid set, to patch and wrap again.
std::vector<uint8_t> DecodedStream(const std::vector<uint8_t>& dat) {
    FilePtr f = OpenMemoryStream(dat.data(), dat.size());
    std::vector<uint8_t> block;
    size_t n;
    EXPECT_TRUE(ReadDeflateZip(f.get(), block, n, MessageSink()).ok());
    return block;
}

std::vector<uint8_t> Wrap(const std::vector<uint8_t>& stream) {
    std::vector<uint8_t> file;
    EXPECT_TRUE(AppendDeflateZip(file, stream.data(), stream.size()).ok());
    return file;
}

void Put32(std::vector<uint8_t>& s, size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (24 - 8 * i));
}

TEST(ImageSetReadTest, ProgressLinesAndCountsWrittenBack) {
    TempDir dir;
    const std::vector<Photo> photos = Photos(2, 3, 8, 8);
    const std::string path = dir.File("p.dat");
    ASSERT_TRUE(WriteImageSet(path.c_str(), photos.data(), 2, 3).ok());
    // Counts not known by the caller: no comparison, the file's written back.
    const Loaded r = Load(path, 0, 0, 6);
    ASSERT_TRUE(r.status.ok());
    EXPECT_EQ(2, r.numCol);
    EXPECT_EQ(3, r.numRow);
    const std::string channel = "1.2.3.4 ok\n";
    EXPECT_EQ("reading and decompressing [" + path +
                  "] ... \n"
                  "numRow   :  3\nnumCol   :  2\nwidth    :  8\nheight   :  8\n"
                  "Decompression ... (please wait) \n"
                  "- decoding channel [0]  " +
                  channel + "- decoding channel [1]  " + channel +
                  "- decoding channel [2]  " + channel +
                  "setting up the textures and windows ... (please wait)\n",
              r.progress);
}

TEST(ImageSetReadTest, ChunkErrorsComeWhereASequentialLoadPrintsThem) {
    // A bad CRC in the green channel's packed indices: its message comes
    // after the red channel's progress and before the green channel's line.
    TempDir dir;
    const std::vector<Photo> photos = Photos(2, 2, 16, 16);
    std::vector<uint8_t> good;
    ASSERT_TRUE(EncodeImageSet(photos.data(), 2, 2, {}, good).ok());
    std::vector<uint8_t> stream = DecodedStream(good);
    {
        FilePtr f = OpenMemoryStream(stream.data(), stream.size());
        int32_t nr, nc, w, h;
        char text[IMAGE_SET_TEXT_MAX];
        ASSERT_TRUE(ReadDATHeader(f.get(), nr, nc, w, h, text).ok());
        DctImage red, green;
        ASSERT_TRUE(red.Read(f.get()).ok());
        ASSERT_TRUE(green.Read(f.get()).ok());
        stream[static_cast<size_t>(std::ftell(f.get())) - 8] ^= 0x5A;  // its last CRC
    }
    const std::vector<uint8_t> file = Wrap(stream);
    const std::string path = dir.Write("crc.dat", std::string(file.begin(), file.end()));
    std::string both;
    ImageSetReadOptions options;
    options.progress = [&](std::string_view t) { both += t; };
    options.errors = [&](std::string_view t) { both += t; };
    std::vector<Photo> out(4);
    int32_t nc = 2, nr = 2;
    ASSERT_TRUE(ReadDAT(path.c_str(), out.data(), 4, nc, nr, nullptr, options).ok());
    const std::string expected =
        "- decoding channel [0]  1.2.3.4 ok\n"
        "\ninflate: stdin: invalid compressed data--crc error\n"
        "- decoding channel [1]  1.2.3.4 ok\n"
        "- decoding channel [2]  ";
    EXPECT_NE(std::string::npos, both.find(expected)) << both;
}

TEST(ImageSetReadTest, MaskedImagesAreLeftAlone) {
    TempDir dir;
    const std::vector<Photo> photos = Photos(3, 2, 8, 8);
    const std::string path = dir.File("m.dat");
    ASSERT_TRUE(WriteImageSet(path.c_str(), photos.data(), 3, 2).ok());
    std::vector<uint8_t> mask(6, 1);
    mask[1 * 3 + 2] = 0;
    std::vector<Photo> start(6);
    start[5].width = 77;
    start[5].x1 = 0.5f;
    const Loaded r = Load(path, 3, 2, 6, mask.data(), start);
    ASSERT_TRUE(r.status.ok());
    EXPECT_EQ(77, r.photos[5].width);
    EXPECT_EQ(0.5f, r.photos[5].x1);
    EXPECT_FALSE(r.photos[5].has_pixels());
    EXPECT_TRUE(r.photos[4].has_pixels());
}

TEST(ImageSetReadTest, FloatToByteRoundsAndClamps) {
    const float in[] = {-0.6f, 254.4f, 254.5f, 300.0f, 0.49999997f, -1e30f, NAN, 127.5f};
    const uint8_t expected[] = {0, 254, 255, 255, 0, 0, 0, 128};
    uint8_t out[8];
    FloatToByte(in, out, 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(expected[i], out[i]) << in[i];
}

TEST(ImageSetReadTest, RefusedFiles) {
    TempDir dir;
    const std::vector<Photo> photos = Photos(2, 2, 8, 8);
    std::vector<uint8_t> good;
    ASSERT_TRUE(EncodeImageSet(photos.data(), 2, 2, {}, good).ok());
    const std::vector<uint8_t> stream = DecodedStream(good);
    auto patched = [&](size_t at, int32_t v) {
        std::vector<uint8_t> s = stream;
        Put32(s, at, v);
        return Wrap(s);
    };
    const std::string not_valid = "Err : this is not a valid .dat file\n\n";
    // Images of 8 x 4 in the header, while the streams hold 8 x 8 images.
    std::vector<uint8_t> wrong_size = stream;
    Put32(wrong_size, 20, 4);
    Put32(wrong_size, 0, ImageSetCheck(2, 2, 8, 4));
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        int32_t numCol, numRow;
        std::string message;
    };
    const Case cases[] = {
        {"check", patched(0, 1), 2, 2, not_valid},
        {"header length", patched(4, 28), 2, 2, not_valid},
        {"text past 1023", patched(4, 28 + 1024), 2, 2, not_valid},
        {"negative count", patched(8, -2), 2, 2, not_valid},
        // Sizes whose product overflows 64 bits, found by fuzzing.
        {"huge sizes", patched(16, 0x7fffffff), 2, 2, not_valid},
        {"header cut", Wrap(std::vector<uint8_t>(stream.begin(), stream.begin() + 20)), 2,
         2, not_valid},
        {"counts", good, 4, 2,
         "Err : images in [FILE] [2 x 2] does not match that stated in .lid file [2 x "
         "4].\n\n"},
        {"decoded size", Wrap(wrong_size), 2, 2,
         "[ReadDAT]: size in dct decoding and header does not match!\n\n"},
        {"outer container", std::vector<uint8_t>(good.begin() + 1, good.end()), 2, 2,
         "[ReadDeflateZip]: input file is not in our zip file format\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("bad.dat");
        {
            FilePtr f = OpenFile(path.c_str(), "wb");
            std::fwrite(c.file.data(), 1, c.file.size(), f.get());
        }
        const Loaded r = Load(path, c.numCol, c.numRow, 8);
        std::string expected = c.message;
        if (const size_t at = expected.find("FILE"); at != std::string::npos)
            expected.replace(at, 4, path);
        EXPECT_EQ(expected, r.status.message());
        // ReadDAT prints its progress to standard output and exactly the
        // message to standard error.
        std::vector<Photo> photos(8);
        int32_t nc = c.numCol, nr = c.numRow;
        EXPECT_EXIT(ReadDATOrExit(path.c_str(), photos.data(), nc, nr, nullptr),
                    ::testing::ExitedWithCode(1),
                    AnyFolderRegex(expected, dir.path().string()));
    }
    // A file with more images than the caller's array holds is refused.
    const std::string path = dir.File("more.dat");
    ASSERT_TRUE(WriteImageSet(path.c_str(), photos.data(), 2, 2).ok());
    EXPECT_EQ("Err : images in [" + path +
                  "] [2 x 2] does not match that stated in .lid file [0 x 0].\n\n",
              Load(path, 0, 0, 3).status.message());
    EXPECT_EQ("Err : cannot open [" + dir.File("none.dat") + "] for reading\n\n",
              Load(dir.File("none.dat"), 2, 2, 4).status.message());
}

TEST(ImageSetReadTest, MosaicsUpToTheLimitAreAcceptedAndLargerOnesNamed) {
    auto header = [](int32_t nr, int32_t nc, int32_t w, int32_t h) {
        std::vector<uint8_t> s(24);
        Put32(s, 0, ImageSetCheck(nr, nc, w, h));
        Put32(s, 4, 28 + 4);
        Put32(s, 8, nr);
        Put32(s, 12, nc);
        Put32(s, 16, w);
        Put32(s, 20, h);
        for (char c : std::string("text"))
            s.push_back(static_cast<uint8_t>(c));
        return s;
    };
    int32_t nr, nc, w, h;
    char text[IMAGE_SET_TEXT_MAX];
    // A real 32 x 32 light field of 640 x 480 views.
    std::vector<uint8_t> real = header(32, 32, 640, 480);
    FilePtr f = OpenMemoryStream(real.data(), real.size());
    EXPECT_TRUE(ReadDATHeader(f.get(), nr, nc, w, h, text).ok());
    std::vector<uint8_t> huge = header(64, 64, 1024, 1024);
    f = OpenMemoryStream(huge.data(), huge.size());
    EXPECT_EQ(
        "Err : 64 x 64 images of 1024 x 1024 pixels make a mosaic larger than lumo reads "
        "(1073741824 pixels).\n\n",
        ReadDATHeader(f.get(), nr, nc, w, h, text).message());
}

TEST(ImageSetReadTest, TruncatedFilesAreRefusedOrReportedNeverRead) {
    TempDir dir;
    const std::vector<Photo> photos = Photos(3, 3, 16, 16);
    std::vector<uint8_t> good;
    ASSERT_TRUE(EncodeImageSet(photos.data(), 3, 3, {}, good).ok());
    const std::string kNotOurs =
        "[ReadDeflateZip]: input file is not in our zip file format\n";
    const std::string kEndOfFile = "\ninflate: stdin: unexpected end of file\n";
    const struct {
        size_t keep;          // bytes of the file kept
        std::string message;  // the read's failure ("": it succeeds)
        std::string errors;   // the chunk errors reported on the way
    } cases[] = {
        // Cut inside the container's header.
        {1, kNotOurs, ""},
        {7, kNotOurs, ""},
        // Cut inside a chunk: the inflater reports the end of the data, and
        // the channel's packed bits come out short.
        {good.size() / 3, "[DctImage::ReadDCTBits]: The packedbit is altered!!\n",
         kEndOfFile + kEndOfFile},
        // Cut inside the last chunk: reported, and the read goes on.
        {good.size() - 9, "", kEndOfFile},
        {good.size() - 1, "", kEndOfFile},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keep);
        const std::string path =
            dir.Write("cut.dat", std::string(good.begin(), good.begin() + c.keep));
        const Loaded r = Load(path, 3, 3, 9);
        EXPECT_EQ(c.message, r.status.message());
        EXPECT_EQ(c.message.empty(), r.status.ok());
        EXPECT_EQ(c.errors, r.errors);
    }
}

TEST(ImageSetWriteTest, RefusesImagesOfDifferentSizes) {
    std::vector<Photo> photos = Photos(2, 1, 8, 8);
    ASSERT_TRUE(photos[1].Alloc(8, 9).ok());
    std::vector<uint8_t> file;
    EXPECT_EQ("[WriteImageSet]: the images are not all of one size\n",
              EncodeImageSet(photos.data(), 2, 1, {}, file).message());
    EXPECT_EQ("[WriteImageSet]: no images\n",
              EncodeImageSet(photos.data(), 0, 1, {}, file).message());
}

using ImageSetDeathTest = ::testing::Test;

TEST_F(ImageSetDeathTest, FailuresEndTheProgramAfterTheProgress) {
    TempDir dir;
    const std::string missing = dir.File("missing.dat");
    std::vector<Photo> photos(4);
    int32_t nc = 2, nr = 2;
    EXPECT_EXIT(ReadDATOrExit(missing.c_str(), photos.data(), nc, nr, nullptr),
                ::testing::ExitedWithCode(1),
                AnyFolderRegex("Err : cannot open [" + missing + "] for reading\n\n",
                               dir.path().string()));
    const std::vector<Photo> four = Photos(2, 2, 8, 8);
    const std::string path = dir.File("ok.dat");
    ASSERT_TRUE(WriteImageSet(path.c_str(), four.data(), 2, 2).ok());
    int32_t wrong = 3;
    EXPECT_EXIT(ReadDATOrExit(path.c_str(), photos.data(), wrong, nr, nullptr),
                ::testing::ExitedWithCode(1),
                AnyFolderRegex(
                    "Err : images in [" + path +
                        "] [2 x 2] does not match that stated in .lid file [2 x 3].\n\n",
                    dir.path().string()));
    // The vector form sizes the array to the file's counts.
    auto load_vector = [&] {
        std::vector<Photo> v;
        int32_t c = 0, r = 0;
        ReadDATOrExit(path.c_str(), v, c, r, nullptr);
        std::exit(v.size() == 4 && c == 2 && r == 2 && v[3].width == 8 ? 0 : 5);
    };
    EXPECT_EXIT(load_vector(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace lumo
