// How much a stream holds, for checking sizes read from a file against what
// the file can contain before allocating from them.
#pragma once

#include <cstdio>

namespace lumo {

// The number of bytes from the current position to the end of `stream`, or
// -1 when the stream cannot tell (it cannot seek). The position is kept.
inline long StreamBytesLeft(std::FILE* stream) {
    const long here = std::ftell(stream);
    if (here < 0 || std::fseek(stream, 0, SEEK_END) != 0) return -1;
    const long end = std::ftell(stream);
    std::fseek(stream, here, SEEK_SET);
    return end < here ? 0 : end - here;
}

}  // namespace lumo
