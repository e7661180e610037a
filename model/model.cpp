#include "model/model.h"

#include <span>

#include "relight/recon_common.h"

namespace lumo {

Model::Model() {
    MatIdentity(view.base_modelview);
    MatIdentity(lightview.projection);
    MatIdentity(lightview.modelview);
}

int32_t LightsInUse(const LightTable& lights) {
    return LightsInUse(std::span<const LightSrc>(lights.table), lights.lightcnt);
}

int32_t ClampLightCount(LightTable& lights) {
    lights.lightcnt = LightsInUse(lights);
    return lights.lightcnt;
}

int32_t CurrentSlot(const LightTable& lights) {
    return lights.currlight >= 0 && lights.currlight < MAX_LIGHTS ? lights.currlight : -1;
}

int32_t CurrentLightIndex(const LightTable& lights) {
    return LightsInUse(lights) > 0 ? CurrentSlot(lights) : -1;
}

LightSrc* CurrentLight(LightTable& lights) {
    ClampLightCount(lights);
    const int32_t i = CurrentLightIndex(lights);
    return i < 0 ? nullptr : &lights.table[static_cast<size_t>(i)];
}

LightControl* CurrentControl(LightTable& lights) {
    const int32_t i = CurrentLightIndex(lights);
    return i < 0 ? nullptr : &lights.controls[static_cast<size_t>(i)];
}

}  // namespace lumo
