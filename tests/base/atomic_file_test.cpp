#include "base/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;
using Step = AtomicWriteFailure::Step;
using testing::ReadFileBytes;
using testing::TempDir;

// The names in the folder, sorted.
std::vector<std::string> Names(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(AtomicFileTest, WritesOrReplacesTheWholeFileAndLeavesNoTemporary) {
    TempDir dir;
    const std::string path = dir.File("out.txt");
    AtomicWriteFailure failure;
    ASSERT_TRUE(WriteFileAtomically(path, "first\n", &failure).ok());
    EXPECT_EQ(Step::kNone, failure.step);
    EXPECT_EQ("first\n", ReadFileBytes(path));
    ASSERT_TRUE(WriteFileAtomically(path, std::string_view("second\0x", 8)).ok());
    EXPECT_EQ(std::string("second\0x", 8), ReadFileBytes(path));
    ASSERT_TRUE(WriteFileAtomically(path, "").ok());
    EXPECT_EQ("", ReadFileBytes(path));
    EXPECT_EQ(std::vector<std::string>{"out.txt"}, Names(dir.path()));
}

TEST(AtomicFileTest, StreamWriterFillsTheTemporaryInTheTargetsFolder) {
    TempDir dir;
    const std::string path = dir.File("data.bin");
    std::FILE* seen = nullptr;
    ASSERT_TRUE(WriteFileAtomically(path, [&seen](std::FILE* f) {
                    seen = f;
                    std::fputs("abc", f);
                    std::fputc('d', f);
                    return Status::Ok();
                }).ok());
    EXPECT_NE(nullptr, seen);
    EXPECT_EQ("abcd", ReadFileBytes(path));
}

TEST(AtomicFileTest, GivesTheFileTheModeADirectWriteWould) {
    TempDir dir;
    const mode_t mask = umask(022);
    ASSERT_TRUE(WriteFileAtomically(dir.File("m"), "x").ok());
    umask(mask);
    struct stat st {};
    ASSERT_EQ(0, stat(dir.File("m").c_str(), &st));
    EXPECT_EQ(0644u, st.st_mode & 0777u);
}

TEST(AtomicFileTest, AFailedWriterKeepsTheOldFileAndRemovesTheTemporary) {
    TempDir dir;
    const std::string path = dir.Write("keep.txt", "old");
    for (bool by_name : {false, true}) {
        SCOPED_TRACE(by_name ? "by name" : "stream");
        AtomicWriteFailure failure;
        const Status s = by_name ? WriteFileAtomicallyByName(
                                       path,
                                       [](const std::string& temp) {
                                           std::FILE* f = std::fopen(temp.c_str(), "wb");
                                           std::fputs("partial", f);
                                           std::fclose(f);
                                           return Status::Error("writer's own words\n");
                                       },
                                       &failure)
                                 : WriteFileAtomically(
                                       path,
                                       [](std::FILE* f) {
                                           std::fputs("partial", f);
                                           return Status::Error("writer's own words\n");
                                       },
                                       &failure);
        EXPECT_EQ("writer's own words\n", s.message());
        EXPECT_EQ(Step::kWrite, failure.step);
        EXPECT_EQ(dir.path(), fs::path(failure.temp).parent_path());
        EXPECT_EQ("old", ReadFileBytes(path));
        EXPECT_EQ(std::vector<std::string>{"keep.txt"}, Names(dir.path()));
    }
}

TEST(AtomicFileTest, NamesTheStepThatFailed) {
    TempDir dir;
    // No such folder: the temporary cannot be created.
    const std::string missing = dir.File("no/such/file");
    AtomicWriteFailure failure;
    Status s = WriteFileAtomically(missing, "x", &failure);
    EXPECT_EQ(Step::kCreate, failure.step);
    EXPECT_EQ("No such file or directory", failure.reason);
    EXPECT_EQ("[WriteFile]: cannot write " + missing + ": No such file or directory\n",
              s.message());

    // A writer that made no temporary: the rename fails, the old file stays.
    const std::string taken = dir.Write("taken", "old");
    s = WriteFileAtomicallyByName(
        taken, [](const std::string&) { return Status::Ok(); }, &failure);
    EXPECT_FALSE(s.ok());
    EXPECT_EQ(Step::kRename, failure.step);
    EXPECT_FALSE(failure.reason.empty());
    EXPECT_EQ("[WriteFile]: cannot write " + taken + ": " + failure.reason + "\n",
              s.message());
    EXPECT_EQ("old", ReadFileBytes(taken));
    EXPECT_EQ(std::vector<std::string>{"taken"}, Names(dir.path()));
}

TEST(AtomicFileTest, EveryWriteHasATemporaryOfItsOwn) {
    TempDir dir;
    std::vector<std::string> temps;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(
            WriteFileAtomicallyByName(dir.File("same"), [&](const std::string& t) {
                temps.push_back(t);
                EXPECT_FALSE(fs::exists(t));
                std::FILE* f = std::fopen(t.c_str(), "wb");
                std::fputc('0' + i, f);
                std::fclose(f);
                return Status::Ok();
            }).ok());
    }
    EXPECT_NE(temps[0], temps[1]);
    EXPECT_NE(temps[1], temps[2]);
    EXPECT_EQ("2", ReadFileBytes(dir.File("same")));
}

