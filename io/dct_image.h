// DctImage: one channel of a large image coded as 8 x 8 blocks of DCT
// coefficients.
//
// A DCT stream, read from the stream's current position:
//   "DCT..."\n          signature line (the rest of the line is ignored)
//   "%d %d\n"           true width and height in pixels
//   int32[64]           bit width of the index of each coefficient position
//                       k = 8 * v + u (v vertical, u horizontal frequency;
//                       natural order, no zig-zag), big-endian
//   float32[2^w(k)]     codebook k for k = 0..63, big-endian
//   deflate container   the packed indices: for every block in raster order,
//                       for k = 0..63, w(k) bits, most significant bit first
// Decoding looks every index up in its position's codebook and runs the
// scaled (Arai-Agui-Nakajima) inverse DCT in single precision; the values
// come out as coded, with no level shift and no clamping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/byte_block.h"
#include "base/message_sink.h"
#include "base/status.h"

namespace lumo {

// The largest padded image a DCT stream may describe, in pixels (32768 x
// 32768, a mosaic of 3 GB of RGB bytes: a 32 x 32 set of 640 x 480 views
// fits). Larger sizes are refused before anything is allocated from them.
inline constexpr int64_t DCT_MAX_PIXELS = int64_t{1} << 30;

// Limits and sinks of the returning cores.
struct DctReadOptions {
    int64_t max_pixels = DCT_MAX_PIXELS;  // largest paddedWidth x paddedHeight accepted
    MessageSink chunk_errors;             // decoding errors of the packed-index container
    int threads = 0;  // threads decoding the container; 0: one per core
};

class DctImage {
  public:
    int32_t width = -1;         // true width; -1 until read
    int32_t height = -1;        // true height; -1 until read
    int32_t paddedWidth = -1;   // width rounded up to a multiple of 8
    int32_t paddedHeight = -1;  // height rounded up to a multiple of 8
    bool unpadded = true;       // width and height are both multiples of 8
    bool ready = false;         // a stream has been read
    int32_t bitWidth[64] = {};  // index width of each coefficient position
    int32_t bitsPerBlock = 0;   // sum of bitWidth
    // Codebook k holds 2^bitWidth[k] coefficient values; empty until read.
    std::vector<std::vector<float>> codebook;
    // The decoded bytes of the packed-index container, followed by zero bytes
    // so that every block's bits can be read (bits beyond the decoded bytes
    // read as 0).
    ByteBlock packed;
    size_t packedSize = 0;  // the number of decoded bytes in packed

    // Reads a DCT stream as ReadDCTBits does, then sets unpadded and ready.
    // Fatal failures end the program.
    void ReadOrExit(std::FILE* stream);
    // The decoded image: width x height floats, row 0 first. Prints its
    // progress ("1", dots, "2", dots, "3", dots, "4 ", "ok\n") to standard
    // output. Fatal failures end the program.
    void DecodeOrExit(std::vector<float>& image, int32_t& w, int32_t& h) const;

    // The readers. Failures carry the exact messages:
    //   "[DctImage::ReadDCTBits]: Signature not matching\n"
    //   "[DctImage::ReadDCTBits]: image size out of range\n" (a size line that
    //     does not scan, a negative size, or more than max_pixels)
    //   "[DctImage::ReadDCTBits]: Error writing bitmap\n" (fewer than 64 bit
    //     widths, or a width outside 0..31)
    //   "[DctImage::ReadDCTBits]: No memory for codebook\n", "... codebook[i]\n"
    //   "[DctImage::ReadDCTBits]: Error reading codebook\n" (short, or more
    //     codebook entries than the file holds)
    //   "[DctImage::ReadDCTBits]: The packedbit is altered!!\n"
    // and the container's messages.
    Status Read(std::FILE* stream, const DctReadOptions& options = {});
    // Reads the stream into the fields (Read then sets unpadded and ready);
    // the stream is left at the end of the packed-index container's last
    // chunk, where the next channel begins.
    Status ReadDCTBits(std::FILE* stream, const DctReadOptions& options = {});
    // Decodes with the progress text going to `progress` and the unpacker's
    // warning to `warnings`: the same text and the same values as the steps
    // below run one after another, in one pass over the blocks, shared among
    // `threads` threads (0: one per core) by bands of block rows. "[DctImage::Decode]: No
    // compressed data ready to decode\n" before a read.
    Status DecodeTo(std::vector<float>& image, int32_t& w, int32_t& h,
                    const MessageSink& progress, const MessageSink& warnings,
                    int threads = 1) const;
    // Decodes into bytes (each value through FloatToByte): height rows of
    // width bytes, row y at out + y * stride; progress as DecodeTo.
    Status DecodeToBytes(uint8_t* out, size_t stride, const MessageSink& progress,
                         const MessageSink& warnings, int threads = 1) const;

    // The steps of Decode, one pass each over flat arrays (the reference the
    // fused decode is tested against).
    // paddedWidth x paddedHeight indices in stream order; warns
    // "[DctImage::UnPackBit]: Warning! total no of bits are not 8-multiple\n"
    // (to `warnings`) when bitsPerBlock is not a multiple of 8.
    Status UnPackBit(std::vector<int32_t>& index, const MessageSink& progress,
                     const MessageSink& warnings) const;
    // coeff[i] = codebook[i mod 64][index[i]].
    Status RecoverDCTCoeff(const std::vector<int32_t>& index, std::vector<float>& coeff,
                           const MessageSink& progress) const;
    // The first width values of each of the first height rows of `padded`.
    Status ImgDimAdjust(const std::vector<float>& padded, std::vector<float>& out) const;
    // The progress text of a whole decode of this image.
    std::string ProgressText() const;
};

}  // namespace lumo
