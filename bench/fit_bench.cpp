// Figures of `lumotool fit` on the demo captured under known lights
// (`lumotool bake --capture K`): for the full-sphere and the dome capture,
// the fit's wall time against the time to only decode the photographs (the
// same photographs, the same threads), its peak memory, the fit error and
// the held-out error of the report, and the fidelity: PSNR against the ray
// tracer of the fitted slab relit under the bake's 8 held-out lights, beside
// the baked coefficient files under the same lights. Then, with the defaults
// a user gets (bands chosen, one photograph in ten held out), the held-out
// PSNR beside a 9-term hemispherical-harmonics fit of the same photographs
// measured on the same held-out ones (testing/hsh_fit.h).
//
// usage: fit_bench [--grid N] [--size S] [--capture K] [--keep DIR]
//
// Bakes into a fresh temporary folder (or DIR, reused when it already holds
// the capture) and runs `lumotool fit` as a child process, whose time and
// peak resident memory are measured.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <numeric>
#include <string>
#include <vector>

#include "bake/bake_scene.h"
#include "bake/demo_scene.h"
#include "base/clock.h"
#include "base/parallel_for.h"
#include "fit/capture.h"
#include "fit/light_positions.h"
#include "io/image_file.h"
#include "scene/slab_record.h"
#include "testing/bake_fidelity.h"
#include "testing/hsh_fit.h"
#include "testing/quiet_streams.h"

