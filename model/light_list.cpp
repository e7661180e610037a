#include "model/light_list.h"

#include <algorithm>

namespace lumo {

bool AddLight(LightTable& lights) {
    const int32_t n = ClampLightCount(lights);
    if (n >= MAX_LIGHTS) return false;
    lights.lightcnt = n + 1;
    lights.currlight = n;
    lights.currlighttype = Directional;
    return true;
}

int32_t DeleteLight(LightTable& lights, int32_t index) {
    const int32_t n = ClampLightCount(lights);
    if (n <= 0 || index < 0) return lights.currlight;
    // An index at or beyond the last light removes the last light; clamping
    // first keeps index + 1 within the table for every index.
    const int32_t removed = std::min(index, n - 1);
    for (int32_t i = removed + 1; i < n; ++i) {
        lights.table[static_cast<size_t>(i - 1)] = lights.table[static_cast<size_t>(i)];
        lights.controls[static_cast<size_t>(i - 1)] =
            lights.controls[static_cast<size_t>(i)];
    }
    lights.lightcnt = n - 1;
    lights.table[static_cast<size_t>(lights.lightcnt)].Init();
    MatIdentity(lights.controls[static_cast<size_t>(lights.lightcnt)].placement);
    if (lights.currlight >= lights.lightcnt) lights.currlight = lights.lightcnt - 1;
    return lights.currlight;
}

bool SelectLight(LightTable& lights, int32_t index) {
    if (index < 0 || index >= LightsInUse(lights)) return false;
    lights.currlight = index;
    return true;
}

}  // namespace lumo
