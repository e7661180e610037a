// lumotool relight SCENE.lid OUTDIR [--light SPEC]... | [--rig FILE] [--mixed-lights]
//                  [--harmonics N] [--format png|ppm] [--half] [--no-cache] [--quiet]
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "base/str_printf.h"
#include "cli/light_args.h"
#include "cli/picture_format.h"
#include "cli/scene_setup.h"
#include "cli/tool_command.h"
#include "model/light_rig.h"
#include "model/light_spec.h"
#include "model/model_setup.h"

namespace lumo::tool {
namespace {

struct RelightOptions {
    std::string scene;
    std::string outdir;
    std::vector<std::string> lights;
    int harmonics = 0;
    bool harmonics_given = false;
    bool quiet = false;
    bool half = false;
    bool no_cache = false;
    bool mixed = false;
    std::string rig;
    std::string format = "ppm";
};

int RunRelight(const RelightOptions& o) {
    PictureFormat format = PictureFormat::kPpm;
    if (!ParsePictureFormat(o.format, format))
        return UsageError(RelightCommand(), "--format must be png or ppm");
    std::optional<LightRig> rig;
    if (int status = ReadLightArgs(RelightCommand(), o.lights, o.rig, rig); status != 0)
        return status;

    // Progress goes to a terminal only: a pipe or a file gets the images alone.
    const bool progress = !o.quiet && isatty(STDERR_FILENO);
    if (progress) std::fprintf(stderr, "relighting %s ...\n", o.scene.c_str());

    // The model is large (thirty lights with their slides); keep it off the stack.
    auto model = std::make_unique<Model>();
    model->relight.half = o.half;
    model->relight.cache = !o.no_cache;
    if (o.quiet) model->console.Quiet();
    InitModelOrExitWithHint(*model, o.scene);
    if (rig) FatalIfError(ApplyLightRig(*model, *rig));
    if (o.harmonics_given) SetTerms(model->relight, o.harmonics);
    if (o.mixed) model->lights.mixed = 1;
    model->options.preview = 0;
    FatalIfError(ReconstructModel(*model));

    std::error_code ec;
    std::filesystem::create_directories(o.outdir, ec);
    if (ec) {
        std::fprintf(stderr, "lumotool: relight: cannot create %s: %s\n",
                     o.outdir.c_str(), ec.message().c_str());
        return 1;
    }
    if (!model->scene.info || model->scene.info->slab_count < 1) return 0;
    const SlabRecord& slab = model->scene.info->slabs[0];
    const int grid = model->scene.qr_mode != 0 ? 1 : 0;
    const int32_t cols = grid == 1 ? slab.samples_q : slab.samples_u;
    const int32_t rows = grid == 1 ? slab.samples_r : slab.samples_v;
    const std::vector<Photo>& photos = slab.photo[grid];
    size_t to_write = 0, written = 0;
    for (const Photo& photo : photos)
        to_write += photo.has_pixels() ? 1 : 0;
    for (int32_t b = 0; b < rows; ++b) {
        for (int32_t a = 0; a < cols; ++a) {
            const size_t k = static_cast<size_t>(b) * static_cast<size_t>(cols) +
                             static_cast<size_t>(a);
            if (k >= photos.size() || !photos[k].has_pixels()) continue;
            const std::string path =
                (std::filesystem::path(o.outdir) /
                 StrPrintf("view.%d.%d.%s", a, b, PictureExtension(format)))
                    .string();
            const Status s = WritePicture(path, photos[k], format);
            if (!s.ok()) {
                if (progress && written > 0) std::fputc('\n', stderr);
                std::fputs(s.message().c_str(), stderr);
                return 1;
            }
            ++written;
            if (progress) {
                std::fprintf(stderr, "\rwrote %zu of %zu images to %s", written, to_write,
                             o.outdir.c_str());
            }
        }
    }
    if (progress && written > 0) std::fputc('\n', stderr);
    return 0;
}

Runner ConfigureRelight(CLI::App& sub) {
    auto options = std::make_shared<RelightOptions>();
    sub.add_option("SCENE.lid", options->scene)->required();
    sub.add_option("OUTDIR", options->outdir)->required();
    sub.add_option("--light", options->lights)->take_all()->allow_extra_args(false);
    sub.add_option("--harmonics", options->harmonics);
    sub.add_flag("--quiet", options->quiet);
    sub.add_flag("--half", options->half);
    sub.add_flag("--no-cache", options->no_cache);
    sub.add_flag("--mixed-lights", options->mixed);
    sub.add_option("--rig", options->rig);
    sub.add_option("--format", options->format);
    return [options, &sub]() {
        options->harmonics_given = sub.count("--harmonics") > 0;
        return RunRelight(*options);
    };
}

}  // namespace

const ToolCommand& RelightCommand() {
    static const ToolCommand command{
        "relight",
        "relight SCENE.lid OUTDIR [--light SPEC]... | [--rig FILE] [--mixed-lights] "
        "[--harmonics N] [--format png|ppm] [--half] [--no-cache] [--quiet]",
        "Relight a scene as the viewer does and write every reference image",
        "Builds the model as the viewer does, sets the lights, reconstructs every\n"
        "enabled reference image once and writes slab 0's images to\n"
        "OUTDIR/view.A.B.ppm (A the column, B the row), upright.\n"
        "\n"
        "Options:\n"
        "  --light SPEC    light i is given by the i-th flag; the number of flags is "
        "the\n"
        "                  light count (default: one white light travelling along -z).\n"
        "                  SPEC: key=value pairs separated by spaces or semicolons:\n"
        "                  kind=dir|point|slide|env|reserved (default dir)\n"
        "                  dir=X,Y,Z (travel direction)  radius=R  color=R,G,B (0..1)\n"
        "                  slide projectors: lookat=X,Y,Z  up=X,Y,Z  fov=H,V (degrees)\n"
        "                  slide=FILE (at most 255 characters)\n"
        "                  environments: map=FILE (a latitude-longitude picture)\n"
        "                  spin=DEG (turn about the zenith, -dir)\n"
        "  --mixed-lights  several lights each by their own kind (point, slide,\n"
        "                  directional, environment), added; by default several\n"
        "                  lights act as directional lights (a rig: \"mixed\": true)\n"
        "  --rig FILE      the lights of a rig file (not with --light); its harmonic\n"
        "                  terms unless --harmonics is given\n"
        "  --harmonics N   number of harmonic terms evaluated (0..all)\n"
        "  --format F      png or ppm (default ppm): view.A.B.png or view.A.B.ppm\n"
        "  --half          keep the coefficients as half floats: half the memory and\n"
        "                  faster relighting; a byte may differ by a rounding\n"
        "  --no-cache      read the coefficient files, neither using nor writing\n"
        "                  their cache (see lumotool cache; LUMO_CACHE=0 does the\n"
        "                  same for every command and the viewer)\n"
        "  --quiet         nothing on standard output (the set-up's and the\n"
        "                  reconstruction's lines) and no progress on standard error\n"
        "                  (progress is shown only on a terminal); errors still go\n"
        "                  to standard error\n",
        ConfigureRelight,
    };
    return command;
}

}  // namespace lumo::tool
