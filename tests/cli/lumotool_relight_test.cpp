// `lumotool relight` against the sequential reference reconstruction (with and
// without the coefficient cache), `lumotool cache`, and their errors at the
// process boundary.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/str_printf.h"
#include "io/depth_map_writer.h"
#include "io/image_file.h"
#include "io/ppm.h"
#include "io/sgi_writer.h"
#include "model/light_rig.h"
#include "model/light_spec.h"
#include "model/model_setup.h"
#include "relight/brdf_writer.h"
#include "relight/recon_request.h"
#include "testing/recon_reference.h"
#include "tests/support/lumotool.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

using lumo::testing::Lumotool;
using lumo::testing::ProcessResult;
using lumo::testing::ReadFileBytes;
using lumo::testing::RunProcess;
using lumo::testing::TempDir;

constexpr int kCols = 3, kRows = 2, kSize = 12, kBands = 3;

// A relightable 3 x 2 slab whose camera (1, 0) is disabled, camera (2, 1) has
// no coefficients at all (an empty window), and whose other images have
// random coefficients with some pixels missing in some channels; depth maps
// for every camera and a slide image.
void WriteRichScene(const TempDir& dir) {
    std::ostringstream lid;
    lid << "SLAB 0 rich\nSAMPLES_UV " << kCols << " " << kRows << "\nSAMPLES_ST " << kSize
        << " " << kSize << "\nFORMAT BRDF\n"
        << "SLAB_UV\n-0.6 -0.6 2 1\n0.6 -0.6 2 1\n0.6 0.6 2 1\n-0.6 0.6 2 1\n"
        << "SLAB_ST\n-0.6 -0.6 0 1\n0.6 -0.6 0 1\n0.6 0.6 0 1\n-0.6 0.6 0 1\n"
        << "VIEW_ENABLE_MASK_BEGIN\n1 1 1\n1 0 1\nEND\n";
    dir.Write("scene.lid", lid.str());
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> coeff(-0.6f, 1.4f);
    for (int b = 0; b < kRows; ++b) {
        for (int a = 0; a < kCols; ++a) {
            ShCoeffImage image(kSize, kSize, kBands);
            const bool empty = a == 2 && b == 1;
            for (int y = 0; y < kSize && !empty; ++y) {
                for (int x = 0; x < kSize; ++x) {
                    for (int ch = 0; ch < 3; ++ch) {
                        if ((x + 2 * y + ch) % 7 == 0 || x < 2) continue;  // absent here
                        std::vector<float> c(kBands * kBands);
                        for (float& v : c)
                            v = coeff(rng);
                        image.Set(ch, x, y, c);
                    }
                }
            }
            const std::string name = StrPrintf("rich.%d.%d.urdf.sh", a, b);
            ASSERT_TRUE(WriteBrdfFile(dir.File(name).c_str(), image).ok());
            Zfile z;
            z.width = z.height = kSize;
            z.depth.resize(kSize * kSize);
            for (int i = 0; i < kSize * kSize; ++i) {
                z.depth[static_cast<size_t>(i)] =
                    i % 11 == 0 ? 1e30f : 1.8f + 0.01f * (i % 13);
            }
            ASSERT_TRUE(
                WriteZfile(dir.File(StrPrintf("rich.%d.%d.z", a, b)).c_str(), z).ok());
        }
    }
    Photo slide;
    ASSERT_TRUE(slide.Alloc(8, 8).ok());
    for (size_t i = 0; i < slide.pixels.size(); ++i)
        slide.pixels[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(WriteSGIRGB(dir.File("slide.rgb").c_str(), slide).ok());
    // A small sky: brighter overhead, a warm patch low in the east; and a map
    // too narrow to be one.
    FloatImage sky;
    sky.width = 16;
    sky.height = 8;
    sky.channels = 3;
    sky.pixels.resize(16 * 8 * 3);
    for (int j = 0; j < 8; ++j) {
        for (int i = 0; i < 16; ++i) {
            float* p = &sky.pixels[static_cast<size_t>((j * 16 + i) * 3)];
            p[0] = p[1] = p[2] = 1.5f - 0.15f * static_cast<float>(j);
            if (j == 5 && i < 2) p[0] = 6.0f;
        }
    }
    ASSERT_TRUE(WriteImageFile(dir.File("sky.exr"), sky, ImageBits::kFloat).ok());
    FloatImage narrow;
    narrow.width = narrow.height = 1;
    narrow.channels = 3;
    narrow.pixels = {1.0f, 1.0f, 1.0f};
    ASSERT_TRUE(WriteImageFile(dir.File("narrow.exr"), narrow, ImageBits::kFloat).ok());
}

// The images the sequential reference gives for the same model, lights and
// harmonic count, as lumotool would write them (row 0 at the bottom). With
// `half`, on the coefficients rounded to half floats as the set-up keeps them.
std::vector<Photo> Reference(const TempDir& dir, const std::vector<std::string>& lights,
                             int harmonics, bool half) {
    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    auto model = std::make_unique<Model>();
    model->relight.half = half;
    EXPECT_TRUE(InitModel(*model, "scene.lid").ok());
    EXPECT_EQ(half, model->scene.info->slabs[0].brdf[0].half);
    if (!lights.empty()) {
        model->lights.lightcnt = static_cast<int32_t>(lights.size());
        for (size_t i = 0; i < lights.size(); ++i) {
            LightSpec spec;
            std::string error;
            EXPECT_TRUE(ParseLightSpec(lights[i], spec, error)) << error;
            EXPECT_TRUE(ResolveLightSpec(spec).ok());
            EXPECT_TRUE(ApplyLightSpec(spec, model->lights.table[i]).ok());
        }
    }
    bool local = false;
    for (int32_t i = 0; i < model->lights.lightcnt; ++i)
        local = local || model->lights.table[i].kind != Directional;
    if (local) {
        EXPECT_TRUE(LoadModelDepthMaps(*model).ok());
    }
    if (harmonics >= 0) SetTerms(model->relight, harmonics);
    ReconRequest request;
    request.lights = std::span<LightSrc>(model->lights.table)
                         .first(static_cast<size_t>(LightsInUse(model->lights)));
    request.terms = model->relight.terms;
    request.progress = MessageSink();
    request.errors = MessageSink();
    EXPECT_TRUE(reference::ReconstructAll(*model->scene.info, request).ok());
    std::filesystem::current_path(here);
    return model->scene.info->slabs[0].photo[0];
}

struct RelightCase {
    const char* name;
    std::vector<std::string> lights;
    int harmonics;  // -1: not given
    bool half = false;
};

class LumotoolRelightTest : public ::testing::TestWithParam<RelightCase> {};

TEST_P(LumotoolRelightTest, MatchesTheReferenceByteForByte) {
    const RelightCase& c = GetParam();
    TempDir dir;
    WriteRichScene(dir);
    std::vector<std::string> args = {"relight", "scene.lid", "out"};
    for (const std::string& l : c.lights) {
        args.push_back("--light");
        args.push_back(l);
    }
    if (c.harmonics >= 0) {
        args.push_back("--harmonics");
        args.push_back(std::to_string(c.harmonics));
    }
    if (c.half) args.push_back("--half");
    // Three runs: without the coefficient cache, the first with it (reads the
    // files and writes the caches), the second (maps the caches). The last
    // one's images are checked against the reference; the other two must be
    // the same bytes with the same messages.
    const std::string cache_folder = dir.File(".lumocache");
    std::vector<std::string> uncached = args;
    uncached[2] = "out-uncached";
    uncached.push_back("--no-cache");
    const ProcessResult r0 = Lumotool(dir.path().string(), uncached);
    ASSERT_EQ(0, r0.exit_code) << r0.err;
    EXPECT_FALSE(std::filesystem::exists(cache_folder)) << "--no-cache writes no cache";
    std::vector<std::string> writing = args;
    writing[2] = "out-written";
    const ProcessResult r1 = Lumotool(dir.path().string(), writing);
    ASSERT_EQ(0, r1.exit_code) << r1.err;
    std::vector<std::filesystem::file_time_type> written;
    for (const auto& e : std::filesystem::directory_iterator(cache_folder))
        written.push_back(e.last_write_time());
    EXPECT_EQ(5u, written.size()) << "a cache per enabled camera";
    const ProcessResult r = Lumotool(dir.path().string(), args);
    ASSERT_EQ(0, r.exit_code) << r.err;
    std::vector<std::filesystem::file_time_type> mapped;
    for (const auto& e : std::filesystem::directory_iterator(cache_folder))
        mapped.push_back(e.last_write_time());
    EXPECT_EQ(written, mapped) << "the second run maps the caches, rewrites none";
    EXPECT_EQ(r0.out, r1.out);
    EXPECT_EQ(r0.out, r.out);
    EXPECT_EQ(r0.err, r1.err);
    EXPECT_EQ(r0.err, r.err);
    for (const auto& e : std::filesystem::directory_iterator(dir.File("out"))) {
        const std::string name = e.path().filename().string();
        SCOPED_TRACE(name);
        EXPECT_EQ(ReadFileBytes(e.path().string()),
                  ReadFileBytes(dir.File("out-uncached/" + name)));
        EXPECT_EQ(ReadFileBytes(e.path().string()),
                  ReadFileBytes(dir.File("out-written/" + name)));
    }
    // The set-up prints its progress as the viewer does.
    EXPECT_NE(std::string::npos, r.out.find("Reconstructing image (0,0) ...\n")) << r.out;

    const std::vector<Photo> expected = Reference(dir, c.lights, c.harmonics, c.half);
    size_t lit = 0;
    for (int b = 0; b < kRows; ++b) {
        for (int a = 0; a < kCols; ++a) {
            const std::string file = dir.File(StrPrintf("out/view.%d.%d.ppm", a, b));
            SCOPED_TRACE(file);
            if (a == 1 && b == 0) {
                EXPECT_FALSE(std::filesystem::exists(file))
                    << "a disabled camera has no file";
                continue;
            }
            Photo got;
            ASSERT_TRUE(ReadPPMFile(file.c_str(), got, /*upright=*/true).ok());
            const Photo& want = expected[static_cast<size_t>(b * kCols + a)];
            ASSERT_EQ(want.width, got.width);
            EXPECT_TRUE(want.pixels == got.pixels);
            for (uint8_t v : got.pixels)
                lit += v != 0;
            if (a == 2 && b == 1) {
                EXPECT_EQ(std::vector<uint8_t>(got.pixels.size(), 0), got.pixels)
                    << "an empty window is all black";
            }
        }
    }
    // No harmonic terms give black images; any other case lights most pixels.
    if (c.harmonics == 0) {
        EXPECT_EQ(0u, lit);
    } else {
        EXPECT_GT(lit, 300u);
    }
}

void PrintTo(const RelightCase& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Modes, LumotoolRelightTest,
    ::testing::Values(
        RelightCase{"StartingLight", {}, -1},
        RelightCase{"Directional", {"dir=0.3,0.2,-1"}, -1},
        RelightCase{"Point", {"kind=point radius=2.5 dir=0.5,0.5,-1"}, -1},
        RelightCase{"Slide", {"kind=slide;radius=3;fov=60,50;lookat=0.1,0,0"}, -1},
        RelightCase{"Reserved", {"kind=reserved"}, -1},
        RelightCase{"Environment",
                    {"kind=env map=sky.exr dir=0.2,0,-1 spin=40 "
                     "color=1,0.8,0.6"},
                    -1},
        RelightCase{"EnvironmentAndAPoint",
                    {"kind=env map=sky.exr spin=-90", "kind=point radius=2 dir=1,0,-1"},
                    4},
        RelightCase{"SeveralWithAPoint",
                    {"dir=0,0,-1", "kind=point radius=2 dir=1,0,-1",
                     "color=0.2,0.4,1 dir=-1,1,-2"},
                    -1},
        RelightCase{"Harmonics0", {"dir=0.1,0,-1"}, 0},
        RelightCase{"Harmonics1", {"dir=0.1,0,-1"}, 1},
        RelightCase{"HarmonicsAboveTheMaximum", {"dir=0.1,0,-1"}, 100},
        // Half-float coefficients: the reference on the rounded coefficients.
        RelightCase{"HalfDirectional", {"dir=0.3,0.2,-1"}, -1, true},
        RelightCase{
            "HalfSlide", {"kind=slide;radius=3;fov=60,50;lookat=0.1,0,0"}, -1, true},
        RelightCase{"HalfEnvironmentAndAPoint",
                    {"kind=env map=sky.exr spin=-90", "kind=point radius=2 dir=1,0,-1"},
                    4,
                    true}),
    [](const ::testing::TestParamInfo<RelightCase>& info) { return info.param.name; });

TEST(LumotoolRelightErrorTest, ReaderAndSceneErrorsEndWithTheirMessageAndStatus1) {
    TempDir dir;
    WriteRichScene(dir);
    const std::string here = std::filesystem::canonical(dir.path()).string();
    struct Case {
        const char* name;
        std::function<void()> damage;
        std::string message;
    } cases[] = {
        // The reader's message, then where data files are looked up.
        {"missing coefficient file",
         [&] { std::filesystem::remove(dir.File("rich.2.0.urdf.sh")); },
         "Cannot read brdf file: rich.2.0.urdf.sh\nlumotool: data files are found from "
         "the "
         "current folder (" +
             here + ")\n"},
        {"truncated coefficients",
         [&] {
             const std::string bytes =
                 lumo::testing::ReadFileBytes(dir.File("rich.0.1.urdf.sh"));
             dir.Write("rich.0.1.urdf.sh", bytes.substr(0, bytes.size() - 3));
         },
         "BRDF file possibly corrupted\n"},
        {"not a coefficient file",
         [&] { dir.Write("rich.0.0.urdf.sh", "brdf\n1 1 1 1\n0 0 0\n"); },
         "Not a BRDF file\n"},
        {"QR grid on a relightable slab",
         [&] {
             const std::string lid = lumo::testing::ReadFileBytes(dir.File("scene.lid"));
             dir.Write("scene.lid", lid + "SAMPLES_QR 2 2\n");
         },
         "[InitModel]: slab rich has both a QR grid and BRDF format; a relightable slab "
         "uses "
         "the UV grid only\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteRichScene(dir);
        c.damage();
        const ProcessResult r =
            Lumotool(dir.path().string(), {"relight", "scene.lid", "out"});
        EXPECT_EQ(1, r.exit_code);
        const std::string message = c.message;
        ASSERT_GE(r.err.size(), message.size()) << r.err;
        EXPECT_EQ(message, r.err.substr(r.err.size() - message.size())) << r.err;
    }
    const ProcessResult missing =
        Lumotool(dir.path().string(), {"relight", "none.lid", "out"});
    EXPECT_EQ(1, missing.exit_code);
    EXPECT_EQ("[ReadLidFile]: cannot open lidfile\n", missing.err);
}

// Run from another folder, the scene's data files are not found: the reader's
// message stays first and exact, and the next line says where to run from.
TEST(LumotoolRelightErrorTest, ADataFileNotFoundSaysWhereDataFilesAreLookedUp) {
    TempDir dir;
    WriteRichScene(dir);
    const std::filesystem::path scene_dir = dir.path();
    const std::string parent =
        std::filesystem::canonical(scene_dir.parent_path()).string();
    const std::string folder = scene_dir.filename().string();
    const ProcessResult r =
        RunProcess({LUMOTOOL_PATH, "relight", folder + "/scene.lid", folder + "/out"},
                   parent, "", 120);
    EXPECT_EQ(1, r.exit_code);
    const std::string want =
        "Cannot read brdf file: rich.0.0.urdf.sh\n"
        "lumotool: data files are found from the current folder (" +
        parent + "), not from the scene's (" + folder + "): run lumotool from " + folder +
        "\n";
    ASSERT_GE(r.err.size(), want.size()) << r.err;
    EXPECT_EQ(want, r.err.substr(r.err.size() - want.size())) << r.err;
}

// A point light on a slab without depth maps: every map is missing, and the
// warning is said once with its count; --quiet keeps the warning, and prints
// nothing on standard output.
TEST(LumotoolRelightErrorTest, MissingDepthMapsAreReportedOnceWithACount) {
    TempDir dir;
    WriteRichScene(dir);
    for (int b = 0; b < kRows; ++b)
        for (int a = 0; a < kCols; ++a)
            std::filesystem::remove(dir.File(StrPrintf("rich.%d.%d.z", a, b)));
    const std::string warning =
        "[Zfile::read]: Cannot open zfile\n"
        "[ReadZFile]: rich.0.0.z missing, the image plane is used\n"
        "[Zfile::read]: Cannot open zfile (5 times)\n"
        "[ReadZFile]: 5 depth maps missing (rich.0.0.z ... rich.2.1.z), the image plane "
        "is used for them\n";
    for (const bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "quiet" : "loud");
        std::vector<std::string> args = {"relight", "scene.lid", "out", "--light",
                                         "kind=point radius=2"};
        if (quiet) args.push_back("--quiet");
        const ProcessResult r = Lumotool(dir.path().string(), args);
        ASSERT_EQ(0, r.exit_code) << r.err;
        const size_t at = r.err.find(warning);
        ASSERT_NE(std::string::npos, at) << r.err;
        // Said once: no other line of it.
        auto count = [&](const std::string& line) {
            size_t n = 0;
            for (size_t p = r.err.find(line); p != std::string::npos;
                 p = r.err.find(line, p + 1))
                ++n;
            return n;
        };
        EXPECT_EQ(1u, count("[Zfile::read]: Cannot open zfile\n")) << r.err;
        EXPECT_EQ(1u, count("missing, the image plane is used\n")) << r.err;
        if (quiet) {
            EXPECT_EQ(warning, r.err);
            EXPECT_EQ(0u, r.out.size()) << r.out;
        } else {
            EXPECT_NE(std::string::npos, r.out.find("lcnt=")) << r.out;
        }
    }
}

// The parser's refusals are tested in tests/model/light_spec_test.cpp; here
// one of them at the process boundary.
TEST(LumotoolRelightErrorTest, AMalformedLightIsAUsageErrorAndWritesNothing) {
    TempDir dir;
    WriteRichScene(dir);
    const ProcessResult r = Lumotool(
        dir.path().string(), {"relight", "scene.lid", "out", "--light", "kind=lamp"});
    EXPECT_EQ(2, r.exit_code);
    EXPECT_EQ(0u, r.err.rfind("lumotool: relight: --light", 0)) << r.err;
    EXPECT_EQ("", r.out);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out")));
}

TEST(LumotoolRelightErrorTest, EnvironmentMapsThatCannotBeUsedEndWithOneLineAndStatus1) {
    TempDir dir;
    WriteRichScene(dir);
    dir.Write("garbage.png", "not a picture at all");
    const struct {
        const char* spec;
        const char* line;  // the whole of standard error
    } cases[] = {
        {"kind=env", "lumotool: relight: --light 'kind=env': kind=env wants map=FILE\n"},
        {"kind=env map=nowhere.exr",
         "lumotool: relight: --light 'kind=env map=nowhere.exr': [ReadImage]: cannot "
         "read nowhere.exr: no such file\n"},
        {"kind=env map=narrow.exr",
         "lumotool: relight: --light 'kind=env map=narrow.exr': [EnvMap]: narrow.exr is "
         "1 "
         "x 1: an environment map is at least 2 x 1\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spec);
        const ProcessResult r = Lumotool(
            dir.path().string(), {"relight", "scene.lid", "out", "--light", c.spec});
        EXPECT_EQ(1, r.exit_code);
        EXPECT_EQ(c.line, r.err);
        EXPECT_EQ("", r.out);
        EXPECT_FALSE(std::filesystem::exists(dir.File("out")));
    }
    // An unreadable picture: one line that names the file, whatever the
    // library says about it.
    const ProcessResult r =
        Lumotool(dir.path().string(),
                 {"relight", "scene.lid", "out", "--light", "kind=env map=garbage.png"});
    EXPECT_EQ(1, r.exit_code);
    EXPECT_NE(std::string::npos, r.err.find("garbage.png")) << r.err;
    EXPECT_EQ(r.err.size() - 1, r.err.find('\n')) << r.err;
}

TEST(LumotoolRelightErrorTest, ASlideNameTooLongForTheLightIsRefusedByName) {
    // The light holds 255 characters: one more would be cut to another path.
    TempDir dir;
    WriteRichScene(dir);
    const std::string fits(255, 's');
    const std::string too_long(256, 's');
    const ProcessResult refused = Lumotool(
        dir.path().string(),
        {"relight", "scene.lid", "out", "--light", "kind=slide slide=" + too_long});
    EXPECT_EQ(2, refused.exit_code);
    EXPECT_NE(std::string::npos,
              refused.err.find("slide name longer than 255 characters: " + too_long))
        << refused.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("out")));
    std::filesystem::copy_file(dir.File("slide.rgb"), dir.File(fits));
    const ProcessResult kept =
        Lumotool(dir.path().string(),
                 {"relight", "scene.lid", "out", "--light", "kind=slide slide=" + fits});
    EXPECT_EQ(0, kept.exit_code) << kept.err;
}

