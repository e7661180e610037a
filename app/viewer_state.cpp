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

int32_t LightsInUse(Model& model) {
    if (model.lightcnt > MAX_LIGHTS) model.lightcnt = MAX_LIGHTS;
    if (model.lightcnt < 0) model.lightcnt = 0;
    return model.lightcnt;
}

LightSrc* CurrentLight(Model& model) {
    if (LightsInUse(model) == 0 || model.currlight < 0 || model.currlight >= MAX_LIGHTS) {
        return nullptr;
    }
    return &model.lights[static_cast<size_t>(model.currlight)];
}

}  // namespace lumo
