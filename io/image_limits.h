// What the picture wrapper refuses from a picture's header, before any pixel
// is decoded: sizes that cannot be right or would take all memory.
//
// - A picture of more than kMaxImageSamples values (width x height x
//   channels): 2^31 values, 8 GiB as floats. A 50 MP RGB photograph is 0.15
//   of it, a 16384 x 8192 RGBA map 0.25 and a 32768 x 16384 RGB map 0.75.
// - A header claiming more pixel data than the file's bytes can hold. For a
//   format whose largest expansion is known, the decoded bytes are at most
//   that many times the file's size:
//     uncompressed TIFF, OpenEXR and PNM     1 (the values are stored as is)
//     Radiance HDR                          64 (a run of 127 bytes costs 2)
//     PackBits TIFF, RLE OpenEXR            64 (128 bytes from 2)
//     PNG, deflate TIFF, zip OpenEXR      1032 (deflate's largest ratio: 258
//                                               bytes from 2 bits)
//   JPEG and the other codings have no useful bound (an arithmetic-coded or
//   progressive JPEG describes a blank picture in almost no bytes); they are
//   held by the cap above, and the wrapper decodes them in strips, so memory
//   grows only as pixels actually decode.
#pragma once

#include <cstdint>
#include <string>

#include "io/image_module.h"

namespace lumo {

inline constexpr uint64_t kMaxImageSamples = uint64_t{1} << 31;

// Why a picture with `header`, stored in `file_bytes` bytes, is refused (one
// line, no line feed), or "" when it may be decoded.
std::string ImageHeaderRefusal(const image_module::Header& header, uint64_t file_bytes);

}  // namespace lumo
