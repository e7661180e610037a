// ByteBlock: a byte vector for large blocks that are written before they
// are read (decoded streams, packed indices).
//
// Growing it does not clear the new bytes (resize(n, value) still sets
// them); blocks of 2 MiB or more are aligned to 2 MiB and advised as
// transparent huge pages, and large blocks are mapped in one go
// (PrefaultForWrite), so that filling them does not take one page fault per
// 4 KiB page. A block is allocated for what it will hold: reserve only what
// will be written. Everything else behaves as std::vector.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

#include "base/prefault.h"

namespace lumo {

template <class T>
struct BlockAllocator {
    using value_type = T;
    static constexpr size_t kHuge = size_t{2} << 20;

    BlockAllocator() = default;
    template <class U>
    BlockAllocator(const BlockAllocator<U>&) {}

    T* allocate(size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        const size_t bytes = n * sizeof(T);
        void* p = nullptr;
        if (bytes >= kHuge) {
            const size_t rounded = (bytes + kHuge - 1) / kHuge * kHuge;
            p = std::aligned_alloc(kHuge, rounded);
            if (p != nullptr) madvise(p, rounded, MADV_HUGEPAGE);
        } else {
            p = std::malloc(bytes > 0 ? bytes : 1);
        }
        if (p == nullptr) throw std::bad_alloc();
        PrefaultForWrite(p, bytes);
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t) { std::free(p); }

    // Default-initialises (leaves bytes as they are) unless given a value.
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        if constexpr (sizeof...(Args) == 0) {
            ::new (static_cast<void*>(p)) U;
        } else {
            ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
        }
    }

    template <class U>
    bool operator==(const BlockAllocator<U>&) const {
        return true;
    }
};

using ByteBlock = std::vector<uint8_t, BlockAllocator<uint8_t>>;

}  // namespace lumo
