// Allocation failures end the program with the readers' own messages. Each
// case runs in a death-test child whose address space is limited to a little
// more than it already uses, so that a large but valid allocation fails.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
#include "tests/support/memory_limit.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

using testing::ExactRegex;
using testing::LimitMemory;
using testing::TempDir;

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

// Ends the death-test child with a reader's Status as the programs do: its
// message on standard error, status 1 for a failure (0 when it succeeded).
[[noreturn]] void EndWith(const Status& status) {
    std::fputs(status.message().c_str(), stderr);
    std::exit(status.ok() ? 0 : 1);
}

// ReadSGIRGB with its reasons on standard error.
Status ReadSgi(const char* path) {
    Photo p;
    bool loaded = false;
    return ReadSGIRGB(p, path, SgiReadOptions{}, WriteToStderr, loaded);
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
            d.ReadOrExit(f.get());
            std::vector<float> out;
            int32_t w, h;
            LimitMemory(16 << 20);
            d.DecodeOrExit(out, w, h);
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
        ReadDATOrExit(path.c_str(), photos.data(), nc, nr, nullptr);
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
            LimitMemory(c.limit);
            EndWith(ReadSgi(path.c_str()));
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
        Zfile().ReadOrExit(path.c_str());
    };
    EXPECT_EXIT(read(), ::testing::ExitedWithCode(1),
                "\n\\[Zfile::read\\]: No memory for zbuf\n$");
    auto records = [&] {
        int32_t loaded = 0;
        std::vector<Zfile> z;
        LimitMemory(64 << 20);
        ReadZFileOrExit("none", 20000, 20000, nullptr, loaded, z);
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
            ReadDeflateZipOrExit(f.get(), block, n);
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
        DctImage().ReadOrExit(f.get());
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(1),
                ExactRegex("[DctImage::ReadDCTBits]: No memory for codebook[i]\n"));
}

TEST_F(MemoryFailureTest, DeflateOutputBlock) {
    // 2048 real chunks of 32 KiB of zeros each: 64 MiB of output from a small
    // file, more than the limit lets the block hold.
    std::vector<uint8_t> chunk;
    const std::vector<uint8_t> zeros(32768, 0);
    ASSERT_TRUE(MakeDeflateChunk(zeros.data(), zeros.size(), 9, chunk).ok());
    std::vector<uint8_t> file;
    ASSERT_TRUE(AppendChunks(file, std::vector<std::vector<uint8_t>>(2048, chunk)).ok());
    const std::string bytes(file.begin(), file.end());
    auto run = [&] {
        FilePtr f = OpenMemoryStream(bytes.data(), bytes.size());
        std::vector<uint8_t> block;
        size_t n;
        LimitMemory(4 << 20);
        ReadDeflateZipOrExit(f.get(), block, n);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(1),
                ExactRegex("[ReadDeflateZip]: No memory for outbuf\n"));
}

// Tiny files whose headers, tables or trailers claim huge sizes: each reader
// stays within a small address space and ends with its own message (or, where
// the claim costs nothing, reads what is really there).
class HostileSizeTest : public MemoryFailureTest {
  protected:
    // Runs `read` in a child limited to `extra` more bytes than it uses;
    // the child exits 0 when `read` returns.
    template <class Read>
    void ExpectEnd(Read read, size_t extra, int status, const std::string& regex) {
        auto run = [&] {
            LimitMemory(extra);
            read();
            std::exit(0);
        };
        EXPECT_EXIT(run(), ::testing::ExitedWithCode(status), regex);
    }
};

TEST_F(HostileSizeTest, DeflateTrailersDoNotSizeTheBlock) {
    // 4000 chunks of 20 decoded bytes whose trailers claim 0xFFFFFFF0 bytes
    // each: the claims are chunk errors, not allocations.
    std::vector<uint8_t> chunk;
    const std::vector<uint8_t> data(20, 7);
    ASSERT_TRUE(MakeDeflateChunk(data.data(), data.size(), 6, chunk).ok());
    const uint8_t claim[4] = {0xF0, 0xFF, 0xFF, 0xFF};  // little-endian 0xFFFFFFF0
    std::copy(claim, claim + 4, chunk.end() - 4);
    std::vector<uint8_t> file;
    ASSERT_TRUE(AppendChunks(file, std::vector<std::vector<uint8_t>>(4000, chunk)).ok());
    const std::string bytes(file.begin(), file.end());
    ExpectEnd(
        [&] {
            FilePtr f = OpenMemoryStream(bytes.data(), bytes.size());
            std::vector<uint8_t> block;
            size_t n = 0;
            const Status s = ReadDeflateZip(f.get(), block, n, MessageSink());
            if (!s.ok()) {
                std::fputs(s.message().c_str(), stderr);
                std::exit(3);
            }
            if (n != 4000 * data.size()) std::exit(4);
        },
        16 << 20, 0, "^$");
}

TEST_F(HostileSizeTest, ImageSetHeaderAloneCostsNothing) {
    // A header claiming a 2048 x 2048 grid, and no image streams after it.
    std::string stream;
    PutBig32(stream, static_cast<uint32_t>(ImageSetCheck(2048, 2048, 1, 1)));
    PutBig32(stream, 28 + 4);
    for (int v : {2048, 2048, 1, 1})
        PutBig32(stream, static_cast<uint32_t>(v));
    stream += "text";
    std::vector<uint8_t> file;
    ASSERT_TRUE(AppendDeflateZip(file, reinterpret_cast<const uint8_t*>(stream.data()),
                                 stream.size())
                    .ok());
    const std::string path = dir.Write("grid.dat", std::string(file.begin(), file.end()));
    ExpectEnd(
        [&] {
            std::vector<Photo> photos;
            int32_t nc = 0, nr = 0;
            ReadDATOrExit(path.c_str(), photos, nc, nr, nullptr);
        },
        16 << 20, 1, ExactRegex("[DctImage::ReadDCTBits]: Signature not matching\n"));
}

TEST_F(HostileSizeTest, SgiAndDepthHeaders) {
    // An SGI header of 65535 x 65535 run-length pixels, tables missing.
    std::string sgi(512, '\0');
    sgi[0] = 0x01, sgi[1] = static_cast<char>(0xDA), sgi[2] = 1, sgi[3] = 1, sgi[5] = 2;
    for (size_t at : {6u, 7u, 8u, 9u})
        sgi[at] = static_cast<char>(0xFF);
    sgi[11] = 1;
    const std::string sgi_path = dir.Write("huge.rgb", sgi);
    ExpectEnd(
        [&] { EndWith(ReadSgi(sgi_path.c_str())); }, 8 << 20, 1,
        ExactRegex("[LoadIRIS]: image of 65535 x 65535 pixels is larger than lumo reads "
                   "(268435456 pixels)\n"));
    // A depth map header of 20000 x 20000 depths with none after it.
    std::string z = {0x2F, 0x08, 0x67, static_cast<char>(0xAB), 0x4E, 0x20, 0x4E, 0x20};
    z.resize(136, '\0');
    const std::string z_path = dir.Write("huge.z", z);
    ExpectEnd([&] { Zfile().ReadOrExit(z_path.c_str()); }, 8 << 20, 1,
              "\n\\[Zfile::read\\]: Unexpected end of file of zfile\n$");
}

}  // namespace
}  // namespace lumo
