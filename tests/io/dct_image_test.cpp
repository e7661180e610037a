#include "io/dct_image.h"
#include "io/dct_pvt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "io/dct_writer.h"
#include "io/deflate_writer.h"
#include "io/memory_stream.h"
#include "tests/io/exact_regex.h"

namespace lumo {
namespace {

// A smooth picture with an edge, as light-slab photographs are.
std::vector<float> Picture(int w, int h) {
    std::vector<float> p(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p[static_cast<size_t>(y) * w + x] =
                static_cast<float>(128 + 90 * std::sin(x * 0.21) * std::cos(y * 0.13) +
                                   (x > w / 2 ? 20 : 0));
    return p;
}

// A code with the given widths, a codebook whose entry i of position k is
// value(k, i), and indices index(i) for coefficient number i.
template <class Value, class Index>
DctCode MakeCode(int w, int h, const std::vector<int>& widths, Value value, Index index) {
    DctCode code;
    code.width = w;
    code.height = h;
    code.codebook.resize(64);
    for (int k = 0; k < 64; ++k) {
        code.bitWidth[k] = k < static_cast<int>(widths.size()) ? widths[k] : 0;
        for (int i = 0; i < (1 << code.bitWidth[k]); ++i)
            code.codebook[k].push_back(value(k, i));
    }
    const size_t n = static_cast<size_t>((w + 7) / 8 * 8) * ((h + 7) / 8 * 8);
    for (size_t i = 0; i < n; ++i)
        code.index.push_back(static_cast<int32_t>(index(i)) &
                             ((1 << code.bitWidth[i % 64]) - 1));
    return code;
}

struct Read {
    Status status;
    DctImage image;
    long position = -1;
};

Read ReadBytes(const std::vector<uint8_t>& file, const DctReadOptions& options = {}) {
    Read r;
    FilePtr f = OpenMemoryStream(file.data(), file.size());
    r.status = r.image.Read(f.get(), options);
    r.position = std::ftell(f.get());
    return r;
}

std::vector<uint8_t> Stream(const DctCode& code) {
    std::vector<uint8_t> file;
    EXPECT_TRUE(AppendDctStream(file, code).ok());
    return file;
}

// The decode as the steps run one after another, with their progress text.
std::vector<float> DecodeInSteps(const DctImage& d, std::string& text) {
    MessageSink sink = [&](std::string_view t) { text += t; };
    std::vector<int32_t> index;
    std::vector<float> coeff, padded, out;
    text += "1";
    EXPECT_TRUE(d.UnPackBit(index, sink, MessageSink()).ok());
    text += "2";
    EXPECT_TRUE(d.RecoverDCTCoeff(index, coeff, sink).ok());
    text += "3";
    padded.resize(coeff.size());
    DecodeBlocks(coeff.data(), d.paddedWidth, d.paddedHeight, padded.data(), sink);
    if (d.unpadded) {
        out = padded;
    } else {
        EXPECT_TRUE(d.ImgDimAdjust(padded, out).ok());
    }
    text += "4 ok\n";
    return out;
}

std::vector<float> DecodeFused(const DctImage& d, std::string& text, int threads = 1) {
    std::vector<float> out;
    int32_t w = 0, h = 0;
    EXPECT_TRUE(
        d.DecodeTo(
             out, w, h, [&](std::string_view t) { text += t; }, MessageSink(), threads)
            .ok());
    EXPECT_EQ(d.width, w);
    EXPECT_EQ(d.height, h);
    return out;
}

TEST(DctDecodeTest, ConstantAndSingleCoefficientBlocks) {
    // All widths 0, codebook 0 holding d: a constant image of d / 8.
    const DctCode flat = MakeCode(
        16, 8, {}, [](int k, int) { return k == 0 ? 100.0f : 0.0f; },
        [](size_t) { return 0; });
    Read r = ReadBytes(Stream(flat));
    ASSERT_TRUE(r.status.ok()) << r.status.message();
    EXPECT_TRUE(r.image.unpadded);
    std::string text;
    EXPECT_EQ(std::vector<float>(128, 12.5f), DecodeFused(r.image, text));

    // Only position 0 nonzero with 8a: every value a.
    const DctCode dc = MakeCode(
        8, 8, {}, [](int k, int) { return k == 0 ? 8 * 3.25f : 0.0f; },
        [](size_t) { return 0; });
    r = ReadBytes(Stream(dc));
    EXPECT_EQ(std::vector<float>(64, 3.25f), DecodeFused(r.image, text));
}

TEST(DctDecodeTest, FusedDecodeEqualsTheStepsForEverySizeAndThreadCount) {
    struct Case {
        int w, h;
    };
    // Padded in both directions, in height only (cropping by the first
    // width x height values), and unpadded.
    for (Case c : {Case{10, 10}, Case{8, 12}, Case{64, 40}, Case{37, 91}, Case{1, 1}}) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        DctCode code;
        ASSERT_TRUE(
            EncodeDct(Picture(c.w, c.h).data(), c.w, c.h, {.rate = 2.5}, code).ok());
        Read r = ReadBytes(Stream(code));
        ASSERT_TRUE(r.status.ok()) << r.status.message();
        EXPECT_EQ((c.w + 7) / 8 * 8, r.image.paddedWidth);
        EXPECT_EQ(c.w % 8 == 0 && c.h % 8 == 0, r.image.unpadded);
        std::string steps_text;
        const std::vector<float> steps = DecodeInSteps(r.image, steps_text);
        ASSERT_EQ(static_cast<size_t>(c.w) * c.h, steps.size());
        for (int threads : {1, 2, 3}) {
            std::string text;
            const std::vector<float> fused = DecodeFused(r.image, text, threads);
            EXPECT_EQ(0, std::memcmp(steps.data(), fused.data(), steps.size() * 4))
                << threads;
            EXPECT_EQ(steps_text, text);
        }
        // The decoder read the encoder's own indices.
        const DctImage direct = DctImageFromCode(code);
        std::string text;
        EXPECT_EQ(steps, DecodeFused(direct, text));
        // Bytes are the floats through FloatToByte.
        std::vector<uint8_t> bytes(steps.size()), expected(steps.size());
        ASSERT_TRUE(
            r.image.DecodeToBytes(bytes.data(), c.w, MessageSink(), MessageSink(), 2)
                .ok());
        FloatToByte(steps.data(), expected.data(), steps.size());
        EXPECT_EQ(expected, bytes);
    }
}

TEST(DctDecodeTest, FusedDecodeKeepsEveryBitOfAwkwardValues) {
    // Codebooks with signed zeros, infinities, tiny and huge values, and
    // indices that make many columns zero but for row 0 (the shortcut) in
    // some blocks and not in others.
    const float awkward[8] = {0.0f,  -0.0f,     1e-30f,   -3.5f,
                              1e30f, -INFINITY, 2043.99f, NAN};
    const DctCode code = MakeCode(
        37, 21, std::vector<int>(64, 3),
        [&](int k, int i) { return k % 8 == 0 ? awkward[i] : awkward[i] * (k % 3 - 1); },
        [](size_t i) { return (i * 2654435761u >> 7) % 11 < 7 ? 0 : (i * 40503u) >> 5; });
    const DctImage d = DctImageFromCode(code);
    std::string a, b;
    const std::vector<float> steps = DecodeInSteps(d, a);
    for (int threads : {1, 2}) {
        const std::vector<float> fused = DecodeFused(d, b, threads);
        ASSERT_EQ(steps.size(), fused.size());
        // Identical bits, except that a NaN may come out with another sign or
        // payload (which NaN an operation on two of them returns depends on
        // the operand order the compiler picks).
        for (size_t i = 0; i < steps.size(); ++i) {
            if (std::isnan(steps[i])) {
                EXPECT_TRUE(std::isnan(fused[i])) << i;
            } else {
                EXPECT_EQ(0, std::memcmp(&steps[i], &fused[i], 4)) << i;
            }
        }
        // The bytes are FloatToByte of the same values, NaN and infinities
        // included.
        std::vector<uint8_t> bytes(steps.size()), expected(steps.size());
        ASSERT_TRUE(
            d.DecodeToBytes(bytes.data(), 37, MessageSink(), MessageSink(), threads)
                .ok());
        FloatToByte(steps.data(), expected.data(), steps.size());
        EXPECT_EQ(expected, bytes);
    }
}

// Runs the decoder with `lanes` lanes for the life of the object.
class LaneWidth {
  public:
    explicit LaneWidth(int lanes) : before_(DctLaneWidth()) { SetDctLaneWidth(lanes); }
    ~LaneWidth() { SetDctLaneWidth(before_); }
    LaneWidth(const LaneWidth&) = delete;
    LaneWidth& operator=(const LaneWidth&) = delete;