// Runs lumotool as Lumotool does, on a file system that takes no byte (the file
// size limit 0, the signal it raises ignored): every write fails.
ProcessResult ToolOnAFullDisk(const TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(),
                {"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 0; exec \"$0\" \"$@\"",
                 LUMOTOOL_PATH});
    return RunProcess(args, dir.path().string(), "", 120);
}

// A relight whose writes fail leaves every view of the run before whole and
// says which file could not be written and why; no temporary stays behind.
TEST(LumotoolRelightErrorTest, AFailedWriteKeepsTheViewsOfTheRunBefore) {
    for (const std::string format : {"ppm", "png"}) {
        SCOPED_TRACE(format);
        TempDir dir;
        WriteRichScene(dir);
        ASSERT_EQ(0, Lumotool(dir.path().string(),
                              {"relight", "scene.lid", "out", "--format", format})
                         .exit_code);
        const std::string view = dir.File("out/view.0.0." + format);
        const std::string before = ReadFileBytes(view);
        const ProcessResult r =
            ToolOnAFullDisk(dir, {"relight", "scene.lid", "out", "--format", format});
        EXPECT_EQ(1, r.exit_code) << r.err;
        const std::string prefix = format == "ppm" ? "[WritePPM]" : "[WriteImage]";
        // The scene's reading lines, then the one message.
        const std::string message =
            prefix + ": cannot write out/view.0.0." + format + ": File too large\n";
        EXPECT_TRUE(r.err.ends_with("\n" + message)) << r.err;
        EXPECT_EQ(before, ReadFileBytes(view));
        for (const auto& entry : std::filesystem::directory_iterator(dir.File("out")))
            EXPECT_EQ(std::string::npos, entry.path().string().find(".part"));
    }
}

