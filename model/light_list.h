// Adding, deleting and selecting lights of the light table.
#pragma once

#include <cstdint>

#include "model/model.h"

namespace lumo {

// One more light in use, the slot after the last (slots beyond the lights in
// use hold default lights), made current with currlighttype back to
// directional. False when the table is full.
bool AddLight(LightTable& lights);

// Deletes light `index` (when a light is in use and index >= 0): the lights
// after it and their controls move down one slot, the freed last slot gets a
// default light and an identity placement (its arcball stays), and the
// current light is kept within the lights left. Returns the current light
// afterwards (-1 when none is left).
int32_t DeleteLight(LightTable& lights, int32_t index);

// Makes light `index` current when it is in use; returns whether it is.
bool SelectLight(LightTable& lights, int32_t index);

}  // namespace lumo
