// The reflectance-transformation readers (PTM, HSH, plane sets) against their
// writers: every format read back as written, the refused files with their
// exact messages, and tiny files that claim huge sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "io/hsh_file.h"
#include "io/hsh_writer.h"
#include "io/memory_stream.h"
#include "io/plane_set.h"
#include "io/plane_set_writer.h"
#include "io/ptm_file.h"
#include "io/ptm_writer.h"
#include "tests/io/exact_regex.h"
#include "tests/support/memory_limit.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

using testing::ExactRegex;
using testing::LimitMemory;
using testing::TempDir;

// A map whose bytes vary smoothly over the picture (as real ones do), with
// every format's blocks filled.
PtmFile SamplePtm(PtmFormat format, const char* version, int w = 21, int h = 13) {
    PtmFile p;
    p.version = version;
    p.format = format;
    p.width = w;
    p.height = h;
    for (int i = 0; i < 6; ++i) {
        p.scale[i] = 0.5f + 0.25f * static_cast<float>(i);
        p.bias[i] = 10 * i;
    }
    const size_t pixels = p.Pixels();
    p.coeff.resize(pixels * 6 * static_cast<size_t>(p.Blocks()));
    for (size_t k = 0; k < p.coeff.size(); ++k) {
        const size_t px = (k / 6) % pixels;
        const double x = static_cast<double>(px % static_cast<size_t>(w));
        const double y = static_cast<double>(px / static_cast<size_t>(w));
        p.coeff[k] = static_cast<uint8_t>(
            128 + 60 * std::sin(0.3 * x + 0.2 * y + k % 6) +
            20 * std::cos(0.1 * static_cast<double>(k / (6 * pixels))));
    }
    if (p.HasColour()) {
        p.rgb.resize(pixels * 3);
        for (size_t k = 0; k < p.rgb.size(); ++k)
            p.rgb[k] =
                static_cast<uint8_t>(100 + 90 * std::sin(0.05 * static_cast<double>(k)));
    }
    return p;
}

Status ReadBytes(const std::vector<uint8_t>& bytes, PtmFile& ptm) {
    FilePtr f = OpenMemoryStream(bytes.data(), bytes.size());
    return ReadPtm(f.get(), "test.ptm", ptm);
}

std::vector<uint8_t> Bytes(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

struct PtmCase {
    PtmFormat format;
    const char* version;
};

// Every format and version reads back as written: sizes, scales, biases,
// coefficient and colour bytes. The JPEG planes come back exactly thanks to
// the side information, with references, inversions and a shuffled decoding
// order.
TEST(PtmFileTest, EveryFormatReadsBackAsWritten) {
    const PtmCase cases[] = {
        {PtmFormat::kRgb, "PTM_1.2"},     {PtmFormat::kLrgb, "PTM_1.2"},
        {PtmFormat::kLrgb, "PTM_1.1"},    {PtmFormat::kLum, "PTM_1.2"},
        {PtmFormat::kJpegRgb, "PTM_1.2"}, {PtmFormat::kJpegLrgb, "PTM_1.2"},
    };
    for (const PtmCase& c : cases) {
        SCOPED_TRACE(std::string(PtmFormatName(c.format)) + " " + c.version);
        const PtmFile want = SamplePtm(c.format, c.version);
        PtmWriteOptions options;
        if (want.IsJpeg()) {
            const size_t n = c.format == PtmFormat::kJpegRgb ? 18 : 9;
            options.reference.assign(n, -1);
            options.transform.assign(n, 0);
            options.reference[1] = 0;  // predicted from a0
            options.transform[1] = 1;  // inverted
            options.reference[7] = 6;  // a chain: 8 from 7 from 6
            options.reference[8] = 7;
            for (size_t i = 0; i < n; ++i)
                options.order.push_back(static_cast<int>(n - 1 - i));
        }
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(EncodePtm(want, options, bytes).ok());
        PtmFile got;
        const Status s = ReadBytes(bytes, got);
        ASSERT_TRUE(s.ok()) << s.message();
        EXPECT_EQ(want.version, got.version);
        EXPECT_EQ(want.format, got.format);
        EXPECT_EQ(want.width, got.width);
        EXPECT_EQ(want.height, got.height);
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(want.scale[i], got.scale[i]);
            EXPECT_EQ(want.bias[i], got.bias[i]);
        }
        EXPECT_EQ(want.coeff, got.coeff);
        EXPECT_EQ(want.rgb, got.rgb);
    }
}

