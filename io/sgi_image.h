// Reader of SGI image files (.rgb) into a Photo.
//
// Reference photographs and slide images are SGI images: a 512-byte header
// (big-endian) followed by the channels, either verbatim (channel by channel,
// row by row) or run-length encoded (a start table and a length table of
// int32, ysize x zsize entries each, entry c * ysize + r for row r of channel
// c, then the scanlines). Rows are loaded in file order without flipping, so
// the file's bottom row, stored first, becomes row 0 of the Photo.
//
// The reader has two families of failures. Reasons such as a missing file or
// a bad magic number are reported ("name: reason", no line feed) and the load
// gives a Photo without pixels; the program goes on. Memory failures and
// sizes the file cannot hold end the program (the returning cores give them
// as a Status, ReadSGIRGB hands them to Fatal).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "base/message_sink.h"
#include "base/status.h"
#include "io/photo.h"

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

// Receives each non-fatal reason exactly as it is written to standard error.
using IrisSink = MessageSink;

// The production sink: writes the text to standard error.
void IrisToStderr(std::string_view text);

// The part of `path` after its last '/', or the whole path when it has none.
const char* BaseName(const char* path);

// Reports "name: reason" (no line feed) to `sink` and returns false, the
// failure of the reader function that calls it.
bool IrisError(const IrisSink& sink, const char* name, const char* reason);
inline bool IrisError(const char* name, const char* reason) {
    return IrisError(IrisToStderr, name, reason);
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
                    long offset, const IrisSink& sink, bool& loaded);

// How ReadSGIRGB finds and lays out the image.
struct SgiReadOptions {
    bool flip = false;         // output row i from file row ysize - 1 - i
    bool keep_buffer = false;  // load into the pixel block the Photo already has
    std::FILE* stream =
        nullptr;              // an already open source (not closed); null: open by name
    long offset = 0;          // byte position of the image in the source
    int reverse_header = -1;  // -1: on exactly for an open stream; 0: off; other: on
};

// The returning core of ReadSGIRGB. Loads the image into `photo`: width and
// height from the header, window x 0..width-1 and y 0..height-1, RGB pixels
// with row 0 the file's first stored row. A refused file is reported to
// `sink` and leaves the photo empty: no pixels, 0 x 0, window 0..-1. Returns
// whether the image loaded through `loaded`; the Status is a fatal failure
// (memory, a size the file cannot hold, or "[ReadSGIRGB]: you have not
// allocated memory before for buf\n" for keep_buffer on a photo without
// pixels).
Status ReadSGIRGBCore(Photo& photo, const char* filename, const SgiReadOptions& options,
                      const IrisSink& sink, bool& loaded);

// Loads the SGI image `filename` into `photo` as ReadSGIRGBCore does, with
// reasons on standard error; fatal failures end the program with their
// message and status 1. Returns whether the image loaded. The common call is
// ReadSGIRGB(photo, name).
bool ReadSGIRGB(Photo& photo, const char* filename, bool flip = false,
                bool keep_buffer = false, std::FILE* stream = nullptr, long offset = 0,
                int reverse_header = -1);

}  // namespace lumo