namespace {

using namespace lumo::tool;
namespace fs = std::filesystem;

double Mean(const std::vector<double>& v) {
    return v.empty() ? 0.0 : std::accumulate(v.begin(), v.end(), 0.0) / v.size();
}

struct ChildRun {
    int status = -1;
    double wall = 0.0;
    double peak_mib = 0.0;
};

// Runs lumotool with `args` in `cwd` (its standard output silenced); its wall
// time and peak resident memory.
ChildRun RunTool(const std::string& cwd, const std::vector<std::string>& args) {
    ChildRun r;
    const double t0 = lumo::GetSeconds();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(127);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        std::vector<char*> argv;
        std::string tool = LUMOTOOL_PATH;
        argv.push_back(tool.data());
        std::vector<std::string> copy = args;
        for (std::string& a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    r.wall = lumo::GetSeconds() - t0;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.peak_mib = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return r;
}

// Decodes every photograph of the capture, camera by camera, the photographs
// of a camera in parallel as the fitter decodes them; the wall time.
double DecodeOnly(const std::string& manifest) {
    lumo::Capture capture;
    if (!lumo::ReadCaptureManifest(manifest, capture).ok()) return -1;
    const double t0 = lumo::GetSeconds();
    for (const lumo::CaptureCamera& c : capture.cameras) {
        std::vector<lumo::LightPhoto> photos;
        if (!lumo::ReadLightPositions(c.lp, photos).ok()) return -1;
        lumo::ParallelForEach(photos.size(), [&](size_t k) {
            thread_local lumo::FloatImage img;  // reused, as the fitter does
            if (!lumo::ReadImageFile(photos[k].path, img).ok()) std::abort();
        });
    }
    return lumo::GetSeconds() - t0;
}

nlohmann::json ReadJson(const std::string& path) {
    std::ifstream in(path);
    return nlohmann::json::parse(in);
}

}  // namespace

int main(int argc, char** argv) {
    BakeOptions options;
    options.capture = 64;
    std::string keep;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 < argc && a == "--grid") {
            options.grid = std::atoi(argv[++i]);
        } else if (i + 1 < argc && a == "--size") {
            options.size = std::atoi(argv[++i]);
        } else if (i + 1 < argc && a == "--capture") {
            options.capture = std::atoi(argv[++i]);
        } else if (i + 1 < argc && a == "--keep") {
            keep = argv[++i];
        } else {
            std::fprintf(
                stderr,
                "usage: fit_bench [--grid N] [--size S] [--capture K] [--keep DIR]\n");
            return 2;
        }
    }
    std::string root = keep;
    if (root.empty()) {
        char tmpl[] = "/tmp/lumo_fit_bench_XXXXXX";
        if (mkdtemp(tmpl) == nullptr) return 1;
        root = tmpl;
    }
    std::printf(
        "fit_bench: %d x %d cameras of %d x %d pixels, %d photographs per camera, "
        "4 bands, %d threads\n",
        options.grid, options.grid, options.size, options.size, options.capture,
        lumo::ParallelThreads());
    // The bake runs in a child process, so that this one stays small: a
    // child's peak memory counts the memory of the process it was forked from.
    if (!fs::exists(root + "/capture-sphere.json")) {
        const double t0 = lumo::GetSeconds();
        const pid_t pid = fork();
        if (pid == 0) {
            const lumo::Status s = BakeDemo(root, options, [](std::string_view) {});
            if (!s.ok()) std::fprintf(stderr, "%s", s.message().c_str());
            std::fflush(nullptr);
            _exit(s.ok() ? 0 : 1);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
        std::printf("bake with --capture %d: %.1f s\n", options.capture,
                    lumo::GetSeconds() - t0);
    }
    struct Fits {
        ChildRun run, held;
        double decode = 0;
    };
    const char* kVariants[2] = {"sphere", "dome"};
    Fits fits[2];
    const ChildRun idle = RunTool(root, {"help"});
    for (int v = 0; v < 2; ++v) {
        const std::string manifest = std::string("capture-") + kVariants[v] + ".json";
        const std::string out = std::string("fit-") + kVariants[v];
        fits[v].decode = DecodeOnly(root + "/" + manifest);
        // Fixed at 4 bands, the figures the README's table gives.
        fits[v].run = RunTool(
            root, {"fit", manifest, out, "--bands", "4", "--holdout", "0", "--quiet"});
        fits[v].held = RunTool(root, {"fit", manifest, out + "-holdout", "--bands", "4",
                                      "--holdout", "8", "--quiet"});
        if (fits[v].run.status != 0 || fits[v].held.status != 0) {
            std::fprintf(stderr, "fit_bench: lumotool fit failed\n");
            return 1;
        }
    }

    const Scene scene = DemoScene();
    const BakeSlab slab = DemoSlab(options.grid, options.size);
    const std::vector<ViewHits> views = TraceAllViews(scene, slab);
    const std::vector<Vec3d> held_out = HeldOutLightDirections();
    auto baked_psnr = [&](const std::string& dir) {
        auto record = std::make_unique<lumo::SlabRecord>();
        std::vector<double> all;
        QuietStreams quiet;
        if (!LoadBakedSlab(dir, options.grid, options.size, false, *record).ok())
            return -1.0;
        for (const Vec3d& d : held_out) {
            std::vector<double> p;
            if (!CompareDirectional(*record, scene, views, d, p).ok()) return -1.0;
            all.insert(all.end(), p.begin(), p.end());
        }
        return Mean(all);
    };
    const double baked = baked_psnr(root);
    std::printf("baked coefficient files, 8 held-out lights: mean %.2f dB\n", baked);

    for (int v = 0; v < 2; ++v) {
        const std::string out = std::string("fit-") + kVariants[v];
        const Fits& f = fits[v];
        const nlohmann::json report = ReadJson(root + "/" + out + "/fit-report.json");
        const nlohmann::json held_report =
            ReadJson(root + "/" + out + "-holdout/fit-report.json");
        const double fitted = baked_psnr(root + "/" + out);
        std::printf("%s capture:\n", kVariants[v]);
        std::printf(
            "  fit %.2f s wall against %.2f s to only decode the photographs "
            "(%.2fx); peak memory %.0f MiB (lumotool help: %.0f MiB)\n",
            f.run.wall, f.decode, f.decode > 0 ? f.run.wall / f.decode : 0.0,
            f.run.peak_mib, idle.peak_mib);
        std::printf(
            "  fit error RMS %.2f (PSNR %.2f dB) over every photograph; with 8 "
            "held out per camera: held-out RMS %.2f (PSNR %.2f dB)\n",
            report["overall"]["fit"]["rms"].get<double>(),
            report["overall"]["fit"]["psnr"].get<double>(),
            held_report["overall"]["holdout"]["rms"].get<double>(),
            held_report["overall"]["holdout"]["psnr"].get<double>());
        std::printf(
            "  relit under the 8 held-out lights: mean %.2f dB against the ray "
            "tracer, %+.2f dB from the baked files\n",
            fitted, fitted - baked);

        // The defaults against the hemispherical harmonics (a basis of the
        // upper hemisphere: the dome only), camera by camera on the
        // photographs the fit held out.
        if (std::string(kVariants[v]) != "dome") continue;
        const std::string manifest = std::string("capture-") + kVariants[v] + ".json";
        const ChildRun defaults =
            RunTool(root, {"fit", manifest, out + "-defaults", "--quiet"});
        lumo::Capture capture;
        if (defaults.status != 0 ||
            !lumo::ReadCaptureManifest(root + "/" + manifest, capture).ok())
            return 1;
        const nlohmann::json dr =
            ReadJson(root + "/" + out + "-defaults/fit-report.json");
        lumo::testing::HshResult hsh;
        for (const nlohmann::json& cam : dr["cameras"]) {
            const std::vector<int> held = cam["held_out_lines"].get<std::vector<int>>();
            if (!lumo::testing::HshHeldOut(capture.cameras[cam["index"].get<size_t>()].lp,
                                           held, 9, hsh)
                     .ok())
                return 1;
        }
        const double ours = dr["overall"]["holdout"]["psnr"].get<double>();
        std::printf(
            "  defaults (%d bands, lambda %g chosen; one in ten held out): held-out PSNR "
            "%.2f dB; 9-term hemispherical harmonics %.2f dB (%+.2f dB)\n",
            dr["bands"].get<int>(), dr["lambda"].get<double>(), ours, hsh.Psnr(),
            ours - hsh.Psnr());
    }
    if (keep.empty()) fs::remove_all(root);
    return 0;
}