// The 1.1 LRGB layout interleaves a pixel's nine bytes; 1.2 keeps two
// blocks: the same map gives different bytes but reads the same.
TEST(PtmFileTest, LrgbLayoutsDifferByVersion) {
    const PtmFile v12 = SamplePtm(PtmFormat::kLrgb, "PTM_1.2", 2, 1);
    PtmFile v11 = v12;
    v11.version = "PTM_1.1";
    std::vector<uint8_t> a, b;
    ASSERT_TRUE(EncodePtm(v12, {}, a).ok());
    ASSERT_TRUE(EncodePtm(v11, {}, b).ok());
    ASSERT_EQ(a.size() - 18 - 6, b.size() - 18 - 6);
    const size_t body = a.size() - 18;
    // 1.2: 12 coefficient bytes then 6 colour bytes; 1.1: 6 + 3, 6 + 3.
    EXPECT_TRUE(std::equal(a.begin() + body, a.begin() + body + 6, b.begin() + body));
    EXPECT_TRUE(
        std::equal(a.begin() + body + 12, a.begin() + body + 15, b.begin() + body + 6));
}

// Header tokens may be separated by any white space, the size on one line
// or two; the binary part starts after the one byte that ends the last bias.
TEST(PtmFileTest, HeaderWhiteSpaceIsFree) {
    std::string text = "PTM_1.2\r\nPTM_FORMAT_LUM  1\n\n2 1 1 1  1 1 1\t0 0 0 0 0 0\n";
    text += std::string(12, '\x20');  // two pixels of coefficient bytes that are spaces
    PtmFile got;
    const Status s = ReadBytes(Bytes(text), got);
    ASSERT_TRUE(s.ok()) << s.message();
    EXPECT_EQ(1, got.width);
    EXPECT_EQ(2, got.height);
    EXPECT_EQ(std::vector<uint8_t>(12, 0x20), got.coeff);
}

// A JPEG map whose planes were coded without side information reads within
// the coding's loss.
TEST(PtmFileTest, JpegPlanesWithoutSideInformationAreClose) {
    const PtmFile want = SamplePtm(PtmFormat::kJpegLrgb, "PTM_1.2", 32, 24);
    PtmWriteOptions options;
    options.side_information = false;
    options.quality = 95;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(EncodePtm(want, options, bytes).ok());
    PtmFile got;
    ASSERT_TRUE(ReadBytes(bytes, got).ok());
    ASSERT_EQ(want.coeff.size(), got.coeff.size());
    int worst = 0;
    for (size_t k = 0; k < want.coeff.size(); ++k)
        worst = std::max(worst, std::abs(int(want.coeff[k]) - int(got.coeff[k])));
    EXPECT_LE(worst, 8);
}

struct RefusedCase {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* message;
};

std::vector<uint8_t> Encoded(const PtmFile& ptm, const PtmWriteOptions& o = {}) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(EncodePtm(ptm, o, bytes).ok());
    return bytes;
}

// Replaces the first `from` of the header text with `to`.
std::vector<uint8_t> Patched(std::vector<uint8_t> bytes, const std::string& from,
                             const std::string& to) {
    const std::string text(bytes.begin(), bytes.end());
    const size_t at = text.find(from);
    EXPECT_NE(std::string::npos, at) << from;
    bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                bytes.begin() + static_cast<std::ptrdiff_t>(at + from.size()));
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), to.begin(), to.end());
    return bytes;
}

