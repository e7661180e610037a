// lumotool pack OUT.dat --grid COLSxROWS [--rate BITS] [--quiet] IMAGE...
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/tool_command.h"
#include "io/image_set_writer.h"
#include "io/sgi_image.h"

namespace lumo::tool {
namespace {

constexpr const char* kUsage =
    "pack OUT.dat --grid COLSxROWS [--rate BITS] [--quiet] IMAGE...";

struct PackOptions {
    std::string out;
    std::string grid;
    double rate = 3.0;
    bool quiet = false;
    std::vector<std::string> images;
};

// "COLSxROWS" with two positive numbers.
bool ParseGrid(const std::string& text, int32_t& cols, int32_t& rows) {
    int c = 0, r = 0, end = 0;
    if (std::sscanf(text.c_str(), "%dx%d%n", &c, &r, &end) != 2 ||
        end != static_cast<int>(text.size()) || c < 1 || r < 1 || text[0] == '+' ||
        text[0] == ' ')
        return false;
    cols = c;
    rows = r;
    return true;
}

int RunPack(const PackOptions& o) {
    int32_t cols = 0, rows = 0;
    if (!ParseGrid(o.grid, cols, rows))
        return UsageError(
            PackCommand(),
            "--grid wants COLSxROWS with two positive numbers, not '" + o.grid + "'");
    if (static_cast<size_t>(cols) * static_cast<size_t>(rows) != o.images.size())
        return UsageError(PackCommand(),
                          "the grid " + o.grid + " takes " +
                              std::to_string(static_cast<size_t>(cols) * rows) +
                              " images, " + std::to_string(o.images.size()) + " given");
    const bool progress = !o.quiet && isatty(STDERR_FILENO);
    std::vector<Photo> photos(o.images.size());
    for (size_t i = 0; i < o.images.size(); ++i) {
        const std::string& name = o.images[i];
        std::string reason;
        bool loaded = false;
        const Status s = ReadSGIRGB(
            photos[i], name.c_str(), {}, [&](std::string_view t) { reason = t; }, loaded);
        if (!s.ok()) {
            std::fwrite(s.message().data(), 1, s.message().size(), stderr);
            return 1;
        }
        if (!loaded) {
            std::fprintf(stderr, "lumotool: pack: cannot load %s (%s)\n", name.c_str(),
                         reason.c_str());
            return 1;
        }
        if (!reason.empty()) std::fprintf(stderr, "lumotool: pack: %s\n", reason.c_str());
        if (photos[i].width != photos[0].width || photos[i].height != photos[0].height) {
            std::fprintf(stderr,
                         "lumotool: pack: %s is %dx%d, %s is %dx%d; all images must be "
                         "of one size\n",
                         name.c_str(), photos[i].width, photos[i].height,
                         o.images[0].c_str(), photos[0].width, photos[0].height);
            return 1;
        }
        if (progress)
            std::fprintf(stderr, "\rloaded %zu of %zu images", i + 1, photos.size());
    }
    if (progress) std::fprintf(stderr, "\ncoding %s ...\n", o.out.c_str());
    ImageSetWriteOptions options;
    options.dct.rate = o.rate;
    if (Status s = WriteImageSet(o.out.c_str(), photos.data(), cols, rows, options);
        !s.ok()) {
        std::fwrite(s.message().data(), 1, s.message().size(), stderr);
        return 1;
    }
    return 0;
}

Runner ConfigurePack(CLI::App& sub) {
    auto options = std::make_shared<PackOptions>();
    sub.add_option("OUT.dat", options->out)->required();
    sub.add_option("--grid", options->grid)->required();
    sub.add_option("--rate", options->rate)->check(CLI::Range(0.125, 16.0));
    sub.add_flag("--quiet", options->quiet);
    sub.add_option("IMAGE", options->images)->required();
    return [options]() { return RunPack(*options); };
}

}  // namespace

const ToolCommand& PackCommand() {
    static const ToolCommand command{
        "pack",
        kUsage,
        "Code SGI reference photographs into one compressed image set (.dat)",
        "Arguments:\n"
        "  OUT.dat          the image set to write\n"
        "  IMAGE...         COLS x ROWS SGI images of one size, row by row, column\n"
        "                   fastest; each is coded as the viewer loads it (row 0 is\n"
        "                   the file's first stored row, the bottom row)\n"
        "Options:\n"
        "  --grid COLSxROWS the number of image columns and rows\n"
        "  --rate BITS      average index bits per DCT coefficient (default 3)\n"
        "  --quiet          no progress on a terminal\n",
        ConfigurePack,
    };
    return command;
}

}  // namespace lumo::tool
