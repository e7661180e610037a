// `lumotool fit` at the process boundary: the relight contract on a small
// synthetic capture, sharding, and every error with its exact message and
// exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/str_printf.h"
#include "io/ppm.h"
#include "relight/brdf_file.h"
#include "tests/support/lumotool.h"
#include "tests/support/run_process.h"
#include "tests/support/synthetic_capture.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;
using lumo::testing::Lumotool;
using lumo::testing::ProcessResult;
using lumo::testing::ReadFileBytes;
using lumo::testing::RunProcess;
using lumo::testing::SyntheticCapture;
using lumo::testing::TempDir;

// The files a folder holds (names only, sorted); empty when it is missing.
std::vector<std::string> Files(const fs::path& dir) {
    std::vector<std::string> out;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return out;
    for (const auto& e : fs::directory_iterator(dir))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// Every file of a folder with its bytes, by name.
std::map<std::string, std::string> FolderBytes(const fs::path& dir) {
    std::map<std::string, std::string> out;
    for (const std::string& f : Files(dir))
        out[f] = ReadFileBytes((dir / f).string());
    return out;
}

// The folder holds the files it held, byte for byte (a failure names the
// file, not its bytes).
void ExpectFolderAsItWas(const fs::path& dir,
                         const std::map<std::string, std::string>& before) {
    const std::map<std::string, std::string> now = FolderBytes(dir);
    std::vector<std::string> names_before, names_now;
    for (const auto& [name, bytes] : before)
        names_before.push_back(name);
    for (const auto& [name, bytes] : now)
        names_now.push_back(name);
    EXPECT_EQ(names_before, names_now);
    for (const auto& [name, bytes] : before) {
        const auto it = now.find(name);
        EXPECT_TRUE(it == now.end() || it->second == bytes) << name << " changed";
    }
}

nlohmann::json ReadJson(const std::string& path) {
    return nlohmann::json::parse(ReadFileBytes(path));
}

// A light none of the capture's directions is: from the upper right, in front.
constexpr double kHeldOut[3] = {0.36, 0.48, 0.8};

struct ContractCase {
    const char* name;
    ImageBits bits;
    const char* extension;
};

// A fitted 1 x 1 slab, relit by `lumotool relight` under a light the fit
// never saw, gives the analytic picture back in the picture's orientation;
// absent pixels are exactly the ones never lit; the report holds the held-out
// figures. For 8-bit, 16-bit and floating-point photographs.
TEST(LumotoolFitTest, RelitFitReproducesTheAnalyticPictureUnderANewLight) {
    const ContractCase cases[] = {{"png8", ImageBits::k8, "png"},
                                  {"png16", ImageBits::k16, "png"},
                                  {"exr", ImageBits::kFloat, "exr"}};
    for (const ContractCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        SyntheticCapture cap;
        cap.bits = c.bits;
        cap.extension = c.extension;
        ASSERT_FALSE(WriteSyntheticCapture(cap, dir.File("cap")).empty());
        const ProcessResult fit =
            Lumotool(dir.path().string(),
                     {"fit", "cap/lights.lp", "out", "--bands", "3", "--holdout", "4"});
        ASSERT_EQ(0, fit.exit_code) << fit.err;
        const std::string start =
            "fit: 1 camera, 40 photographs of 12 x 8, 3 bands: RMS ";
        EXPECT_EQ(start, fit.out.substr(0, start.size()));
        EXPECT_NE(std::string::npos, fit.out.find("; report out/fit-report.json\n"));
        EXPECT_EQ((std::vector<std::string>{"fit-report.json", "scene.0.0.urdf.sh",
                                            "scene.lid"}),
                  Files(dir.path() / "out"));

        const nlohmann::json report = ReadJson(dir.File("out/fit-report.json"));
        const double fit_rms = report["overall"]["fit"]["rms"].get<double>();
        const double hold_rms = report["overall"]["holdout"]["rms"].get<double>();
        EXPECT_LT(fit_rms, 0.6);
        EXPECT_LT(hold_rms, 0.8);
        EXPECT_EQ(4u, report["cameras"][0]["held_out_lines"].size());
        EXPECT_EQ(36 * 12 * 8 * 3, report["overall"]["fit"]["samples"].get<double>());

        const std::string light =
            StrPrintf("dir=%.9g,%.9g,%.9g", -kHeldOut[0], -kHeldOut[1], -kHeldOut[2]);
        const ProcessResult relit =
            Lumotool(dir.File("out"), {"relight", "scene.lid", "view", "--light", light});
        ASSERT_EQ(0, relit.exit_code) << relit.err;
        Photo view;
        ASSERT_TRUE(
            ReadPPMFile(dir.File("out/view/view.0.0.ppm").c_str(), view, false).ok());
        ASSERT_EQ(12, view.width);
        ASSERT_EQ(8, view.height);
        const std::vector<uint8_t> want = testing::SyntheticBytes(cap, kHeldOut);
        double squared = 0;
        int worst = 0;
        for (size_t i = 0; i < want.size(); ++i) {
            const int d = std::abs(int{view.pixels[i]} - int{want[i]});
            worst = std::max(worst, d);
            squared += d * d;
        }
        EXPECT_LE(worst, 2);
        EXPECT_LT(std::sqrt(squared / static_cast<double>(want.size())), 0.8);

        // Never-lit pixels (the picture's top-right corner) have no coefficients;
        // coefficient row y is picture row H - 1 - y.
        BrdfFileData data;
        std::FILE* f = std::fopen(dir.File("out/scene.0.0.urdf.sh").c_str(), "rb");
        ASSERT_NE(nullptr, f);
        ASSERT_TRUE(ReadBrdfData(f, data, MessageSink()).ok());
        std::fclose(f);
        EXPECT_EQ(3, data.lcnt);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 12; ++x) {
                const bool lit = !(x == 11 && 7 - y < 3);
                EXPECT_EQ(lit, data.Present(0, static_cast<size_t>(y * 12 + x)))
                    << x << "," << y;
            }
        }
    }
}

