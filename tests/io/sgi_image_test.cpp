#include "io/sgi_image.h"
#include "io/sgi_pvt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/file_ptr.h"
#include "io/sgi_writer.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

using testing::TempDir;

// An image whose channel c at (x, y) is a pattern with runs and literals.
SgiImage Pattern(int xs, int ys, int zs) {
    SgiImage im{xs, ys, zs, std::vector<uint8_t>(static_cast<size_t>(xs) * ys * zs)};
    for (int c = 0; c < zs; ++c)
        for (int y = 0; y < ys; ++y)
            for (int x = 0; x < xs; ++x)
                im.at(c, x, y) =
                    static_cast<uint8_t>(x < xs / 3 ? 40 * c + y : x * 7 + y * 3 + c);
    return im;
}

// Collects the reader's non-fatal reasons.
struct Reasons {
    std::vector<std::string> texts;
    MessageSink sink() {
        return [this](std::string_view t) { texts.emplace_back(t); };
    }
};

struct Loaded {
    Photo photo;
    bool loaded = false;
    Status status;
    std::vector<std::string> reasons;
};

Loaded Load(const std::string& path, const SgiReadOptions& options = {}) {
    Loaded r;
    Reasons reasons;
    r.status = ReadSGIRGB(r.photo, path.c_str(), options, reasons.sink(), r.loaded);
    r.reasons = reasons.texts;
    return r;
}

std::string Written(const TempDir& dir, const char* name, const SgiImage& image,
                    const SgiWriteOptions& options = {}) {
    const std::string path = dir.File(name);
    EXPECT_TRUE(WriteSGIFile(path.c_str(), image, options).ok());
    return path;
}

// RGB byte of channel `c` of pixel (x, y) in a loaded photo.
uint8_t Rgb(const Photo& p, int x, int y, int c) {
    return p.pixels[(static_cast<size_t>(y) * p.width + x) * 3 + c];
}

TEST(SgiRoundTripTest, EveryStorageAndScanlineOrderGivesTheImageBack) {
    struct Case {
        const char* name;
        SgiWriteOptions options;
        int xs, ys;
    };
    const Case cases[] = {
        {"verbatim", {SgiStorage::kVerbatim, SgiScanlineOrder::kRowByRow}, 13, 7},
        {"rle rows", {SgiStorage::kRunLength, SgiScanlineOrder::kRowByRow}, 13, 7},
        // Starts that decrease when walked row by row: read channel by channel.
        {"rle channels",
         {SgiStorage::kRunLength, SgiScanlineOrder::kChannelByChannel},
         300,
         5},
        {"rle backwards", {SgiStorage::kRunLength, SgiScanlineOrder::kBackwards}, 9, 4},
        {"one pixel", {SgiStorage::kRunLength, SgiScanlineOrder::kRowByRow}, 1, 1},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SgiImage im = Pattern(c.xs, c.ys, 3);
        const Loaded r = Load(Written(dir, "a.rgb", im, c.options));
        ASSERT_TRUE(r.status.ok());
        EXPECT_TRUE(r.loaded);
        EXPECT_TRUE(r.reasons.empty());
        ASSERT_EQ(c.xs, r.photo.width);
        ASSERT_EQ(c.ys, r.photo.height);
        EXPECT_EQ(0.0f, r.photo.x0);
        EXPECT_EQ(c.xs - 1.0f, r.photo.x1);
        EXPECT_EQ(c.ys - 1.0f, r.photo.y1);
        // Row 0 is the first stored row: no flip.
        EXPECT_EQ(SgiFromPhoto(r.photo).planes, im.planes);
    }
}

TEST(SgiRoundTripTest, PhotoWriterAndFlipOption) {
    TempDir dir;
    Photo p;
    ASSERT_TRUE(p.Alloc(4, 3).ok());
    for (size_t i = 0; i < p.pixels.size(); ++i)
        p.pixels[i] = static_cast<uint8_t>(i * 5);
    const std::string path = dir.File("p.rgb");
    ASSERT_TRUE(WriteSGIRGB(path.c_str(), p).ok());
    EXPECT_EQ(p.pixels, Load(path).photo.pixels);

    SgiReadOptions flip;
    flip.flip = true;
    Photo flipped = Load(path, flip).photo;
    flipped.Invert();
    EXPECT_EQ(p.pixels, flipped.pixels);
}

