// `lumotool import` and `lumotool normals` at the process boundary: the
// relight contract (a PTM relit by lumotool relight shows what the PTM
// shows, upright), batches with --each, broken sources (one line naming the
// file, status 1, nothing written), and the normals of a fitted Lambertian
// capture against the true ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <numbers>
#include <string>
#include <vector>

#include "base/str_printf.h"
#include "io/hsh_writer.h"
#include "io/image_file.h"
#include "io/plane_set_writer.h"
#include "io/ppm.h"
#include "io/ptm_writer.h"
#include "tests/support/lumotool.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;
using lumo::testing::Lumotool;
using lumo::testing::ProcessResult;
using lumo::testing::ReadFileBytes;
using lumo::testing::RunProcess;
using lumo::testing::TempDir;

std::vector<std::string> Files(const fs::path& dir) {
    std::vector<std::string> out;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        out.push_back(fs::relative(e.path(), dir).string());
    std::sort(out.begin(), out.end());
    return out;
}

// An LRGB map of 10 x 6 whose top rows (stored last) are dark: the relit
// picture must show them on top.
PtmFile TestPtm() {
    PtmFile p;
    p.format = PtmFormat::kLrgb;
    p.width = 10;
    p.height = 6;
    const float scale[6] = {0.8f, 0.8f, 0.6f, 0.9f, 0.9f, 1.0f};
    const int bias[6] = {128, 128, 128, 128, 128, 0};
    std::copy(scale, scale + 6, p.scale);
    std::copy(bias, bias + 6, p.bias);
    p.coeff.resize(60 * 6);
    p.rgb.resize(60 * 3);
    for (size_t px = 0; px < 60; ++px) {
        const bool top = px / 10 >= 4;
        for (size_t i = 0; i < 6; ++i)
            p.coeff[6 * px + i] = static_cast<uint8_t>(
                i == 5 ? (top ? 40 : 200) : 100 + (px * 17 + i * 31) % 60);
        for (size_t c = 0; c < 3; ++c)
            p.rgb[3 * px + c] = static_cast<uint8_t>(120 + (px * 7 + c * 50) % 130);
    }
    return p;
}

// The PTM's view for a light towards d, rows top first, RGB.
std::vector<uint8_t> PtmView(const PtmFile& p, const double d[3]) {
    std::vector<uint8_t> out;
    for (int row = 0; row < p.height; ++row) {
        const int y = p.height - 1 - row;
        for (int x = 0; x < p.width; ++x) {
            const double u = d[0], v = d[1];
            const double t[6] = {u * u, v * v, u * v, u, v, 1};
            double L = 0;
            for (int i = 0; i < 6; ++i)
                L += p.Coefficient(0, x, y, i) * t[i];
            for (int c = 0; c < 3; ++c) {
                const double value =
                    p.rgb[3 * (static_cast<size_t>(y) * 10 + static_cast<size_t>(x)) +
                          static_cast<size_t>(c)] *
                    L / 255.0;
                out.push_back(
                    static_cast<uint8_t>(std::lround(std::clamp(value, 0.0, 255.0))));
            }
        }
    }
    return out;
}

TEST(LumotoolImportTest, RelitPtmShowsWhatThePtmShowsUpright) {
    TempDir dir;
    const PtmFile ptm = TestPtm();
    ASSERT_TRUE(WritePtmFile(dir.File("obj.ptm"), ptm).ok());
    const ProcessResult r =
        Lumotool(dir.path().string(), {"import", "obj.ptm", "out", "--bands", "3"});
    ASSERT_EQ(0, r.exit_code) << r.err;
    EXPECT_EQ(
        0u,
        r.out.find(
            "import: obj.ptm: 10 x 6, PTM_FORMAT_LRGB, 3 bands: conversion RMS 0.000"))
        << r.out;
    EXPECT_NE(std::string::npos, r.out.find("; report out/import-report.json\n"));
    EXPECT_EQ((std::vector<std::string>{"import-report.json", "scene.0.0.urdf.sh",
                                        "scene.lid"}),
              Files(dir.path() / "out"));
    const double lights[][3] = {{0.36, 0.48, 0.8}, {-0.6, 0.1, 0.79}, {0.0, 0.0, 1.0}};
    for (const auto& d : lights) {
        const std::string light = StrPrintf("dir=%.9g,%.9g,%.9g", -d[0], -d[1], -d[2]);
        const ProcessResult relit =
            Lumotool(dir.File("out"),
                     {"relight", "scene.lid", "view", "--light", light, "--quiet"});
        ASSERT_EQ(0, relit.exit_code) << relit.err;
        Photo view;
        ASSERT_TRUE(
            ReadPPMFile(dir.File("out/view/view.0.0.ppm").c_str(), view, false).ok());
        ASSERT_EQ(10, view.width);
        ASSERT_EQ(6, view.height);
        const std::vector<uint8_t> want = PtmView(ptm, d);
        for (size_t i = 0; i < want.size(); ++i)
            ASSERT_LE(std::abs(int{view.pixels[i]} - int{want[i]}), 1)
                << light << " byte " << i;
    }
    // --name and --quiet: the files take the name, standard output stays empty.
    const ProcessResult named = Lumotool(
        dir.path().string(), {"import", "obj.ptm", "named", "--name", "vase", "--quiet"});
    ASSERT_EQ(0, named.exit_code) << named.err;
    EXPECT_EQ("", named.out);
    EXPECT_EQ(
        (std::vector<std::string>{"import-report.json", "vase.0.0.urdf.sh", "vase.lid"}),
        Files(dir.path() / "named"));
}

