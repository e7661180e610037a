#include "model/view_inspection.h"

#include <algorithm>
#include <cmath>

namespace lumo {

void PanBy(MainView& view, float dx, float dy) {
    if (!std::isfinite(dx) || !std::isfinite(dy)) return;
    // No further than the picture's centre can leave the window at the
    // current magnification.
    const float limit_x = 0.5f * static_cast<float>(std::max(view.window_width, 1)) *
                          (view.inspect_scale + 1.0f);
    const float limit_y = 0.5f * static_cast<float>(std::max(view.window_height, 1)) *
                          (view.inspect_scale + 1.0f);
    view.pan[0] = std::clamp(view.pan[0] + dx, -limit_x, limit_x);
    view.pan[1] = std::clamp(view.pan[1] - dy, -limit_y, limit_y);
}

void SetInspectScale(MainView& view, float scale) {
    if (!std::isfinite(scale) || !(scale > 0.0f)) return;
    scale = std::clamp(scale, kMinInspectScale, kMaxInspectScale);
    const float ratio = scale / view.inspect_scale;
    view.pan[0] *= ratio;
    view.pan[1] *= ratio;
    view.inspect_scale = scale;
}

void ResetView(MainView& view) {
    view.view_turn_x = 0.0f;
    view.view_turn_y = 0.0f;
    view.view_rotation_set = 0;
    view.view_rotation = Quat();
    view.zoom = 1.0f;
    view.zoom_start = 1.0f;
    view.inspect_scale = 1.0f;
    view.pan[0] = view.pan[1] = 0.0f;
    view.others_cache_light = -1;
}

bool Inspecting(const MainView& view) {
    return view.inspect_scale != 1.0f || view.pan[0] != 0.0f || view.pan[1] != 0.0f;
}

Mat4 InspectionMatrix(const MainView& view) {
    Mat4 m;
    MatIdentity(m);
    m[0] = view.inspect_scale;
    m[5] = view.inspect_scale;
    m[12] = 2.0f * view.pan[0] / static_cast<float>(std::max(view.window_width, 1));
    m[13] = 2.0f * view.pan[1] / static_cast<float>(std::max(view.window_height, 1));
    return m;
}

}  // namespace lumo