TEST(SgiChannelsTest, GreyAndFourChannelImages) {
    TempDir dir;
    for (int zs : {1, 2}) {
        SCOPED_TRACE(zs);
        const SgiImage im = Pattern(2, 2, zs);
        const Loaded r = Load(Written(dir, "g.rgb", im));
        ASSERT_TRUE(r.loaded);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x)
                for (int c = 0; c < 3; ++c)
                    EXPECT_EQ(im.planes[y * 2 + x], Rgb(r.photo, x, y, c));
    }
    for (SgiStorage storage : {SgiStorage::kVerbatim, SgiStorage::kRunLength}) {
        SgiImage four = Pattern(5, 3, 4);
        const Loaded r = Load(Written(dir, "f.rgb", four, {storage}));
        ASSERT_TRUE(r.loaded);
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(four.at(c, 4, 2), Rgb(r.photo, 4, 2, c));
        // Six channels: those beyond the fourth are ignored, the first three load.
        SgiImage six = Pattern(5, 3, 6);
        const Loaded r6 = Load(Written(dir, "s.rgb", six, {storage}));
        ASSERT_TRUE(r6.loaded);
        EXPECT_EQ(six.at(2, 1, 1), Rgb(r6.photo, 1, 1, 2));
    }
}

// A run-length file with one channel of one row, whose scanline is `line`.
std::string OneScanline(const TempDir& dir, int xsize, const std::vector<uint8_t>& line) {
    std::vector<uint8_t> f(512, 0);
    f[0] = 0x01, f[1] = 0xDA, f[2] = 1, f[3] = 1, f[5] = 2;
    f[7] = static_cast<uint8_t>(xsize), f[9] = 1, f[11] = 1;
    const uint32_t start = 520, length = static_cast<uint32_t>(line.size());
    for (uint32_t v : {start, length})
        for (int s = 24; s >= 0; s -= 8)
            f.push_back(static_cast<uint8_t>(v >> s));
    f.insert(f.end(), line.begin(), line.end());
    return dir.Write("line.rgb", std::string(f.begin(), f.end()));
}

