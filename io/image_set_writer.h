// Writer of compressed image sets (.dat files; see io/image_set.h).
//
// The images are interleaved into one mosaic per channel (with the mirroring
// of every second group where a count is not a multiple of 8), each mosaic is
// coded as a DCT stream, and the header and the three streams are wrapped in
// the outer deflate container. ReadDAT gives back, for every image, the
// decoder applied to the encoder's indices (the codec is lossy).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"
#include "io/dct_writer.h"
#include "io/deflate_writer.h"
#include "io/photo.h"

namespace lumo {

struct ImageSetWriteOptions {
    DctEncodeOptions dct;  // rate (bits per coefficient) and codebook fitting
    std::string text = "lumo image set";  // header text, 1..1023 bytes
    DeflateWriteOptions deflate;          // both the outer and the inner containers
};

// What the encoder chose for the three channels (red, green, blue).
struct ImageSetCode {
    DctCode channel[3];
};

// The mosaic of channel `c` (0 red, 1 green, 2 blue) of numRow x numCol
// photos of one size (image (j, k) at j * numCol + k): numCol * width floats
// per row, numRow * height rows.
std::vector<float> BuildMosaic(const Photo* photos, int32_t numCol, int32_t numRow,
                               int c);

// Encodes the photos into the bytes of a .dat file. Fails with
// "[WriteImageSet]: no images\n" for counts below 1,
// "[WriteImageSet]: the images are not all of one size\n" when sizes differ
// or an image has no pixels, "[WriteImageSet]: header text must be 1 to 1023
// bytes\n", or the encoder's and the container's messages. `code`, when
// given, receives what the encoder chose.
Status EncodeImageSet(const Photo* photos, int32_t numCol, int32_t numRow,
                      const ImageSetWriteOptions& options, std::vector<uint8_t>& file,
                      ImageSetCode* code = nullptr);

// EncodeImageSet into the file `path`, written whole or not at all; fails as
// WriteNamedFile (io/named_file_write.h) words it: "[WriteImageSet]: cannot
// open PATH for writing\n" or "[WriteImageSet]: cannot write PATH: REASON\n".
Status WriteImageSet(const char* path, const Photo* photos, int32_t numCol,
                     int32_t numRow, const ImageSetWriteOptions& options = {},
                     ImageSetCode* code = nullptr);

}  // namespace lumo
