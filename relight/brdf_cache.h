// The coefficient cache file: one coefficient file's BrdfImage already in the
// engine's tiled layout (scene/brdf_image.h), in this machine's byte order,
// float or half, so that later loads map it read-only and relight straight
// from the mapping: no copy, no fresh memory to clear, pages shared between
// processes and given back by the kernel under pressure.
//
// Layout (native byte order, every block 64-byte aligned):
//
//   header   BrdfCacheHeader below: magic "LUMOTILE", format version, byte
//            order marker, value size (4 float, 2 half), tile geometry
//            (kShLanes, kShTermStride), the image's sizes and tile count,
//            the source's stamp (size, modification time in ns, checksum of
//            its first 64 KiB and of 16 blocks spread over it), the offsets
//            of the blocks, the file size, a checksum of the payload's ends
//            and one of the header itself
//   text     the lines the coefficient file's reader reported (its header
//            lines), given again when the cache stands in for the file
//   pixels   tile_pixel (tile_count * kShLanes int32)
//   masks    tile_mask (tile_count * 3 bytes)
//   coeffs   the coefficient block (floats or halves)
//   trailer  "LUMO-END" and the header's checksum again, written last
//
// A cache is only a cache: it is used when every field checks out against
// the source's stamp, the requested precision and the file's own size, its
// pixel indices are in order and in range, and its trailer is whole;
// anything else (stale, truncated, another version, another machine's byte
// order, another file) is ignored and rewritten, never trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/status.h"
#include "scene/brdf_image.h"

namespace lumo {

// What identifies the contents of a coefficient file without reading it all.
struct BrdfSourceStamp {
    uint64_t size = 0;
    int64_t mtime_ns = 0;
    uint64_t sum = 0;  // its first 64 KiB and 16 blocks of 4 KiB spread over it

    bool operator==(const BrdfSourceStamp&) const = default;
};

// The format version written and accepted.
inline constexpr uint32_t kBrdfCacheVersion = 1;

// The stamp of the regular file at `path`; false when it cannot be read.
bool StampBrdfSource(const std::string& path, BrdfSourceStamp& stamp);

// Writes `image` (a loaded image, owned or mapped) with the reader's `text`
// and the source's `stamp` as the cache file `path`, under a unique temporary
// name beside it renamed when complete. Fails with "[WriteFile]: cannot write
// PATH: REASON\n".
Status WriteBrdfCache(const std::string& path, const BrdfImage& image,
                      const std::string& text, const BrdfSourceStamp& stamp);

// Maps the cache file `path` into `image` (freshly constructed or reset) when
// it is a valid cache of a source with `stamp`, at the precision `half`; the
// image's blocks are then read-only views that keep the mapping, and `text`
// receives the reader's lines. False (image and text left empty) for a
// missing, stale, truncated, foreign or damaged cache.
bool MapBrdfCache(const std::string& path, const BrdfSourceStamp& stamp, bool half,
                  BrdfImage& image, std::string& text);

// Writes the checksums into a cache file's `size` bytes held in memory, as
// WriteBrdfCache computes them from the fields its header holds: the
// payload's sum (when the blocks the header places lie inside the bytes) and
// the header's own into the header, and the header's again into the trailer
// (the last bytes, when the header's file size is `size`). Lets the tests
// and the fuzzer change a cache's fields and blocks behind its checksums.
// Does nothing to fewer bytes than a header.
void SealBrdfCache(uint8_t* bytes, size_t size);

}  // namespace lumo
