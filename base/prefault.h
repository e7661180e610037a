// Mapping the pages of a large new block in one go.
//
// Touching a fresh block page by page costs one page fault per 4 KiB, which
// is slow (tens of microseconds each on some virtual machines). Asking the
// kernel to map the whole block for writing first costs one system call.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace lumo {

// Maps the whole pages of [data, data + size) for writing when the block is
// large enough to matter (64 KiB or more). Does nothing where the system
// cannot (kernels before Linux 5.14, other systems).
inline void PrefaultForWrite(void* data, size_t size) {
#if defined(__linux__)
    constexpr int kPopulateWrite = 23;  // MADV_POPULATE_WRITE
    constexpr uintptr_t kPage = 4096;
    if (data == nullptr || size < (size_t{64} << 10)) return;
    const uintptr_t begin =
        (reinterpret_cast<uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(kPage - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, kPopulateWrite);
#else
    (void)data;
    (void)size;
#endif
}

}  // namespace lumo
