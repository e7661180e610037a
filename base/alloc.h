// Allocation that reports failure instead of throwing.
//
// lumo has exact messages for allocation failures, and sizes read from files
// must be refused, not turned into a crash or a giant allocation. Readers check
// sizes with CheckedMul before they allocate and allocate with TryAssign, then
// return their own message on failure.
#pragma once

#include <cstddef>
#include <new>
#include <stdexcept>
#include <vector>

namespace lumo {

// out = a * b; false when the product overflows size_t.
[[nodiscard]] inline bool CheckedMul(size_t a, size_t b, size_t& out) {
    return !__builtin_mul_overflow(a, b, &out);
}

// v = n copies of value. Returns false, leaving v empty, when the memory
// cannot be had.
template <class T>
[[nodiscard]] bool TryAssign(std::vector<T>& v, size_t n, const T& value = T()) {
    try {
        v.assign(n, value);
        return true;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    std::vector<T>().swap(v);
    return false;
}

// v = n default-constructed elements (for types that cannot be copied).
// Returns false, leaving v empty, when the memory cannot be had.
template <class T>
[[nodiscard]] bool TryResizeFresh(std::vector<T>& v, size_t n) {
    try {
        std::vector<T> fresh(n);
        v.swap(fresh);
        return true;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    std::vector<T>().swap(v);
    return false;
}

}  // namespace lumo
