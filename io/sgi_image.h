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
// sizes the file cannot hold are fatal: ReadSGIRGB returns them as a Status
// for the program to end with.
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

// The largest image the SGI reader accepts, in pixels (16384 x 16384): larger
// images are refused with a message of their own before anything is
// allocated for them.
inline constexpr uint64_t SGI_MAX_PIXELS = uint64_t{1} << 28;

// How ReadSGIRGB finds and lays out the image.
struct SgiReadOptions {
    bool flip = false;         // output row i from file row ysize - 1 - i
    bool keep_buffer = false;  // load into the pixel block the Photo already has
    std::FILE* stream =
        nullptr;              // an already open source (not closed); null: open by name
    long offset = 0;          // byte position of the image in the source
    int reverse_header = -1;  // -1: on exactly for an open stream; 0: off; other: on
};

// Loads the SGI image `filename` into `photo`: width and
// height from the header, window x 0..width-1 and y 0..height-1, RGB pixels
// with row 0 the file's first stored row. A refused file is reported to
// `sink` and leaves the photo empty: no pixels, 0 x 0, window 0..-1. Returns
// whether the image loaded through `loaded`; the Status is a fatal failure
// (memory, a size the file cannot hold, or "[ReadSGIRGB]: you have not
// allocated memory before for buf\n" for keep_buffer on a photo without
// pixels).
Status ReadSGIRGB(Photo& photo, const char* filename, const SgiReadOptions& options,
                  const MessageSink& sink, bool& loaded);

}  // namespace lumo
