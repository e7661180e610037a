// Writer of lumo's chunked deflate container (see io/deflate_container.h).
//
// The data are cut into pieces of at most 32768 bytes, one chunk per piece,
// each a raw deflate stream followed by its little-endian CRC-32 and length,
// so the reader's output block (32768 bytes per chunk) always holds them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/status.h"

namespace lumo {

struct DeflateWriteOptions {
    size_t piece = 32768;  // decoded bytes per chunk, 1..32768
    int level = 6;         // zlib compression level, 0..9
    // Stores the chunks last first (the tables still list them in order),
    // as a file whose chunks are not in increasing position order.
    bool reverse_layout = false;
    // A piece whose deflate stream is not at least this fraction smaller
    // than the piece is kept as a stored block instead, which decodes as a
    // plain copy (0: always keep the deflate stream).
    double min_gain = 0.0;
};

// One stored chunk holding `size` bytes at `data`: the raw deflate stream at
// compression `level` (0..9), then the little-endian CRC-32 and length. Fails
// with "[WriteDeflateZip]: compression failed\n".
Status MakeDeflateChunk(const uint8_t* data, size_t size, int level,
                        std::vector<uint8_t>& chunk);

// Appends a container of the given stored chunks to `file` (starting at
// file.size(); offsets are positions in `file` plus `base`), chunks laid out
// in table order or, with `reverse_layout`, last first.
Status AppendChunks(std::vector<uint8_t>& file,
                    const std::vector<std::vector<uint8_t>>& chunks,
                    bool reverse_layout = false, uint64_t base = 0);

// Appends a container holding `size` bytes at `data` to `file`. The container
// starts at file.size(); chunk offsets are positions in `file` plus `base`
// (the position of file[0] in the stream the reader will read). Fails with
// "[WriteDeflateZip]: compression failed\n", or
// "[WriteDeflateZip]: container too large\n" when an offset would not fit
// the 32-bit table.
Status AppendDeflateZip(std::vector<uint8_t>& file, const uint8_t* data, size_t size,
                        const DeflateWriteOptions& options = {}, uint64_t base = 0);

// Writes a container holding the data at the current position of `stream`
// (offsets are absolute positions in the stream). "[WriteDeflateZip]: write
// failed\n" when the stream refuses the bytes.
Status WriteDeflateZip(std::FILE* stream, const uint8_t* data, size_t size,
                       const DeflateWriteOptions& options = {});

}  // namespace lumo
