// Loading coefficient files through the coefficient cache (relight/brdf_cache.h).
//
// Where a cache lives. Beside its coefficient file, in a hidden folder
// `.lumocache` of the file's folder, as `NAME.float.lumocache` (or
// `NAME.half.lumocache` for half-precision loads, a cache of its own): a slab
// and its caches stay together, move together and are removed together
// (`rm -r .lumocache` frees the room). When that folder cannot be made or
// written (a read-only scene, another user's), in the per-user cache folder
// (`$XDG_CACHE_HOME/lumo`, else `~/.cache/lumo`) as `HASH-NAME.float.lumocache`,
// HASH a checksum of the file's absolute path, so that scenes with files of
// one name do not collide. When neither can be written, the file is loaded
// without a cache, as before.
//
// The first load of a file reads it as always and then writes its cache
// (under a unique temporary name, renamed when complete) and maps it in
// place of the memory it was read into; later loads map the cache and read
// none of the file but a stamp (relight/brdf_cache.h). A cache that does not
// match its file is ignored and rewritten. The messages are the file's own in
// every case, so that output does not depend on the cache.
#pragma once

#include <string>
#include <vector>

#include "base/status.h"
#include "relight/brdf_file.h"
#include "scene/brdf_image.h"

namespace lumo {

struct CoeffCacheOptions {
    bool enabled = true;
    // The per-user folder tried when the file's own folder cannot take a
    // cache (UserCacheFolder); empty: none.
    std::string user_folder;
};

// What a cached load did.
struct CacheResult {
    enum class Use {
        kOff,         // caching off, or the source is no regular file
        kMapped,      // a valid cache was mapped
        kWritten,     // the file was read and its cache written (and mapped)
        kNotWritten,  // the file was read; no place took its cache
    };
    Use use = Use::kOff;
    std::string path;    // kMapped, kWritten: the cache file
    std::string reason;  // kNotWritten: why, place by place
};

// The per-user cache folder: XDG_CACHE_HOME/lumo when that is an absolute
// path, else HOME/.cache/lumo; empty when neither is set.
std::string UserCacheFolder(const char* xdg_cache_home, const char* home);

// Whether the value of LUMO_CACHE (null when unset) turns the cache off:
// "0", "off", "no" or "false".
bool CacheOffByEnvironment(const char* value);

// The places a cache of `source` is looked for and written, in that order:
// beside it, then in `user_folder` (when not empty).
std::vector<std::string> CoeffCachePaths(const std::string& source, bool half,
                                         const std::string& user_folder);

// LoadBrdfPath through the cache: maps a valid cache of `path` (reporting the
// file's own opening and header lines), else reads the file, writes its
// cache to the first place that takes it and maps that. A failure to write
// is no failure of the load (result says why); a failure to read the file is
// LoadBrdfPath's.
Status LoadBrdfPathCached(const char* path, BrdfImage& image,
                          const BrdfReadOptions& options, const CoeffCacheOptions& cache,
                          CacheResult& result);

}  // namespace lumo