// A 2 x 2 manifest: camera (A, B)'s picture comes back as view.A.B.ppm, and
// shards run as separate processes, in any order, into one folder write the
// same bytes as one run over every camera.
TEST(LumotoolFitTest, ShardsEqualOneRunAndEachCameraKeepsItsPlace) {
    TempDir dir;
    nlohmann::json cams = nlohmann::json::array();
    for (int b = 0; b < 2; ++b) {
        for (int a = 0; a < 2; ++a) {
            SyntheticCapture cap;
            cap.seed = 2 * b + a;
            const std::string folder = StrPrintf("cam%d%d", a, b);
            ASSERT_FALSE(WriteSyntheticCapture(cap, dir.File(folder)).empty());
            cams.push_back({{"column", a}, {"row", b}, {"lp", folder + "/lights.lp"}});
        }
    }
    const nlohmann::json manifest = {
        {"grid", {2, 2}},
        {"camera_plane",
         {{-0.6, -0.4, 2}, {0.6, -0.4, 2}, {0.6, 0.4, 2}, {-0.6, 0.4, 2}}},
        {"image_plane", {{-0.6, -0.4, 0}, {0.6, -0.4, 0}, {0.6, 0.4, 0}, {-0.6, 0.4, 0}}},
        {"cameras", cams}};
    dir.Write("capture.json", manifest.dump(2));

    const std::string cwd = dir.path().string();
    ProcessResult r;
    // Fixed bands, and the defaults (bands chosen on the sample cameras,
    // which every shard computes alike; one photograph in ten held out).
    const std::vector<std::vector<std::string>> option_sets = {{"--bands", "3"}, {}};
    for (const std::vector<std::string>& options : option_sets) {
        SCOPED_TRACE(options.empty() ? "defaults" : "--bands 3");
        const std::string whole = options.empty() ? "whole-defaults" : "whole";
        const std::string shards = options.empty() ? "shards-defaults" : "shards";
        auto args = [&options](std::vector<std::string> a) {
            a.insert(a.end(), options.begin(), options.end());
            return a;
        };
        r = Lumotool(cwd, args({"fit", "capture.json", whole}));
        ASSERT_EQ(0, r.exit_code) << r.err;
        EXPECT_EQ("fit: 4 cameras, 160 photographs", r.out.substr(0, 31));
        for (const char* range : {"2-3", "0-1"}) {
            r = Lumotool(cwd, args({"fit", "capture.json", shards, "--cameras", range}));
            ASSERT_EQ(0, r.exit_code) << r.err;
        }
        EXPECT_EQ((std::vector<std::string>{"fit-report.0-1.json", "fit-report.2-3.json",
                                            "scene.0.0.urdf.sh", "scene.0.1.urdf.sh",
                                            "scene.1.0.urdf.sh", "scene.1.1.urdf.sh",
                                            "scene.lid"}),
                  Files(dir.path() / shards));
        for (const char* f : {"scene.lid", "scene.0.0.urdf.sh", "scene.1.0.urdf.sh",
                              "scene.0.1.urdf.sh", "scene.1.1.urdf.sh"}) {
            SCOPED_TRACE(f);
            const std::string one = ReadFileBytes(dir.File(whole + "/" + f));
            ASSERT_FALSE(one.empty());
            EXPECT_TRUE(one == ReadFileBytes(dir.File(shards + "/" + f)));
        }
        EXPECT_EQ(2u,
                  ReadJson(dir.File(shards + "/fit-report.2-3.json"))["cameras"].size());
        // The merged parts report what the one run reports.
        r = Lumotool(cwd, {"fit", "capture.json", shards, "--merge"});
        ASSERT_EQ(0, r.exit_code) << r.err;
        nlohmann::json merged = ReadJson(dir.File(shards + "/fit-report.json"));
        EXPECT_EQ(
            (std::vector<std::string>{"fit-report.0-1.json", "fit-report.2-3.json"}),
            merged["parts"].get<std::vector<std::string>>());
        merged.erase("parts");
        EXPECT_EQ(ReadJson(dir.File(whole + "/fit-report.json")), merged);
    }
    fs::remove(dir.File("shards/fit-report.2-3.json"));
    r = Lumotool(cwd, {"fit", "capture.json", "shards", "--merge"});
    EXPECT_EQ(1, r.exit_code);
    EXPECT_EQ("[MergeFitReports]: shards: camera 2 is in no part\n", r.err);

    const std::string light =
        StrPrintf("dir=%.9g,%.9g,%.9g", -kHeldOut[0], -kHeldOut[1], -kHeldOut[2]);
    r = Lumotool(dir.File("whole"), {"relight", "scene.lid", "view", "--light", light});
    ASSERT_EQ(0, r.exit_code) << r.err;
    for (int b = 0; b < 2; ++b) {
        for (int a = 0; a < 2; ++a) {
            SyntheticCapture cap;
            cap.seed = 2 * b + a;
            Photo view;
            ASSERT_TRUE(
                ReadPPMFile(
                    dir.File(StrPrintf("whole/view/view.%d.%d.ppm", a, b)).c_str(), view,
                    false)
                    .ok());
            const std::vector<uint8_t> want = testing::SyntheticBytes(cap, kHeldOut);
            int worst = 0;
            for (size_t i = 0; i < want.size(); ++i)
                worst = std::max(worst, std::abs(int{view.pixels[i]} - int{want[i]}));
            EXPECT_LE(worst, 2) << a << "," << b;
        }
    }
}

