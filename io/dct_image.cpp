#include "io/dct_image.h"
#include "io/dct_pvt.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/alloc.h"
#include "base/fatal.h"
#include "base/parallel_for.h"
#include "io/checked_io.h"
#include "io/deflate_container.h"
#include "io/stream_bytes.h"
#include "io/text_line.h"

namespace lumo {
namespace {

constexpr const char* kSignature = "[DctImage::ReadDCTBits]: Signature not matching\n";
constexpr const char* kBadSize = "[DctImage::ReadDCTBits]: image size out of range\n";
constexpr const char* kBitmap = "[DctImage::ReadDCTBits]: Error writing bitmap\n";
constexpr const char* kCodebookShort =
    "[DctImage::ReadDCTBits]: Error reading codebook\n";
constexpr const char* kAltered = "[DctImage::ReadDCTBits]: The packedbit is altered!!\n";
constexpr const char* kNotReady =
    "[DctImage::Decode]: No compressed data ready to decode\n";
constexpr const char* kNoPadded = "[DctImage::Decode]: No enough memory for fbuf\n";
constexpr const char* kNoCropped = "[DctImage::ImgDimAdjust]: No memory for fbuf\n";
constexpr const char* kNotByteMultiple =
    "[DctImage::UnPackBit]: Warning! total no of bits are not 8-multiple\n";

// The line buffer of the stream's text lines holds 10000 characters.
constexpr TextLineOptions kDctLine{.max_chars = 9999, .drop_cr = false};

constexpr size_t kCoefficientsPerDot = 400000;
constexpr size_t kBlocksPerDot = 5000;

// Scale factors of the scaled inverse DCT: 1 and sqrt(2) cos(k pi / 16).
constexpr double kIdctScale[8] = {1.0, 1.387039845, 1.306562965, 1.175875602,
                                  1.0, 0.785694958, 0.541196100, 0.275899379};

size_t Dots(size_t count, size_t per_dot) {
    return count == 0 ? 0 : (count - 1) / per_dot + 1;
}

// Reads `width` bits (0..31) at bit position `bit` of `bytes`, most
// significant bit first. The caller keeps 8 readable bytes after the byte
// that holds `bit`.
inline uint32_t ReadBits(const uint8_t* bytes, uint64_t bit, int width) {
    if (width == 0) return 0;
    uint64_t word;
    std::memcpy(&word, bytes + (bit >> 3), 8);
    word = __builtin_bswap64(word);
    return static_cast<uint32_t>((word << (bit & 7)) >> (64 - width));
}

// The same transform on one column or row of eight values (rN at stride
// `in_step`), writing the eight outputs at stride `out_step`, each times
// `scale`.
template <class T>
inline void Idct8(const T* in, int in_step, T* out, int out_step, float scale) {
    constexpr float c1 = 1.414213562f;
    constexpr float c2 = 1.847759065f;
    constexpr float c3 = 1.082392200f;
    constexpr float c4 = 2.613125930f;
    const T r0 = in[0], r1 = in[in_step], r2 = in[2 * in_step], r3 = in[3 * in_step];
    const T r4 = in[4 * in_step], r5 = in[5 * in_step], r6 = in[6 * in_step],
            r7 = in[7 * in_step];
    // Even part.
    const T t10 = r0 + r4;
    const T t11 = r0 - r4;
    const T t13 = r2 + r6;
    const T t12 = (r2 - r6) * c1 - t13;
    const T e0 = t10 + t13;
    const T e3 = t10 - t13;
    const T e1 = t11 + t12;
    const T e2 = t11 - t12;
    // Odd part.
    const T z13 = r5 + r3;
    const T z10 = r5 - r3;
    const T z11 = r1 + r7;
    const T z12 = r1 - r7;
    const T o7 = z11 + z13;
    const T o11 = (z11 - z13) * c1;
    const T z5 = (z10 + z12) * c2;
    const T o10 = c3 * z12 - z5;
    const T o12 = z5 - c4 * z10;
    const T o6 = o12 - o7;
    const T o5 = o11 - o6;
    const T o4 = o10 + o5;
    out[0] = (e0 + o7) * scale;
    out[7 * out_step] = (e0 - o7) * scale;
    out[1 * out_step] = (e1 + o6) * scale;
    out[6 * out_step] = (e1 - o6) * scale;
    out[2 * out_step] = (e2 + o5) * scale;
    out[5 * out_step] = (e2 - o5) * scale;
    out[4 * out_step] = (e3 + o4) * scale;
    out[3 * out_step] = (e3 - o4) * scale;
}

}  // namespace

void IdctScaleTable(float table[64]) {
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u)
            table[8 * v + u] = static_cast<float>(kIdctScale[v] * kIdctScale[u]);
}

