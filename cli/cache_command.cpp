// lumotool cache SCENE.lid [--half]
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/tool_command.h"
#include "model/model_setup.h"
#include "scene/lid_reader.h"

namespace lumo::tool {
namespace {

struct CacheOptions {
    std::string scene;
    bool half = false;
};

struct FolderCount {
    size_t written = 0;
    size_t mapped = 0;
    double bytes = 0;
};

int RunCache(const CacheOptions& o) {
    auto info = std::make_unique<LidInfo>();
    ReadLidFileOrExit(o.scene.c_str(), *info);
    RelightSettings settings;
    settings.half = o.half;
    // Asked for in so many words: LUMO_CACHE does not turn this command off.
    CoeffCacheOptions cache = CacheOptionsFor(settings);
    cache.enabled = true;
    int status = 0;
    for (int32_t i = 0; i < info->slab_count; ++i) {
        SlabRecord& slab = info->slabs[static_cast<size_t>(i)];
        if (slab.format != kFormatBRDF) continue;
        std::vector<SlabFileCache> files;
        if (Status s = CacheSlabCoefficients(slab, o.half, cache, files); !s.ok()) {
            std::fputs(s.message().c_str(), stderr);
            return 1;
        }
        // Per folder, in the order first used.
        std::vector<std::string> order;
        std::map<std::string, FolderCount> folders;
        for (const SlabFileCache& f : files) {
            if (f.cache.use == CacheResult::Use::kNotWritten) {
                std::fprintf(stderr, "lumotool: cache: no cache written for %s (%s)\n",
                             f.path.c_str(), f.cache.reason.c_str());
                status = 1;
                continue;
            }
            const std::string folder =
                std::filesystem::path(f.cache.path).parent_path().string();
            if (folders.find(folder) == folders.end()) order.push_back(folder);
            FolderCount& count = folders[folder];
            (f.cache.use == CacheResult::Use::kWritten ? count.written : count.mapped) +=
                1;
            struct stat st {};
            if (stat(f.cache.path.c_str(), &st) == 0)
                count.bytes += static_cast<double>(st.st_size);
        }
        for (const std::string& folder : order) {
            const FolderCount& c = folders[folder];
            std::printf(
                "%s: %zu %s caches in %s (%zu written, %zu up to date, %.2f GB)\n",
                slab.name, c.written + c.mapped, o.half ? "half" : "float",
                folder.c_str(), c.written, c.mapped, c.bytes / 1e9);
        }
    }
    return status;
}

Runner ConfigureCache(CLI::App& sub) {
    auto options = std::make_shared<CacheOptions>();
    sub.add_option("SCENE.lid", options->scene)->required();
    sub.add_flag("--half", options->half);
    return [options]() { return RunCache(*options); };
}

}  // namespace

const ToolCommand& CacheCommand() {
    static const ToolCommand command{
        "cache",
        "cache SCENE.lid [--half]",
        "Write the coefficient caches of a scene ahead of time and say where",
        "Reads every coefficient file of the scene's relightable slabs (named\n"
        "relative to the current folder, as relight reads them) and writes its\n"
        "cache: the coefficients already in the engine's layout, which later\n"
        "opens map instead of reading the file. A cache that is up to date is\n"
        "left as it is. Caches go beside the files, in the hidden folder\n"
        ".lumocache, or, where that folder cannot be written, in\n"
        "$XDG_CACHE_HOME/lumo (default ~/.cache/lumo). One line per slab and\n"
        "folder says where and how much. Files are read one or two at a time,\n"
        "so a slab larger than memory can be cached.\n"
        "\n"
        "Options:\n"
        "  --half   the caches of half-precision loads (relight --half, the\n"
        "           viewer's LUMO_HALF=1): half the size\n"
        "\n"
        "A file that cannot be read ends with the reader's message and exit status 1;\n"
        "a cache that no folder takes is named on standard error (status 1).\n"
        "LUMO_CACHE=0 turns the cache off for relight, render and the viewer, not\n"
        "for this command.\n",
        ConfigureCache,
    };
    return command;
}

}  // namespace lumo::tool
