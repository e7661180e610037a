// Private details of the DCT codec, shared by its reader (dct_image.cpp) and
// its decoding kernels (dct_decode.cpp): the band decoder the image-set
// reader runs on several threads, the inverse transform and the byte
// conversion.
// Only io/ and its tests include this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/message_sink.h"
#include "io/dct_image.h"

namespace lumo {

// Messages and the progress pace the reading and the decoding share.
inline constexpr const char* kDctNoCropped =
    "[DctImage::ImgDimAdjust]: No memory for fbuf\n";
inline constexpr const char* kDctNotByteMultiple =
    "[DctImage::UnPackBit]: Warning! total no of bits are not 8-multiple\n";
// Blocks per progress dot.
inline constexpr size_t kDctBlocksPerDot = 5000;

// Where the bits of each coefficient position lie in a block, with its
// codebook (the scale table folded in).
struct DctField {
    int k;            // position 8 * v + u
    uint32_t offset;  // bits from the block's first bit
    int width;        // bits, 1..31
    const float* book;
    int word;  // the plan's word_at entry of the byte where the field starts
};

// How to read the coefficients of any block of an image.
struct alignas(64) UnpackPlan {
    // `scaled`: the image's 64 codebooks times the scale table.
    UnpackPlan(const DctImage& image, const std::vector<float>* scaled);

    const uint8_t* bytes;     // the packed indices
    uint64_t bits_per_block;  // bits of one block
    // Whole bytes per block (as the writer makes them): every field sits at
    // the same byte and shift in every block.
    bool whole_bytes;
    DctField fields[64];
    int count = 0;  // fields in use
    // The bytes within a block where fields start, each once, in order.
    uint32_t word_at[64];
    int words = 0;
    // The codebooks of fields of up to 5 bits, field by field, zero-padded
    // to 32 entries (looked up within vector registers).
    alignas(64) float small[64][32] = {};
    // Positions of width 0, which always hold codebook entry 0.
    int constant[64];
    float constant_value[64];
    int constants = 0;
};

// Decodes a DctImage band by band: rows of blocks into bytes, with no
// progress or warnings, for callers that decode several channels together
// (the image set) on their own threads. The image must stay alive and
// unchanged; Rows may be called from several threads at once.
class DctBandDecoder {
  public:
    explicit DctBandDecoder(const DctImage& image);
    // Decodes block rows [first, last): pixel (x, Y) for Y from 8 * first to
    // min(8 * last, height) - 1 goes to out[(Y - 8 * first) * stride + x]
    // as FloatToByte of its value, the same value DecodeTo gives.
    void Rows(size_t first, size_t last, uint8_t* out, size_t stride) const;
    // Where the decoder has 16 lanes (DctLaneWidth()): decodes the blocks
    // first, first + step, ..., first + 15 * step (stream order; all must be
    // in the image) to out[16 * k + i] = FloatToByte of value k (8 y + x
    // within the block) of block i, the bytes Rows gives, and returns true.
    // Returns false, decoding nothing, elsewhere.
    bool Sixteen(size_t first, size_t step, uint8_t out[1024]) const;

  private:
    const DctImage& image_;
    std::vector<float> scaled_[64];  // codebooks times the scale table
    std::unique_ptr<UnpackPlan> plan_;
};

// T[v][u] = s[v] * s[u] with the scaled inverse DCT's factors s[0] = 1,
// s[k] = sqrt(2) cos(k pi / 16), computed in double and stored as floats.
void IdctScaleTable(float table[64]);

// The inverse DCT of one block of pre-scaled coefficients in[v][u] (each
// already multiplied by the scale table), in place: afterwards block[y][x]
// holds the spatial value. Single-precision arithmetic in a fixed order.
void Idct8x8(float block[64]);

// For every block of the coefficient array (stream order): scales, inverse
// transforms and writes the block back, then places it in `out`
// (paddedWidth x paddedHeight floats) at block row b / (paddedWidth / 8),
// block column b % (paddedWidth / 8). Prints a dot every 5000 blocks.
void DecodeBlocks(float* coeff, int32_t paddedWidth, int32_t paddedHeight, float* out,
                  const MessageSink& progress);

// The number of blocks the decoder transforms at once, one per vector lane:
// 16 where the processor has AVX-512 (F, BW, DQ, VL), otherwise 4. Every
// width gives the same values.
int DctLaneWidth();
// Asks for 16 lanes (where the processor has them) or 4, as tests do to
// cover both paths on one machine; returns the width now in force.
int SetDctLaneWidth(int lanes);

// Each byte = the float plus 0.5, truncated toward zero, clamped to 0..255.
void FloatToByte(const float* in, uint8_t* out, size_t count);

// One value: the sum is taken in double precision (exact for floats in the
// byte range), so a value just below a half never rounds up.
inline uint8_t FloatToByte(float v) {
    const double r = static_cast<double>(v) + 0.5;
    if (!(r > 0.0)) return 0;  // also NaN
    if (r >= 255.0) return 255;
    return static_cast<uint8_t>(static_cast<int>(r));
}

}  // namespace lumo
