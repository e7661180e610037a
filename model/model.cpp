#include "model/model.h"

#include <algorithm>
#include <span>

#include "relight/recon_request.h"

namespace lumo {

Model::Model() {
    MatIdentity(view.base_modelview);
    MatIdentity(lightview.projection);
    MatIdentity(lightview.modelview);
}

void SetAvailableTerms(RelightSettings& settings, int32_t bands) {
    if (settings.counts_set) return;
    settings.counts_set = true;
    settings.max_terms = bands * bands;
    settings.terms = settings.max_terms;
}

int32_t SetTerms(RelightSettings& settings, int32_t n) {
    settings.terms = n < 0 ? 0 : std::min(n, settings.max_terms);
    return settings.terms;
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