// --light and rigs resolve their lights in one step: a slide that cannot be
// read is refused by name either way, before any view is written.
TEST(LumotoolRelightErrorTest, AMissingSlideIsRefusedAsTheRigRefusesIt) {
    TempDir dir;
    WriteRichScene(dir);
    const ProcessResult light = Lumotool(
        dir.path().string(),
        {"relight", "scene.lid", "out", "--light", "kind=slide slide=MISSING.rgb"});
    EXPECT_EQ(1, light.exit_code);
    EXPECT_EQ(
        "lumotool: relight: --light 'kind=slide slide=MISSING.rgb': cannot read the "
        "slide 'MISSING.rgb'\n",
        light.err);
    dir.Write("rig.json",
              R"({"format": "lumo-rig", "version": 1, "lights": [{"kind": "slide", )"
              R"("slide": "MISSING.rgb"}]})");
    const ProcessResult rig = Lumotool(
        dir.path().string(), {"relight", "scene.lid", "out", "--rig", "rig.json"});
    EXPECT_EQ(1, rig.exit_code);
    EXPECT_EQ("[ReadRig]: rig.json: light 0: cannot read the slide 'MISSING.rgb'\n",
              rig.err);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out")));
}

// The images of slab 0 that `relight` wrote to `out` (disabled cameras and
// cameras without pixels give no file), by index row * kCols + column.
std::vector<std::vector<uint8_t>> Written(const TempDir& dir, const std::string& out) {
    std::vector<std::vector<uint8_t>> images(kCols * kRows);
    for (int b = 0; b < kRows; ++b) {
        for (int a = 0; a < kCols; ++a) {
            const std::string file =
                dir.File(StrPrintf("%s/view.%d.%d.ppm", out.c_str(), a, b));
            if (!std::filesystem::exists(file)) continue;
            Photo got;
            EXPECT_TRUE(ReadPPMFile(file.c_str(), got, /*upright=*/true).ok()) << file;
            images[static_cast<size_t>(b * kCols + a)] = got.pixels;
        }
    }
    return images;
}