TEST(PtmFileTest, RefusedFilesSayWhy) {
    const PtmFile rgb = SamplePtm(PtmFormat::kRgb, "PTM_1.2", 4, 3);
    const std::vector<uint8_t> good = Encoded(rgb);
    std::vector<uint8_t> cut = good;
    cut.resize(cut.size() - 1);
    const PtmFile jpeg = SamplePtm(PtmFormat::kJpegLrgb, "PTM_1.2", 8, 8);
    const std::vector<uint8_t> jpeg_good = Encoded(jpeg);
    // The header's lines: version, format, size, scales, biases, quality,
    // then transform, motion x, motion y, order, reference, size and side
    // lists of nine numbers each (lines 6..12).
    const std::string text(jpeg_good.begin(), jpeg_good.end());
    std::vector<std::string> lines;
    size_t at = 0;
    for (int k = 0; k < 13; ++k) {
        const size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    const size_t body = at;
    auto with_line = [&](int index, const std::string& line) {
        std::string out;
        for (int k = 0; k < 13; ++k)
            out += (k == index ? line : lines[static_cast<size_t>(k)]) + "\n";
        out += text.substr(body);
        return Bytes(out);
    };
    const std::vector<RefusedCase> cases = {
        {"magic", Bytes("PTM_2.0\nPTM_FORMAT_RGB\n"), "not a PTM file"},
        {"empty", {}, "not a PTM file"},
        {"format", Patched(good, "PTM_FORMAT_RGB", "PTM_FORMAT_RBG"),
         "unknown format PTM_FORMAT_RBG"},
        {"scale", Patched(good, "0.5 ", "half "), "bad header"},
        {"missing biases", Bytes("PTM_1.2\nPTM_FORMAT_LUM\n1 1\n1 1 1 1 1 1\n0 0"),
         "bad header"},
        {"zero width", Patched(good, "4 3\n", "0 3\n"),
         "size 0 x 3 does not fit the file"},
        {"truncated", cut, "size 4 x 3 does not fit the file"},
        {"huge", Patched(good, "4 3\n", "65535 65535\n"),
         "size 65535 x 65535 does not fit the file"},
        {"too wide", Patched(good, "4 3\n", "65536 1\n"),
         "size 65536 x 1 does not fit the file"},
        {"no body", Bytes("PTM_1.2 PTM_FORMAT_LUM 1 1 1 1 1 1 1 1 0 0 0 0 0 0"),
         "truncated"},
        {"motion", with_line(7, "0 2 0 0 0 0 0 0 0"),
         "plane 1: motion compensation is not supported"},
        {"order", with_line(9, "0 1 2 3 4 5 6 7 9"),
         "plane 8: order 9 outside the 9 planes"},
        {"order repeated", with_line(9, "0 1 2 3 4 5 6 7 7"),
         "plane 8: order 7 names a plane twice"},
        {"reference", with_line(10, "-1 9 -1 -1 -1 -1 -1 -1 -1"),
         "plane 1: reference 9 outside the 9 planes"},
        {"self", with_line(10, "-1 1 -1 -1 -1 -1 -1 -1 -1"),
         "plane 1: refers to itself through its references"},
        {"plane size", with_line(2, "8 4"), "plane 0: 8 x 8, the map is 8 x 4"},
        {"sizes", with_line(11, "99999999 1 1 1 1 1 1 1 1"), "truncated"},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.name);
        PtmFile got;
        const Status s = ReadBytes(c.bytes, got);
        ASSERT_FALSE(s.ok());
        EXPECT_EQ(std::string("[ReadPtm]: test.ptm: ") + c.message + "\n", s.message());
    }
    // Plane 0 from plane 1 and plane 1 from plane 0.
    PtmFile got;
    std::vector<uint8_t> looped = with_line(10, "1 0 -1 -1 -1 -1 -1 -1 -1");
    const Status s = ReadBytes(looped, got);
    ASSERT_FALSE(s.ok());
    EXPECT_NE(std::string::npos,
              s.message().find("refers to itself through its references"))
        << s.message();
    // A plane that is not a JPEG stream.
    std::vector<uint8_t> garbled = jpeg_good;
    garbled[body] = 'x';
    EXPECT_EQ("[ReadPtm]: test.ptm: plane 0: not a JPEG picture\n",
              ReadBytes(garbled, got).message());
}

