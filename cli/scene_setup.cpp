#include "cli/scene_setup.h"

#include <filesystem>
#include <system_error>

#include "base/fatal.h"
#include "model/model_setup.h"

namespace lumo::tool {
namespace {

// The messages of data files that cannot be opened, as their readers word
// them.
bool IsDataFileNotFound(const std::string& message) {
    return message.rfind("Cannot read brdf file: ", 0) == 0 ||
           message.rfind("Err : cannot open [", 0) == 0;
}

}  // namespace

std::string ModelFailureText(const Status& failure, const std::string& scene,
                             const std::string& cwd) {
    std::string text = failure.message();
    if (!IsDataFileNotFound(text)) return text;
    text += "lumotool: data files are found from the current folder (" + cwd + ")";
    const std::filesystem::path folder = std::filesystem::path(scene).parent_path();
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::equivalent(folder, cwd, ec)) {
        const std::string dir = folder.string();
        text += ", not from the scene's (" + dir + "): run lumotool from " + dir;
    }
    return text + "\n";
}

void InitModelOrExitWithHint(Model& model, const std::string& scene) {
    const Status s = InitModel(model, scene.c_str());
    if (s.ok()) return;
    std::error_code ec;
    const std::string cwd = std::filesystem::current_path(ec).string();
    Fatal(ModelFailureText(s, scene, cwd));
}

}  // namespace lumo::tool