  private:
    int before_;
};

// Every lane width the machine has, and the portable 4, gives the values of
// the steps run one after another (the scalar reference): as floats, as
// bytes, and band by band as the image-set reader decodes. The sizes cover
// runs of 16 blocks inside one block row, across rows and at a cropped
// right or bottom edge; the codes cover whole bytes per block, bits that
// are not a multiple of 8, fields across byte boundaries, and codebooks of
// awkward values (signed zeros, infinities, NaN, many zero columns).
TEST(DctDecodeTest, EveryLaneWidthGivesTheStepsValues) {
    const float awkward[8] = {0.0f,  -0.0f,     1e-30f,   -3.5f,
                              1e30f, -INFINITY, 2043.99f, NAN};
    struct Case {
        const char* name;
        DctImage image;
    };
    std::vector<Case> cases;
    for (auto [w, h] : {std::pair{256, 24}, std::pair{200, 37}, std::pair{136, 9},
                        std::pair{130, 130}, std::pair{40, 40}}) {
        DctCode code;
        ASSERT_TRUE(EncodeDct(Picture(w, h).data(), w, h, {.rate = 3}, code).ok());
        cases.push_back({"encoded", DctImageFromCode(code)});
    }
    // Eight fields of 1 to 4 bits, 20 bits in all (not whole bytes, so each
    // block starts at another shift), and fields of 16, 13 and 3 bits (whole
    // bytes, fields straddling bytes).
    std::vector<int> odd(64, 0), wide(64, 0);
    for (int k = 0; k < 8; ++k)
        odd[k * 7 % 64] = 1 + (k * 5) % 4;
    wide[0] = 16;
    wide[9] = 13;
    wide[10] = 3;
    auto spread = [](size_t i) { return (i * 2654435761u) >> 9; };
    cases.push_back(
        {"odd bits",
         DctImageFromCode(MakeCode(
             264, 20, odd, [](int k, int i) { return float(k * 3 - i * 17); }, spread))});
    cases.push_back(
        {"wide fields",
         DctImageFromCode(MakeCode(
             160, 16, wide, [](int k, int i) { return float(i % 301 - k); }, spread))});
    cases.push_back({"awkward values",
                     DctImageFromCode(MakeCode(
                         301, 21, std::vector<int>(64, 3),
                         [&](int k, int i) {
                             return k % 8 == 0 ? awkward[i] : awkward[i] * (k % 3 - 1);
                         },
                         [](size_t i) {
                             return (i * 2654435761u >> 7) % 11 < 7 ? 0
                                                                    : (i * 40503u) >> 5;
                         }))});
    for (const Case& c : cases) {
        const DctImage& d = c.image;
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(d.width) + "x" +
                     std::to_string(d.height));
        std::string text;
        const std::vector<float> steps = DecodeInSteps(d, text);
        std::vector<uint8_t> expected(steps.size());
        FloatToByte(steps.data(), expected.data(), steps.size());
        const size_t w = static_cast<size_t>(d.width), h = static_cast<size_t>(d.height);
        for (int lanes : {4, 16}) {
            const LaneWidth width(lanes);
            SCOPED_TRACE(DctLaneWidth());
            for (int threads : {1, 2}) {
                const std::vector<float> fused = DecodeFused(d, text, threads);
                ASSERT_EQ(steps.size(), fused.size());
                for (size_t i = 0; i < steps.size(); ++i) {
                    if (std::isnan(steps[i])) {
                        EXPECT_TRUE(std::isnan(fused[i])) << i;
                    } else {
                        ASSERT_EQ(0, std::memcmp(&steps[i], &fused[i], 4)) << i;
                    }
                }
                std::vector<uint8_t> bytes(steps.size());
                ASSERT_TRUE(d.DecodeToBytes(bytes.data(), w, MessageSink(), MessageSink(),
                                            threads)
                                .ok());
                EXPECT_EQ(expected, bytes);
            }
            // Band by band, into rows wider than the image (the stride).
            const DctBandDecoder bands(d);
            const size_t stride = w + 5;
            std::vector<uint8_t> banded(stride * h, 0xEE);
            const size_t rows = (h + 7) / 8;
            for (size_t r = 0; r < rows; r += 2)
                bands.Rows(r, std::min(rows, r + 2), banded.data() + 8 * r * stride,
                           stride);
            for (size_t y = 0; y < h; ++y) {
                ASSERT_TRUE(std::equal(expected.begin() + y * w,
                                       expected.begin() + y * w + w,
                                       banded.begin() + y * stride))
                    << y;
                ASSERT_EQ(0xEE, banded[y * stride + w]) << y;
            }
        }
    }
}

TEST(DctDecodeTest, ProgressDotsFollowTheCounts) {
    // 1024 x 800: 819200 coefficients (3 dots each for the first two steps),
    // 12800 blocks (3 dots).
    const DctCode code = MakeCode(
        1024, 800, {}, [](int, int) { return 0.0f; }, [](size_t) { return 0; });
    const DctImage d = DctImageFromCode(code);
    EXPECT_EQ("1...2...3...4 ok\n", d.ProgressText());
    std::string text;
    DecodeInSteps(d, text);
    EXPECT_EQ(d.ProgressText(), text);
}

TEST(DctDecodeTest, CropTakesTheFirstValuesOfEachRow) {
    const DctCode code = MakeCode(
        10, 10, {4, 3, 3, 2, 2, 2},
        [](int k, int i) { return float(k * 16 + i * 5 - 20); },
        [](size_t i) { return i * 7 + i / 64; });
    const DctImage d = DctImageFromCode(code);
    std::vector<int32_t> index;
    std::vector<float> coeff, padded(256), out;
    ASSERT_TRUE(d.UnPackBit(index, MessageSink(), MessageSink()).ok());
    EXPECT_EQ(code.index, index);
    ASSERT_TRUE(d.RecoverDCTCoeff(index, coeff, MessageSink()).ok());
    DecodeBlocks(coeff.data(), 16, 16, padded.data(), MessageSink());
    ASSERT_TRUE(d.ImgDimAdjust(padded, out).ok());
    ASSERT_EQ(100u, out.size());
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(padded[y * 16 + x], out[y * 10 + x]);
}

TEST(DctDecodeTest, IndicesAreReadMostSignificantBitFirstAcrossBytes) {
    DctImage d = DctImageFromCode(MakeCode(
        8, 8, {5, 6}, [](int, int) { return 0.0f; }, [](size_t) { return 0; }));
    // 10110011 01011100 ...: position 0 takes 10110 (22), position 1 takes
    // 011 and then 010 from the second byte (011010 = 26).
    d.packed[0] = 0xB3;
    d.packed[1] = 0x5C;
    std::vector<int32_t> index;
    ASSERT_TRUE(d.UnPackBit(index, MessageSink(), MessageSink()).ok());
    EXPECT_EQ(22, index[0]);
    EXPECT_EQ(26, index[1]);
}

TEST(DctDecodeTest, BitsNotAMultipleOfEightWarnAndMissingBitsReadAsZero) {
    // 100 bits per block over two blocks: the size check counts 12 bytes per
    // block, so the last 8 bits of the second block are not in the file.
    std::vector<int> widths(10, 10);
    const DctCode code = MakeCode(
        16, 8, widths, [](int k, int i) { return float(k + i); },
        [](size_t) { return 1023; });
    std::vector<uint8_t> packed = PackIndices(code);
    ASSERT_EQ(25u, packed.size());
    packed.resize(24);
    std::vector<uint8_t> file;
    std::string head = "DCT\n16 8\n";
    file.assign(head.begin(), head.end());
    for (int k = 0; k < 64; ++k)
        for (int s = 24; s >= 0; s -= 8)
            file.push_back(static_cast<uint8_t>(code.bitWidth[k] >> s));
    for (const auto& book : code.codebook)
        for (float v : book) {
            uint32_t bits;
            std::memcpy(&bits, &v, 4);
            for (int s = 24; s >= 0; s -= 8)
                file.push_back(static_cast<uint8_t>(bits >> s));
        }
    ASSERT_TRUE(AppendDeflateZip(file, packed.data(), packed.size()).ok());
    Read r = ReadBytes(file);
    ASSERT_TRUE(r.status.ok()) << r.status.message();
    EXPECT_EQ(100, r.image.bitsPerBlock);
    std::string warnings;
    std::vector<int32_t> index;
    ASSERT_TRUE(
        r.image
            .UnPackBit(index, MessageSink(), [&](std::string_view t) { warnings += t; })
            .ok());
    EXPECT_EQ("[DctImage::UnPackBit]: Warning! total no of bits are not 8-multiple\n",
              warnings);
    EXPECT_EQ(1023, index[64 + 8]);
    EXPECT_EQ(768, index[64 + 9]);  // its last eight bits were not stored
    std::string fused_warnings, text;
    std::vector<float> out;
    int32_t w, h;
    ASSERT_TRUE(r.image
                    .DecodeTo(out, w, h, MessageSink(),
                              [&](std::string_view t) { fused_warnings += t; })
                    .ok());
    EXPECT_EQ(warnings, fused_warnings);
    EXPECT_EQ(DecodeInSteps(r.image, text), out);
}

TEST(DctStreamTest, ConsecutiveStreamsStartWhereTheLastEnded) {
    DctCode a, b;
    ASSERT_TRUE(EncodeDct(Picture(24, 16).data(), 24, 16, {}, a).ok());
    ASSERT_TRUE(EncodeDct(Picture(9, 9).data(), 9, 9, {.rate = 1}, b).ok());
    std::vector<uint8_t> file;
    ASSERT_TRUE(AppendDctStream(file, a).ok());
    const size_t second = file.size();
    ASSERT_TRUE(AppendDctStream(file, b).ok());
    FilePtr f = OpenMemoryStream(file.data(), file.size());
    DctImage da, db;
    ASSERT_TRUE(da.Read(f.get()).ok());
    EXPECT_EQ(static_cast<long>(second), std::ftell(f.get()));
    ASSERT_TRUE(db.Read(f.get()).ok());
    EXPECT_EQ(9, db.width);
    EXPECT_EQ(64, db.bitsPerBlock);
}

TEST(DctStreamTest, RefusedStreams) {
    DctCode code;
    ASSERT_TRUE(EncodeDct(Picture(16, 16).data(), 16, 16, {}, code).ok());
    const std::vector<uint8_t> good = Stream(code);
    const std::string text(good.begin(), good.end());
    const size_t widths = text.find("16 16\n") + 6;
    auto with = [&](size_t at, std::string bytes) {
        std::string t = text;
        t.replace(at, bytes.size(), bytes);
        return std::vector<uint8_t>(t.begin(), t.end());
    };
    auto bytes = [](std::string t) { return std::vector<uint8_t>(t.begin(), t.end()); };
    const std::string prefix = "[DctImage::ReadDCTBits]: ";
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        std::string message;
    };
    const Case cases[] = {
        {"signature", with(0, "JPG"), "Signature not matching\n"},
        {"empty", {}, "Signature not matching\n"},
        {"no size line", bytes("DCT\n"), "image size out of range\n"},
        {"size does not scan", bytes("DCT\nwide high\n"), "image size out of range\n"},
        {"negative size", bytes("DCT\n-8 8\n"), "image size out of range\n"},
        {"size too large", bytes("DCT\n100000 100000\n"), "image size out of range\n"},
        {"widths cut", bytes("DCT\n8 8\n\x00\x00\x00\x01"), "Error writing bitmap\n"},
        {"width 32", with(widths, std::string("\x00\x00\x00\x20", 4)),
         "Error writing bitmap\n"},
        {"negative width", with(widths, "\xFF"), "Error writing bitmap\n"},
        // A width of 30 asks for 2^30 codebook entries the file does not hold.
        {"codebook past the file", with(widths, std::string("\x00\x00\x00\x1E", 4)),
         "Error reading codebook\n"},
        {"codebook cut", bytes(text.substr(0, widths + 256 + 10)),
         "Error reading codebook\n"},
        // One more bit at position 63 changes the expected packed size.
        {"packed size", with(widths + 252, std::string("\x00\x00\x00\x01", 4)), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Read r = ReadBytes(c.file);
        EXPECT_FALSE(r.status.ok());
        if (!c.message.empty()) {
            EXPECT_EQ(prefix + c.message, r.status.message());
            // The fatal wrapper prints exactly that and exits with 1.
            auto read = [&] {
                FilePtr f = OpenMemoryStream(c.file.data(), c.file.size());
                DctImage().ReadOrExit(f.get());
            };
            EXPECT_EXIT(read(), ::testing::ExitedWithCode(1),
                        testing::ExactRegex(prefix + c.message));
        }
        EXPECT_FALSE(r.image.ready);
    }
    // A size line claiming one block while the packed data hold two.
    DctCode two = MakeCode(
        8, 16, {8}, [](int, int i) { return float(i); }, [](size_t i) { return i; });
    std::vector<uint8_t> claimed = Stream(two);
    ASSERT_EQ('1', claimed[6]);
    claimed[6] = ' ';
    claimed[7] = '8';  // "8  8"
    EXPECT_EQ(prefix + "The packedbit is altered!!\n",
              ReadBytes(claimed).status.message());
}

TEST(DctStreamTest, DecodeBeforeReadFails) {
    DctImage d;
    std::vector<float> out;
    int32_t w, h;
    EXPECT_EQ("[DctImage::Decode]: No compressed data ready to decode\n",
              d.DecodeTo(out, w, h, MessageSink(), MessageSink()).message());
}

TEST(DctTransformTest, ForwardThenInverseGivesTheBlockBack) {
    float block[64];
    for (int i = 0; i < 64; ++i)
        block[i] = static_cast<float>((i * 37) % 255);
    double f[64];
    ForwardDct8x8(block, f);
    float table[64], back[64];
    IdctScaleTable(table);
    for (int k = 0; k < 64; ++k)
        back[k] = static_cast<float>(f[k]) * table[k];
    Idct8x8(back);
    for (int i = 0; i < 64; ++i)
        EXPECT_NEAR(block[i], back[i], 2e-3) << i;
    EXPECT_NEAR(8.0 * std::accumulate(block, block + 64, 0.0) / 64, f[0], 1e-9);
}

TEST(DctEncodeTest, BitAllocationMeetsTheRateAndQualityGrowsWithIt) {
    const int w = 96, h = 64;
    const std::vector<float> picture = Picture(w, h);
    double last_psnr = 0.0;
    for (double rate : {0.5, 1.0, 2.0, 4.0}) {
        DctCode code;
        ASSERT_TRUE(EncodeDct(picture.data(), w, h, {.rate = rate}, code).ok());
        const int bits = std::accumulate(code.bitWidth, code.bitWidth + 64, 0);
        EXPECT_EQ(static_cast<int>(std::lround(64 * rate / 8) * 8), bits) << rate;
        std::string text;
        const std::vector<float> out = DecodeFused(DctImageFromCode(code), text);
        double se = 0.0;
        for (size_t i = 0; i < out.size(); ++i)
            se += (out[i] - picture[i]) * (out[i] - picture[i]);
        const double psnr = 10 * std::log10(255.0 * 255.0 / (se / out.size()));
        std::printf("rate %.1f bits: PSNR %.2f dB\n", rate, psnr);
        EXPECT_GT(psnr, last_psnr);
        last_psnr = psnr;
    }
    EXPECT_GT(last_psnr, 40.0);
}

using DctDeathTest = ::testing::Test;

TEST_F(DctDeathTest, FatalFailuresEndTheProgram) {
    const std::vector<uint8_t> bad = {'J', 'P', 'G', '\n'};
    auto read = [&] {
        FilePtr f = OpenMemoryStream(bad.data(), bad.size());
        DctImage d;
        d.ReadOrExit(f.get());
    };
    EXPECT_EXIT(read(), ::testing::ExitedWithCode(1),
                "^\\[DctImage::ReadDCTBits\\]: Signature not matching\n$");
    auto decode = [] {
        DctImage d;
        std::vector<float> out;
        int32_t w, h;
        d.DecodeOrExit(out, w, h);
    };
    EXPECT_EXIT(decode(), ::testing::ExitedWithCode(1),
                "^\\[DctImage::Decode\\]: No compressed data ready to decode\n$");
}

}  // namespace
}  // namespace lumo