TEST(PtmFileTest, OnlyRegularFilesAreOpened) {
    TempDir dir;
    PtmFile got;
    EXPECT_EQ("[ReadPtm]: " + dir.path().string() + ": cannot open\n",
              ReadPtmFile(dir.path().string(), got).message());
    EXPECT_EQ("[ReadPtm]: " + dir.File("missing.ptm") + ": cannot open\n",
              ReadPtmFile(dir.File("missing.ptm"), got).message());
    EXPECT_EQ("[ReadPtm]: /dev/zero: cannot open\n",
              ReadPtmFile("/dev/zero", got).message());
}

// ---- HSH ----

HshFile SampleHsh(int terms, int w = 7, int h = 5) {
    HshFile f;
    f.width = w;
    f.height = h;
    f.terms = terms;
    for (int k = 0; k < terms; ++k) {
        f.scale.push_back(0.5f + 0.1f * static_cast<float>(k));
        f.bias.push_back(k == 0 ? 0.0f : -0.25f);
    }
    f.bytes.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 3 *
                   static_cast<size_t>(terms));
    for (size_t i = 0; i < f.bytes.size(); ++i)
        f.bytes[i] = static_cast<uint8_t>(i * 37 % 251);
    return f;
}

Status ReadHshBytes(const std::vector<uint8_t>& bytes, HshFile& hsh) {
    FilePtr f = OpenMemoryStream(bytes.data(), bytes.size());
    return ReadHsh(f.get(), "test.rti", hsh);
}

TEST(HshFileTest, FourAndNineTermsReadBackAsWritten) {
    for (int terms : {4, 9}) {
        SCOPED_TRACE(terms);
        const HshFile want = SampleHsh(terms);
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(EncodeHsh(want, bytes).ok());
        HshFile got;
        const Status s = ReadHshBytes(bytes, got);
        ASSERT_TRUE(s.ok()) << s.message();
        EXPECT_EQ(want.width, got.width);
        EXPECT_EQ(want.height, got.height);
        EXPECT_EQ(want.terms, got.terms);
        EXPECT_EQ(want.scale, got.scale);
        EXPECT_EQ(want.bias, got.bias);
        EXPECT_EQ(want.bytes, got.bytes);
        // Term k of channel c: byte / 255 * scale + bias, R's terms first.
        const uint8_t b = want.bytes[(3 * 7 + 2) * 3 * static_cast<size_t>(terms) +
                                     static_cast<size_t>(terms) + 1];
        EXPECT_FLOAT_EQ(static_cast<float>(b) / 255.0f * want.scale[1] + want.bias[1],
                        got.Term(2, 3, 1, 1));
    }
}

// The nine functions are orthonormal over the upper hemisphere, which is
// what defines them: a typing slip in any formula shows here.
TEST(HshFileTest, BasisIsOrthonormalOverTheHemisphere) {
    const int n = 200;
    double gram[9][9] = {};
    for (int i = 0; i < n; ++i) {
        const double c = (i + 0.5) / n;  // cos theta, uniform: equal areas
        for (int j = 0; j < 2 * n; ++j) {
            const double phi = 2 * std::numbers::pi * (j + 0.5) / (2 * n);
            const double s = std::sqrt(1 - c * c);
            const double d[3] = {s * std::cos(phi), s * std::sin(phi), c};
            double h[9];
            HshBasis(d, 9, h);
            for (int a = 0; a < 9; ++a)
                for (int b = 0; b < 9; ++b)
                    gram[a][b] += h[a] * h[b];
        }
    }
    const double area = 2 * std::numbers::pi / (2.0 * n * n);
    for (int a = 0; a < 9; ++a) {
        for (int b = 0; b < 9; ++b)
            EXPECT_NEAR(a == b ? 1.0 : 0.0, gram[a][b] * area, 2e-3) << a << " " << b;
    }
}

