// Private details of the DCT codec: the band decoder the image-set reader
// runs on several threads, the inverse transform and the byte conversion.
// Only io/ and its tests include this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/message_sink.h"
#include "io/dct_image.h"

namespace lumo {

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

  private:
    const DctImage& image_;
    std::vector<float> scaled_[64];  // codebooks times the scale table
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
