// lumotool normals SCENE.lid OUTDIR [--format png|exr] [--quiet]
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/tool_command.h"
#include "fit/normal_maps.h"

namespace lumo::tool {
namespace {

constexpr const char* kUsage = "normals SCENE.lid OUTDIR [--format png|exr] [--quiet]";

struct NormalsCommandOptions {
    std::string scene;
    std::string outdir;
    std::string format = "png";
    bool quiet = false;
};

int RunNormals(NormalsCommandOptions& o) {
    if (o.format != "png" && o.format != "exr")
        return UsageError(NormalsCommand(),
                          "--format '" + o.format + "': expected png or exr");
    NormalMapOptions options;
    options.exr = o.format == "exr";
    const bool show = !o.quiet && isatty(STDERR_FILENO);
    int written = 0;
    const Status s = WriteNormalMaps(
        o.scene, o.outdir, options,
        [show](std::string_view line) {
            if (show) std::fwrite(line.data(), 1, line.size(), stderr);
        },
        written);
    if (!s.ok()) {
        std::fputs(s.message().c_str(), stderr);
        return 1;
    }
    if (!o.quiet)
        std::printf("normals: %d camera%s into %s\n", written, written == 1 ? "" : "s",
                    o.outdir.c_str());
    return 0;
}

Runner ConfigureNormals(CLI::App& sub) {
    auto o = std::make_shared<NormalsCommandOptions>();
    sub.add_option("SCENE", o->scene)->required();
    sub.add_option("OUTDIR", o->outdir)->required();
    sub.add_option("--format", o->format);
    sub.add_flag("--quiet", o->quiet);
    return [o]() { return RunNormals(*o); };
}

}  // namespace

const ToolCommand& NormalsCommand() {
    static const ToolCommand command{
        "normals",
        kUsage,
        "Write normal and albedo maps of a relightable slab",
        "For every enabled camera (A, B) of the scene's first relightable slab,\n"
        "the normal and the albedo of a surface that scatters light evenly, from\n"
        "the first band of its coefficients (files found relative to the current\n"
        "folder, as the viewer finds them).\n"
        "\n"
        "Options:\n"
        "  --format F  png (default): 16-bit RGB, x, y, z in -1..1 mapped to\n"
        "              0..65535, albedo 0..1 to 0..65535; exr: floats as they are\n"
        "  --quiet     nothing on standard output, no progress\n"
        "\n"
        "Writes OUTDIR/normals.A.B.png and OUTDIR/albedo.A.B.png, upright: x to the\n"
        "picture's right, y up, z towards the viewer (for tools that want y down,\n"
        "invert the green channel: 65535 - G).\n",
        ConfigureNormals,
    };
    return command;
}

}  // namespace lumo::tool
