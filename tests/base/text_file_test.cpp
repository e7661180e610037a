#include "base/text_file.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

using testing::TempDir;

// A listening-free Unix socket bound at `path`; the descriptor stays open.
int BindSocket(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
    EXPECT_EQ(0, bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)));
    return fd;
}

TEST(TextFileTest, ReadsARegularFileWhole) {
    TempDir dir;
    std::string text, why;
    const std::string path = dir.Write("rig.json", std::string("{\"a\": 1}\n\0x", 11));
    EXPECT_EQ(TextFileError::kNone, ReadTextFile(path, 11, text, why));
    EXPECT_EQ(std::string("{\"a\": 1}\n\0x", 11), text);
    EXPECT_EQ(TextFileError::kNone, ReadTextFile(dir.Write("empty", ""), 0, text, why));
    EXPECT_EQ("", text);
}

// Each kind of file that is not a regular one is refused at once (a FIFO
// without a writer would block a plain open), and so is one over the cap.
TEST(TextFileTest, RefusesWhatIsNotASmallRegularFile) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("folder"));
    ASSERT_EQ(0, mkfifo(dir.File("fifo").c_str(), 0600));
    const int sock = BindSocket(dir.File("sock"));
    struct Case {
        std::string path;
        size_t cap;
        TextFileError error;
        std::string why;
    } const cases[] = {
        {dir.File("folder"), 100, TextFileError::kNotRegular, "not a regular file"},
        {dir.File("fifo"), 100, TextFileError::kNotRegular, "not a regular file"},
        {"/dev/zero", 100, TextFileError::kNotRegular, "not a regular file"},
        {dir.File("sock"), 100, TextFileError::kNotRegular, "not a regular file"},
        {dir.Write("big", "12345"), 4, TextFileError::kTooLarge,
         "larger than the limit of 4 bytes"},
        {dir.File("missing"), 100, TextFileError::kOpen, "No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string text = "old", why;
        EXPECT_EQ(c.error, ReadTextFile(c.path, c.cap, text, why));
        EXPECT_EQ(c.why, why);
        EXPECT_EQ("", text);
    }
    close(sock);
}

}  // namespace
}  // namespace lumo