void Idct8x8(float block[64]) {
    float work[64];
    for (int u = 0; u < 8; ++u) {
        const float* col = block + u;
        if (col[8] == 0.0f && col[16] == 0.0f && col[24] == 0.0f && col[32] == 0.0f &&
            col[40] == 0.0f && col[48] == 0.0f && col[56] == 0.0f) {
            for (int y = 0; y < 8; ++y)
                work[8 * y + u] = col[0];
            continue;
        }
        // The column pass has no final scale: multiplying by 1 changes nothing.
        Idct8(col, 8, work + u, 8, 1.0f);
    }
    for (int y = 0; y < 8; ++y)
        Idct8(work + 8 * y, 1, block + 8 * y, 1, 0.125f);
}

namespace {

// Four blocks at once, block i in lane i of each vector (the result in
// `result`, the coefficients kept): every lane goes
// through exactly the operations Idct8x8 does on its block (the all-zero
// column shortcut is a per-lane choice of the row-0 value), so the results
// are the same bits.
typedef float Lanes __attribute__((vector_size(16)));
typedef int32_t LaneMask __attribute__((vector_size(16)));

void Idct8x8Lanes(const Lanes block[64], Lanes result[64]) {
    Lanes work[64];
    for (int u = 0; u < 8; ++u) {
        const Lanes* col = block + u;
        Idct8(col, 8, work + u, 8, 1.0f);
        const LaneMask zero = (col[8] == 0.0f) & (col[16] == 0.0f) & (col[24] == 0.0f) &
                              (col[32] == 0.0f) & (col[40] == 0.0f) & (col[48] == 0.0f) &
                              (col[56] == 0.0f);
        // Vector casts reinterpret the bits.
        const LaneMask first = (LaneMask)col[0];
        for (int y = 0; y < 8; ++y) {
            const LaneMask w = (LaneMask)work[8 * y + u];
            work[8 * y + u] = (Lanes)((first & zero) | (w & ~zero));
        }
    }
    for (int y = 0; y < 8; ++y)
        Idct8(work + 8 * y, 1, result + 8 * y, 1, 0.125f);
}

// bytes[4 * k + i] = FloatToByte of value k of lane i: the same double sum,
// clamp and truncation, two values at a time.
void LanesToBytes(const Lanes values[64], uint8_t bytes[256]) {
#if defined(__SSE2__)
    const __m128d half = _mm_set1_pd(0.5);
    const __m128d zero = _mm_setzero_pd();
    const __m128d top = _mm_set1_pd(255.0);
    for (int k = 0; k < 64; ++k) {
        const __m128 f = (__m128)values[k];
        // max(x, 0) gives 0 for NaN, as FloatToByte does.
        __m128d lo = _mm_add_pd(_mm_cvtps_pd(f), half);
        __m128d hi = _mm_add_pd(_mm_cvtps_pd(_mm_movehl_ps(f, f)), half);
        lo = _mm_min_pd(_mm_max_pd(lo, zero), top);
        hi = _mm_min_pd(_mm_max_pd(hi, zero), top);
        const __m128i ints =
            _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi));
        const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(ints, ints), ints);
        const int32_t four = _mm_cvtsi128_si32(packed);
        std::memcpy(bytes + 4 * k, &four, 4);
    }
#else
    const float* v = reinterpret_cast<const float*>(values);
    for (int i = 0; i < 256; ++i)
        bytes[i] = FloatToByte(v[i]);
#endif
}

}  // namespace

