// lumotool unpack IN.dat OUTDIR [--format png|ppm]
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/str_printf.h"
#include "cli/picture_format.h"
#include "cli/tool_command.h"
#include "io/image_set.h"

namespace lumo::tool {
namespace {

struct UnpackOptions {
    std::string in;
    std::string outdir;
    std::string format = "ppm";
};

int RunUnpack(const UnpackOptions& o) {
    PictureFormat format = PictureFormat::kPpm;
    if (!ParsePictureFormat(o.format, format))
        return UsageError(UnpackCommand(), "--format must be png or ppm");
    std::vector<Photo> photos;
    int32_t cols = 0, rows = 0;
    // The reader's progress and messages, as the viewer prints them; a
    // failure is the reader's message, then the command's line.
    if (Status s = ReadDAT(o.in.c_str(), photos, cols, rows, nullptr); !s.ok()) {
        std::fwrite(s.message().data(), 1, s.message().size(), stderr);
        std::fprintf(stderr, "lumotool: unpack: cannot read the image set %s\n",
                     o.in.c_str());
        return 1;
    }
    std::error_code ec;
    std::filesystem::create_directories(o.outdir, ec);
    if (!std::filesystem::is_directory(o.outdir)) {
        std::fprintf(stderr, "lumotool: unpack: cannot make the folder %s\n",
                     o.outdir.c_str());
        return 1;
    }
    for (int32_t j = 0; j < rows; ++j)
        for (int32_t k = 0; k < cols; ++k) {
            const std::string path =
                (std::filesystem::path(o.outdir) /
                 StrPrintf("view.%d.%d.%s", k, j, PictureExtension(format)))
                    .string();
            // The writer's message names the file and the reason.
            if (Status s = WritePicture(path, photos[j * cols + k], format); !s.ok()) {
                std::fputs(s.message().c_str(), stderr);
                return 1;
            }
        }
    return 0;
}

Runner ConfigureUnpack(CLI::App& sub) {
    auto options = std::make_shared<UnpackOptions>();
    sub.add_option("IN.dat", options->in)->required();
    sub.add_option("OUTDIR", options->outdir)->required();
    sub.add_option("--format", options->format);
    return [options]() { return RunUnpack(*options); };
}

}  // namespace

const ToolCommand& UnpackCommand() {
    static const ToolCommand command{
        "unpack",
        "unpack IN.dat OUTDIR [--format png|ppm]",
        "Decode a compressed image set into one PPM image per view",
        "Writes OUTDIR/view.A.B.ppm (A the image column, B the row) as binary PPM,\n"
        "upright (the image's last row first). OUTDIR is made if missing. The\n"
        "reader's progress goes to standard output; a file it refuses ends with its\n"
        "message, then \"lumotool: unpack: cannot read the image set IN.dat\", and\n"
        "status 1.\n"
        "\n"
        "Options:\n"
        "  --format F      png or ppm (default ppm): view.A.B.png (8-bit RGB) or\n"
        "                  view.A.B.ppm\n",
        ConfigureUnpack,
    };
    return command;
}

}  // namespace lumo::tool