TEST(AtomicFileTest, WritingThroughASymlinkReplacesTheFileItPointsTo) {
    TempDir dir;
    fs::create_directory(dir.File("real"));
    const std::string target = dir.File("real/lights.json");
    ASSERT_TRUE(WriteFileAtomically(target, "old\n").ok());
    fs::create_symlink("real/lights.json", dir.File("link"));       // relative
    fs::create_symlink(dir.File("link"), dir.File("chain"));        // link to a link
    fs::create_symlink("real/missing.json", dir.File("dangling"));  // names a new file
    ASSERT_TRUE(WriteFileAtomically(dir.File("chain"), "new\n").ok());
    EXPECT_TRUE(fs::is_symlink(dir.File("link")));
    EXPECT_TRUE(fs::is_symlink(dir.File("chain")));
    EXPECT_EQ("new\n", ReadFileBytes(target));
    ASSERT_TRUE(WriteFileAtomically(dir.File("dangling"), "made\n").ok());
    EXPECT_TRUE(fs::is_symlink(dir.File("dangling")));
    EXPECT_EQ("made\n", ReadFileBytes(dir.File("real/missing.json")));
    EXPECT_EQ((std::vector<std::string>{"lights.json", "missing.json"}),
              Names(dir.File("real")));
}

// A device, FIFO or folder under the target's name is never replaced by a
// rename (as root, /dev/full would otherwise become a plain file).
TEST(AtomicFileTest, RefusesATargetThatIsNotARegularFile) {
    TempDir dir;
    fs::create_directory(dir.File("folder"));
    for (const std::string& path : {std::string("/dev/full"), dir.File("folder")}) {
        AtomicWriteFailure failure;
        EXPECT_EQ("[WriteFile]: cannot write " + path + ": not a regular file\n",
                  WriteFileAtomically(path, "x", &failure).message());
        EXPECT_EQ(Step::kCreate, failure.step);
        EXPECT_EQ("[WriteFile]: cannot write " + path + ": not a regular file\n",
                  WriteFileAtomicallyByName(path, [](const std::string&) {
                      return Status::Ok();
                  }).message());
    }
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    EXPECT_EQ(std::vector<std::string>{"folder"}, Names(dir.path()));
}

TEST(AtomicFileTest, AUsersFileOfTheTemporaryStyleNameSurvives) {
    TempDir dir;
    ASSERT_TRUE(WriteFileAtomically(dir.File("lights.json.tmp"), "mine\n").ok());
    ASSERT_TRUE(WriteFileAtomically(dir.File("lights.json"), "saved\n").ok());
    EXPECT_EQ("mine\n", ReadFileBytes(dir.File("lights.json.tmp")));
    EXPECT_EQ((std::vector<std::string>{"lights.json", "lights.json.tmp"}),
              Names(dir.path()));
}

}  // namespace
}  // namespace lumo
