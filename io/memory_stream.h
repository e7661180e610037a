// A read-only C stream over bytes in memory, for readers that work on
// streams (line reads, seeks to absolute positions) when the bytes are
// already decoded, and for tests and fuzz targets.
#pragma once

#include <cstddef>
#include <cstdio>

#include "base/file_ptr.h"

namespace lumo {

// A stream over the `size` bytes at `data`, which must outlive it. Null when
// the stream cannot be made.
inline FilePtr OpenMemoryStream(const void* data, size_t size) {
    static char empty = 0;
    void* bytes = size > 0 ? const_cast<void*>(data) : &empty;
    return FilePtr(fmemopen(bytes, size, "rb"));
}

}  // namespace lumo
