// `lumotool bake` run as a user runs it: files, progress, usage errors and
// file errors with their exit statuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/lumotool.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

using lumo::testing::Lumotool;
using lumo::testing::ProcessResult;
using lumo::testing::RunProcess;

TEST(LumotoolBakeTest, BakesQuietlyOrWithProgress) {
    testing::TempDir dir;
    const std::string out = dir.File("demo/nested");
    const ProcessResult quiet = Lumotool("", {"bake", out, "--grid", "2", "--size", "16",
                                              "--directions", "64", "--quiet"});
    ASSERT_EQ(0, quiet.exit_code) << quiet.err;
    EXPECT_EQ("", quiet.err);
    EXPECT_EQ("", quiet.out);
    for (const char* f :
         {"scene.lid", "scene.1.1.urdf.sh", "scene.0.1.z", "scene.01.00.rgb", "scene.dat",
          "scene-rgb.lid", "scene-dat.lid", "scene-qr.lid", "slide.rgb"}) {
        EXPECT_TRUE(std::filesystem::exists(out + "/" + f)) << f;
    }
    const ProcessResult loud = Lumotool("", {"bake", out, "--grid", "1", "--size", "8",
                                             "--bands", "2", "--directions", "16"});
    ASSERT_EQ(0, loud.exit_code) << loud.err;
    EXPECT_EQ("", loud.out);
    // Progress goes to a terminal only: a pipe gets nothing.
    EXPECT_EQ("", loud.err);
    // Under a terminal (script(1) gives the command one, its output on ours).
    const std::string command = std::string(LUMOTOOL_PATH) + " bake " + out +
                                " --grid 1 --size 8 --bands 2 --directions 16";
    const ProcessResult tty =
        RunProcess({"/usr/bin/script", "-qec", command, "/dev/null"}, "", "", 300);
    ASSERT_EQ(0, tty.exit_code) << tty.out << tty.err;
    EXPECT_NE(std::string::npos,
              tty.out.find("bake: 1 x 1 cameras of 8 x 8 pixels, 2 bands from 16 "
                           "light directions, into "))
        << tty.out;
    EXPECT_NE(std::string::npos, tty.out.find("bake: 1 of 1 views"));
    EXPECT_NE(std::string::npos, tty.out.find("bake: done in "));
}

TEST(LumotoolBakeTest, UsageErrorsExitTwoAndWriteNothing) {
    testing::TempDir dir;
    const std::string out = dir.File("out");
    const std::vector<std::vector<std::string>> cases = {
        {"bake"},
        {"bake", out, "--grid", "0"},
        {"bake", out, "--size", "4"},
        {"bake", out, "--bands", "19"},
        {"bake", out, "--grid", "two"},
        {"bake", out, "--directions", "15", "--bands", "4"},
        {"bake", out, "--colour", "red"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.size() > 2 ? args[2] : args[0]);
        const ProcessResult r = Lumotool("", args);
        EXPECT_EQ(2, r.exit_code);
        EXPECT_EQ(0u, r.err.find("lumotool: ")) << r.err;
        EXPECT_NE(std::string::npos, r.err.find("usage: lumotool bake OUTDIR")) << r.err;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

TEST(LumotoolBakeTest, AFolderThatCannotBeMadeExitsOne) {
    testing::TempDir dir;
    const std::string blocker = dir.Write("file", "x");
    const ProcessResult r = Lumotool("", {"bake", blocker + "/out", "--quiet"});
    EXPECT_EQ(1, r.exit_code);
    EXPECT_EQ("[BakeDemo]: cannot create folder " + blocker + "/out\n", r.err);
}

TEST(LumotoolBakeTest, HelpListsTheOptions) {
    const ProcessResult r = Lumotool("", {"bake", "--help"});
    EXPECT_EQ(0, r.exit_code);
    EXPECT_EQ(0u,
              r.out.find("usage: lumotool bake OUTDIR [--grid N] [--size S] [--bands L] "
                         "[--directions K] [--capture K] [--quiet]\n"));
    const ProcessResult overview = Lumotool("", {"help"});
    EXPECT_NE(std::string::npos, overview.out.find("  bake "));
    EXPECT_NE(std::string::npos, overview.out.find("  fit "));
}

}  // namespace
}  // namespace lumo
