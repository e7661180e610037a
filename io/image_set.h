// Reader of compressed image sets (.dat files).
//
// A .dat file is one chunked deflate container; its decoded bytes are the
// image-set stream: a header (int32 big-endian: check, headerLength, numRow,
// numCol, width, height, then headerLength - 28 bytes of free text) and three
// DCT streams, red, green and blue, each a mosaic numCol x width pixels wide
// and numRow x height tall. Pixel (x, y) of image (j, k) (image row j,
// column k) lies at mosaic column MosaicX(x, k, numCol) and row
// MosaicY(y, j, numRow): the pixels at one position of all images of a row
// lie side by side, and where a count is not a multiple of 8 the order of the
// images is mirrored in every second group.
//
// The outer container is decoded into memory and the DCT streams are read
// from a memory stream; nothing is written to disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/message_sink.h"
#include "base/status.h"
#include "io/dct_image.h"
#include "io/photo.h"

namespace lumo {

// The header text buffer, terminator included.
inline constexpr size_t IMAGE_SET_TEXT_MAX = 1024;

// Mosaic column of pixel x of image column k, and mosaic row of pixel y of
// image row j.
inline size_t MosaicX(size_t x, size_t k, size_t numCol) {
    return x * numCol + ((numCol % 8 != 0 && (x & 1)) ? numCol - 1 - k : k);
}
inline size_t MosaicY(size_t y, size_t j, size_t numRow) {
    return y * numRow + ((numRow % 8 != 0 && (y & 1)) ? numRow - 1 - j : j);
}

// Reads and checks the header at the current position of `stream`. The text
// (terminated) goes to `text`. Fails with "Err : this is not a valid .dat
// file\n\n" when a field is missing, the check value does not match,
// headerLength - 28 is outside 1..1023, the text is short, or the counts and
// sizes are not positive; with "Err : C x R images of W x H pixels make a
// mosaic larger than lumo reads (N pixels).\n\n" when the padded mosaic has
// more than DCT_MAX_PIXELS pixels.
Status ReadDATHeader(std::FILE* stream, int32_t& numRow, int32_t& numCol, int32_t& width,
                     int32_t& height, char (&text)[IMAGE_SET_TEXT_MAX]);

struct ImageSetReadOptions {
    MessageSink progress = WriteToStdout;  // the progress lines and dots
    MessageSink errors = WriteToStderr;    // chunk decoding errors, unpacker warnings
    int threads = 0;                       // decoding threads; 0: the machine's cores
    int64_t max_pixels = DCT_MAX_PIXELS;   // largest mosaic accepted
};

// Reads the image set `filename`. `photos` holds `photo_count` records, image
// (j, k) at j * numCol + k; `mask` (null: every image) holds a presence byte
// per image in the same order. numCol and numRow are the caller's expected
// counts (0 or less: not known) and receive the file's. Every present image
// is cleared, allocated at the file's width x height, given the window
// x 0..width-1, y 0..height-1 and filled with RGB bytes; absent ones are left
// as they were. Images beyond `photo_count` are not filled: a file with more
// images than the array holds is refused with the count-mismatch message.
// Progress goes to options.progress; failures return their messages.
Status ReadDAT(const char* filename, Photo* photos, size_t photo_count, int32_t& numCol,
               int32_t& numRow, const uint8_t* mask,
               const ImageSetReadOptions& options = {});

// ReadDAT on an already open stream (positioned at the .dat file's
// first byte, seekable; memory streams do); `filename` only names it in
// messages.
Status ReadDATStream(std::FILE* dat, const char* filename, Photo* photos,
                     size_t photo_count, int32_t& numCol, int32_t& numRow,
                     const uint8_t* mask, const ImageSetReadOptions& options = {});

// Loads the image set `filename` into `photos` (which holds numRow x numCol
// records; when the caller's counts are 0 or less it must hold the file's
// count, see the vector overload). Prints its progress to standard output;
// every failure ends the program with its message and status 1.
void ReadDATOrExit(const char* filename, Photo* photos, int32_t& numCol, int32_t& numRow,
                   const uint8_t* mask);

// ReadDAT with `photos` resized to the file's numRow x numCol when it holds a
// different number of records (`mask`, when given, must hold as many bytes as
// `photos` holds records after that).
Status ReadDAT(const char* filename, std::vector<Photo>& photos, int32_t& numCol,
               int32_t& numRow, const uint8_t* mask,
               const ImageSetReadOptions& options = {});

// As above, with `photos` resized to the file's numRow x numCol when it holds
// a different number of records (`mask`, when given, must hold as many bytes
// as `photos` holds records after that).
void ReadDATOrExit(const char* filename, std::vector<Photo>& photos, int32_t& numCol,
                   int32_t& numRow, const uint8_t* mask);

}  // namespace lumo