TEST(HshFileTest, RefusedFilesSayWhy) {
    std::vector<uint8_t> good;
    ASSERT_TRUE(EncodeHsh(SampleHsh(9, 3, 2), good).ok());
    std::vector<uint8_t> cut = good;
    cut.resize(cut.size() - 1);
    HshFile sixteen = SampleHsh(9, 3, 2);
    sixteen.terms = 16;
    sixteen.scale.resize(16, 1.0f);
    sixteen.bias.resize(16, 0.0f);
    sixteen.bytes.resize(3 * 2 * 3 * 16);
    std::vector<uint8_t> sixteen_bytes, grey;
    ASSERT_TRUE(EncodeHsh(sixteen, sixteen_bytes).ok());
    HshFile one = SampleHsh(9, 3, 2);
    one.bytes.resize(3 * 2 * 9);
    ASSERT_TRUE(EncodeHsh(one, grey, 1).ok());
    const std::vector<RefusedCase> cases = {
        {"magic", Bytes("#PTM\n3\n"), "not an HSH file"},
        {"type", Patched(good, "\n3\n", "\n2\n"), "type 2 is not HSH"},
        {"sixteen terms", sixteen_bytes, "16 terms: only 4 and 9 are supported"},
        {"grey", grey, "1 colours: only 3 are supported"},
        {"element size", Patched(good, "9 2 1\n", "9 2 4\n"),
         "element size 4: only 1 is supported"},
        {"header", Patched(good, "3 2 3\n", "3 x 3\n"), "bad header"},
        {"truncated", cut, "size 3 x 2 does not fit the file"},
        {"huge", Patched(good, "3 2 3\n", "1048576 1048576 3\n"),
         "size 1048576 x 1048576 does not fit the file"},
        {"negative", Patched(good, "3 2 3\n", "-3 2 3\n"),
         "size -3 x 2 does not fit the file"},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.name);
        HshFile got;
        const Status s = ReadHshBytes(c.bytes, got);
        ASSERT_FALSE(s.ok());
        EXPECT_EQ(std::string("[ReadHsh]: test.rti: ") + c.message + "\n", s.message());
    }
}

// ---- plane sets ----

PlaneSetInfo SampleInfo(const char* type, const char* colorspace, int planes) {
    PlaneSetInfo info;
    info.width = 9;
    info.height = 6;
    info.format = "png";
    info.type = type;
    info.colorspace = colorspace;
    info.nplanes = planes;
    for (int k = 0; k < planes; ++k) {
        info.scale.push_back(1.0f + 0.5f * static_cast<float>(k % 3));
        info.bias.push_back(k < 3 ? 0.0f : 0.5f);
    }
    return info;
}

TEST(PlaneSetTest, PngPlanesReadBackAsWritten) {
    const struct {
        const char* type;
        const char* colorspace;
        int planes;
    } cases[] = {
        {"ptm", "rgb", 18}, {"ptm", "lrgb", 9}, {"hsh", "rgb", 27}, {"hsh", "rgb", 12}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.colorspace + " " +
                     std::to_string(c.planes));
        TempDir dir;
        const PlaneSetInfo info = SampleInfo(c.type, c.colorspace, c.planes);
        std::vector<uint8_t> bytes(54 * static_cast<size_t>(c.planes));
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>(i * 11 % 256);
        ASSERT_TRUE(WritePlaneSet(dir.File("set"), info, bytes).ok());
        PlaneSet set;
        const Status s = ReadPlaneSet(dir.File("set/info.json"), set);
        ASSERT_TRUE(s.ok()) << s.message();
        for (int k = 0; k < c.planes; ++k) {
            for (int row = 0; row < 6; ++row) {
                for (int x = 0; x < 9; ++x) {
                    const uint8_t b =
                        bytes[(static_cast<size_t>(k) * 6 + static_cast<size_t>(row)) *
                                  9 +
                              static_cast<size_t>(x)];
                    ASSERT_FLOAT_EQ((static_cast<float>(b) / 255.0f -
                                     info.bias[static_cast<size_t>(k)]) *
                                        info.scale[static_cast<size_t>(k)],
                                    set.Value(k, x, row));
                }
            }
        }
    }
}