struct MixedCase {
    const char* name;
    std::vector<std::string> lights;
    int harmonics;  // -1: not given
};

class LumotoolMixedLightsTest : public ::testing::TestWithParam<MixedCase> {};

// Each light adds exactly the image it makes alone: the mixed image is the sum
// of the one-light images, byte for byte (saturated at 255), since each
// light's contribution is converted to bytes as its own mode converts it.
TEST_P(LumotoolMixedLightsTest, IsTheSumOfTheOneLightImages) {
    const MixedCase& c = GetParam();
    TempDir dir;
    WriteRichScene(dir);
    std::vector<std::string> mixed = {"relight", "scene.lid", "mixed", "--mixed-lights"};
    std::vector<std::string> several = {"relight", "scene.lid", "several"};
    std::vector<std::vector<uint8_t>> sum(kCols * kRows);
    for (size_t m = 0; m < c.lights.size(); ++m) {
        for (auto* args : {&mixed, &several}) {
            args->push_back("--light");
            args->push_back(c.lights[m]);
        }
        // A reserved light reconstructs nothing alone (the images keep the
        // set-up's), and adds nothing to a mix.
        if (c.lights[m] == "kind=reserved") continue;
        std::vector<std::string> one = {"relight", "scene.lid", StrPrintf("one%zu", m),
                                        "--light", c.lights[m]};
        if (c.harmonics >= 0) {
            one.push_back("--harmonics");
            one.push_back(std::to_string(c.harmonics));
        }
        const ProcessResult r = Lumotool(dir.path().string(), one);
        ASSERT_EQ(0, r.exit_code) << r.err;
        const auto images = Written(dir, StrPrintf("one%zu", m));
        for (size_t k = 0; k < images.size(); ++k) {
            if (images[k].empty()) continue;
            if (sum[k].empty()) sum[k].assign(images[k].size(), 0);
            for (size_t b = 0; b < images[k].size(); ++b)
                sum[k][b] = static_cast<uint8_t>(std::min(255, sum[k][b] + images[k][b]));
        }
    }
    if (c.harmonics >= 0) {
        for (auto* args : {&mixed, &several}) {
            args->push_back("--harmonics");
            args->push_back(std::to_string(c.harmonics));
        }
    }
    const ProcessResult r = Lumotool(dir.path().string(), mixed);
    ASSERT_EQ(0, r.exit_code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("Reconstructing image (0,0) ...\n")) << r.out;
    const auto got = Written(dir, "mixed");
    size_t lit = 0;
    for (size_t k = 0; k < got.size(); ++k) {
        SCOPED_TRACE(k);
        if (sum[k].empty()) sum[k].assign(got[k].size(), 0);  // no light lit it
        EXPECT_TRUE(sum[k] == got[k]);
        for (uint8_t v : got[k])
            lit += v != 0;
    }
    EXPECT_GT(lit, 300u);
    // Without the switch, point lights and projectors act as directional ones.
    ASSERT_EQ(0, Lumotool(dir.path().string(), several).exit_code);
    EXPECT_NE(Written(dir, "several"), got);

    // A rig with "mixed": true gives the same images.
    std::string rig = "{\"format\": \"lumo-rig\", \"version\": 1, \"mixed\": true, ";
    if (c.harmonics >= 0) rig += StrPrintf("\"harmonics\": %d, ", c.harmonics);
    rig += "\"lights\": [";
    for (size_t m = 0; m < c.lights.size(); ++m) {
        LightSpec spec;
        std::string error;
        ASSERT_TRUE(ParseLightSpec(c.lights[m], spec, error)) << error;
        LightRig one;
        one.lights.push_back(spec);
        const std::string text = LightRigText(one);
        const size_t open = text.find("{", text.find("\"lights\""));
        const size_t close = text.rfind("}", text.rfind("]"));
        rig += (m == 0 ? "" : ", ") + text.substr(open, close - open + 1);
    }
    rig += "]}";
    dir.Write("mixed.json", rig);
    const ProcessResult from_rig = Lumotool(
        dir.path().string(), {"relight", "scene.lid", "rig", "--rig", "mixed.json"});
    ASSERT_EQ(0, from_rig.exit_code) << from_rig.err << rig;
    EXPECT_EQ(got, Written(dir, "rig"));
}