void DecodeBlocks(float* coeff, int32_t paddedWidth, int32_t paddedHeight, float* out,
                  const MessageSink& progress) {
    float table[64];
    IdctScaleTable(table);
    const size_t across = static_cast<size_t>(paddedWidth) / 8;
    const size_t blocks = across * (static_cast<size_t>(paddedHeight) / 8);
    for (size_t b = 0; b < blocks; ++b) {
        float* block = coeff + 64 * b;
        for (int k = 0; k < 64; ++k)
            block[k] *= table[k];
        Idct8x8(block);
        if (b % kBlocksPerDot == 0) Emit(progress, ".");
    }
    for (size_t b = 0; b < blocks; ++b) {
        const size_t row = b / across, col = b % across;
        for (int y = 0; y < 8; ++y)
            std::memcpy(out + (8 * row + y) * static_cast<size_t>(paddedWidth) + 8 * col,
                        coeff + 64 * b + 8 * y, 8 * sizeof(float));
    }
}

void FloatToByte(const float* in, uint8_t* out, size_t count) {
    for (size_t i = 0; i < count; ++i)
        out[i] = FloatToByte(in[i]);
}

Status DctImage::ReadDCTBitsFrom(std::FILE* stream, const DctReadOptions& options) {
    std::string line;
    bool at_eof = false;
    if (!ReadTextLine(stream, kDctLine, line, at_eof) || line.compare(0, 3, "DCT") != 0)
        return Status::Error(kSignature);
    int w = 0, h = 0;
    if (!ReadTextLine(stream, kDctLine, line, at_eof) ||
        std::sscanf(line.c_str(), "%d %d", &w, &h) != 2 || w < 0 || h < 0)
        return Status::Error(kBadSize);
    const int64_t pw = int64_t{w} / 8 * 8 + (w % 8 != 0 ? 8 : 0);
    const int64_t ph = int64_t{h} / 8 * 8 + (h % 8 != 0 ? 8 : 0);
    if (pw > INT32_MAX || ph > INT32_MAX || pw * ph > options.max_pixels)
        return Status::Error(kBadSize);
    width = w;
    height = h;
    paddedWidth = static_cast<int32_t>(pw);
    paddedHeight = static_cast<int32_t>(ph);

    if (cp_fread(bitWidth, 4, 64, stream) != 64) return Status::Error(kBitmap);
    uint64_t entries = 0;
    for (int32_t bits : bitWidth) {
        if (bits < 0 || bits > 31) return Status::Error(kBitmap);
        entries += uint64_t{1} << bits;
    }
    // Every codebook entry must be in the file before it is allocated.
    const long left = StreamBytesLeft(stream);
    if (left >= 0 && 4 * entries > static_cast<uint64_t>(left))
        return Status::Error(kCodebookShort);
    try {
        codebook.assign(64, {});
    } catch (const std::exception&) {
        return Status::Error("[DctImage::ReadDCTBits]: No memory for codebook\n");
    }
    bitsPerBlock = 0;
    for (int k = 0; k < 64; ++k) {
        if (!TryAssign(codebook[k], size_t{1} << bitWidth[k]))
            return Status::Error("[DctImage::ReadDCTBits]: No memory for codebook[i]\n");
        bitsPerBlock += bitWidth[k];
    }
    for (int k = 0; k < 64; ++k) {
        if (cp_fread(codebook[k].data(), 4, codebook[k].size(), stream) !=
            codebook[k].size())
            return Status::Error(kCodebookShort);
    }

    if (Status s = ReadDeflateZipFrom(stream, packed, packedSize, options.chunk_errors,
                                      options.threads);
        !s.ok())
        return s;
    const uint64_t across = static_cast<uint64_t>(pw) / 8;
    const uint64_t down = static_cast<uint64_t>(ph) / 8;
    const uint64_t expected = across * (static_cast<uint64_t>(bitsPerBlock) / 8) * down;
    if (packedSize != expected) return Status::Error(kAltered);
    // Room for every block's bits (those past the decoded bytes read as 0)
    // and for the 8-byte reads of the bit reader.
    const uint64_t needed = (across * down * static_cast<uint64_t>(bitsPerBlock) + 7) / 8;
    try {
        packed.resize(std::max<uint64_t>(needed, packedSize) + 8, uint8_t{0});
    } catch (const std::exception&) {
        return Status::Error("[ReadDeflateZip]: No memory for outbuf\n");
    }
    return Status::Ok();
}

