#include "io/depth_map.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "io/depth_map_writer.h"
#include "io/memory_stream.h"
#include "tests/io/exact_regex.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

using testing::TempDir;

Zfile Map(int w, int h, std::vector<float> depths) {
    Zfile z;
    z.width = w;
    z.height = h;
    for (int i = 0; i < 16; ++i) {
        z.cameraMatrix[i] = i * 0.5f;
        z.screenMatrix[i] = -i - 0.25f;
    }
    z.depth = std::move(depths);
    return z;
}

struct Read {
    Status status;
    Zfile z;
    std::string report;
};

Read ReadBytes(const std::vector<uint8_t>& bytes) {
    Read r;
    FilePtr f = OpenMemoryStream(bytes.data(), bytes.size());
    r.status = r.z.ReadFrom(f.get(), [&](std::string_view t) { r.report += t; });
    return r;
}

std::vector<uint8_t> Bytes(const Zfile& z, ZfileByteOrder order) {
    std::vector<uint8_t> b;
    EXPECT_TRUE(EncodeZfile(z, order, b).ok());
    return b;
}

TEST(ZfileTest, BothByteOrdersLoadTheSameRecord) {
    const Zfile z = Map(3, 2, {-5, 2, 1e30f, 7.5f, 1e31f, 0});
    const Read big = ReadBytes(Bytes(z, ZfileByteOrder::kBigEndian));
    const Read little = ReadBytes(Bytes(z, ZfileByteOrder::kLittleEndian));
    for (const Read* r : {&big, &little}) {
        ASSERT_TRUE(r->status.ok()) << r->status.message();
        EXPECT_EQ(3, r->z.width);
        EXPECT_EQ(2, r->z.height);
        EXPECT_EQ(z.depth, r->z.depth);
        EXPECT_EQ(0, std::memcmp(z.cameraMatrix, r->z.cameraMatrix, 64));
        EXPECT_EQ(0, std::memcmp(z.screenMatrix, r->z.screenMatrix, 64));
        EXPECT_EQ(7.5f, r->z.maxZ);
        EXPECT_EQ(-5.0f, r->z.minZ);
        EXPECT_EQ(-1.0f, r->z.DepthAt(2, 0));
        EXPECT_EQ(7.5f, r->z.DepthAt(0, 1));
    }
    // Only the first line differs.
    const std::string rest =
        "Depth map:\n3 x 2\n"
        "0.000000 2.000000 4.000000 6.000000 \n0.500000 2.500000 4.500000 6.500000 \n"
        "1.000000 3.000000 5.000000 7.000000 \n1.500000 3.500000 5.500000 7.500000 \n"
        "-0.250000 -4.250000 -8.250000 -12.250000 \n-1.250000 -5.250000 -9.250000 "
        "-13.250000 \n"
        "-2.250000 -6.250000 -10.250000 -14.250000 \n-3.250000 -7.250000 -11.250000 "
        "-15.250000 \n"
        "Max. z value: 7.500000\nMin. z value: -5.000000\n";
    EXPECT_EQ("Photorealistic RenderMan depth map file. Byte order OK\n" + rest,
              big.report);
    EXPECT_EQ("Photorealistic RenderMan depth map file. Byte order inversed\n" + rest,
              little.report);
}

TEST(ZfileTest, DepthRangeRules) {
    struct Case {
        std::vector<float> depths;
        float maxZ, minZ;
    };
    const Case cases[] = {
        {{-5, 2, 1e30f}, 2, -5},
        {{-5, -3}, -1, -5},  // maxZ never goes below its start of -1
        {{1e30f, 1e30f}, -1, 1e30f},
    };
    for (const Case& c : cases) {
        const Read r =
            ReadBytes(Bytes(Map(static_cast<int>(c.depths.size()), 1, c.depths),
                            ZfileByteOrder::kBigEndian));
        ASSERT_TRUE(r.status.ok());
        EXPECT_EQ(c.maxZ, r.z.maxZ);
        EXPECT_EQ(c.minZ, r.z.minZ);
    }
}

TEST(ZfileTest, RefusedFiles) {
    const std::vector<uint8_t> good =
        Bytes(Map(2, 2, {1, 2, 3, 4}), ZfileByteOrder::kBigEndian);
    auto with = [&](size_t at, std::vector<uint8_t> b) {
        std::vector<uint8_t> f = good;
        std::copy(b.begin(), b.end(), f.begin() + static_cast<long>(at));
        return f;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        const char* message;
    };
    const Case cases[] = {
        {"short header", std::vector<uint8_t>(good.begin(), good.begin() + 135),
         "[Zfile::read]: Corrupted zfile\n"},
        {"magic", with(0, {0x2F, 0x08, 0x67, 0xAC}),
         "[Zfile::read]: input file is not depthmap file\n"},
        {"negative width", with(4, {0xFF, 0xFE}), "[Zfile::read]: Corrupted zfile\n"},
        {"depths cut", std::vector<uint8_t>(good.begin(), good.end() - 1),
         "[Zfile::read]: Unexpected end of file of zfile\n"},
        // 32767 x 32767 depths claimed by a file of 152 bytes.
        {"size past the file", with(4, {0x7F, 0xFF, 0x7F, 0xFF}),
         "[Zfile::read]: Unexpected end of file of zfile\n"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.message, ReadBytes(c.file).status.message());
        const std::string path =
            dir.Write("case.z", std::string(c.file.begin(), c.file.end()));
        // The reports before the failure go to standard error too.
        EXPECT_EXIT(Zfile().ReadOrExit(path.c_str()), ::testing::ExitedWithCode(1),
                    testing::ExactRegex(c.message).substr(1));
    }
    Zfile z;
    EXPECT_EQ("[Zfile::read]: Cannot open zfile\n",
              z.Read("/nonexistent/a.z", MessageSink()).message());
}

