// Private details of the image-set reader and writer: the header's fixed
// sizes and its check value. Only io/ and its tests include this.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumo {

inline constexpr int32_t IMAGE_SET_HEADER_BASE = 28;  // header bytes before the text

// The header's check value: 6302001 - floor(sqrt(numRow * numCol * width *
// height)), the product taken in 32-bit arithmetic (wrapping).
int32_t ImageSetCheck(int32_t numRow, int32_t numCol, int32_t width, int32_t height);

}  // namespace lumo