TEST(PlaneSetTest, RefusedInfoSaysWhy) {
    const struct {
        const char* name;
        std::string text;
        const char* message;
    } cases[] = {
        {"json", "{\"width\": 3,", ""},
        {"not an object", "[1, 2]", "expected a JSON object"},
        {"width", R"({"width": 0, "height": 2})",
         "\"width\" and \"height\" must be whole numbers 1..65535"},
        {"format", R"({"width": 2, "height": 2, "format": "gif"})",
         "\"format\" must be \"jpg\" or \"png\""},
        {"rbf",
         R"({"width": 2, "height": 2, "format": "jpg", "type": "rbf", "colorspace": "rgb"})",
         "type rbf with colorspace rgb is not supported (ptm rgb, ptm lrgb and hsh rgb "
         "are)"},
        {"hsh lrgb",
         R"({"width": 2, "height": 2, "format": "jpg", "type": "hsh", "colorspace": "lrgb"})",
         "type hsh with colorspace lrgb is not supported (ptm rgb, ptm lrgb and hsh rgb "
         "are)"},
        {"planes",
         R"({"width": 2, "height": 2, "format": "jpg", "type": "ptm", "colorspace": "rgb", "nplanes": 9})",
         "9 planes do not match type ptm with colorspace rgb"},
        {"scales",
         R"({"width": 2, "height": 2, "format": "jpg", "type": "ptm", "colorspace": "lrgb", "nplanes": 9,
                      "materials": [{"scale": [1, 1], "bias": [0, 0, 0, 0, 0, 0, 0, 0, 0]}]})",
         "2 scales and 9 biases for 9 planes"},
        {"materials",
         R"({"width": 2, "height": 2, "format": "jpg", "type": "ptm", "colorspace": "lrgb", "nplanes": 9})",
         "\"materials\"[0] must have \"scale\" and \"bias\" arrays of numbers"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PlaneSetInfo info;
        const Status s = ParsePlaneSetInfo(c.text, "info.json", info);
        ASSERT_FALSE(s.ok());
        if (*c.message == '\0') {
            EXPECT_EQ(0u, s.message().find(
                              "[ReadPlaneSet]: info.json: [json.exception.parse_error"))
                << s.message();
        } else {
            EXPECT_EQ(std::string("[ReadPlaneSet]: info.json: ") + c.message + "\n",
                      s.message());
        }
    }
}

TEST(PlaneSetTest, PicturesMustMatchTheSet) {
    TempDir dir;
    const PlaneSetInfo info = SampleInfo("ptm", "lrgb", 9);
    ASSERT_TRUE(
        WritePlaneSet(dir.File("set"), info, std::vector<uint8_t>(54 * 9, 7)).ok());
    PlaneSetInfo wider = info;
    wider.width = 10;
    ASSERT_TRUE(
        WritePlaneSet(dir.File("wide"), wider, std::vector<uint8_t>(60 * 9, 7)).ok());
    std::filesystem::copy_file(dir.File("wide/plane_1.png"), dir.File("set/plane_1.png"),
                               std::filesystem::copy_options::overwrite_existing);
    PlaneSet set;
    EXPECT_EQ(
        "[ReadPlaneSet]: " + dir.File("set/plane_1.png") + ": 10 x 6, the set is 9 x 6\n",
        ReadPlaneSet(dir.File("set/info.json"), set).message());
    std::filesystem::remove(dir.File("set/plane_1.png"));
    EXPECT_EQ("[ReadPlaneSet]: " + dir.File("set/plane_1.png") + ": cannot open\n",
              ReadPlaneSet(dir.File("set/info.json"), set).message());
}