void PrintTo(const MixedCase& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, LumotoolMixedLightsTest,
    ::testing::Values(
        MixedCase{
            "PointAndDirectional",
            {"kind=point radius=2.5 dir=0.5,0.5,-1", "dir=-0.3,0.2,-1 color=0.3,0.5,1"},
            -1},
        MixedCase{"SlidePointEnvironmentAndReserved",
                  {"kind=slide;radius=3;fov=60,50;lookat=0.1,0,0 color=1,0.5,0.5",
                   "kind=point radius=2 dir=1,0,-1 color=0.4,0.4,0.4",
                   "kind=env map=sky.exr spin=-90 color=0.3,0.3,0.3", "kind=reserved"},
                  4},
        MixedCase{
            "TwoSlides",
            {"kind=slide;radius=3;fov=60,50", "kind=slide;radius=2;dir=1,0,-1;fov=40,40"},
            -1}),
    [](const ::testing::TestParamInfo<MixedCase>& info) { return info.param.name; });

TEST(LumotoolRelightProgressTest, GoesToATerminalOnlyAndNotWithQuiet) {
    TempDir dir;
    WriteRichScene(dir);
    const ProcessResult piped =
        Lumotool(dir.path().string(), {"relight", "scene.lid", "piped"});
    ASSERT_EQ(0, piped.exit_code) << piped.err;
    // The readers' own lines only: no progress on a pipe.
    EXPECT_EQ(std::string::npos, piped.err.find("wrote")) << piped.err;
    EXPECT_EQ(std::string::npos, piped.err.find("relighting")) << piped.err;
    // Under a terminal (script(1) gives the command one).
    for (const bool quiet : {false, true}) {
        const std::string command = std::string(LUMOTOOL_PATH) +
                                    " relight scene.lid tty" + (quiet ? " --quiet" : "");
        const ProcessResult r =
            RunProcess({"/usr/bin/script", "-qec", command, "/dev/null"},
                       dir.path().string(), "", 120);
        ASSERT_EQ(0, r.exit_code) << r.out << r.err;
        const bool shown = r.out.find("wrote 5 of 5 images to tty") != std::string::npos;
        EXPECT_EQ(!quiet, shown) << r.out;
        EXPECT_EQ(!quiet, r.out.find("relighting scene.lid ...") != std::string::npos);
    }
}

}  // namespace
}  // namespace lumo

