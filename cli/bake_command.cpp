// lumotool bake OUTDIR [--grid N] [--size S] [--bands L] [--directions K]
//               [--capture K] [--quiet]
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>

#include "bake/bake_scene.h"
#include "cli/tool_command.h"
#include "relight/sh_basis.h"

namespace lumo::tool {
namespace {

constexpr const char* kUsage =
    "bake OUTDIR [--grid N] [--size S] [--bands L] [--directions K] [--capture K] "
    "[--quiet]";

struct BakeCommandOptions {
    std::string outdir;
    BakeOptions bake;
    bool quiet = false;
};

Runner ConfigureBake(CLI::App& sub) {
    auto o = std::make_shared<BakeCommandOptions>();
    sub.add_option("OUTDIR", o->outdir)->required();
    sub.add_option("--grid", o->bake.grid)->check(CLI::Range(1, 64));
    sub.add_option("--size", o->bake.size)->check(CLI::Range(8, 1024));
    sub.add_option("--bands", o->bake.bands)->check(CLI::Range(1, int{kMaxShBands}));
    sub.add_option("--directions", o->bake.directions)->check(CLI::Range(1, 1000000));
    sub.add_option("--capture", o->bake.capture)->check(CLI::Range(1, 999));
    sub.add_flag("--quiet", o->quiet);
    return [o]() {
        const int terms = o->bake.bands * o->bake.bands;
        if (o->bake.directions < terms) {
            return UsageError(
                BakeCommand(),
                "--directions must be at least the number of coefficients, " +
                    std::to_string(terms) + " for " + std::to_string(o->bake.bands) +
                    " bands");
        }
        // Progress goes to a terminal only, as every subcommand's does.
        const bool progress = !o->quiet && isatty(STDERR_FILENO);
        const Status s = BakeDemo(o->outdir, o->bake, [progress](std::string_view line) {
            if (progress) std::fwrite(line.data(), 1, line.size(), stderr);
        });
        if (!s.ok()) {
            std::fputs(s.message().c_str(), stderr);
            return 1;
        }
        return 0;
    };
}

}  // namespace

const ToolCommand& BakeCommand() {
    static const ToolCommand command{
        "bake",
        kUsage,
        "Render the built-in demo scene into a folder of relightable scene files",
        "Options:\n"
        "  --grid N         cameras along each side of the camera plane (default 8)\n"
        "  --size S         pixels along each side of every image (default 128)\n"
        "  --bands L        spherical-harmonic bands of the coefficients (default 4)\n"
        "  --directions K   light directions each pixel is measured in (default 1024)\n"
        "  --capture K      also write K photographs per camera under known lights,\n"
        "                   as captures to fit (over the sphere and over a dome)\n"
        "  --quiet          no progress lines on standard error (shown only on a\n"
        "                   terminal)\n"
        "\n"
        "Writes into OUTDIR (created if missing):\n"
        "  scene.lid, scene.A.B.urdf.sh, scene.A.B.z   the relightable slab\n"
        "  scene-rgb.lid, scene.AA.BB.rgb              photographs under one light\n"
        "  scene-dat.lid, scene.dat                    the same as a compressed image "
        "set\n"
        "  scene-qr.lid                                the photographs on a QR grid\n"
        "  slide.rgb                                   a slide for slide projectors\n"
        "  sky.exr                                     a sky with a sun for the "
        "environment "
        "light\n"
        "  capture-sphere.json, capture-dome.json      with --capture: manifests of\n"
        "  capture-*/A.B/lights.lp, NNN.png            photographs under known lights\n"
        "The scene files name their data without a folder: open them from inside\n"
        "OUTDIR. The same options always give the same files.\n",
        ConfigureBake,
    };
    return command;
}

}  // namespace lumo::tool