TEST(SgiRunLengthTest, PacketsExpandAndStopAtTheRowsEnd) {
    struct Case {
        const char* name;
        int xsize;
        std::vector<uint8_t> line;
        std::vector<uint8_t> row;
    };
    const Case cases[] = {
        {"literal then run",
         5,
         {0x83, 0x0A, 0x0B, 0x0C, 0x02, 0x05, 0x00},
         {10, 11, 12, 5, 5}},
        // A run past the row's end stops there.
        {"run too long", 3, {0x7F, 0x09, 0x00}, {9, 9, 9}},
        {"literal too long", 2, {0x84, 1, 2, 3, 4, 0x00}, {1, 2}},
        // A scanline that ends early leaves the rest of the row 0.
        {"ends early", 4, {0x02, 0x07, 0x00}, {7, 7, 0, 0}},
        {"no terminator", 4, {0x81, 0x03}, {3, 0, 0, 0}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded r = Load(OneScanline(dir, c.xsize, c.line));
        ASSERT_TRUE(r.loaded);
        ASSERT_EQ(c.xsize, r.photo.width);
        for (int x = 0; x < c.xsize; ++x)
            EXPECT_EQ(c.row[x], Rgb(r.photo, x, 0, 1)) << x;
    }
    // The packer's output expands to what it packed.
    for (size_t n : {0, 1, 2, 3, 127, 128, 300}) {
        std::vector<uint8_t> row(n);
        for (size_t i = 0; i < n; ++i)
            row[i] = static_cast<uint8_t>(i % 50 < 30 ? 1 : i);
        SgiImage im{static_cast<int>(n), 1, 1, row};
        const Loaded r = Load(Written(dir, "p.rgb", im));
        ASSERT_TRUE(r.loaded);
        const std::vector<uint8_t> planes = SgiFromPhoto(r.photo).planes;
        EXPECT_EQ(row, std::vector<uint8_t>(planes.begin(), planes.begin() + n));
    }
}

// Bytes of a valid file with patches applied.
std::string Patched(std::string bytes,
                    std::initializer_list<std::pair<size_t, uint8_t>> at) {
    for (auto [i, v] : at)
        bytes[i] = static_cast<char>(v);
    return bytes;
}

TEST(SgiRefusedTest, ReasonsLeaveAnEmptyPhoto) {
    TempDir dir;
    const std::string rle =
        testing::ReadFileBytes(Written(dir, "ok.rgb", Pattern(6, 4, 3)));
    const std::string verbatim = testing::ReadFileBytes(
        Written(dir, "v.rgb", Pattern(6, 4, 3), {SgiStorage::kVerbatim}));
    struct Case {
        const char* name;
        std::string bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"short header", rle.substr(0, 9), "error in header info"},
        {"empty file", "", "error in header info"},
        {"bad magic", Patched(rle, {{1, 0xDB}}), "bad magic number"},
        {"two bytes per channel", Patched(verbatim, {{3, 2}}),
         "image must have 1 byte per pix chan"},
        // Only part of the start and length tables is in the file.
        {"tables cut", rle.substr(0, 512 + 40), "error reading scanline tables"},
        // The first scanline's length (entry 0 of the length table) is
        // larger than 2 * xsize + 10.
        {"scanline too long", Patched(rle, {{512 + 48 + 3, 23}}),
         "rlebuf too small (corrupt image file?)"},
        {"negative length", Patched(rle, {{512 + 48, 0xFF}}),
         "rlebuf too small (corrupt image file?)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Loaded r = Load(dir.Write("dir/bad.rgb", c.bytes));
        ASSERT_TRUE(r.status.ok()) << r.status.message();
        EXPECT_FALSE(r.loaded);
        ASSERT_EQ(1u, r.reasons.size());
        EXPECT_EQ(std::string("bad.rgb: ") + c.reason, r.reasons[0]);
        EXPECT_FALSE(r.photo.has_pixels());
        EXPECT_EQ(0, r.photo.width);
        EXPECT_EQ(0, r.photo.height);
        EXPECT_EQ(-1.0f, r.photo.x1);
    }
}

TEST(SgiRefusedTest, MissingFileNamesItsBaseNameAndReleasesOldPixels) {
    TempDir dir;
    Photo p;
    ASSERT_TRUE(p.Alloc(2, 2).ok());
    Reasons reasons;
    bool loaded = true;
    const std::string path = dir.File("no/such.rgb");
    ASSERT_TRUE(ReadSGIRGB(p, path.c_str(), {}, reasons.sink(), loaded).ok());
    EXPECT_FALSE(loaded);
    EXPECT_EQ(std::vector<std::string>{"such.rgb: can't open file"}, reasons.texts);
    EXPECT_FALSE(p.has_pixels());
    EXPECT_EQ(0, p.width);

    // The programs' sink writes the same text to standard error.
    ::testing::internal::CaptureStderr();
    loaded = true;
    EXPECT_TRUE(ReadSGIRGB(p, path.c_str(), {}, WriteToStderr, loaded).ok());
    EXPECT_FALSE(loaded);
    EXPECT_EQ("such.rgb: can't open file", ::testing::internal::GetCapturedStderr());
}

TEST(SgiTruncatedTest, LoadsWhatIsThereAndWarns) {
    TempDir dir;
    const SgiImage im = Pattern(8, 4, 3);
    for (SgiStorage storage : {SgiStorage::kVerbatim, SgiStorage::kRunLength}) {
        SCOPED_TRACE(storage == SgiStorage::kVerbatim ? "verbatim" : "rle");
        const std::string whole =
            testing::ReadFileBytes(Written(dir, "t.rgb", im, {storage}));
        const Loaded r = Load(dir.Write("t2.rgb", whole.substr(0, whole.size() - 5)));
        ASSERT_TRUE(r.status.ok());
        EXPECT_TRUE(r.loaded);
        EXPECT_EQ(std::vector<std::string>{"t2.rgb: File appears to be truncated."},
                  r.reasons);
        ASSERT_TRUE(r.photo.has_pixels());
        EXPECT_EQ(im.at(0, 0, 0), Rgb(r.photo, 0, 0, 0));
        // The missing end of the last channel's last row stays 0.
        EXPECT_EQ(0, Rgb(r.photo, 7, 3, 2));
    }
}

TEST(SgiStreamTest, OpenStreamAtAnOffsetWithHeaderReversal) {
    TempDir dir;
    const SgiImage im = Pattern(5, 3, 3);
    const std::string path = dir.File("embedded.bin");
    {
        FilePtr f = OpenFile(path.c_str(), "wb");
        std::fputs("some leading bytes", f.get());
        ASSERT_TRUE(WriteSGI(f.get(), im).ok());
    }
    FilePtr f = OpenFile(path.c_str(), "rb");
    Reasons reasons;
    bool loaded = false;
    Photo p;
    SgiReadOptions options;
    options.stream = f.get();
    options.offset = 18;
    options.reverse_header = 0;
    ASSERT_TRUE(ReadSGIRGB(p, nullptr, options, reasons.sink(), loaded).ok());
    EXPECT_TRUE(loaded);
    EXPECT_EQ(im.planes, SgiFromPhoto(p).planes);

    // Automatic reversal is on for an open stream: the six words are taken in
    // reverse order, so a plain header reads its channel count as the magic.
    options.reverse_header = -1;
    ASSERT_TRUE(ReadSGIRGB(p, nullptr, options, reasons.sink(), loaded).ok());
    EXPECT_FALSE(loaded);
    EXPECT_EQ(": bad magic number", reasons.texts.back());

    // A header stored with its words reversed loads with reversal on.
    std::string bytes = testing::ReadFileBytes(path).substr(18);
    std::string words = bytes.substr(0, 12);
    for (int i = 0; i < 6; ++i)
        bytes.replace(2 * i, 2, words.substr(2 * (5 - i), 2));
    const std::string reversed = dir.Write("reversed.rgb", bytes);
    options = SgiReadOptions();
    options.reverse_header = 1;
    Loaded r = Load(reversed, options);
    EXPECT_TRUE(r.loaded);
    EXPECT_EQ(im.planes, SgiFromPhoto(r.photo).planes);
}

TEST(SgiKeepBufferTest, ReusesTheBlockOrRefusesWithoutOne) {
    TempDir dir;
    const std::string path = Written(dir, "k.rgb", Pattern(3, 2, 3));
    Photo p;
    ASSERT_TRUE(p.Alloc(3, 2).ok());
    const uint8_t* block = p.pixels.data();
    SgiReadOptions keep;
    keep.keep_buffer = true;
    bool loaded = false;
    ASSERT_TRUE(ReadSGIRGB(p, path.c_str(), keep, MessageSink(), loaded).ok());
    EXPECT_TRUE(loaded);
    EXPECT_EQ(block, p.pixels.data());
    EXPECT_EQ(Pattern(3, 2, 3).planes, SgiFromPhoto(p).planes);

    Photo empty;
    const Status s = ReadSGIRGB(empty, path.c_str(), keep, MessageSink(), loaded);
    EXPECT_EQ("[ReadSGIRGB]: you have not allocated memory before for buf\n",
              s.message());
}

// A run-length SGI image of xs x ys pixels, one channel, whose rows all use
// one stored scanline of a constant value: the smallest file for its size.
std::string SharedScanlineImage(int xs, int ys, uint8_t value) {
    std::string bytes(512, '\0');
    auto put16 = [&](size_t at, int v) {
        bytes[at] = static_cast<char>(v >> 8);
        bytes[at + 1] = static_cast<char>(v);
    };
    put16(0, 474);     // magic
    put16(2, 0x0101);  // run-length, one byte per channel
    put16(4, 2);       // dimension
    put16(6, xs), put16(8, ys), put16(10, 1);
    std::string line;
    for (int left = xs; left > 0; left -= 127) {
        line.push_back(static_cast<char>(std::min(left, 127)));  // a run
        line.push_back(static_cast<char>(value));
    }
    line.push_back('\0');
    const uint32_t start = 512 + 8 * static_cast<uint32_t>(ys);
    auto put32 = [&](uint32_t v) {
        for (int b = 24; b >= 0; b -= 8)
            bytes.push_back(static_cast<char>(v >> b));
    };
    for (int y = 0; y < ys; ++y)
        put32(start);
    for (int y = 0; y < ys; ++y)
        put32(static_cast<uint32_t>(line.size()));
    return bytes + line;
}

TEST(SgiSizeTest, SizesFollowWhatTheFileCanHold) {
    TempDir dir;
    // 4096 x 4096 pixels from 33 KB: every row shares one scanline.
    const std::string shared = SharedScanlineImage(4096, 4096, 77);
    EXPECT_LT(shared.size(), 34000u);
    const Loaded big = Load(dir.Write("shared.rgb", shared));
    ASSERT_TRUE(big.status.ok()) << big.status.message();
    ASSERT_TRUE(big.loaded);
    EXPECT_EQ(4096, big.photo.width);
    EXPECT_EQ(77, Rgb(big.photo, 4095, 4095, 2));

    const std::string rle =
        testing::ReadFileBytes(Written(dir, "s.rgb", Pattern(2, 2, 1)));
    SgiWriteOptions verbatim_options;
    verbatim_options.storage = SgiStorage::kVerbatim;
    const std::string verbatim =
        testing::ReadFileBytes(Written(dir, "v.rgb", Pattern(2, 2, 1), verbatim_options));
    const std::string too_large =
        "[LoadIRIS]: image of 65535 x 65535 pixels is larger than lumo reads (268435456 "
        "pixels)\n";
    const std::string no_fit = "[LoadIRIS]: image size does not fit the file\n";
    struct Case {
        const char* name;
        std::string bytes;
        std::string message;
    };
    const Case cases[] = {
        // Larger than any image lumo reads, whatever the file holds.
        {"65535 x 65535", Patched(rle, {{6, 0xFF}, {7, 0xFF}, {8, 0xFF}, {9, 0xFF}}),
         too_large},
        // 16000 x 16000 verbatim pixels cannot come from a few hundred bytes.
        {"verbatim", Patched(verbatim, {{6, 0x3E}, {7, 0x80}, {8, 0x3E}, {9, 0x80}}),
         no_fit},
        // Rows of 16000 pixels need at least 253 bytes of scanline after the
        // tables: a shared-scanline file of 1000 pixels per row has fewer.
        {"run-length rows",
         Patched(SharedScanlineImage(1000, 8, 1), {{6, 0x3E}, {7, 0x80}}), no_fit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded r = Load(dir.Write("bad.rgb", c.bytes));
        EXPECT_EQ(c.message, r.status.message());
        EXPECT_FALSE(r.photo.has_pixels());
    }
}

TEST(SgiHelpersTest, ShufflingAndBaseName) {
    uint16_t words[6] = {1, 2, 3, 4, 5, 6};
    const int order[6] = {5, 4, 3, 2, 1, 0};
    ASSERT_TRUE(shuffling(words, 2, order, 6).ok());
    const uint16_t expected[6] = {6, 5, 4, 3, 2, 1};
    EXPECT_EQ(0, std::memcmp(words, expected, sizeof words));
    const int rotate[3] = {1, 2, 0};
    uint32_t three[3] = {10, 20, 30};
    ASSERT_TRUE(shuffling(three, 4, rotate, 3).ok());
    EXPECT_EQ(20u, three[0]);
    EXPECT_EQ(10u, three[2]);

    EXPECT_STREQ("c.rgb", BaseName("a/b/c.rgb"));
    EXPECT_STREQ("c.rgb", BaseName("c.rgb"));
    EXPECT_STREQ("", BaseName("dir/"));
}

TEST(SgiFatalTest, FatalFailuresAreReturnedWithTheirMessage) {
    TempDir dir;
    std::string bytes = testing::ReadFileBytes(Written(dir, "s.rgb", Pattern(2, 2, 1)));
    // Rows of 65282 pixels: more than the file's few scanline bytes can give.
    const std::string huge = dir.Write("huge.rgb", Patched(bytes, {{6, 0xFF}}));
    const struct {
        bool keep_buffer;
        const char* message;
    } cases[] = {
        {false, "[LoadIRIS]: image size does not fit the file\n"},
        {true, "[ReadSGIRGB]: you have not allocated memory before for buf\n"},
    };
    for (const auto& c : cases) {
        Photo p;
        Reasons reasons;
        bool loaded = true;
        SgiReadOptions options;
        options.keep_buffer = c.keep_buffer;
        const Status s = ReadSGIRGB(p, huge.c_str(), options, reasons.sink(), loaded);
        EXPECT_FALSE(s.ok()) << c.message;
        EXPECT_EQ(c.message, s.message());
        EXPECT_FALSE(loaded) << c.message;
        EXPECT_FALSE(p.has_pixels()) << c.message;
    }
}

}  // namespace
}  // namespace lumo
