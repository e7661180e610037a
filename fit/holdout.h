// Which photographs a fit leaves out to measure how well it relights
// directions it never saw.
#pragma once

#include <cstdint>
#include <vector>

#include "fit/light_positions.h"

namespace lumo {

// The photographs held out by default: one in ten (none below ten).
int DefaultHoldout(int photographs);

// Farthest-point choice of `k` of the directions: first the one nearest
// their mean, then each time the one farthest from all chosen so far (the
// lowest index on ties). Order-independent and spread over the directions.
// One flag per photograph: held out.
std::vector<uint8_t> HoldOut(const std::vector<LightPhoto>& photos, int k);

}  // namespace lumo