// With the defaults a user gets, one photograph in ten is held out and the
// band count is the fewest that explains the capture: two bands for a linear
// response, three for a quadratic one (two cannot fit it), never more; the
// summary and the report say what was chosen and why, and the fitted slab
// still relights a new light to within two levels.
TEST(LumotoolFitTest, TheDefaultsHoldOutATenthAndChooseTheFewestBandsThatFit) {
    struct ChoiceCase {
        const char* name;
        bool quadratic;
        int bands;
    };
    for (const ChoiceCase& c :
         {ChoiceCase{"linear", false, 2}, ChoiceCase{"quadratic", true, 3}}) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        SyntheticCapture cap;
        cap.quadratic = c.quadratic;
        ASSERT_FALSE(WriteSyntheticCapture(cap, dir.File("cap")).empty());
        const ProcessResult fit =
            Lumotool(dir.path().string(), {"fit", "cap/lights.lp", "out"});
        ASSERT_EQ(0, fit.exit_code) << fit.err;
        EXPECT_EQ("", fit.err);
        const std::string start = StrPrintf(
            "fit: 1 camera, 40 photographs of 12 x 8, %d bands (chosen: ", c.bands);
        EXPECT_EQ(start, fit.out.substr(0, start.size())) << fit.out;
        EXPECT_NE(std::string::npos, fit.out.find(", held out RMS ")) << fit.out;

        const nlohmann::json report = ReadJson(dir.File("out/fit-report.json"));
        EXPECT_EQ(c.bands, report["bands"].get<int>());
        EXPECT_EQ("one in ten", report["holdout"].get<std::string>());
        EXPECT_EQ(4u, report["cameras"][0]["held_out_lines"].size());
        EXPECT_TRUE(report["overall"].contains("holdout"));
        const nlohmann::json& choice = report["choice"];
        EXPECT_EQ(c.bands, choice["chosen"]["bands"].get<int>());
        EXPECT_EQ(report["lambda"], choice["chosen"]["lambda"]);
        EXPECT_EQ(std::vector<int>{0}, choice["sample_cameras"].get<std::vector<int>>());
        // 36 photographs fitted: up to 4 bands (16 coefficients) are tried.
        std::vector<int> tried;
        for (const nlohmann::json& cand : choice["candidates"])
            tried.push_back(cand["bands"].get<int>());
        EXPECT_EQ(2, *std::min_element(tried.begin(), tried.end()));
        EXPECT_EQ(4, *std::max_element(tried.begin(), tried.end()));
        EXPECT_GE(choice["chosen"]["psnr"].get<double>(),
                  choice["best"]["psnr"].get<double>() - 0.3);
        EXPECT_NE(std::string::npos,
                  fit.out.find(choice["reason"].get<std::string>() + ")"));

        const std::string light =
            StrPrintf("dir=%.9g,%.9g,%.9g", -kHeldOut[0], -kHeldOut[1], -kHeldOut[2]);
        const ProcessResult relit =
            Lumotool(dir.File("out"), {"relight", "scene.lid", "view", "--light", light});
        ASSERT_EQ(0, relit.exit_code) << relit.err;
        Photo view;
        ASSERT_TRUE(
            ReadPPMFile(dir.File("out/view/view.0.0.ppm").c_str(), view, false).ok());
        const std::vector<uint8_t> want = testing::SyntheticBytes(cap, kHeldOut);
        int worst = 0;
        for (size_t i = 0; i < want.size(); ++i)
            worst = std::max(worst, std::abs(int{view.pixels[i]} - int{want[i]}));
        EXPECT_LE(worst, 2);
    }
}

