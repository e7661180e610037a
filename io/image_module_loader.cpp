#include "io/image_module_loader.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace lumo {
namespace {

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

struct Loaded {
    const image_module::Api* api = nullptr;
    std::string why;
};

Loaded Load() {
    Loaded result;
    const std::vector<std::string> candidates = ImageModuleCandidates();
    std::string path;
    for (const std::string& c : candidates) {
        if (Exists(c)) {
            path = c;
            break;
        }
    }
    if (path.empty()) {
        if (candidates.size() > 1) {
            result.why = std::string("cannot load the picture module: ") +
                         kImageModuleFile + " is not installed (looked for";
            for (size_t i = 0; i < candidates.size(); ++i)
                result.why += (i == 0 ? " " : ", ") + candidates[i];
            result.why += ")";
            return result;
        }
        path = candidates.front();  // the override: the loader says what is wrong
    }
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* e = ::dlerror();
        result.why = std::string("cannot load the picture module: ") +
                     (e != nullptr ? e : path + ": cannot be opened");
        return result;
    }
    using Entry = const image_module::Api* (*)();
    auto entry = reinterpret_cast<Entry>(::dlsym(handle, LUMO_IMAGE_MODULE_ENTRY));
    const image_module::Api* api = entry != nullptr ? entry() : nullptr;
    if (api == nullptr || api->size != sizeof(image_module::Api)) {
        result.why = "cannot load the picture module: " + path +
                     " is from another build (no " LUMO_IMAGE_MODULE_ENTRY
                     " of this one)";
        ::dlclose(handle);
        return result;
    }
    // Kept loaded for the life of the process.
    result.api = api;
    return result;
}

}  // namespace

std::vector<std::string> ImageModuleCandidates() {
    if (const char* over = std::getenv("LUMO_IMAGE_MODULE");
        over != nullptr && *over != '\0')
        return {over};
    std::vector<std::string> out;
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const std::filesystem::path dir = exe.parent_path();
        out.push_back((dir / kImageModuleFile).string());
        out.push_back((dir / LUMO_IMAGE_MODULE_RELATIVE_DIR / kImageModuleFile)
                          .lexically_normal()
                          .string());
    }
    out.push_back(LUMO_IMAGE_MODULE_BUILD_PATH);
    out.push_back(std::string(LUMO_IMAGE_MODULE_INSTALL_DIR) + "/" + kImageModuleFile);
    return out;
}

const image_module::Api* LoadImageModule(std::string& why) {
    static std::once_flag once;
    static Loaded loaded;
    std::call_once(once, [] { loaded = Load(); });
    why = loaded.why;
    return loaded.api;
}

}  // namespace lumo