Status DctImage::ReadFrom(std::FILE* stream, const DctReadOptions& options) {
    if (Status s = ReadDCTBitsFrom(stream, options); !s.ok()) return s;
    if (width != paddedWidth || height != paddedHeight) unpadded = false;
    ready = true;
    return Status::Ok();
}

void DctImage::ReadDCTBits(std::FILE* stream) {
    DctReadOptions options;
    options.chunk_errors = WriteToStderr;
    FatalIfError(ReadDCTBitsFrom(stream, options));
}

void DctImage::Read(std::FILE* stream) {
    DctReadOptions options;
    options.chunk_errors = WriteToStderr;
    FatalIfError(ReadFrom(stream, options));
}

std::string DctImage::ProgressText() const {
    const size_t n = static_cast<size_t>(std::max(paddedWidth, 0)) *
                     static_cast<size_t>(std::max(paddedHeight, 0));
    const size_t coefficient_dots = Dots(n, kCoefficientsPerDot);
    std::string text = "1";
    text.append(coefficient_dots, '.');
    text += "2";
    text.append(coefficient_dots, '.');
    text += "3";
    text.append(Dots(n / 64, kBlocksPerDot), '.');
    text += "4 ok\n";
    return text;
}

Status DctImage::UnPackBit(std::vector<int32_t>& index, const MessageSink& progress,
                           const MessageSink& warnings) const {
    if (bitsPerBlock % 8 != 0) Emit(warnings, kNotByteMultiple);
    const size_t n = static_cast<size_t>(paddedWidth) * static_cast<size_t>(paddedHeight);
    if (!TryAssign(index, n))
        return Status::Error("[DctImage::UnPackBit]: No memory for index\n");
    const uint64_t total_bits = uint64_t{packedSize} * 8;
    uint64_t bit = 0;
    for (size_t i = 0; i < n; ++i) {
        const int w = bitWidth[i % 64];
        uint32_t value = 0;
        for (int b = 0; b < w; ++b, ++bit) {
            const uint32_t next =
                bit < total_bits ? (packed[bit >> 3] >> (7 - (bit & 7))) & 1 : 0;
            value = value << 1 | next;
        }
        index[i] = static_cast<int32_t>(value);
        if (i % kCoefficientsPerDot == 0) Emit(progress, ".");
    }
    return Status::Ok();
}

Status DctImage::RecoverDCTCoeff(const std::vector<int32_t>& index,
                                 std::vector<float>& coeff,
                                 const MessageSink& progress) const {
    const size_t n = index.size();
    if (!TryAssign(coeff, n))
        return Status::Error("[DctImage::RecoverDCTCoeff]: No memory for dctcoeff\n");
    for (size_t i = 0; i < n; ++i) {
        coeff[i] = codebook[i % 64][static_cast<size_t>(index[i])];
        if (i % kCoefficientsPerDot == 0) Emit(progress, ".");
    }
    return Status::Ok();
}

Status DctImage::ImgDimAdjust(const std::vector<float>& padded,
                              std::vector<float>& out) const {
    const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
    if (!TryAssign(out, w * h)) return Status::Error(kNoCropped);
    if (width == paddedWidth) {
        std::copy(padded.begin(), padded.begin() + static_cast<ptrdiff_t>(w * h),
                  out.begin());
    } else {
        for (size_t y = 0; y < h; ++y)
            std::copy_n(padded.begin() + static_cast<ptrdiff_t>(y * paddedWidth), w,
                        out.begin() + static_cast<ptrdiff_t>(y * w));
    }
    return Status::Ok();
}

