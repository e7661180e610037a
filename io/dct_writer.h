// Encoder and writer of DCT streams (see io/dct_image.h for the layout).
//
// The encoder pads the image to whole 8 x 8 blocks by repeating its last
// column and row, transforms every block with the forward DCT that the
// decoder's inverse undoes (F(v,u) = 1/4 C(u) C(v) sum f(y,x) cos((2x+1)u
// pi/16) cos((2y+1)v pi/16)), shares the requested bits per block among the
// 64 positions by their variance, and fits one codebook per position to the
// coefficients with Lloyd-Max iterations.
#pragma once

#include <cstdint>
#include <vector>

#include "base/status.h"
#include "io/dct_image.h"
#include "io/deflate_writer.h"

namespace lumo {

struct DctEncodeOptions {
    double rate = 3.0;    // average index bits per coefficient (per block: 64 x rate,
                          // rounded to whole bytes)
    int max_bits = 12;    // widest index of one position (0..16)
    int iterations = 12;  // Lloyd-Max refinement passes per codebook
};

// What the encoder chose for one image.
struct DctCode {
    int32_t width = 0;  // true size
    int32_t height = 0;
    int32_t bitWidth[64] = {};
    std::vector<std::vector<float>>
        codebook;                // 64 ascending tables of 2^bitWidth[k] values
    std::vector<int32_t> index;  // paddedWidth x paddedHeight indices in stream order
};

// Encodes `width` x `height` floats (row 0 first). Fails with
// "[EncodeDct]: image size out of range\n" for negative sizes or more than
// DCT_MAX_PIXELS padded pixels.
Status EncodeDct(const float* pixels, int32_t width, int32_t height,
                 const DctEncodeOptions& options, DctCode& code);

// The packed index bits of `code`: per block, per position, bitWidth bits,
// most significant bit first.
std::vector<uint8_t> PackIndices(const DctCode& code);

// Appends the DCT stream of `code` to `file`; the packed-index container's
// offsets are positions in `file` plus `base`.
Status AppendDctStream(std::vector<uint8_t>& file, const DctCode& code, uint64_t base = 0,
                       const DeflateWriteOptions& deflate = {});

// The DctImage a reader holds after reading the stream of `code`, made
// without a file: decoding it gives the decoder applied to the encoder's own
// indices.
DctImage DctImageFromCode(const DctCode& code);

// The forward DCT of one block of 64 values (row y, column x at 8y + x):
// out[8v + u] as above, in double precision.
void ForwardDct8x8(const float in[64], double out[64]);

}  // namespace lumo