// One line on standard error, and the fit still done, when a camera has fewer
// than twice as many fitted photographs as coefficients (12 photographs, one
// held out by default); nothing when it has enough, and the automatic choice
// never goes that far.
TEST(LumotoolFitTest, WarnsWhenACameraHasFewerThanTwiceAsManyPhotographsAsCoefficients) {
    struct WarnCase {
        std::vector<std::string> options;
        std::string err;
    };
    const std::string tail =
        ", fewer than twice as many: the fit can reproduce them and still relight new "
        "directions badly; read the held-out error\n";
    const WarnCase cases[] = {
        {{"--bands", "3"},
         "lumotool fit: warning: cap/lights.lp: 11 photographs fitted with 9 "
         "coefficients "
         "(3 bands)" +
             tail},
        {{"--bands", "3", "--holdout", "0"},
         "lumotool fit: warning: cap/lights.lp: 12 photographs fitted with 9 "
         "coefficients "
         "(3 bands)" +
             tail},
        {{"--bands", "2"}, ""},
        {{}, ""},
    };
    TempDir dir;
    SyntheticCapture cap;
    cap.width = 6;
    cap.height = 4;
    cap.photos = 12;
    ASSERT_FALSE(WriteSyntheticCapture(cap, dir.File("cap")).empty());
    for (const WarnCase& c : cases) {
        std::vector<std::string> args = {"fit", "cap/lights.lp", "out"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        SCOPED_TRACE(args.size() > 3 ? args[4] : "defaults");
        const ProcessResult r = Lumotool(dir.path().string(), args);
        EXPECT_EQ(0, r.exit_code);
        EXPECT_EQ(c.err, r.err);
        EXPECT_EQ("fit: 1 camera, 12 photographs of 6 x 4, ", r.out.substr(0, 40));
        fs::remove_all(dir.File("out"));
    }
    // Several cameras short of photographs: still one line.
    nlohmann::json cams = nlohmann::json::array();
    cams.push_back({{"column", 0}, {"row", 0}, {"lp", "cap/lights.lp"}});
    cams.push_back({{"column", 1}, {"row", 0}, {"lp", "cap/lights.lp"}});
    cams.push_back({{"column", 2}, {"row", 0}, {"lp", "cap/lights.lp"}});
    dir.Write(
        "m.json",
        nlohmann::json{{"grid", {3, 1}},
                       {"camera_plane", {{-1, -1, 2}, {1, -1, 2}, {1, 1, 2}, {-1, 1, 2}}},
                       {"image_plane", {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}}},
                       {"cameras", cams}}
            .dump());
    const ProcessResult r =
        Lumotool(dir.path().string(), {"fit", "m.json", "out", "--bands", "3"});
    EXPECT_EQ(0, r.exit_code);
    EXPECT_EQ(
        "lumotool fit: warning: cap/lights.lp: 11 photographs fitted with 9 "
        "coefficients (3 bands)" +
            tail.substr(0, tail.size() - 1) + " (and 2 more cameras)\n",
        r.err);
}

struct ErrorCase {
    const char* name;
    // Breaks the valid capture in cap/ (12 photographs of 6 x 4) or adds files.
    std::function<void(const TempDir&)> setup;
    std::vector<std::string> args;  // after "fit"
    int status;
    std::string message;  // the whole of standard error; "PREFIX*" matches a prefix
};

void Rewrite(const TempDir& dir, const std::string& name,
             const std::function<void(std::string&)>& edit) {
    std::string text = ReadFileBytes(dir.File(name));
    edit(text);
    dir.Write(name, text);
}

void ReplaceFirst(std::string& text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    ASSERT_NE(std::string::npos, at) << from;
    text.replace(at, from.size(), to);
}

std::string Manifest(
    const std::string& grid, const std::string& cameras,
    const std::string& image_plane = "[[-1,-1,0],[1,-1,0],[1,1,0],[-1,1,0]]") {
    return "{\"grid\": " + grid +
           ",\n \"camera_plane\": [[-1,-1,2],[1,-1,2],[1,1,2],[-1,1,2]],\n "
           "\"image_plane\": " +
           image_plane + ",\n \"cameras\": " + cameras + "}\n";
}

const char* kOneCamera = "[{\"column\": 0, \"row\": 0, \"lp\": \"cap/lights.lp\"}]";

