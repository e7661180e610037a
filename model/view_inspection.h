// Looking closely at the picture in the main view: a magnification and a
// shift of the drawn frame (the eye does not move, so the light field shows
// the same rays), and the return to the start-up view.
#pragma once

#include <cstdint>

#include "model/model.h"

namespace lumo {

// The largest and smallest inspection magnifications.
inline constexpr float kMaxInspectScale = 4096.0f;
inline constexpr float kMinInspectScale = 1.0f / 64.0f;

// Moves the picture `dx` window pixels right and `dy` down.
void PanBy(MainView& view, float dx, float dy);
// Sets the magnification (clamped to the limits above), keeping the point
// at the window's centre where it is.
void SetInspectScale(MainView& view, float scale);
// The view the viewer starts with: no turn, zoom 1, no magnification or
// shift; a drag in progress ends.
void ResetView(MainView& view);
// Whether the view is magnified or shifted.
bool Inspecting(const MainView& view);

// The matrix that applies the magnification and the shift to clip
// coordinates (multiplied before the projection), column-major.
Mat4 InspectionMatrix(const MainView& view);

}  // namespace lumo
