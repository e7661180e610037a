// `lumotool pack` and `lumotool unpack`, run as a user runs them.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "io/image_set.h"
#include "io/ppm.h"
#include "io/sgi_writer.h"
#include "tests/support/lumotool.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

using lumo::testing::Lumotool;
using lumo::testing::ProcessResult;
using lumo::testing::TempDir;

// A view of a smooth scene, shifted a little per camera, as a light slab's
// neighbouring views are.
Photo View(int k, int j, int w, int h) {
    Photo p;
    EXPECT_TRUE(p.Alloc(w, h).ok());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                p.pixels[(y * w + x) * 3 + c] = static_cast<uint8_t>(
                    128 + 80 * std::sin(0.15 * (x + k) + c) * std::cos(0.1 * (y + j)) +
                    y);
    return p;
}

// Writes cols x rows SGI views into `dir` and returns their paths, row by
// row, column fastest.
std::vector<std::string> Views(const TempDir& dir, int cols, int rows, int w, int h) {
    std::vector<std::string> paths;
    for (int j = 0; j < rows; ++j)
        for (int k = 0; k < cols; ++k) {
            paths.push_back(
                dir.File("v." + std::to_string(k) + "." + std::to_string(j) + ".rgb"));
            EXPECT_TRUE(WriteSGIRGB(paths.back().c_str(), View(k, j, w, h)).ok());
        }
    return paths;
}

TEST(LumotoolPackTest, PackThenUnpackGivesTheViewsWithinTheCodecsLoss) {
    TempDir dir;
    const int cols = 3, rows = 2, w = 20, h = 13;
    const std::vector<std::string> views = Views(dir, cols, rows, w, h);
    const std::string dat = dir.File("set.dat");
    std::vector<std::string> args = {"pack", dat, "--grid", "3x2", "--rate", "4"};
    args.insert(args.end(), views.begin(), views.end());
    ProcessResult r = Lumotool("", args);
    ASSERT_EQ(0, r.exit_code) << r.err;
    EXPECT_EQ("", r.err);

    r = Lumotool("", {"unpack", dat, dir.File("out/views")});
    ASSERT_EQ(0, r.exit_code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("numCol   :  3\n"));

    // Each PPM, read upright, is what the image-set reader gives, and close
    // to the view that was packed.
    std::vector<Photo> loaded(6);
    int32_t nc = 3, nr = 2;
    ImageSetReadOptions quiet;
    quiet.progress = MessageSink();
    ASSERT_TRUE(ReadDAT(dat.c_str(), loaded.data(), 6, nc, nr, nullptr, quiet).ok());
    double se = 0;
    size_t n = 0;
    for (int j = 0; j < rows; ++j)
        for (int k = 0; k < cols; ++k) {
            Photo p;
            const std::string ppm = dir.File("out/views/view." + std::to_string(k) + "." +
                                             std::to_string(j) + ".ppm");
            ASSERT_TRUE(ReadPPMFile(ppm.c_str(), p, true).ok());
            EXPECT_EQ(loaded[j * cols + k].pixels, p.pixels);
            const Photo original = View(k, j, w, h);
            for (size_t i = 0; i < p.pixels.size(); ++i, ++n)
                se += std::pow(double(p.pixels[i]) - original.pixels[i], 2);
        }
    const double psnr = 10 * std::log10(255.0 * 255.0 / (se / n));
    std::printf("pack/unpack PSNR at 4 bits: %.2f dB\n", psnr);
    EXPECT_GT(psnr, 30.0);
}

TEST(LumotoolPackTest, UsageErrorsExitWithTwo) {
    TempDir dir;
    const std::vector<std::string> views = Views(dir, 2, 1, 8, 8);
    const std::string dat = dir.File("x.dat");
    const std::vector<std::vector<std::string>> cases = {
        {"pack", dat, views[0], views[1]},                    // no --grid
        {"pack", dat, "--grid", "2by1", views[0], views[1]},  // malformed grid
        {"pack", dat, "--grid", "0x1", views[0]},             // empty grid
        {"pack", dat, "--grid", "2x2", views[0], views[1]},   // too few images
        {"pack", dat, "--grid", "2x1", "--rate", "0", views[0], views[1]},  // bad rate
        {"pack", dat, "--grid", "2x1"},                                     // no images
        {"unpack", dat},                                                    // no OUTDIR
    };
    for (const auto& args : cases) {
        const ProcessResult r = Lumotool("", args);
        EXPECT_EQ(2, r.exit_code) << args[1] << " " << r.err;
        EXPECT_EQ(0u, r.err.find("lumotool: ")) << r.err;
        EXPECT_NE(std::string::npos, r.err.find("usage: lumotool ")) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dat));
}

TEST(LumotoolPackTest, BadInputsGiveAMessageAndStatusOne) {
    TempDir dir;
    std::vector<std::string> views = Views(dir, 2, 1, 8, 8);
    const std::string other = dir.File("other.rgb");
    ASSERT_TRUE(WriteSGIRGB(other.c_str(), View(0, 0, 8, 9)).ok());
    const std::string dat = dir.File("x.dat");

    ProcessResult r =
        Lumotool("", {"pack", dat, "--grid", "2x1", views[0], dir.File("none.rgb")});
    EXPECT_EQ(1, r.exit_code);
    EXPECT_EQ("lumotool: pack: cannot load " + dir.File("none.rgb") +
                  " (none.rgb: can't open file)\n",
              r.err);

    r = Lumotool("", {"pack", dat, "--grid", "2x1", views[0], other});
    EXPECT_EQ(1, r.exit_code);
    EXPECT_NE(std::string::npos, r.err.find("all images must be of one size")) << r.err;

    const std::string not_dat = dir.Write("not.dat", "hello");
    r = Lumotool("", {"unpack", not_dat, dir.File("o")});
    EXPECT_EQ(1, r.exit_code);
    // The reader's own message first, then the command's line.
    EXPECT_EQ(
        "[ReadDeflateZip]: input file is not in our zip file format\n"
        "lumotool: unpack: cannot read the image set " +
            not_dat + "\n",
        r.err);

    r = Lumotool("", {"unpack", dir.File("missing.dat"), dir.File("o")});
    EXPECT_EQ(1, r.exit_code);
    EXPECT_EQ("Err : cannot open [" + dir.File("missing.dat") +
                  "] for reading\n\nlumotool: unpack: cannot read the image set " +
                  dir.File("missing.dat") + "\n",
              r.err);

    // A view that cannot be written: the folder is there, the file is a folder.
    const std::string dat_ok = dir.File("ok.dat");
    ASSERT_EQ(
        0, Lumotool("", {"pack", dat_ok, "--grid", "2x1", views[0], views[1]}).exit_code);
    std::filesystem::create_directories(dir.File("blocked/view.0.0.ppm"));
    r = Lumotool("", {"unpack", dat_ok, dir.File("blocked")});
    EXPECT_EQ(1, r.exit_code);
    EXPECT_EQ(0u,
              r.err.find(
                  "[WritePPM]: cannot write " +
                  (std::filesystem::path(dir.File("blocked")) / "view.0.0.ppm").string() +
                  ": "))
        << r.err;
}

}  // namespace
}  // namespace lumo