// Every error: one line naming the file (and line), status 1 for data and 2
// for usage, and no output file under a final name.
TEST(LumotoolFitTest, ErrorsNameTheFileAndLeaveNothingThatLooksComplete) {
    const std::string usage =
        "usage: lumotool fit CAPTURE OUTDIR [--bands L|auto] [--lambda X] [--holdout K] "
        "[--name NAME] [--cameras I-J] [--mask-below V] [--quiet] [--merge]\n";
    auto none = [](const TempDir&) {};
    const ErrorCase cases[] = {
        {"missing image",
         [](const TempDir& d) { fs::remove(d.File("cap/p3.png")); },
         {"cap/lights.lp", "out", "--bands", "2"},
         1,
         "[ReadImage]: cannot read cap/p3.png: no such file\n"},
        {"unreadable image",
         [](const TempDir& d) { d.Write("cap/p3.png", "garbage, not a PNG"); },
         {"cap/lights.lp", "out", "--bands", "2"},
         1,
         "[ReadImage]: cannot read cap/p3.png: *"},
        {"images of different sizes",
         [](const TempDir& d) {
             SyntheticCapture small;
             small.width = 5;
             small.height = 4;
             small.photos = 12;
             WriteSyntheticCapture(small, d.File("small"));
             fs::copy_file(d.File("small/p5.png"), d.File("cap/p5.png"),
                           fs::copy_options::overwrite_existing);
         },
         {"cap/lights.lp", "out", "--bands", "2"},
         1,
         "[FitCapture]: cap/p5.png is 5 x 4, the capture's photographs are 6 x 4\n"},
        {"count above the lines",
         [](const TempDir& d) {
             Rewrite(d, "cap/lights.lp",
                     [](std::string& t) { ReplaceFirst(t, "12\n", "13\n"); });
         },
         {"cap/lights.lp", "out", "--bands", "2"},
         1,
         "[ReadLightPositions]: cap/lights.lp:1: the count says 13 photographs but 12 "
         "lines follow\n"},
        {"count below the lines",
         [](const TempDir& d) {
             Rewrite(d, "cap/lights.lp",
                     [](std::string& t) { ReplaceFirst(t, "12\n", "11\n"); });
         },
         {"cap/lights.lp", "out", "--bands", "2"},
         1,
         "[ReadLightPositions]: cap/lights.lp:13: the count says 11 photographs but 12 "
         "lines follow\n"},
        {"malformed number",
         [](const TempDir& d) {
             Rewrite(d, "cap/lights.lp", [](std::string& t) {
                 const size_t line3 = t.find("p2.png");
                 const size_t end = t.find('\n', line3);
                 t.replace(line3, end - line3, "p2.png 0.5x 0 1");
             });
         },
         {"cap/lights.lp", "out", "--bands", "2"},
         1,
         "[ReadLightPositions]: cap/lights.lp:4: malformed number '0.5x'\n"},
        {"zero direction",
         [](const TempDir& d) {
             Rewrite(d, "cap/lights.lp", [](std::string& t) {
                 const size_t line = t.find("p7.png");
                 const size_t end = t.find('\n', line);
                 t.replace(line, end - line, "p7.png 0 -0 0.0");
             });
         },
         {"cap/lights.lp", "out", "--bands", "2"},
         1,
         "[ReadLightPositions]: cap/lights.lp:9: zero direction\n"},
        {"fewer photographs than coefficients",
         none,
         {"cap/lights.lp", "out", "--bands", "4", "--holdout", "0"},
         1,
         "[FitCapture]: cap/lights.lp: 12 photographs, 0 held out, leave fewer than the "
         "16 coefficients of 4 bands\n"},
        {"too many held out",
         none,
         {"cap/lights.lp", "out", "--bands", "2", "--holdout", "9"},
         1,
         "[FitCapture]: cap/lights.lp: 12 photographs, 9 held out, leave fewer than the "
         "4 "
         "coefficients of 2 bands\n"},
        {"manifest: camera listed twice",
         [](const TempDir& d) {
             d.Write("m.json", Manifest("[1, 1]",
                                        "[{\"column\": 0, \"row\": 0, \"lp\": "
                                        "\"cap/lights.lp\"}, {\"column\": 0, "
                                        "\"row\": 0, \"lp\": \"cap/lights.lp\"}]"));
         },
         {"m.json", "out", "--bands", "2"},
         1,
         "[ReadCaptureManifest]: m.json: camera (0, 0) is listed twice\n"},
        {"manifest: camera missing",
         [](const TempDir& d) { d.Write("m.json", Manifest("[2, 1]", kOneCamera)); },
         {"m.json", "out", "--bands", "2"},
         1,
         "[ReadCaptureManifest]: m.json: camera (1, 0) is missing\n"},
        {"manifest: camera outside the grid",
         [](const TempDir& d) {
             d.Write(
                 "m.json",
                 Manifest("[1, 1]", "[{\"column\": 0, \"row\": 1, \"lp\": \"x.lp\"}]"));
         },
         {"m.json", "out", "--bands", "2"},
         1,
         "[ReadCaptureManifest]: m.json: camera 0 at column 0, row 1 lies outside the 1 "
         "x "
         "1 grid\n"},
        {"light positions: a FIFO (never waited on)",
         [](const TempDir& d) {
             ASSERT_EQ(0, mkfifo(d.File("cap/fifo.lp").c_str(), 0600));
         },
         {"cap/fifo.lp", "out", "--bands", "2"},
         1,
         "[ReadLightPositions]: cap/fifo.lp:0: not a regular file\n"},
        {"light positions: over the size limit",
         [](const TempDir& d) {
             d.Write("cap/big.lp", "12\n");
             fs::resize_file(d.File("cap/big.lp"), (size_t{64} << 20) + 1);  // sparse
         },
         {"cap/big.lp", "out", "--bands", "2"},
         1,
         "[ReadLightPositions]: cap/big.lp:0: larger than the limit of 67108864 bytes\n"},
        {"light positions: all one direction",
         [](const TempDir& d) {
             std::string lp = "12\n";
             for (int k = 0; k < 12; ++k)
                 lp += StrPrintf("p%d.png 0.2 0.3 0.9\n", k);
             d.Write("cap/lights.lp", lp);
         },
         {"cap/lights.lp", "out", "--bands", "2"},
         1,
         "[FitCapture]: cap/lights.lp: all 12 photographs are lit from one direction\n"},
        {"photograph with a NaN pixel",
         [](const TempDir& d) {
             SyntheticCapture f;
             f.width = 6;
             f.height = 4;
             f.photos = 12;
             f.bits = ImageBits::kFloat;
             f.extension = "exr";
             WriteSyntheticCapture(f, d.File("fcap"));
             FloatImage nan;
             ASSERT_TRUE(ReadImageFile(d.File("fcap/p5.exr"), nan).ok());
             nan.pixels[(2 * 6 + 1) * static_cast<size_t>(nan.channels) + 1] =
                 std::nanf("");
             ASSERT_TRUE(
                 WriteImageFile(d.File("fcap/p5.exr"), nan, ImageBits::kFloat).ok());
         },
         {"fcap/lights.lp", "out", "--bands", "2"},
         1,
         "[FitCapture]: fcap/p5.exr: the value at x 1, y 2 is not a finite number\n"},
        {"manifest: a folder",
         [](const TempDir& d) { fs::create_directory(d.File("m.json")); },
         {"m.json", "out", "--bands", "2"},
         1,
         "[ReadCaptureManifest]: m.json: not a regular file\n"},
        {"manifest: a device (never read to the end)",
         [](const TempDir& d) { fs::create_symlink("/dev/zero", d.File("zero.json")); },
         {"zero.json", "out", "--bands", "2"},
         1,
         "[ReadCaptureManifest]: zero.json: not a regular file\n"},
        {"manifest: flat image plane",
         [](const TempDir& d) {
             d.Write("m.json",
                     Manifest("[1, 1]", kOneCamera, "[[0,0,0],[1,0,0],[2,0,0],[3,0,0]]"));
         },
         {"m.json", "out", "--bands", "2"},
         1,
         "[ReadCaptureManifest]: m.json: \"image_plane\" has no area\n"},
        {"manifest: not JSON",
         [](const TempDir& d) { d.Write("m.json", "{\"grid\": [1, 1],\n  oops}\n"); },
         {"m.json", "out"},
         1,
         "[ReadCaptureManifest]: m.json: [json.exception.parse_error.101] parse error at "
         "line 2, column 3: *"},
        {"manifest: cameras beyond the capture",
         [](const TempDir& d) { d.Write("m.json", Manifest("[1, 1]", kOneCamera)); },
         {"m.json", "out", "--bands", "2", "--cameras", "0-1"},
         1,
         "[FitCapture]: cameras 0-1 outside the capture's 1 cameras\n"},
        {"unwritable OUTDIR",
         [](const TempDir& d) { d.Write("plain-file", "x"); },
         {"cap/lights.lp", "plain-file/out", "--bands", "2"},
         1,
         "[FitCapture]: cannot write into plain-file/out\n"},
        {"malformed --cameras",
         none,
         {"cap/lights.lp", "out", "--cameras", "3-1"},
         2,
         "lumotool: fit: --cameras '3-1': expected I-J, camera indices with I <= J\n" +
             usage},
        {"capture of an unknown kind",
         none,
         {"cap/p0.png", "out"},
         2,
         "lumotool: fit: CAPTURE 'cap/p0.png': expected a light-position file (.lp) or a "
         "manifest (.json)\n" +
             usage},
        {"name with a folder",
         none,
         {"cap/lights.lp", "out", "--name", "a/b"},
         2,
         "lumotool: fit: --name 'a/b': expected a file name\n" + usage},
        {"too many held out for the fewest bands a choice makes",
         none,
         {"cap/lights.lp", "out", "--holdout", "9"},
         1,
         "[FitCapture]: cap/lights.lp: 12 photographs, 9 held out, leave fewer than the "
         "4 coefficients of 2 bands\n"},
        {"bands out of range",
         none,
         {"cap/lights.lp", "out", "--bands", "0"},
         2,
         "lumotool: fit: --bands '0': expected auto or a count from 1 to 18\n" + usage},
        {"bands neither a count nor auto",
         none,
         {"cap/lights.lp", "out", "--bands", "4x"},
         2,
         "lumotool: fit: --bands '4x': expected auto or a count from 1 to 18\n" + usage},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        SyntheticCapture cap;
        cap.width = 6;
        cap.height = 4;
        cap.photos = 12;
        ASSERT_FALSE(WriteSyntheticCapture(cap, dir.File("cap")).empty());
        c.setup(dir);
        std::vector<std::string> args = {"fit"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProcessResult r = Lumotool(dir.path().string(), args);
        EXPECT_EQ(c.status, r.exit_code);
        if (!c.message.empty() && c.message.back() == '*') {
            const std::string prefix = c.message.substr(0, c.message.size() - 1);
            EXPECT_EQ(prefix, r.err.substr(0, prefix.size()));
            if (c.status == 1) {
                EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
            }
        } else {
            EXPECT_EQ(c.message, r.err);
        }
        EXPECT_EQ("", r.out);
        EXPECT_EQ(std::vector<std::string>{}, Files(dir.path() / "out"));
    }
}

// An input that needs more memory than there is ends lumotool with one line
// naming the subcommand and the file, status 1, never an abort: a light-
// position file under its size limit whose millions of lines do not fit in
// an address space of 800 MB.
TEST(LumotoolFitTest, RunningOutOfMemoryIsOneLineNamingTheFile) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit";
#endif
    TempDir dir;
    constexpr int kLines = 4800000;
    std::string lp = std::to_string(kLines) + "\n";
    lp.reserve(lp.size() + 12u * kLines);
    for (int i = 0; i < kLines; ++i)
        lp += "p.png 1 0 0\n";
    dir.Write("big.lp", lp);
    const ProcessResult r =
        RunProcess({"/bin/sh", "-c", "ulimit -v 800000; exec \"$0\" \"$@\"",
                    LUMOTOOL_PATH, "fit", "big.lp", "out"},
                   dir.path().string(), "", 300);
    EXPECT_EQ(1, r.exit_code);
    EXPECT_EQ("lumotool: fit: not enough memory while reading big.lp\n", r.err);
}