namespace {

// Decodes blocks [first, last) of `image`: bits, codebook look-up (with the
// scale table folded into the codebooks: the same float product), inverse
// transform. `store(row, col, values, step)` receives each block's 64 values
// (value i at values[i * step]);
// `tick(done)` is called now and then with the number of blocks done.
// The codebooks with the scale table folded in: the product that each
// coefficient gets before the inverse transform, taken once per entry.
void ScaleCodebooks(const DctImage& image, std::vector<float> scaled[64]) {
    float table[64];
    IdctScaleTable(table);
    for (int k = 0; k < 64; ++k) {
        scaled[k] = image.codebook[k];
        for (float& v : scaled[k])
            v *= table[k];
    }
}

template <bool kBytes, class Store, class Tick>
void DecodeRange(const DctImage& image, const std::vector<float>* scaled, size_t first,
                 size_t last, const Store& store, const Tick& tick) {
    const size_t across = static_cast<size_t>(image.paddedWidth) / 8;
    const uint8_t* bytes = image.packed.data();
    const uint64_t bits_per_block = static_cast<uint64_t>(image.bitsPerBlock);

    // Where the bits of each position with a nonzero width lie in a block.
    // Positions of width 0 always hold codebook entry 0: they are set once.
    struct Field {
        int k;
        uint32_t offset;  // bits from the block's first bit
        int width;
        const float* book;
    };
    Field fields[64];
    int count = 0;
    uint32_t offset = 0;
    for (int k = 0; k < 64; ++k) {
        const int w = image.bitWidth[k];
        if (w > 0) fields[count++] = Field{k, offset, w, scaled[k].data()};
        offset += static_cast<uint32_t>(w);
    }
    // Whole bytes per block (as the writer makes them): every field sits at
    // the same byte and shift in every block.
    const bool whole_bytes = bits_per_block % 8 == 0;
    auto unpack = [&](size_t blk, float* dst, size_t step) {
        if (whole_bytes) {
            const uint8_t* base = bytes + blk * (bits_per_block / 8);
            for (int f = 0; f < count; ++f) {
                const Field& field = fields[f];
                dst[static_cast<size_t>(field.k) * step] =
                    field.book[ReadBits(base, field.offset, field.width)];
            }
        } else {
            const uint64_t start = static_cast<uint64_t>(blk) * bits_per_block;
            for (int f = 0; f < count; ++f) {
                const Field& field = fields[f];
                dst[static_cast<size_t>(field.k) * step] =
                    field.book[ReadBits(bytes, start + field.offset, field.width)];
            }
        }
    };

    // Four blocks at a time, one per lane; the rest one by one.
    Lanes in[64], out[64];
    float* values = reinterpret_cast<float*>(in);
    float block[64];
    for (int k = 0; k < 64; ++k) {
        if (image.bitWidth[k] != 0) continue;
        block[k] = scaled[k][0];
        for (int i = 0; i < 4; ++i)
            values[4 * k + i] = scaled[k][0];
    }
    size_t b = first;
    for (; b + 4 <= last; b += 4) {
        for (size_t i = 0; i < 4; ++i)
            unpack(b + i, values + i, 4);
        Idct8x8Lanes(in, out);
        if constexpr (kBytes) {
            uint8_t bytes4[256];
            LanesToBytes(out, bytes4);
            for (int i = 0; i < 4; ++i)
                store((b + i) / across, (b + i) % across, bytes4 + i, 4);
        } else {
            const float* result = reinterpret_cast<const float*>(out);
            for (int i = 0; i < 4; ++i)
                store((b + i) / across, (b + i) % across, result + i, 4);
        }
        if (((b - first) & 1023) == 1020) tick(b + 4 - first);
    }
    for (; b < last; ++b) {
        float spatial[64];
        unpack(b, block, 1);
        std::copy(block, block + 64, spatial);
        Idct8x8(spatial);
        if constexpr (kBytes) {
            uint8_t bytes1[64];
            for (int k = 0; k < 64; ++k)
                bytes1[k] = FloatToByte(spatial[k]);
            store(b / across, b % across, bytes1, 1);
        } else {
            store(b / across, b % across, spatial, 1);
        }
    }
    tick(last - first);
}

// Decodes all blocks, on `threads` threads (0: one per core) that each take
// a band of block rows, and shows the progress text of the sequential steps
// ("1", dots, "2", dots, "3", dots) as the calling thread's band goes on.
// The values do not depend on the number of threads.
template <bool kBytes, class Store>
void DecodeBlockwise(const DctImage& image, const MessageSink& progress,
                     const MessageSink& warnings, int threads, const Store& store) {
    const std::string text = image.ProgressText();
    const size_t spread = text.size() - 5;  // up to the "4 ok\n"
    size_t shown = 0;
    auto show = [&](size_t upto) {
        if (upto > shown)
            Emit(progress, std::string_view(text).substr(shown, upto - shown));
        shown = std::max(shown, upto);
    };
    show(1);  // "1", then the unpacker's warning
    if (image.bitsPerBlock % 8 != 0) Emit(warnings, kNotByteMultiple);

    std::vector<float> scaled[64];
    ScaleCodebooks(image, scaled);
    const size_t across = static_cast<size_t>(image.paddedWidth) / 8;
    const size_t rows = static_cast<size_t>(image.paddedHeight) / 8;
    // Bands of block rows; the calling thread decodes the first and shows
    // the progress as it goes.
    ParallelForRanges(rows, threads, 16, [&](size_t first, size_t last) {
        const size_t begin = first * across, end = last * across;
        if (first != 0) {
            DecodeRange<kBytes>(image, scaled, begin, end, store, [](size_t) {});
            return;
        }
        DecodeRange<kBytes>(image, scaled, begin, end, store, [&](size_t done) {
            show(end == 0 ? spread : 1 + (spread - 1) * done / end);
        });
    });
    show(spread);
}

}  // namespace

