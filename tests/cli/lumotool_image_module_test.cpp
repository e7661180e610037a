// The picture module is loaded only when a picture is read or written: a
// command that touches none never loads OpenImageIO, and a module that cannot
// be loaded fails only the command that needs a picture, with one line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/image_file.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

using lumo::testing::ProcessResult;
using lumo::testing::RunProcess;
using lumo::testing::TempDir;

const char kNowhere[] = "/nonexistent/lumo_imagelib.so";

// lumotool with `env` (NAME=VALUE words) added to its environment.
ProcessResult ToolWith(const std::vector<std::string>& env, std::vector<std::string> args,
                       const std::string& cwd = "") {
    std::vector<std::string> argv = {"/usr/bin/env"};
    argv.insert(argv.end(), env.begin(), env.end());
    argv.push_back(LUMOTOOL_PATH);
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv, cwd);
}

std::string ModuleMissing() {
    return std::string("cannot load the picture module: ") + kNowhere +
           ": cannot open shared object file: No such file or directory\n";
}

TEST(LumotoolImageModuleTest, CommandsWithoutPicturesNeverLoadTheImageLibrary) {
#ifdef LUMO_SANITIZED
    GTEST_SKIP() << "the sanitizer build loads the image library at start-up";
#endif
    TempDir dir;
    const std::string lid = dir.Write("scene.lid", "SLAB 0 obj\nSAMPLES_UV 1 1\n");
    const std::vector<std::vector<std::string>> commands = {
        {"help"}, {"info", lid}, {"info", "--json", lid}};
    for (const auto& args : commands) {
        SCOPED_TRACE(args.back());
        const ProcessResult loaded = ToolWith({"LD_DEBUG=libs"}, args);
        EXPECT_EQ(0, loaded.exit_code);
        EXPECT_NE(std::string::npos, loaded.err.find("calling init"))
            << "no loader trace";
        EXPECT_EQ(std::string::npos, loaded.err.find("OpenImageIO"));
        EXPECT_EQ(std::string::npos, loaded.err.find("lumo_imagelib"));
        // Without the module the same commands work as ever.
        const ProcessResult plain = ToolWith({}, args);
        const ProcessResult missing =
            ToolWith({std::string("LUMO_IMAGE_MODULE=") + kNowhere}, args);
        EXPECT_EQ(plain.exit_code, missing.exit_code);
        EXPECT_EQ(plain.out, missing.out);
        EXPECT_EQ(plain.err, missing.err);
    }
}

TEST(LumotoolImageModuleTest, AMissingModuleFailsThePictureWithOneLine) {
    TempDir dir;
    // Writing: the baked demo's environment map.
    const ProcessResult bake =
        ToolWith({std::string("LUMO_IMAGE_MODULE=") + kNowhere},
                 {"bake", dir.File("demo"), "--grid", "2", "--size", "8", "--quiet"});
    EXPECT_EQ(1, bake.exit_code);
    EXPECT_EQ(
        "[WriteImage]: cannot write " + dir.File("demo") + "/sky.exr: " + ModuleMissing(),
        bake.err);
    // Reading: a photograph of a capture.
    FloatImage grey;
    grey.width = 4;
    grey.height = 4;
    grey.channels = 3;
    grey.pixels.assign(48, 0.5f);
    ASSERT_TRUE(WriteImageFile(dir.File("p.png"), grey, ImageBits::k8).ok());
    dir.Write("lights.lp", "1\np.png 0 0 1\n");
    const ProcessResult fit = ToolWith(
        {std::string("LUMO_IMAGE_MODULE=") + kNowhere},
        {"fit", "lights.lp", "out", "--bands", "1", "--quiet"}, dir.path().string());
    EXPECT_EQ(1, fit.exit_code);
    EXPECT_EQ("[ReadImage]: cannot read p.png: " + ModuleMissing(), fit.err);
}

TEST(LumotoolImageModuleTest, AModuleThatIsNotThisBuildsIsRefused) {
    TempDir dir;
    const std::string text = dir.Write("not-a-module.so", std::string(256, 'x'));
    const struct {
        std::string module;
        std::string why;
    } cases[] = {
        {text, text + ": invalid ELF header"},
        // A shared object without the module's entry point (zlib, which
        // lumo itself needs).
        {"/lib/x86_64-linux-gnu/libz.so.1",
         "/lib/x86_64-linux-gnu/libz.so.1 is from another build (no lumo_image_module_v1 "
         "of "
         "this one)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.module);
        const std::string out = dir.File("demo-" + std::to_string(c.module.size()));
        const ProcessResult bake =
            ToolWith({"LUMO_IMAGE_MODULE=" + c.module},
                     {"bake", out, "--grid", "2", "--size", "8", "--quiet"});
        EXPECT_EQ(1, bake.exit_code);
        EXPECT_EQ("[WriteImage]: cannot write " + out +
                      "/sky.exr: cannot load the picture module: " + c.why + "\n",
                  bake.err);
    }
}

}  // namespace
}  // namespace lumo