// Report parts are read as untrusted input: a wrong type, a FIFO or a folder
// under a part's name is one line naming the part, never an exception or a
// wait.
TEST(LumotoolFitTest, MergeRefusesHostileReportPartsInOneLine) {
    TempDir dir;
    SyntheticCapture cap;
    cap.width = 6;
    cap.height = 4;
    cap.photos = 12;
    ASSERT_FALSE(WriteSyntheticCapture(cap, dir.File("cap")).empty());
    const std::string part = "out/fit-report.0-0.json";
    struct Case {
        const char* name;
        std::function<void()> setup;
        std::string message;
    } const cases[] = {
        {"holdout a string",
         [&] {
             dir.Write(part,
                       R"({"name": "scene", "bands": 2, "lambda": 0, "holdout": "two", )"
                       R"("mask_below": 0, "width": 6, "height": 4, "grid": [1, 1], )"
                       R"("cameras": []})");
         },
         "[MergeFitReports]: " + part +
             ": holdout is not an integer or \"one in ten\"\n"},
        {"a FIFO", [&] { ASSERT_EQ(0, mkfifo(dir.File(part).c_str(), 0600)); },
         "[MergeFitReports]: " + part + ": not a regular file\n"},
        {"a folder", [&] { fs::create_directory(dir.File(part)); },
         "[MergeFitReports]: " + part + ": not a regular file\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir.File("out"));
        fs::create_directory(dir.File("out"));
        c.setup();
        const ProcessResult r =
            Lumotool(dir.path().string(), {"fit", "cap/lights.lp", "out", "--merge"});
        EXPECT_EQ(1, r.exit_code);
        EXPECT_EQ(c.message, r.err);
    }
}

// A failure while fitting (a photograph that lies about itself only when
// decoded cannot be caught by the checks first) takes back the files the run
// had already finished.
TEST(LumotoolFitTest, AFailureMidwayRemovesTheRunsFiles) {
    TempDir dir;
    nlohmann::json cams = nlohmann::json::array();
    for (int a = 0; a < 2; ++a) {
        SyntheticCapture cap;
        cap.seed = a;
        const std::string folder = StrPrintf("cam%d", a);
        ASSERT_FALSE(WriteSyntheticCapture(cap, dir.File(folder)).empty());
        cams.push_back({{"column", a}, {"row", 0}, {"lp", folder + "/lights.lp"}});
    }
    dir.Write("m.json", Manifest("[2, 1]", cams.dump()));
    // An earlier fit in a second folder, with the photographs still whole.
    ASSERT_EQ(0, Lumotool(dir.path().string(), {"fit", "m.json", "old", "--bands", "2"})
                     .exit_code);
    const std::map<std::string, std::string> old = FolderBytes(dir.path() / "old");
    // A PNG whose header is whole but whose pixel data is cut short.
    std::string png = ReadFileBytes(dir.File("cam1/p4.png"));
    png.resize(png.size() / 2);
    dir.Write("cam1/p4.png", png);
    for (const std::string out : {"out", "old"}) {
        SCOPED_TRACE(out);
        const ProcessResult r =
            Lumotool(dir.path().string(), {"fit", "m.json", out, "--bands", "3"});
        EXPECT_EQ(1, r.exit_code);
        // libpng prints a line of its own before the message.
        const std::string last = r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1);
        EXPECT_EQ("[ReadImage]: cannot read cam1/p4.png: ", last.substr(0, 38)) << r.err;
    }
    EXPECT_EQ(std::vector<std::string>{}, Files(dir.path() / "out"));
    // The re-fit into the earlier fit's folder failed: that fit is as it was.
    ExpectFolderAsItWas(dir.path() / "old", old);
}

