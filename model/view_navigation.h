// Turning and zooming the main view with pointer drags (window pixels,
// origin top-left, y downwards).
//
// A turn drag adds the pointer's motion over the window's size to the view's
// quarter turns: across the width turns a quarter about y, down the height a
// quarter about x. A zoom drag scales the zoom at its start by 1 plus the
// distance from the press over the larger half-size, shrinking instead when
// the pointer moves against the direction from the window centre to the
// press (a press at the centre counts as pointing down-right).
#pragma once

#include <cstdint>

#include "model/model.h"

namespace lumo {

void TurnPress(MainView& view, int32_t x, int32_t y);
void TurnDrag(MainView& view, int32_t x, int32_t y);
void ZoomPress(MainView& view, int32_t x, int32_t y);
void ZoomDrag(MainView& view, int32_t x, int32_t y);
// Ends a zoom drag: the zoom reached is where the next one starts.
void ZoomRelease(MainView& view);

}  // namespace lumo
