// Picture writes under failing file systems: a refused write is reported with
// the file and the reason, and the file the user had stays as it was.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "io/image_file.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

// Limits the size of files this process writes (a full disk for one test);
// writes past it fail with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, old_handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit old_{};
    void (*old_handler_)(int) = nullptr;
};

// Pixels that do not compress much, so the PNG is several kilobytes.
std::vector<uint8_t> NoisyPixels(int32_t w, int32_t h) {
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    uint32_t x = 12345;
    for (uint8_t& p : pixels) {
        x = x * 1103515245u + 12345u;
        p = static_cast<uint8_t>(x >> 24);
    }
    return pixels;
}

TEST(ImageWriteTest, AFullDiskKeepsTheOldPictureAndNamesTheReason) {
    testing::TempDir dir;
    const std::string path = dir.Write("frame.png", "the user's picture");
    const std::vector<uint8_t> pixels = NoisyPixels(64, 64);
    Status s;
    {
        FileSizeLimit limit(1024);
        s = WritePng8(path, 64, 64, 3, pixels);
    }
    EXPECT_EQ("[WriteImage]: cannot write " + path + ": File too large\n", s.message());
    EXPECT_EQ("the user's picture", testing::ReadFileBytes(path));
    ASSERT_TRUE(WritePng8(path, 64, 64, 3, pixels).ok());
    EXPECT_NE("the user's picture", testing::ReadFileBytes(path));
}

TEST(ImageWriteTest, ADeviceIsNeverWrittenAsAPicture) {
    EXPECT_EQ("[WriteImage]: cannot write /dev/full: not a regular file\n",
              WritePng8("/dev/full", 2, 2, 3, std::vector<uint8_t>(12, 7)).message());
}

}  // namespace
}  // namespace lumo
