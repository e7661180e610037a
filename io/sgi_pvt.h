// Private details of the SGI image reader and writer: the header layout and
// the pieces the reader is built from. Only io/ and its tests include this.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/status.h"
#include "io/sgi_image.h"

namespace lumo {

inline constexpr uint16_t IRIS_MAGIC = 474;
inline constexpr long IRIS_HEADER_LEN = 512;  // image data start after the header

// The six leading 16-bit words of an SGI image, in host order.
struct IrisHeader {
    uint16_t imagic = 0;  // 474 for an SGI image
    uint16_t type =
        0;             // high byte: storage (1 = run-length); low byte: bytes per channel
    uint16_t dim = 0;  // dimension; read, not used
    uint16_t xsize = 0;  // pixels per row
    uint16_t ysize = 0;  // rows
    uint16_t zsize = 0;  // channels

    int storage() const { return type >> 8; }
    int bpc() const { return type & 0xff; }
};

// The part of `path` after its last '/', or the whole path when it has none.
const char* BaseName(const char* path);

// Reports "name: reason" (no line feed) to `sink` and returns false, the
// failure of the reader function that calls it.
bool IrisError(const MessageSink& sink, const char* name, const char* reason);
inline bool IrisError(const char* name, const char* reason) {
    return IrisError(WriteToStderr, name, reason);
}

// Rearranges `count` elements of `size` bytes at `data` so that element i
// becomes the old element order[i] (every order[i] below count). Fails with
// "[shuffling]: no memory for tmpData\n".
Status shuffling(void* data, size_t size, const int* order, size_t count);

// Loads the image body of the SGI image whose header is `header` and whose
// first byte is at `offset` in `stream`: the intermediate buffer, xsize x
// ysize pixels of 4 bytes, rows in file order, channel c of a pixel in byte
// 3 - c (channels beyond the fourth are ignored). A refused file sets `reason`
// ("image must have 1 byte per pix chan", "error reading scanline tables",
// "rlebuf too small (corrupt image file?)") and leaves `buffer` empty; a
// loaded one leaves `reason` null. Truncated data leave zeros (the caller
// sees the stream's end-of-file flag). The returned Status is a fatal
// failure: "out of memory in LoadIRIS()", or
// "[LoadIRIS]: image size does not fit the file\n" for a size that a file of
// this length cannot hold (more than 128 pixels per byte).
Status LoadIRIS(std::FILE* stream, const IrisHeader& header, long offset,
                std::vector<uint8_t>& buffer, const char*& reason);

// Reads an SGI image from `stream` (already open, not closed here; `name` is
// only used in messages and may be null) or, when `stream` is null, from the
// file `name`. The image starts at `offset`; `reverse_header` reverses the
// order of the six header words. On success `loaded` is set and `pixels`
// holds xsize x ysize x 3 RGB bytes (output row i from file row
// flip ? ysize - 1 - i : i; one- and two-channel images are grey). When
// `pixels` already holds a block it is reused (resized to the image). After
// a refused file `loaded` is false and the reason went to `sink`. `header` is
// the header as read (cleared first). The returned Status is a fatal failure.
Status ReadIRISFile(const char* name, std::FILE* stream, IrisHeader& header,
                    std::vector<uint8_t>& pixels, bool flip, bool reverse_header,
                    long offset, const MessageSink& sink, bool& loaded);

}  // namespace lumo