// A disk that fills while the coefficients stream out (the file size limit:
// nothing at all, or the coefficient file's header but not its first strip)
// ends the fit with the writer's one line and status 1; a new folder is left
// empty and a re-fit leaves the earlier fit in its folder as it was.
TEST(LumotoolFitTest, AFullDiskEndsTheFitInOneLineAndKeepsTheEarlierFit) {
    TempDir dir;
    SyntheticCapture cap;
    cap.width = 48;
    cap.height = 32;
    ASSERT_FALSE(WriteSyntheticCapture(cap, dir.File("cap")).empty());
    ASSERT_EQ(0,
              Lumotool(dir.path().string(), {"fit", "cap/lights.lp", "old"}).exit_code);
    const std::map<std::string, std::string> old = FolderBytes(dir.path() / "old");
    for (const char* blocks : {"0", "16"}) {  // of 512 bytes
        for (const std::string out : {"out", "old"}) {
            SCOPED_TRACE(std::string(blocks) + " blocks into " + out);
            const ProcessResult r =
                RunProcess({"/bin/sh", "-c",
                            std::string("trap '' XFSZ; ulimit -f ") + blocks +
                                "; exec \"$0\" \"$@\"",
                            LUMOTOOL_PATH, "fit", "cap/lights.lp", out, "--bands", "4"},
                           dir.path().string(), "", 300);
            EXPECT_EQ(1, r.exit_code);
            EXPECT_EQ("[WriteBrdfFile]: cannot write\n", r.err);
        }
        EXPECT_EQ(std::vector<std::string>{}, Files(dir.path() / "out"));
        ExpectFolderAsItWas(dir.path() / "old", old);
    }
}