Status DctImage::DecodeTo(std::vector<float>& image, int32_t& w, int32_t& h,
                          const MessageSink& progress, const MessageSink& warnings,
                          int threads) const {
    if (!ready) return Status::Error(kNotReady);
    if (!TryAssign(image, static_cast<size_t>(width) * static_cast<size_t>(height)))
        return Status::Error(unpadded ? kNoPadded : kNoCropped);
    const size_t stride = static_cast<size_t>(width);
    DecodeBlockwise<false>(*this, progress, warnings, threads,
                           [&](size_t row, size_t col, const float* block, size_t step) {
                               const size_t x0 = 8 * col;
                               const size_t n = std::min<size_t>(8, stride - x0);
                               for (size_t y = 0; y < 8; ++y) {
                                   const size_t yy = 8 * row + y;
                                   if (yy >= static_cast<size_t>(height)) break;
                                   float* dst = image.data() + yy * stride + x0;
                                   for (size_t x = 0; x < n; ++x)
                                       dst[x] = block[(8 * y + x) * step];
                               }
                           });
    w = width;
    h = height;
    Emit(progress, "4 ok\n");
    return Status::Ok();
}

Status DctImage::DecodeToBytes(uint8_t* out, size_t stride, const MessageSink& progress,
                               const MessageSink& warnings, int threads) const {
    if (!ready) return Status::Error(kNotReady);
    DecodeBlockwise<true>(*this, progress, warnings, threads,
                          [&](size_t row, size_t col, const uint8_t* block, size_t step) {
                              const size_t x0 = 8 * col;
                              const size_t n =
                                  std::min<size_t>(8, static_cast<size_t>(width) - x0);
                              for (size_t y = 0; y < 8; ++y) {
                                  const size_t yy = 8 * row + y;
                                  if (yy >= static_cast<size_t>(height)) break;
                                  uint8_t* dst = out + yy * stride + x0;
                                  for (size_t x = 0; x < n; ++x)
                                      dst[x] = block[(8 * y + x) * step];
                              }
                          });
    Emit(progress, "4 ok\n");
    return Status::Ok();
}

DctBandDecoder::DctBandDecoder(const DctImage& image) : image_(image) {
    ScaleCodebooks(image, scaled_);
}

void DctBandDecoder::Rows(size_t first, size_t last, uint8_t* out, size_t stride) const {
    const size_t across = static_cast<size_t>(image_.paddedWidth) / 8;
    const size_t width = static_cast<size_t>(image_.width);
    const size_t height = static_cast<size_t>(image_.height);
    DecodeRange<true>(
        image_, scaled_, first * across, last * across,
        [&](size_t row, size_t col, const uint8_t* block, size_t step) {
            const size_t x0 = 8 * col;
            const size_t n = std::min<size_t>(8, width - x0);
            for (size_t y = 0; y < 8; ++y) {
                const size_t yy = 8 * row + y;
                if (yy >= height) break;
                uint8_t* dst = out + (yy - 8 * first) * stride + x0;
                for (size_t x = 0; x < n; ++x)
                    dst[x] = block[(8 * y + x) * step];
            }
        },
        [](size_t) {});
}

void DctImage::Decode(std::vector<float>& image, int32_t& w, int32_t& h) const {
    FatalIfError(DecodeTo(image, w, h, WriteToStdout, WriteToStderr, 0));
}

}  // namespace lumo
