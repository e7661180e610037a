#include "model/model.h"

namespace lumo {

Model::Model() {
    MatIdentity(base_modelview);
    MatIdentity(lightview_projection);
    MatIdentity(lightview_modelview);
}

Model& TheModel() {
    static Model model;
    return model;
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
