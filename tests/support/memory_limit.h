// Limiting the address space of a death-test child, so that a large
// allocation fails (or a reader that stays small shows that it does).
#pragma once

#include <cstddef>

namespace lumo::testing {

// Limits the address space to what the process uses now plus `extra` bytes.
void LimitMemory(size_t extra);

}  // namespace lumo::testing
