#include "model/view_navigation.h"

#include <algorithm>
#include <cmath>

namespace lumo {
namespace {

// a - b for any two pointer coordinates: the difference of two 32-bit values
// always fits in 64 bits.
int64_t Minus(int32_t a, int32_t b) {
    return int64_t{a} - int64_t{b};
}

}  // namespace

void TurnPress(MainView& view, int32_t x, int32_t y) {
    view.pointer_last[0] = view.pointer_press[0] = x;
    view.pointer_last[1] = view.pointer_press[1] = y;
}

void TurnDrag(MainView& view, int32_t x, int32_t y) {
    const int64_t dx = Minus(x, view.pointer_last[0]);
    const int64_t dy = Minus(y, view.pointer_last[1]);
    view.pointer_last[0] = x;
    view.pointer_last[1] = y;
    if (view.window_width > 0) {
        view.view_turn_y +=
            static_cast<float>(dx) / static_cast<float>(view.window_width);
    }
    if (view.window_height > 0) {
        view.view_turn_x +=
            static_cast<float>(dy) / static_cast<float>(view.window_height);
    }
}

void ZoomPress(MainView& view, int32_t x, int32_t y) {
    view.pointer_press[0] = view.pointer_last[0] = x;
    view.pointer_press[1] = view.pointer_last[1] = y;
    view.zoom_axis[0] = static_cast<float>(Minus(x, view.window_center[0]));
    view.zoom_axis[1] = static_cast<float>(Minus(y, view.window_center[1]));
    if (view.zoom_axis[0] == 0.0f && view.zoom_axis[1] == 0.0f) {
        view.zoom_axis[0] = view.zoom_axis[1] = 1.0f;
    }
}

void ZoomDrag(MainView& view, int32_t x, int32_t y) {
    view.pointer_last[0] = x;
    view.pointer_last[1] = y;
    const float dx = static_cast<float>(Minus(x, view.pointer_press[0]));
    const float dy = static_cast<float>(Minus(y, view.pointer_press[1]));
    const float sign =
        view.zoom_axis[0] * dx + view.zoom_axis[1] * dy >= 0.0f ? 1.0f : -1.0f;
    const int32_t reach = std::max(view.window_center[0], view.window_center[1]);
    if (reach > 0) {
        view.zoom = view.zoom_start * (1.0f + sign * std::sqrt(dx * dx + dy * dy) /
                                                  static_cast<float>(reach));
    }
}

void ZoomRelease(MainView& view) {
    view.zoom_start = view.zoom;
}

}  // namespace lumo