TEST(ReadZFileTest, LoadsPresentImagesOnceAndMissingFilesUseTheImagePlane) {
    TempDir dir;
    const std::string stem = dir.File("obj");
    // 4 columns x 2 rows; image (column 3, row 1) is named obj.3.1.z.
    for (int j = 0; j < 2; ++j) {
        for (int k = 0; k < 4; ++k) {
            if (k == 2 && j == 0) continue;
            const std::string name =
                stem + "." + std::to_string(k) + "." + std::to_string(j) + ".z";
            const ZfileByteOrder order =
                k % 2 ? ZfileByteOrder::kLittleEndian : ZfileByteOrder::kBigEndian;
            ASSERT_TRUE(
                WriteZfile(name.c_str(), Map(2, 1, {float(k), float(j)}), order).ok());
        }
    }
    std::vector<uint8_t> mask(8, 1);
    mask[1] = 0;  // column 1, row 0 absent
    int32_t loaded = 0;
    std::vector<Zfile> zfile;
    std::string report;
    ASSERT_TRUE(ReadZFile(stem.c_str(), 4, 2, mask.data(), loaded, zfile,
                          [&](std::string_view t) { report += t; })
                    .ok());
    EXPECT_EQ(1, loaded);
    ASSERT_EQ(8u, zfile.size());
    EXPECT_EQ((std::vector<float>{3, 1}), zfile[1 * 4 + 3].depth);
    EXPECT_TRUE(zfile[1].empty());  // absent
    EXPECT_TRUE(zfile[2].empty());  // missing file
    const std::string missing = "[Zfile::read]: Cannot open zfile\n[ReadZFile]: " + stem +
                                ".2.0.z missing, the image plane is used\n";
    EXPECT_NE(std::string::npos, report.find(missing));

    // Loaded once: a second call changes nothing.
    zfile[0].depth.clear();
    ASSERT_TRUE(
        ReadZFile(stem.c_str(), 4, 2, mask.data(), loaded, zfile, MessageSink()).ok());
    EXPECT_TRUE(zfile[0].empty());

    // A corrupt map is still fatal.
    loaded = 0;
    dir.Write("obj.0.0.z", "not a depth map at all");
    EXPECT_EQ("[Zfile::read]: Corrupted zfile\n",
              ReadZFile(stem.c_str(), 4, 2, mask.data(), loaded, zfile, MessageSink())
                  .message());
    EXPECT_EQ(0, loaded);
    EXPECT_EQ(
        "[ReadZFile]: no memory for uv array of depth image\n",
        ReadZFile(stem.c_str(), -1, 2, nullptr, loaded, zfile, MessageSink()).message());
}

using ZfileDeathTest = ::testing::Test;

TEST_F(ZfileDeathTest, FaultsEndTheProgram) {
    TempDir dir;
    const std::string bad = dir.Write("bad.z", std::string(200, 'x'));
    EXPECT_EXIT(Zfile().ReadOrExit(bad.c_str()), ::testing::ExitedWithCode(1),
                "^\\[Zfile::read\\]: input file is not depthmap file\n$");
    EXPECT_EXIT(Zfile().ReadOrExit(dir.File("none.z").c_str()),
                ::testing::ExitedWithCode(1), "^\\[Zfile::read\\]: Cannot open zfile\n$");
    const std::string cut = dir.Write("cut.z", std::string(100, 'x'));
    EXPECT_EXIT(Zfile().ReadOrExit(cut.c_str()), ::testing::ExitedWithCode(1),
                "^\\[Zfile::read\\]: Corrupted zfile\n$");
    ASSERT_TRUE(WriteZfile(dir.File("s.0.0.z").c_str(), Map(1, 1, {1})).ok());
    const std::string stem = dir.File("s");
    auto load = [&](int32_t columns) {
        int32_t loaded = 0;
        std::vector<Zfile> z;
        ReadZFileOrExit(stem.c_str(), columns, 1, nullptr, loaded, z);
        std::exit(loaded == 1 && z.size() == 2 && z[1].empty() ? 0 : 4);
    };
    EXPECT_EXIT(load(2), ::testing::ExitedWithCode(0),
                "\\[ReadZFile\\]: .*s\\.1\\.0\\.z missing, the image plane is used\n$");
    EXPECT_EXIT(load(-3), ::testing::ExitedWithCode(1),
                "^\\[ReadZFile\\]: no memory for uv array of depth image\n$");
}

}  // namespace
}  // namespace lumo
