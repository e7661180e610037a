// lumotool fit CAPTURE OUTDIR [--bands L|auto] [--lambda X] [--holdout K] [--name NAME]
//              [--cameras I-J] [--mask-below V] [--quiet] [--merge]
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "base/str_printf.h"
#include "cli/tool_command.h"
#include "fit/capture.h"
#include "fit/fit_capture.h"
#include "fit/report_merge.h"
#include "relight/sh_basis.h"

namespace lumo::tool {
namespace {

constexpr const char* kUsage =
    "fit CAPTURE OUTDIR [--bands L|auto] [--lambda X] [--holdout K] [--name NAME] "
    "[--cameras I-J] [--mask-below V] [--quiet] [--merge]";

struct FitCommandOptions {
    std::string capture;
    std::string outdir;
    std::string cameras;
    std::string bands = "auto";
    FitOptions fit;
    bool quiet = false;
    bool merge = false;
};

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() &&
           s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// "I-J" (or "I") into the row-major camera range.
bool ParseCameras(const std::string& text, int& first, int& last) {
    const size_t dash = text.find('-');
    const std::string a = text.substr(0, dash);
    const std::string b = dash == std::string::npos ? a : text.substr(dash + 1);
    auto parse = [](const std::string& s, int& v) {
        const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
        return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size() &&
               v >= 0;
    };
    return parse(a, first) && parse(b, last) && first <= last;
}

// A name for files inside OUTDIR: no folder, not empty.
bool PlainName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && name != "." &&
           name != "..";
}

int RunFit(FitCommandOptions& o) {
    if (o.bands == "auto") {
        o.fit.bands = 0;
    } else {
        const auto r =
            std::from_chars(o.bands.data(), o.bands.data() + o.bands.size(), o.fit.bands);
        if (o.bands.empty() || r.ec != std::errc() ||
            r.ptr != o.bands.data() + o.bands.size() || o.fit.bands < 1 ||
            o.fit.bands > kMaxShBands) {
            return UsageError(FitCommand(),
                              "--bands '" + o.bands +
                                  StrPrintf("': expected auto or a count from 1 to %d",
                                            int{kMaxShBands}));
        }
    }
    if (!o.cameras.empty() &&
        !ParseCameras(o.cameras, o.fit.first_camera, o.fit.last_camera)) {
        return UsageError(
            FitCommand(),
            "--cameras '" + o.cameras + "': expected I-J, camera indices with I <= J");
    }
    if (!PlainName(o.fit.name)) {
        return UsageError(FitCommand(),
                          "--name '" + o.fit.name + "': expected a file name");
    }
    Capture capture;
    if (EndsWith(o.capture, ".lp")) {
        capture = SingleCameraCapture(o.capture);
    } else if (EndsWith(o.capture, ".json")) {
        const Status s = ReadCaptureManifest(o.capture, capture);
        if (!s.ok()) {
            std::fputs(s.message().c_str(), stderr);
            return 1;
        }
    } else {
        return UsageError(
            FitCommand(),
            "CAPTURE '" + o.capture +
                "': expected a light-position file (.lp) or a manifest (.json)");
    }
    if (o.merge) {
        const Status s = MergeFitReports(capture, o.outdir);
        if (!s.ok()) {
            std::fputs(s.message().c_str(), stderr);
            return 1;
        }
        return 0;
    }
    const bool show = !o.quiet && isatty(STDERR_FILENO);
    FitSummary summary;
    const Status s = FitCapture(
        capture, o.outdir, o.fit,
        [show](std::string_view line) {
            if (show) std::fwrite(line.data(), 1, line.size(), stderr);
        },
        summary);
    if (!s.ok()) {
        std::fputs(s.message().c_str(), stderr);
        return 1;
    }
    if (!summary.warning.empty()) std::fputs(summary.warning.c_str(), stderr);
    std::string line =
        StrPrintf("fit: %d camera%s, %d photographs of %d x %d, %d bands",
                  summary.cameras, summary.cameras == 1 ? "" : "s", summary.photographs,
                  summary.width, summary.height, summary.bands);
    if (!summary.choice.empty()) line += " (chosen: " + summary.choice + ")";
    line += StrPrintf(": RMS %.2f (PSNR %.2f dB)", summary.fit_rms, summary.fit_psnr);
    if (summary.held_out) {
        line += StrPrintf(", held out RMS %.2f (PSNR %.2f dB)", summary.holdout_rms,
                          summary.holdout_psnr);
    }
    if (!o.quiet) std::printf("%s; report %s\n", line.c_str(), summary.report.c_str());
    return 0;
}

Runner ConfigureFit(CLI::App& sub) {
    auto o = std::make_shared<FitCommandOptions>();
    sub.add_option("CAPTURE", o->capture)->required();
    sub.add_option("OUTDIR", o->outdir)->required();
    sub.add_option("--bands", o->bands);
    sub.add_option("--lambda", o->fit.lambda)->check(CLI::Range(0.0, 1e6));
    sub.add_option("--holdout", o->fit.holdout)->check(CLI::Range(0, 1000000));
    sub.add_option("--name", o->fit.name);
    sub.add_option("--cameras", o->cameras);
    sub.add_option("--mask-below", o->fit.mask_below)->check(CLI::Range(-1e30, 1e30));
    sub.add_flag("--quiet", o->quiet);
    sub.add_flag("--merge", o->merge);
    return [o]() { return RunFit(*o); };
}

}  // namespace

