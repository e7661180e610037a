// Hostile pictures: what is not a regular file, headers claiming more than a
// picture may hold or than the file can hold, and running out of memory, each
// refused in one line naming the file before any pixel is decoded.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "io/image_file.h"
#include "tests/io/exact_regex.h"
#include "tests/support/memory_limit.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

using lumo::testing::TempDir;

void PutBig32(std::string& s, uint32_t v) {
    for (int i = 24; i >= 0; i -= 8)
        s.push_back(static_cast<char>(v >> i));
}

void PutLittle(std::string& s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        s.push_back(static_cast<char>(v >> (8 * i)));
}

// A PNG chunk with its length and CRC.
std::string Chunk(const char* type, const std::string& data) {
    std::string c;
    PutBig32(c, static_cast<uint32_t>(data.size()));
    const std::string body = type + data;
    c += body;
    PutBig32(c, static_cast<uint32_t>(
                    crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size())));
    return c;
}

// A well-formed 8-bit RGB PNG header claiming `w` x `h` pixels, with one row
// of pixel data: 69 bytes.
std::string ClaimingPng(uint32_t w, uint32_t h) {
    std::string ihdr;
    PutBig32(ihdr, w);
    PutBig32(ihdr, h);
    ihdr += std::string("\x08\x02\x00\x00\x00",
                        5);  // 8 bits, RGB, deflate, no filter/interlace
    const std::string row(4, '\0');
    std::string idat(64, '\0');
    uLongf n = idat.size();
    compress(reinterpret_cast<Bytef*>(idat.data()), &n,
             reinterpret_cast<const Bytef*>(row.data()), row.size());
    idat.resize(n);
    return "\x89PNG\r\n\x1a\n" + Chunk("IHDR", ihdr) + Chunk("IDAT", idat) +
           Chunk("IEND", "");
}

// An uncompressed grey TIFF header of `w` x `h` pixels whose one strip lies
// beyond the end of the file.
std::string ClaimingTiff(uint32_t w, uint32_t h) {
    std::string t = "II*";
    t.push_back('\0');
    PutLittle(t, 8, 4);  // the directory follows the header
    const uint32_t tags[][3] = {
        {256, 4, w},    {257, 4, h}, {258, 3, 8}, {259, 3, 1},     {262, 3, 1},
        {273, 4, 4096}, {277, 3, 1}, {278, 4, h}, {279, 4, w * h},
    };
    PutLittle(t, 9, 2);
    for (const auto& tag : tags) {
        PutLittle(t, tag[0], 2);
        PutLittle(t, tag[1], 2);
        PutLittle(t, 1, 4);
        PutLittle(t, tag[2], 4);
    }
    PutLittle(t, 0, 4);
    return t;
}

std::string ReadMessage(const std::string& path) {
    FloatImage img;
    const Status s = ReadImageFile(path, img);
    ImageSize size;
    const Status h = ReadImageSize(path, size);
    EXPECT_EQ(s.message(), h.message()) << "the header alone refuses it";
    return s.message();
}

TEST(ImageHostileTest, OnlyRegularFilesAreOpened) {
    TempDir dir;
    const std::string fifo = dir.File("fifo.png");
    ASSERT_EQ(0,
              mkfifo(fifo.c_str(), 0600));  // no writer: opening it to read would block
    const std::string sock = dir.File("sock.png");
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(sock.size(), sizeof addr.sun_path);
    sock.copy(addr.sun_path, sock.size());
    ASSERT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
    const struct {
        std::string path;
        const char* why;
    } cases[] = {
        {dir.path().string(), "not a regular file (a directory)"},
        {fifo, "not a regular file (a FIFO)"},
        {"/dev/zero", "not a regular file (a device)"},
        {sock, "not a regular file (a socket)"},
        {dir.File("missing.png"), "no such file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ("[ReadImage]: cannot read " + c.path + ": " + c.why + "\n",
                  ReadMessage(c.path));
        ImageReader reader;
        EXPECT_FALSE(reader.Open(c.path).ok());
        EXPECT_FALSE(reader.is_open());
    }
    close(fd);
}

