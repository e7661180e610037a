// lumotool import SOURCE OUTDIR [--bands L] [--name NAME] [--quiet]
// lumotool import --each SOURCE... OUTDIR [--bands L] [--name NAME] [--quiet]
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/str_printf.h"
#include "cli/tool_command.h"
#include "fit/rti_import.h"
#include "relight/sh_basis.h"

namespace lumo::tool {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "import [--each] SOURCE... OUTDIR [--bands L] [--name NAME] [--quiet]";

struct ImportCommandOptions {
    std::vector<std::string> paths;  // the sources, then OUTDIR
    ImportOptions import;
    bool each = false;
    bool quiet = false;
};

bool PlainName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && name != "." &&
           name != "..";
}

// The folder a source gets under --each: its file name without the
// extension, or for a plane set's info.json the name of its folder; a name
// already taken in this run gets "-2", "-3", ...
std::string FolderName(const std::string& source, std::set<std::string>& taken) {
    fs::path p(source);
    std::string base = p.filename() == "info.json" ? p.parent_path().filename().string()
                                                   : p.stem().string();
    if (base.empty() || base == "." || base == "..") base = "source";
    std::string name = base;
    for (int k = 2; taken.count(name) != 0; ++k)
        name = StrPrintf("%s-%d", base.c_str(), k);
    taken.insert(name);
    return name;
}

int RunImport(ImportCommandOptions& o) {
    if (o.paths.size() < 2)
        return UsageError(ImportCommand(), "SOURCE and OUTDIR are required");
    if (!o.each && o.paths.size() > 2) {
        return UsageError(
            ImportCommand(),
            "several SOURCEs need --each (one folder of OUTDIR per source)");
    }
    if (!PlainName(o.import.name)) {
        return UsageError(ImportCommand(),
                          "--name '" + o.import.name + "': expected a file name");
    }
    const std::string outdir = o.paths.back();
    const std::vector<std::string> sources(o.paths.begin(), o.paths.end() - 1);
    const bool show = !o.quiet && isatty(STDERR_FILENO);
    const MessageSink progress = [show](std::string_view line) {
        if (show) std::fwrite(line.data(), 1, line.size(), stderr);
    };
    std::set<std::string> taken;
    std::vector<std::string> failed;
    for (const std::string& source : sources) {
        const std::string dir =
            o.each ? (fs::path(outdir) / FolderName(source, taken)).string() : outdir;
        ImportSummary summary;
        const Status s = ImportRti(source, dir, o.import, progress, summary);
        if (!s.ok()) {
            std::fputs(s.message().c_str(), stderr);
            failed.push_back(source);
            continue;
        }
        if (!o.quiet) {
            std::printf(
                "import: %s: %d x %d, %s, %d bands: conversion RMS %.3f (PSNR %.2f "
                "dB); report %s\n",
                source.c_str(), summary.width, summary.height, summary.kind.c_str(),
                o.import.bands, summary.rms, summary.psnr, summary.report.c_str());
            std::fflush(stdout);
        }
    }
    if (failed.empty()) return 0;
    if (o.each) {
        std::fprintf(stderr, "lumotool import: %zu of %zu sources failed:\n",
                     failed.size(), sources.size());
        for (const std::string& f : failed)
            std::fprintf(stderr, "  %s\n", f.c_str());
    }
    return 1;
}

Runner ConfigureImport(CLI::App& sub) {
    auto o = std::make_shared<ImportCommandOptions>();
    sub.add_option("SOURCE OUTDIR", o->paths)->required();
    sub.add_option("--bands", o->import.bands)->check(CLI::Range(1, int{kMaxShBands}));
    sub.add_option("--name", o->import.name);
    sub.add_flag("--each", o->each);
    sub.add_flag("--quiet", o->quiet);
    return [o]() { return RunImport(*o); };
}

}  // namespace

const ToolCommand& ImportCommand() {
    static const ToolCommand command{
        "import",
        kUsage,
        "Convert a PTM, HSH (.rti) or plane-set picture to a relightable slab",
        "SOURCE is a polynomial texture map (.ptm: PTM_1.2 or PTM_1.1, RGB, LRGB,\n"
        "LUM, JPEG_RGB or JPEG_LRGB), a hemispherical-harmonics file (.rti with 4\n"
        "or 9 terms) or a plane set's info.json (ptm rgb, ptm lrgb, hsh rgb);\n"
        "without --each, exactly one SOURCE.\n"
        "Its per-pixel model is projected onto the spherical-harmonic basis by\n"
        "least squares over the upper hemisphere of light directions.\n"
        "\n"
        "Options:\n"
        "  --bands L   spherical-harmonic bands of the result (default 4; a PTM is\n"
        "              exact from 3)\n"
        "  --name NAME base name of the files written (default scene)\n"
        "  --each      several SOURCEs, each into its own folder OUTDIR/STEM (the\n"
        "              file name without extension; a plane set: its folder's name);\n"
        "              failures are listed at the end and give status 1\n"
        "  --quiet     nothing on standard output, no progress\n"
        "\n"
        "Writes into OUTDIR (created if missing): NAME.lid (a 1 x 1 slab framed to\n"
        "the picture), NAME.0.0.urdf.sh and import-report.json with the\n"
        "conversion's RMS error and PSNR in the 8-bit scale over the hemisphere.\n"
        "From inside OUTDIR, 'lumotool relight NAME.lid out --light \"dir=-X,-Y,-Z\"'\n"
        "shows the source lit from (X, Y, Z) (x right, y up, z towards the viewer).\n",
        ConfigureImport,
    };
    return command;
}

}  // namespace lumo::tool
