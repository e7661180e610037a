#include "app/viewer_state.h"

namespace lumo {
namespace {

std::string g_scene_file;
Togl* g_main_view = nullptr;

}  // namespace

void SetSceneFileName(const char* name) {
    g_scene_file = name != nullptr ? name : "";
}

const std::string& SceneFileName() {
    return g_scene_file;
}

Togl* MainViewTogl() {
    return g_main_view;
}

void SetMainViewTogl(Togl* togl) {
    g_main_view = togl;
}

SlabTextures& MainViewTextures() {
    static SlabTextures textures;
    return textures;
}

}  // namespace lumo