// ---- hostile sizes ----

// Tiny files whose headers claim huge pictures: each reader refuses them
// within a small address space, before it allocates for the claim.
class RtiHostileSizeTest : public ::testing::Test {
  protected:
    void SetUp() override {
#ifdef LUMO_ASAN
        GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit";
#endif
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
    // The child runs the test afresh, in a folder of its own: the message is
    // matched after the folder.
    template <class Read>
    void ExpectRefused(Read read, const std::string& reader, const std::string& tail) {
        auto run = [&] {
            LimitMemory(16 << 20);
            const Status s = read();
            std::fputs(s.message().c_str(), stderr);
            std::exit(s.ok() ? 0 : 1);
        };
        const std::string exact = ExactRegex(tail);
        EXPECT_EXIT(run(), ::testing::ExitedWithCode(1),
                    "^\\[" + reader + "\\]: /.*/" + exact.substr(1));
    }
    TempDir dir;
};

TEST_F(RtiHostileSizeTest, HeadersClaimingHugePictures) {
    const std::string ptm = dir.Write(
        "huge.ptm", "PTM_1.2\nPTM_FORMAT_RGB\n65535 65535\n1 1 1 1 1 1\n0 0 0 0 0 0\n" +
                        std::string(100, '\0'));
    ExpectRefused(
        [&] {
            PtmFile p;
            return ReadPtmFile(ptm, p);
        },
        "ReadPtm", "huge.ptm: size 65535 x 65535 does not fit the file\n");
    // A JPEG map of 60000 x 60000 whose nine streams are a byte each.
    const std::string jpeg = dir.Write(
        "huge-jpeg.ptm",
        "PTM_1.2\nPTM_FORMAT_JPEG_LRGB\n60000 60000\n1 1 1 1 1 1\n0 0 0 0 0 0\n75\n" +
            std::string("0 0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0 0\n") +
            "0 1 2 3 4 5 6 7 8\n-1 -1 -1 -1 -1 -1 -1 -1 -1\n1 1 1 1 1 1 1 1 1\n0 0 0 0 0 "
            "0 0 0 0\n" +
            std::string(9, '\xFF'));
    ExpectRefused(
        [&] {
            PtmFile p;
            return ReadPtmFile(jpeg, p);
        },
        "ReadPtm", "huge-jpeg.ptm: size 60000 x 60000 does not fit the file\n");
    std::string head = "#HSH1.2\n3\n1000000 1000000 3\n9 2 1\n";
    const std::string hsh = dir.Write("huge.rti", head + std::string(100, '\0'));
    ExpectRefused(
        [&] {
            HshFile h;
            return ReadHshFile(hsh, h);
        },
        "ReadHsh", "huge.rti: size 1000000 x 1000000 does not fit the file\n");
    // A plane set whose info.json claims 65535 x 65535 beside pictures of a
    // few hundred bytes.
    PlaneSetInfo info = SampleInfo("ptm", "lrgb", 9);
    EXPECT_TRUE(
        WritePlaneSet(dir.File("set"), info, std::vector<uint8_t>(54 * 9, 3)).ok());
    info.width = info.height = 65535;
    dir.Write("set/info.json", PlaneSetInfoText(info));
    const std::string set = dir.File("set/info.json");
    ExpectRefused(
        [&] {
            PlaneSet p;
            return ReadPlaneSet(set, p);
        },
        "ReadPlaneSet", "set/plane_0.png: size 65535 x 65535 does not fit the file\n");
}

}  // namespace
}  // namespace lumo