// A re-fit killed at any moment leaves the earlier fit whole or no scene
// description at all: never a scene.lid that names old and new files. The
// kill comes once the new run's staging folder exists.
TEST(LumotoolFitTest, AKilledReFitNeverLeavesAMixedScene) {
    TempDir dir;
    nlohmann::json cams = nlohmann::json::array();
    for (int a = 0; a < 3; ++a) {
        SyntheticCapture cap;
        cap.seed = a;
        cap.width = 48;
        cap.height = 32;
        const std::string folder = StrPrintf("cam%d", a);
        ASSERT_FALSE(WriteSyntheticCapture(cap, dir.File(folder)).empty());
        cams.push_back({{"column", a}, {"row", 0}, {"lp", folder + "/lights.lp"}});
    }
    dir.Write("m.json", Manifest("[3, 1]", cams.dump()));
    ASSERT_EQ(0, Lumotool(dir.path().string(), {"fit", "m.json", "out", "--bands", "2"})
                     .exit_code);
    std::vector<std::string> old_bytes;
    for (int a = 0; a < 3; ++a)
        old_bytes.push_back(
            ReadFileBytes(dir.File(StrPrintf("out/scene.%d.0.urdf.sh", a))));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (chdir(dir.path().c_str()) != 0) _exit(127);
        std::freopen("/dev/null", "w", stderr);
        execl(LUMOTOOL_PATH, LUMOTOOL_PATH, "fit", "m.json", "out", "--bands", "3",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    bool staged = false;
    for (int i = 0; i < 100000 && !staged; ++i) {
        usleep(50);
        for (const std::string& f : Files(dir.path() / "out"))
            staged = staged || f.find(".fit-") != std::string::npos;
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    if (!fs::exists(dir.File("out/scene.lid"))) return;  // killed while moving: refused
    const std::string lid = ReadFileBytes(dir.File("out/scene.lid"));
    const bool new_scene = lid.find("3 bands") != std::string::npos;
    for (int a = 0; a < 3; ++a) {
        const std::string now =
            ReadFileBytes(dir.File(StrPrintf("out/scene.%d.0.urdf.sh", a)));
        EXPECT_EQ(new_scene, now != old_bytes[static_cast<size_t>(a)]) << a;
    }
}

}  // namespace
}  // namespace lumo
