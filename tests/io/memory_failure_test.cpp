// Allocation failures end the program with the readers' own messages. Each
// case runs in a death-test child whose address space is limited to a little
// more than it already uses, so that a large but valid allocation fails.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <string>
#include <vector>

#include "io/dct_image.h"
#include "io/deflate_container.h"
#include "io/deflate_writer.h"
#include "io/depth_map.h"
#include "io/image_set.h"
#include "io/image_set_pvt.h"
#include "io/memory_stream.h"
#include "io/sgi_image.h"
#include "tests/io/exact_regex.h"
#include "tests/support/temp_dir.h"

#if defined(__SANITIZE_ADDRESS__)
#define LUMO_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMO_ASAN 1
#endif
#endif

namespace lumo {
namespace {

using testing::ExactRegex;
using testing::TempDir;

// Limits the address space to what the process uses now plus `extra` bytes.
void LimitMemory(size_t extra) {
    long pages = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    const rlim_t limit = static_cast<rlim_t>(pages) * 4096 + extra;
    const rlimit r{limit, limit};
    setrlimit(RLIMIT_AS, &r);
}

void PutBig32(std::string& s, uint32_t v) {
    for (int i = 24; i >= 0; i -= 8)
        s.push_back(static_cast<char>(v >> i));
}

// A DCT stream of a constant w x h image: all widths 0, no packed bytes.
std::string FlatDct(int w, int h) {
    std::string s = "DCT\n" + std::to_string(w) + " " + std::to_string(h) + "\n";
    for (int k = 0; k < 64; ++k)
        PutBig32(s, 0);
    for (int k = 0; k < 64; ++k)
        PutBig32(s, k == 0 ? 0x43000000 : 0);  // 128.0 at position 0
    s += "EZ";
    PutBig32(s, 0);
    return s;
}

class MemoryFailureTest : public ::testing::Test {
  protected:
    void SetUp() override {
#ifdef LUMO_ASAN
        GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit";
#endif
        // Each child starts the test binary afresh, so that no memory freed
        // by earlier tests is left in the heap to satisfy the allocation.
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
    TempDir dir;
};

TEST_F(MemoryFailureTest, DctDecodeOutput) {
    for (auto [size, message] :
         {std::pair{4096, "[DctImage::Decode]: No enough memory for fbuf\n"},
          std::pair{4095, "[DctImage::ImgDimAdjust]: No memory for fbuf\n"}}) {
        const std::string bytes = FlatDct(size, size);
        auto run = [&] {
            FilePtr f = OpenMemoryStream(bytes.data(), bytes.size());
            DctImage d;
            d.Read(f.get());
            std::vector<float> out;
            int32_t w, h;
            LimitMemory(16 << 20);
            d.Decode(out, w, h);
        };
        EXPECT_EXIT(run(), ::testing::ExitedWithCode(1), ExactRegex(message));
    }
}

TEST_F(MemoryFailureTest, ImageSetPhotos) {
    // 8 x 8 images of 512 x 512: 48 MiB of photos, decoded into directly.
    std::string stream;
    PutBig32(stream, static_cast<uint32_t>(ImageSetCheck(8, 8, 512, 512)));
    PutBig32(stream, 28 + 4);
    for (int v : {8, 8, 512, 512})
        PutBig32(stream, static_cast<uint32_t>(v));
    stream += "text";
    for (int c = 0; c < 3; ++c)
        stream += FlatDct(4096, 4096);
    std::vector<uint8_t> file;
    ASSERT_TRUE(AppendDeflateZip(file, reinterpret_cast<const uint8_t*>(stream.data()),
                                 stream.size())
                    .ok());
    const std::string path = dir.Write("big.dat", std::string(file.begin(), file.end()));
    auto run = [&] {
        std::vector<Photo> photos(64);
        int32_t nc = 8, nr = 8;
        LimitMemory(24 << 20);
        ReadDAT(path.c_str(), photos.data(), nc, nr, nullptr);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(1),
                ExactRegex("[ReadSGIRGB]: no enough memory for buf\n"));
}

TEST_F(MemoryFailureTest, SgiBuffers) {
    // Verbatim 3-channel images cut short (the reader loads what is there):
    // 4000 x 4000 needs a 64 MiB intermediate buffer; 3000 x 3000 gets its
    // 36 MiB buffer but not the 27 MiB RGB block after it.
    struct Case {
        int side;
        size_t limit;
        const char* message;
    };
    for (const Case& c : {Case{4000, 16 << 20, "out of memory in LoadIRIS()"},
                          Case{3000, 48 << 20, "couldn't malloc pic824 in LoadIRIS()"}}) {
        std::string bytes(512 + 200000, '\0');
        bytes[0] = 0x01, bytes[1] = static_cast<char>(0xDA), bytes[3] = 1;
        bytes[6] = static_cast<char>(c.side >> 8), bytes[7] = static_cast<char>(c.side);
        bytes[8] = bytes[6], bytes[9] = bytes[7], bytes[11] = 3;
        const std::string path = dir.Write("big.rgb", bytes);
        auto run = [&] {
            Photo p;
            LimitMemory(c.limit);
            ReadSGIRGB(p, path.c_str());
        };
        EXPECT_EXIT(run(), ::testing::ExitedWithCode(1), ExactRegex(c.message));
    }
}

TEST_F(MemoryFailureTest, DepthMaps) {
    // 2500 x 2000 depths (20 MB of them, all in the file).
    std::string bytes = {0x2F, 0x08,
                         0x67, static_cast<char>(0xAB),
                         0x09, static_cast<char>(0xC4),
                         0x07, static_cast<char>(0xD0)};
    bytes.resize(136 + 4 * 2500 * 2000, '\0');
    const std::string path = dir.Write("big.z", bytes);
    auto read = [&] {
        LimitMemory(8 << 20);
        Zfile().read(path.c_str());
    };
    EXPECT_EXIT(read(), ::testing::ExitedWithCode(1),
                "\n\\[Zfile::read\\]: No memory for zbuf\n$");
    auto records = [&] {
        int32_t loaded = 0;
        std::vector<Zfile> z;
        LimitMemory(64 << 20);
        ReadZFile("none", 20000, 20000, nullptr, loaded, z);
    };
    EXPECT_EXIT(records(), ::testing::ExitedWithCode(1),
                ExactRegex("[ReadZFile]: no memory for uv array of depth image\n"));
}

TEST_F(MemoryFailureTest, DeflateTables) {
    // 2 Mi chunks: two tables of 8 MiB, all in the (zero) file.
    std::string bytes = "EZ";
    PutBig32(bytes, 2 << 20);
    bytes.resize(bytes.size() + 8 * (size_t{2} << 20), '\0');
    for (auto [limit, message] :
         {std::pair{size_t{4} << 20, "[ReadDeflateZip]: no memory for offset table\n"},
          std::pair{size_t{12} << 20,
                    "[ReadDeflateZip]: no memory for chrunksize table\n"}}) {
        auto run = [&] {
            FilePtr f = OpenMemoryStream(bytes.data(), bytes.size());
            std::vector<uint8_t> block;
            size_t n;
            LimitMemory(limit);
            ReadDeflateZip(f.get(), block, n);
        };
        EXPECT_EXIT(run(), ::testing::ExitedWithCode(1), ExactRegex(message));
    }
}

TEST_F(MemoryFailureTest, DctCodebook) {
    // Position 0 with a 22-bit index: 16 MiB of codebook, all in the file.
    std::string bytes = "DCT\n8 8\n";
    PutBig32(bytes, 22);
    for (int k = 1; k < 64; ++k)
        PutBig32(bytes, 0);
    bytes.resize(bytes.size() + 4 * ((size_t{1} << 22) + 63), '\0');
    auto run = [&] {
        FilePtr f = OpenMemoryStream(bytes.data(), bytes.size());
        LimitMemory(8 << 20);
        DctImage().Read(f.get());
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(1),
                ExactRegex("[DctImage::ReadDCTBits]: No memory for codebook[i]\n"));
}

TEST_F(MemoryFailureTest, DeflateOutputBlock) {
    // 2048 chunks promise up to 64 MiB of output.
    std::string bytes = "EZ";
    PutBig32(bytes, 2048);
    bytes.resize(bytes.size() + 8 * 2048, '\0');
    auto run = [&] {
        FilePtr f = OpenMemoryStream(bytes.data(), bytes.size());
        std::vector<uint8_t> block;
        size_t n;
        LimitMemory(4 << 20);
        ReadDeflateZip(f.get(), block, n);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(1),
                ExactRegex("[ReadDeflateZip]: No memory for outbuf\n"));
}

}  // namespace
}  // namespace lumo
