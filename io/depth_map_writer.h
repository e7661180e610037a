// Writer of depth-map files in the RenderMan depth-map format (see
// io/depth_map.h), in either byte order, as renderers on either kind of
// machine write them.
#pragma once

#include <cstdint>
#include <vector>

#include "base/status.h"
#include "io/depth_map.h"

namespace lumo {

enum class ZfileByteOrder {
    kBigEndian,     // magic 2F 08 67 AB
    kLittleEndian,  // magic AB 67 08 2F
};

// The bytes of a depth-map file holding `z`'s width, height, matrices and
// depths (depth.size() must be width x height; width and height 0..32767).
// maxZ and minZ are not stored: the reader computes them. Fails with
// "[WriteZfile]: depth map size does not fit the file format\n".
Status EncodeZfile(const Zfile& z, ZfileByteOrder order, std::vector<uint8_t>& file);

// EncodeZfile into the file `path`, written whole or not at all; fails as
// WriteNamedFile (io/named_file_write.h) words it: "[WriteZfile]: cannot open
// PATH for writing\n" or "[WriteZfile]: cannot write PATH: REASON\n".
Status WriteZfile(const char* path, const Zfile& z,
                  ZfileByteOrder order = ZfileByteOrder::kBigEndian);

}  // namespace lumo