TEST(ImageHostileTest, HeadersClaimingTooMuchAreRefusedBeforeDecoding) {
    TempDir dir;
    const struct {
        const char* name;
        std::string bytes;
        const char* why;
    } cases[] = {
        {"huge.png", ClaimingPng(65535, 65535),
         "65535 x 65535 pixels of 3 channels are more than the 2147483648 values a "
         "picture may "
         "have"},
        {"big.png", ClaimingPng(16384, 16384),
         "its header claims 16384 x 16384 pixels of 3 channels, more than its 69 bytes "
         "can hold"},
        {"empty.tif", ClaimingTiff(16384, 16384),
         "its header claims 16384 x 16384 pixels of 1 channels, more than its 122 bytes "
         "can "
         "hold"},
        {"big.hdr",
         "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 20000 +X 20000\n" +
             std::string(64, '\x02'),
         "its header claims 20000 x 20000 pixels of 3 channels, more than its 117 bytes "
         "can "
         "hold"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.Write(c.name, c.bytes);
        EXPECT_EQ("[ReadImage]: cannot read " + path + ": " + c.why + "\n",
                  ReadMessage(path));
    }
    EXPECT_EQ(69u, ClaimingPng(65535, 65535).size());

    // An OpenEXR attribute claiming 2 GiB: the library would reserve them
    // before reading the value.
    FloatImage img;
    img.width = 2;
    img.height = 2;
    img.channels = 3;
    img.pixels.assign(12, 0.5f);
    const std::string good = dir.File("good.exr");
    ASSERT_TRUE(WriteImageFile(good, img, ImageBits::kFloat).ok());
    std::string bytes = lumo::testing::ReadFileBytes(good);
    const std::string channels("channels\0chlist\0", 16);
    const size_t at = bytes.find(channels);
    ASSERT_NE(std::string::npos, at);
    bytes.replace(at + channels.size(), 4, "\xff\xff\xff\x7f");
    const std::string path = dir.Write("attribute.exr", bytes);
    EXPECT_EQ("[ReadImage]: cannot read " + path +
                  ": an attribute of its header claims 2147483647 bytes, more than its " +
                  std::to_string(bytes.size()) + " bytes hold\n",
              ReadMessage(path));
    // A preview of 65535 x 65535 pixels, which the library would allocate.
    std::string preview = lumo::testing::ReadFileBytes(good);
    std::string attribute("preview\0preview\0", 16);
    PutLittle(attribute, 8, 4);
    PutLittle(attribute, 65535, 4);
    PutLittle(attribute, 65535, 4);
    preview.insert(preview.find(channels), attribute);
    const std::string preview_path = dir.Write("preview.exr", preview);
    EXPECT_EQ("[ReadImage]: cannot read " + preview_path +
                  ": its preview claims 65535 x 65535 pixels, more than its " +
                  std::to_string(preview.size()) + " bytes hold\n",
              ReadMessage(preview_path));
    ImageReader reader;
    EXPECT_EQ(
        "[ReadImage]: cannot read mem.exr: an attribute of its header claims 2147483647 "
        "bytes, more than its " +
            std::to_string(bytes.size()) + " bytes hold\n",
        reader
            .OpenBytes(
                "mem.exr",
                std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))
            .message());
}

TEST(ImageHostileTest, RunningOutOfMemoryIsOneLineNamingTheFile) {
#ifdef LUMO_ASAN
    GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    // 2048 x 2048 RGB: 48 MiB as floats, under a limit of 16 MiB.
    FloatImage img;
    img.width = 2048;
    img.height = 2048;
    img.channels = 3;
    img.pixels.assign(size_t{2048} * 2048 * 3, 0.25f);
    const std::string path = dir.File("big.png");
    ASSERT_TRUE(WriteImageFile(path, img, ImageBits::k8).ok());
    auto run = [&] {
        ImageSize size;
        if (!ReadImageSize(path, size).ok()) std::exit(2);  // loads the module first
        lumo::testing::LimitMemory(16 << 20);
        FloatImage got;
        const Status s = ReadImageFile(path, got);
        std::fputs(s.message().c_str(), stderr);
        std::exit(s.ok() ? 0 : 1);
    };
    // The child (a fresh run of this binary) has a folder of its own.
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(1),
                "^\\[ReadImage\\]: cannot read /[^ ]*/big\\.png: not enough memory\n$");
}

}  // namespace
}  // namespace lumo