const ToolCommand& FitCommand() {
    static const ToolCommand command{
        "fit",
        kUsage,
        "Fit a relightable slab to photographs taken under known lights",
        "CAPTURE is a light-position file (.lp: the photograph count, then one line\n"
        "'IMAGE X Y Z' per photograph, (X, Y, Z) towards the light, x right, y up,\n"
        "z towards the camera) for one camera, or a capture manifest (.json) for a\n"
        "slab of several cameras (see the README).\n"
        "\n"
        "Options:\n"
        "  --bands L|auto   spherical-harmonic bands of the coefficients (default auto:\n"
        "                   2 to 8, chosen with lambda by the held-out error of up to\n"
        "                   four sample cameras; the fewest within 0.3 dB of the best)\n"
        "  --lambda X       smoothness penalty of the fit (default: chosen with the\n"
        "                   bands, or 0.0001 when --bands gives them)\n"
        "  --holdout K      photographs per camera left out of the fit and measured\n"
        "                   (default one in ten; 0: none)\n"
        "  --name NAME      base name of the files written (default scene)\n"
        "  --cameras I-J    fit only cameras I..J (row-major index), for sharding\n"
        "  --mask-below V   pixels never above V (0..1 scale) get no coefficients\n"
        "                   (default 0)\n"
        "  --quiet          nothing on standard output (the summary line) and no\n"
        "                   progress lines on standard error (shown only on a terminal)\n"
        "  --merge          fit nothing: join the report parts of the shards in\n"
        "                   OUTDIR (fit-report.I-J.json) into fit-report.json\n"
        "\n"
        "Writes into OUTDIR (created if missing): NAME.lid, NAME.A.B.urdf.sh per\n"
        "camera, and fit-report.json (fit-report.I-J.json with --cameras) with the\n"
        "RMS error and PSNR in the photographs' 8-bit scale, fitted and held out. A\n"
        "warning goes to standard error when a camera has fewer than twice as many\n"
        "photographs as coefficients. Photographs are read in strips of rows, so\n"
        "memory does not grow with their size. From inside OUTDIR,\n"
        "'lumotool relight NAME.lid out --light \"dir=-X,-Y,-Z\"' reproduces the\n"
        "photograph taken under (X, Y, Z).\n",
        ConfigureFit,
    };
    return command;
}

}  // namespace lumo::tool
