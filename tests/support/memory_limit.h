// Limiting the address space of a death-test child, so that a large
// allocation fails (or a reader that stays small shows that it does).
#pragma once

#include <cstddef>

// LUMO_ASAN is 1 under AddressSanitizer, whose shadow memory a limited
// address space cannot hold: the tests that limit memory skip themselves.
#if defined(__SANITIZE_ADDRESS__)
#define LUMO_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMO_ASAN 1
#endif
#endif

namespace lumo::testing {

// Limits the address space to what the process uses now plus `extra` bytes.
void LimitMemory(size_t extra);

}  // namespace lumo::testing
