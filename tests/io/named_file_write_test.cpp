// The format writers that write whole files (depth maps, image sets, SGI
// images) name the file and the system's reason when they fail, and leave
// no part of a file behind.
#include "io/named_file_write.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <string>

#include "io/depth_map.h"
#include "io/depth_map_writer.h"
#include "io/image_set_writer.h"
#include "io/photo.h"
#include "io/sgi_writer.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

// Limits the size of files this process writes to 0 bytes (a write beyond it
// fails with EFBIG, its signal ignored) while it exists.
class NoFileBytes {
  public:
    NoFileBytes() {
        old_signal_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit none = old_;
        none.rlim_cur = 0;
        ok_ = setrlimit(RLIMIT_FSIZE, &none) == 0;
    }
    ~NoFileBytes() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, old_signal_);
    }
    bool ok() const { return ok_; }

  private:
    rlimit old_{};
    void (*old_signal_)(int) = nullptr;
    bool ok_ = false;
};

TEST(NamedFileWriteTest, TheWritersNameTheFileAndTheReasonAndLeaveNothing) {
    testing::TempDir dir;
    Photo photo;
    ASSERT_TRUE(photo.Alloc(8, 8).ok());
    for (size_t i = 0; i < photo.pixels.size(); ++i)
        photo.pixels[i] = static_cast<uint8_t>(i * 7);
    Zfile z;
    z.width = 4;
    z.height = 2;
    z.depth.assign(8, 1.5f);
    struct Case {
        std::string name, tag;
        std::function<Status(const std::string&)> write;
    } const cases[] = {
        {"map.z", "WriteZfile",
         [&](const std::string& p) { return WriteZfile(p.c_str(), z); }},
        {"set.dat", "WriteImageSet",
         [&](const std::string& p) {
             return WriteImageSet(p.c_str(), &photo, 1, 1, ImageSetWriteOptions{});
         }},
        {"image.rgb", "WriteSGI",
         [&](const std::string& p) { return WriteSGIRGB(p.c_str(), photo); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(c.name);
        // Written whole when the file system takes it.
        ASSERT_TRUE(c.write(path).ok());
        const auto size = std::filesystem::file_size(path);
        EXPECT_GT(size, 0u);
        // A file system that takes no byte: the reason, and the earlier file
        // as it was.
        Status full;
        {
            NoFileBytes limit;
            ASSERT_TRUE(limit.ok());
            full = c.write(path);
        }
        EXPECT_EQ("[" + c.tag + "]: cannot write " + path + ": File too large\n",
                  full.message());
        EXPECT_EQ(size, std::filesystem::file_size(path));
        // A folder that does not exist, and a device.
        const std::string nowhere = dir.File("missing/" + c.name);
        EXPECT_EQ("[" + c.tag + "]: cannot open " + nowhere + " for writing\n",
                  c.write(nowhere).message());
        EXPECT_EQ("[" + c.tag + "]: cannot write /dev/full: not a regular file\n",
                  c.write("/dev/full").message());
    }
    // Nothing but the three files: no temporary was left.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(3, files);
}

}  // namespace
}  // namespace lumo
