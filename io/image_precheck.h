// Byte-level checks of picture headers whose sizes the image library's
// decoders would trust before they check them against the file.
//
// OpenEXR: every attribute of every header carries its own byte count, which
// the OpenEXR library allocates before it reads the value, and a preview
// attribute its width x height pixels; an attribute or preview claiming more
// bytes than the file holds is refused here, so that a hundred-byte file
// cannot make it reserve gigabytes. The walk follows the library's reading:
// a channel list ends at its empty name whatever byte count it claims.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace lumo {

// Reads up to `size` bytes at `offset` of a file into `out`; returns how
// many it read (fewer at the end of the file).
using ReadBytesAt = std::function<size_t(uint64_t offset, void* out, size_t size)>;

// Why a picture of `file_bytes` bytes, read through `read`, is refused (one
// line, no line feed), or "" when its format is not one of the above or its
// sizes fit the file (a header malformed in other ways is left to the
// library to refuse).
std::string PictureBytesRefusal(const ReadBytesAt& read, uint64_t file_bytes);

}  // namespace lumo
