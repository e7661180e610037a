// Copies into fixed-size character buffers that never overflow.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace lumo {

// Copies at most N - 1 characters of src into dst and terminates it.
template <size_t N>
void CopyBounded(char (&dst)[N], std::string_view src) {
    static_assert(N > 0);
    const size_t n = src.size() < N - 1 ? src.size() : N - 1;
    std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

}  // namespace lumo
