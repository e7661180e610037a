#include "relight/coeff_cache.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "base/str_printf.h"
#include "relight/brdf_cache.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;

const char kBesideFolder[] = ".lumocache";

std::string CacheName(const std::string& file, bool half) {
    return file + (half ? ".half.lumocache" : ".float.lumocache");
}

// FNV-1a of the bytes of `s`.
uint64_t PathHash(std::string_view s) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

// Makes `folder` (and, for the per-user folder, its parents); the system's
// reason when it cannot be made or is no folder.
bool MakeFolder(const fs::path& folder, bool parents, std::string& reason) {
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return true;
    ec.clear();  // a missing folder is no failure yet
    if (parents) {
        fs::create_directories(folder, ec);
    } else if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        ec = std::error_code(errno, std::generic_category());
    }
    if (!ec && fs::is_directory(folder, ec)) return true;
    reason = ec ? ec.message() : "not a folder";
    return false;
}

}  // namespace

std::string UserCacheFolder(const char* xdg_cache_home, const char* home) {
    if (xdg_cache_home != nullptr && xdg_cache_home[0] == '/')
        return (fs::path(xdg_cache_home) / "lumo").string();
    if (home != nullptr && home[0] != '\0')
        return (fs::path(home) / ".cache" / "lumo").string();
    return {};
}

bool CacheOffByEnvironment(const char* value) {
    if (value == nullptr) return false;
    const std::string_view v(value);
    return v == "0" || v == "off" || v == "no" || v == "false";
}

std::vector<std::string> CoeffCachePaths(const std::string& source, bool half,
                                         const std::string& user_folder) {
    const fs::path file(source);
    const std::string name = file.filename().string();
    std::vector<std::string> paths;
    paths.push_back(
        (file.parent_path() / kBesideFolder / CacheName(name, half)).string());
    if (!user_folder.empty()) {
        std::error_code ec;
        fs::path absolute = fs::absolute(file, ec);
        if (ec) absolute = file;
        const std::string key = absolute.lexically_normal().string();
        paths.push_back((fs::path(user_folder) /
                         CacheName(StrPrintf("%016llx-", static_cast<unsigned long long>(
                                                             PathHash(key))) +
                                       name,
                                   half))
                            .string());
    }
    return paths;
}

Status LoadBrdfPathCached(const char* path, BrdfImage& image,
                          const BrdfReadOptions& options, const CoeffCacheOptions& cache,
                          CacheResult& result) {
    result = CacheResult();
    BrdfSourceStamp stamp;
    if (!cache.enabled || !StampBrdfSource(path, stamp))
        return LoadBrdfPath(path, image, options);
    const std::vector<std::string> places =
        CoeffCachePaths(path, options.half, cache.user_folder);
    std::string text;
    for (const std::string& place : places) {
        if (!MapBrdfCache(place, stamp, options.half, image, text)) continue;
        if (options.opening)
            options.opening(StrPrintf("Reading BRDF file %s ... \n", path));
        if (options.header && !text.empty()) options.header(text);
        result.use = CacheResult::Use::kMapped;
        result.path = place;
        return Status::Ok();
    }

    // Read the file, keeping its header lines for the cache.
    BrdfReadOptions reading = options;
    reading.header = [&text, &options](std::string_view line) {
        text.append(line);
        if (options.header) options.header(line);
    };
    if (Status s = LoadBrdfPath(path, image, reading); !s.ok()) return s;

    result.use = CacheResult::Use::kNotWritten;
    BrdfSourceStamp after;
    if (!StampBrdfSource(path, after) || !(after == stamp)) {
        result.reason = "the file changed while it was read";
        return Status::Ok();
    }
    for (size_t i = 0; i < places.size(); ++i) {
        const fs::path place(places[i]);
        std::string reason;
        if (MakeFolder(place.parent_path(), i > 0, reason)) {
            const Status written = WriteBrdfCache(places[i], image, text, stamp);
            if (written.ok()) {
                // The cache in place of the memory the file was read into.
                BrdfImage mapped;
                std::string again;
                if (MapBrdfCache(places[i], stamp, options.half, mapped, again))
                    image = std::move(mapped);
                result.use = CacheResult::Use::kWritten;
                result.path = places[i];
                result.reason.clear();
                return Status::Ok();
            }
            reason = written.message();
            const std::string prefix = "[WriteFile]: cannot write " + places[i] + ": ";
            if (reason.rfind(prefix, 0) == 0) reason.erase(0, prefix.size());
            while (!reason.empty() && reason.back() == '\n')
                reason.pop_back();
        }
        if (!result.reason.empty()) result.reason += "; ";
        result.reason += place.parent_path().string() + ": " + reason;
    }
    return Status::Ok();
}

}  // namespace lumo