namespace lumo {
namespace {

TEST(LumotoolCacheTest, WritesTheCachesAheadOfTimeAndSaysWhere) {
    TempDir dir;
    WriteRichScene(dir);
    const ProcessResult first = Lumotool(dir.path().string(), {"cache", "scene.lid"});
    ASSERT_EQ(0, first.exit_code) << first.err;
    EXPECT_EQ("", first.err);
    // 5 enabled cameras of 12 x 12 pixels.
    EXPECT_EQ("rich: 5 float caches in .lumocache (5 written, 0 up to date, 0.00 GB)\n",
              first.out);
    const ProcessResult again = Lumotool(dir.path().string(), {"cache", "scene.lid"});
    EXPECT_EQ("rich: 5 float caches in .lumocache (0 written, 5 up to date, 0.00 GB)\n",
              again.out);
    const ProcessResult half =
        Lumotool(dir.path().string(), {"cache", "scene.lid", "--half"});
    EXPECT_EQ("rich: 5 half caches in .lumocache (5 written, 0 up to date, 0.00 GB)\n",
              half.out);
    EXPECT_TRUE(
        std::filesystem::exists(dir.File(".lumocache/rich.0.1.urdf.sh.half.lumocache")));

    // A file that cannot be read ends the command with the reader's message.
    std::filesystem::remove(dir.File("rich.2.0.urdf.sh"));
    const ProcessResult broken = Lumotool(dir.path().string(), {"cache", "scene.lid"});
    EXPECT_EQ(1, broken.exit_code);
    EXPECT_EQ("Cannot read brdf file: rich.2.0.urdf.sh\n", broken.err);
}

TEST(LumotoolCacheTest, WithoutAWritableFolderTheCommandSaysSoAndRelightStillWorks) {
    TempDir dir;
    WriteRichScene(dir);
    dir.Write(".lumocache", "in the way\n");
    dir.Write("home-file", "");
    // The per-user folder under a file cannot be made either.
    const std::vector<std::string> env = {
        "/usr/bin/env", "XDG_CACHE_HOME=" + dir.File("home-file"), LUMOTOOL_PATH};
    std::vector<std::string> cache = env;
    cache.insert(cache.end(), {"cache", "scene.lid"});
    const ProcessResult r = RunProcess(cache, dir.path().string());
    EXPECT_EQ(1, r.exit_code);
    EXPECT_EQ("", r.out);
    EXPECT_NE(std::string::npos,
              r.err.find(
                  "lumotool: cache: no cache written for rich.0.0.urdf.sh (.lumocache: "))
        << r.err;
    std::vector<std::string> relight = env;
    relight.insert(relight.end(), {"relight", "scene.lid", "out"});
    const ProcessResult lit = RunProcess(relight, dir.path().string());
    EXPECT_EQ(0, lit.exit_code) << lit.err;
    // One line for the slab, not one per file; --quiet silences it.
    size_t lines = 0;
    for (size_t at = lit.err.find("No coefficient cache for "); at != std::string::npos;
         at = lit.err.find("No coefficient cache for ", at + 1))
        ++lines;
    EXPECT_EQ(1u, lines) << lit.err;
    relight.push_back("--quiet");
    const ProcessResult quiet = RunProcess(relight, dir.path().string());
    EXPECT_EQ(0, quiet.exit_code);
    EXPECT_EQ("", quiet.err);
}

TEST(LumotoolCacheTest, LumoCacheZeroTurnsTheCacheOff) {
    TempDir dir;
    WriteRichScene(dir);
    const ProcessResult r = RunProcess(
        {"/usr/bin/env", "LUMO_CACHE=0", LUMOTOOL_PATH, "relight", "scene.lid", "out"},
        dir.path().string());
    EXPECT_EQ(0, r.exit_code) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File(".lumocache")));
}

}  // namespace
}  // namespace lumo