// Broken or unsupported sources: one line naming the file, status 1, and
// no output folder.
TEST(LumotoolImportTest, BrokenSourcesWriteNothing) {
    TempDir dir;
    std::vector<uint8_t> ptm;
    ASSERT_TRUE(EncodePtm(TestPtm(), {}, ptm).ok());
    dir.Write("cut.ptm", std::string(ptm.begin(), ptm.end() - 7));
    HshFile hsh;
    hsh.width = 2;
    hsh.height = 2;
    hsh.terms = 16;
    hsh.scale.assign(16, 1.0f);
    hsh.bias.assign(16, 0.0f);
    hsh.bytes.assign(2 * 2 * 3 * 16, 9);
    std::vector<uint8_t> rti;
    ASSERT_TRUE(EncodeHsh(hsh, rti).ok());
    dir.Write("sixteen.rti", std::string(rti.begin(), rti.end()));
    hsh.terms = 9;
    hsh.scale.resize(9);
    hsh.bias.resize(9);
    hsh.bytes.resize(2 * 2 * 3 * 9);
    ASSERT_TRUE(EncodeHsh(hsh, rti).ok());
    dir.Write("cut.rti", std::string(rti.begin(), rti.end() - 1));
    PlaneSetInfo info;
    info.width = 2;
    info.height = 2;
    info.type = "rbf";
    info.colorspace = "rgb";
    info.nplanes = 3;
    dir.Write("rbf/info.json", PlaneSetInfoText(info));
    const struct {
        const char* source;
        std::string message;
    } cases[] = {
        {"cut.ptm", "[ReadPtm]: cut.ptm: size 10 x 6 does not fit the file\n"},
        {"sixteen.rti", "[ReadHsh]: sixteen.rti: 16 terms: only 4 and 9 are supported\n"},
        {"cut.rti", "[ReadHsh]: cut.rti: size 2 x 2 does not fit the file\n"},
        {"rbf/info.json",
         "[ReadPlaneSet]: rbf/info.json: type rbf with colorspace rgb is not "
         "supported (ptm rgb, ptm lrgb and hsh rgb are)\n"},
        {"missing.ptm", "[ReadPtm]: missing.ptm: cannot open\n"},
        {"rbf",
         "[ImportRti]: rbf: expected a .ptm, an .rti or a plane set's info.json\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        const ProcessResult r =
            Lumotool(dir.path().string(), {"import", c.source, "out"});
        EXPECT_EQ(1, r.exit_code);
        EXPECT_EQ(c.message, r.err);
        EXPECT_EQ("", r.out);
        EXPECT_FALSE(fs::exists(dir.File("out")));
    }
    const ProcessResult usage =
        Lumotool(dir.path().string(), {"import", "a.ptm", "b.ptm", "out"});
    EXPECT_EQ(2, usage.exit_code);
    EXPECT_EQ(0u, usage.err.find("lumotool: import: several SOURCEs need --each"));
    const ProcessResult bands =
        Lumotool(dir.path().string(), {"import", "a.ptm", "out", "--bands", "0"});
    EXPECT_EQ(2, bands.exit_code);
}

// --each: one folder per source named after it (a plane set after its
// folder, a repeated name numbered), a line per source, and the failures
// listed at the end with status 1; the good sources are converted all the
// same.
TEST(LumotoolImportTest, EachConvertsEverySourceAndListsFailures) {
    TempDir dir;
    fs::create_directories(dir.File("a"));
    ASSERT_TRUE(WritePtmFile(dir.File("a/vase.ptm"), TestPtm()).ok());
    fs::create_directories(dir.File("b"));
    ASSERT_TRUE(WritePtmFile(dir.File("b/vase.ptm"), TestPtm()).ok());
    HshFile hsh;
    hsh.width = 3;
    hsh.height = 2;
    hsh.terms = 4;
    hsh.scale.assign(4, 1.0f);
    hsh.bias.assign(4, 0.0f);
    hsh.bytes.assign(3 * 2 * 3 * 4, 60);
    ASSERT_TRUE(WriteHshFile(dir.File("coin.rti"), hsh).ok());
    PlaneSetInfo info;
    info.width = 4;
    info.height = 3;
    info.format = "png";
    info.type = "ptm";
    info.colorspace = "lrgb";
    info.nplanes = 9;
    info.scale.assign(9, 1.0f);
    info.bias.assign(9, 0.0f);
    ASSERT_TRUE(
        WritePlaneSet(dir.File("tablet"), info, std::vector<uint8_t>(12 * 9, 90)).ok());
    dir.Write("bad.ptm", "PTM_1.2\n");
    const ProcessResult r = Lumotool(
        dir.path().string(), {"import", "--each", "a/vase.ptm", "bad.ptm", "b/vase.ptm",
                              "coin.rti", "tablet/info.json", "all", "--bands", "3"});
    EXPECT_EQ(1, r.exit_code);
    EXPECT_EQ(
        "[ReadPtm]: bad.ptm: bad header\nlumotool import: 1 of 5 sources failed:\n  "
        "bad.ptm\n",
        r.err);
    EXPECT_NE(
        std::string::npos,
        r.out.find("import: a/vase.ptm: 10 x 6, PTM_FORMAT_LRGB, 3 bands: conversion RMS "
                   "0.000 (PSNR 99.00 dB); report all/vase/import-report.json\n"))
        << r.out;
    EXPECT_NE(std::string::npos, r.out.find("report all/vase-2/import-report.json\n"));
    EXPECT_NE(std::string::npos,
              r.out.find("import: coin.rti: 3 x 2, HSH 4 terms, 3 bands"));
    EXPECT_NE(std::string::npos,
              r.out.find("import: tablet/info.json: 4 x 3, plane set ptm lrgb, 3 bands"));
    for (const char* folder : {"vase", "vase-2", "coin", "tablet"}) {
        EXPECT_TRUE(fs::exists(dir.path() / "all" / folder / "scene.lid")) << folder;
        EXPECT_TRUE(fs::exists(dir.path() / "all" / folder / "scene.0.0.urdf.sh"))
            << folder;
    }
    EXPECT_FALSE(fs::exists(dir.path() / "all" / "bad"));
    const ProcessResult good = Lumotool(
        dir.path().string(), {"import", "--each", "coin.rti", "more", "--quiet"});
    EXPECT_EQ(0, good.exit_code) << good.err;
    EXPECT_EQ("", good.out);
}

// A Lambertian relief photographed under a dome of lights, fitted, and its
// normals written: every pixel's normal within a few degrees of the true
// one, the albedo within a few percent, the PNG 16-bit and upright.
TEST(LumotoolNormalsTest, NormalsOfAFittedLambertianCaptureAreTheTrueOnes) {
    TempDir dir;
    const int W = 16, H = 12, K = 60;
    // A dome of lights: z from 0.25 to 1.
    std::vector<std::array<double, 3>> lights;
    for (int k = 0; k < K; ++k) {
        const double z = 0.25 + 0.75 * (k + 0.5) / K;
        const double r = std::sqrt(1 - z * z);
        const double phi = 2.399963 * k;
        lights.push_back({r * std::cos(phi), r * std::sin(phi), z});
    }
    // The true normal at picture pixel (x, row), row 0 the top: a dome
    // bulging towards the viewer, tilted up to about 35 degrees, y up.
    auto normal = [&](int x, int row) {
        const double nx = 0.7 * (x - (W - 1) / 2.0) / W;
        const double ny = 0.7 * ((H - 1) / 2.0 - row) / H;
        const double n = std::sqrt(nx * nx + ny * ny + 1.0);
        return std::array<double, 3>{nx / n, ny / n, 1.0 / n};
    };
    const double albedo[3] = {0.8, 0.6, 0.4};
    std::string lp = std::to_string(K) + "\n";
    for (int k = 0; k < K; ++k) {
        FloatImage img;
        img.width = W;
        img.height = H;
        img.channels = 3;
        for (int row = 0; row < H; ++row) {
            for (int x = 0; x < W; ++x) {
                const auto n = normal(x, row);
                const auto& L = lights[static_cast<size_t>(k)];
                const double cosine =
                    std::max(0.0, n[0] * L[0] + n[1] * L[1] + n[2] * L[2]);
                for (double a : albedo)
                    img.pixels.push_back(static_cast<float>(a * cosine));
            }
        }
        const std::string name = StrPrintf("p%d.png", k);
        ASSERT_TRUE(WriteImageFile(dir.File(name), img, ImageBits::k16).ok());
        lp += StrPrintf(
            "%s %.9g %.9g %.9g\n", name.c_str(), lights[static_cast<size_t>(k)][0],
            lights[static_cast<size_t>(k)][1], lights[static_cast<size_t>(k)][2]);
    }
    dir.Write("lights.lp", lp);
    const ProcessResult fit = Lumotool(
        dir.path().string(), {"fit", "lights.lp", "fitted", "--bands", "4", "--quiet"});
    ASSERT_EQ(0, fit.exit_code) << fit.err;
    const ProcessResult r =
        Lumotool(dir.File("fitted"), {"normals", "scene.lid", "maps"});
    ASSERT_EQ(0, r.exit_code) << r.err;
    EXPECT_EQ("normals: 1 camera into maps\n", r.out);
    EXPECT_EQ((std::vector<std::string>{"albedo.0.0.png", "normals.0.0.png"}),
              Files(dir.path() / "fitted/maps"));
    ImageSize size;
    ASSERT_TRUE(ReadImageSize(dir.File("fitted/maps/normals.0.0.png"), size).ok());
    FloatImage normals, albedo_map;
    ASSERT_TRUE(ReadImageFile(dir.File("fitted/maps/normals.0.0.png"), normals).ok());
    ASSERT_TRUE(ReadImageFile(dir.File("fitted/maps/albedo.0.0.png"), albedo_map).ok());
    ASSERT_EQ(W, normals.width);
    ASSERT_EQ(H, normals.height);
    double worst = 0, worst_albedo = 0;
    for (int row = 0; row < H; ++row) {
        for (int x = 0; x < W; ++x) {
            const auto n = normal(x, row);
            double dot = 0;
            for (int i = 0; i < 3; ++i)
                dot += n[static_cast<size_t>(i)] * (2.0 * normals.At(x, row, i) - 1.0);
            worst =
                std::max(worst, std::acos(std::min(1.0, dot)) * 180 / std::numbers::pi);
            for (int c = 0; c < 3; ++c)
                worst_albedo = std::max(
                    worst_albedo, std::fabs(albedo_map.At(x, row, c) / albedo[c] - 1.0));
        }
    }
    EXPECT_LT(worst, 2.0);
    EXPECT_LT(worst_albedo, 0.03);
    // 16-bit: the values are not all multiples of 257 (8-bit widened).
    bool fine = false;
    for (float v : normals.pixels)
        fine |= std::lround(v * 65535.0f) % 257 != 0;
    EXPECT_TRUE(fine);
    // OpenEXR: the normals as they are, unit length.
    const ProcessResult exr =
        Lumotool(dir.File("fitted"),
                 {"normals", "scene.lid", "exr", "--format", "exr", "--quiet"});
    ASSERT_EQ(0, exr.exit_code) << exr.err;
    FloatImage raw;
    ASSERT_TRUE(ReadImageFile(dir.File("fitted/exr/normals.0.0.exr"), raw).ok());
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(2.0 * normals.At(3, 4, i) - 1.0, raw.At(3, 4, i), 1e-4);
}

// scripts/import-slurm.sh: its dry run prints the one submission; run
// against a stand-in sbatch that runs every array task here, its tasks give
// the same files as one `lumotool import --each` over the list; a list whose
// sources would share a folder is refused before anything is submitted.
TEST(ImportSlurmTest, TasksEqualOneRunAndTheDryRunPrintsTheSubmission) {
    TempDir dir;
    fs::create_directories(dir.File("a"));
    fs::create_directories(dir.File("b c"));
    ASSERT_TRUE(WritePtmFile(dir.File("a/vase.ptm"), TestPtm()).ok());
    ASSERT_TRUE(WritePtmFile(dir.File("b c/bowl.ptm"), TestPtm()).ok());
    HshFile hsh;
    hsh.width = 3;
    hsh.height = 2;
    hsh.terms = 9;
    hsh.scale.assign(9, 0.5f);
    hsh.bias.assign(9, 0.0f);
    hsh.bytes.assign(3 * 2 * 3 * 9, 70);
    ASSERT_TRUE(WriteHshFile(dir.File("coin.rti"), hsh).ok());
    dir.Write("list.txt", "# the shelf\na/vase.ptm\n\nb c/bowl.ptm\ncoin.rti\n");
    const std::string cwd = dir.path().string();
    const ProcessResult dry =
        RunProcess({"/bin/sh", IMPORT_SLURM_PATH, "--dry-run", "--per-task", "2",
                    "--lumotool", "/opt/lumotool", "--sbatch-option", "--partition=cpu",
                    "list.txt", "converted", "--bands", "3"},
                   cwd);
    ASSERT_EQ(0, dry.exit_code) << dry.err;
    EXPECT_EQ(
        "sbatch --parsable --partition=cpu --job-name=lumo-import --array=0-1 --wrap "
        "'i=$SLURM_ARRAY_TASK_ID; grep -v -e \"^#\" -e \"^[[:space:]]*$\" list.txt | "
        "sed -n \"$((i * 2 + 1)),$((i * 2 + 2))p\" | { set --; while IFS= read -r s; do "
        "set -- \"$@\" \"$s\"; done; exec /opt/lumotool import --each --bands 3 \"$@\" "
        "converted; }'\n",
        dry.out);
    EXPECT_FALSE(fs::exists(dir.File("converted")));

    // A stand-in sbatch: runs the array's tasks in reverse order, their
    // output going to files as Slurm's does, and prints the job id.
    dir.Write(
        "bin/sbatch",
        "#!/bin/sh\narray=\"\"; wrap=\"\"\n"
        "while [ $# -gt 0 ]; do\n  case \"$1\" in\n  --array=*) array=${1#--array=} ;;\n"
        "  --wrap) wrap=$2; shift ;;\n  esac\n  shift\ndone\n"
        "i=${array#*-}\nwhile [ \"$i\" -ge 0 ]; do\n"
        "  SLURM_ARRAY_TASK_ID=$i sh -c \"$wrap\" >\"slurm-77_$i.out\" 2>&1 || exit 1\n"
        "  i=$((i - 1))\ndone\necho \"77;cluster\"\n");
    fs::permissions(dir.File("bin/sbatch"), fs::perms::owner_all);
    const std::string path = "PATH=" + dir.File("bin") + ":/usr/bin:/bin";
    const ProcessResult run =
        RunProcess({"/usr/bin/env", path, "/bin/sh", IMPORT_SLURM_PATH, "--lumotool",
                    LUMOTOOL_PATH, "list.txt", "converted", "--bands", "3"},
                   cwd);
    ASSERT_EQ(0, run.exit_code) << run.err;
    EXPECT_EQ("import-slurm: array job 77 imports 3 sources in 3 tasks into converted\n",
              run.out);
    const ProcessResult whole =
        Lumotool(cwd, {"import", "--each", "a/vase.ptm", "b c/bowl.ptm", "coin.rti",
                       "whole", "--bands", "3", "--quiet"});
    ASSERT_EQ(0, whole.exit_code) << whole.err;
    const std::vector<std::string> files = Files(dir.path() / "whole");
    EXPECT_EQ(12u, files.size());
    EXPECT_EQ(files, Files(dir.path() / "converted"));
    for (const std::string& f : files) {
        if (fs::is_directory(dir.path() / "whole" / f)) continue;
        EXPECT_EQ(ReadFileBytes(dir.File("whole/" + f)),
                  ReadFileBytes(dir.File("converted/" + f)))
            << f;
    }
    EXPECT_NE(
        std::string::npos,
        ReadFileBytes(dir.File("slurm-77_1.out")).find("import: b c/bowl.ptm: 10 x 6"));

    dir.Write("twice.txt", "a/vase.ptm\nvase/info.json\n");
    const ProcessResult twice =
        RunProcess({"/bin/sh", IMPORT_SLURM_PATH, "--dry-run", "twice.txt", "x"}, cwd);
    EXPECT_EQ(1, twice.exit_code);
    EXPECT_EQ("import-slurm: a/vase.ptm and vase/info.json would both go to x/vase\n",
              twice.err);
    EXPECT_EQ("", twice.out);
}

TEST(LumotoolNormalsTest, FaultsNameTheFileAndWriteNothing) {
    TempDir dir;
    dir.Write("photos.lid", "LID\n");
    const ProcessResult none =
        Lumotool(dir.path().string(), {"normals", "missing.lid", "maps"});
    EXPECT_EQ(1, none.exit_code);
    EXPECT_FALSE(fs::exists(dir.File("maps")));
    const ProcessResult format = Lumotool(
        dir.path().string(), {"normals", "missing.lid", "maps", "--format", "tif"});
    EXPECT_EQ(2, format.exit_code);
    EXPECT_EQ(
        0u, format.err.find("lumotool: normals: --format 'tif': expected png or exr\n"));
}

}  // namespace
}  // namespace lumo
