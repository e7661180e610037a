// The DCT decoder's kernels: the inverse transform (one block, four lanes
// and, where the processor has AVX-512, sixteen), the codebook look-up, the
// conversion to bytes and the block-parallel decoding of whole images and
// of bands.
#include "io/dct_image.h"
#include "io/dct_pvt.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#define LUMO_DCT_LANES16 1
// The 16-lane decoder's instruction sets, chosen at run time.
#define LUMO_AVX512 __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl")))
#endif

#include "base/alloc.h"
#include "base/fatal.h"
#include "base/parallel_for.h"

namespace lumo {
namespace {

constexpr const char* kNotReady =
    "[DctImage::Decode]: No compressed data ready to decode\n";
constexpr const char* kNoPadded = "[DctImage::Decode]: No enough memory for fbuf\n";

// Scale factors of the scaled inverse DCT: 1 and sqrt(2) cos(k pi / 16).
constexpr double kIdctScale[8] = {1.0, 1.387039845, 1.306562965, 1.175875602,
                                  1.0, 0.785694958, 0.541196100, 0.275899379};

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
inline __attribute__((always_inline)) void Idct8(const T* in, int in_step, T* out,
                                                 int out_step, float scale) {
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

template <class V, class M>
inline __attribute__((always_inline)) void IdctLanes(const V block[64], V result[64]) {
    V work[64];
    for (int u = 0; u < 8; ++u) {
        const V* col = block + u;
        Idct8(col, 8, work + u, 8, 1.0f);
        const M zero = (col[8] == 0.0f) & (col[16] == 0.0f) & (col[24] == 0.0f) &
                       (col[32] == 0.0f) & (col[40] == 0.0f) & (col[48] == 0.0f) &
                       (col[56] == 0.0f);
        // Vector casts reinterpret the bits.
        const M first = (M)col[0];
        for (int y = 0; y < 8; ++y) {
            const M w = (M)work[8 * y + u];
            work[8 * y + u] = (V)((first & zero) | (w & ~zero));
        }
    }
    for (int y = 0; y < 8; ++y)
        Idct8(work + 8 * y, 1, result + 8 * y, 1, 0.125f);
}

void Idct8x8Lanes(const Lanes block[64], Lanes result[64]) {
    IdctLanes<Lanes, LaneMask>(block, result);
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

// Block `blk`'s looked-up coefficients: position k to dst[k * step].
inline void Unpack(const UnpackPlan& plan, size_t blk, float* dst, size_t step) {
    if (plan.whole_bytes) {
        const uint8_t* base = plan.bytes + blk * (plan.bits_per_block / 8);
        for (int f = 0; f < plan.count; ++f) {
            const DctField& field = plan.fields[f];
            dst[static_cast<size_t>(field.k) * step] =
                field.book[ReadBits(base, field.offset, field.width)];
        }
    } else {
        const uint64_t start = static_cast<uint64_t>(blk) * plan.bits_per_block;
        for (int f = 0; f < plan.count; ++f) {
            const DctField& field = plan.fields[f];
            dst[static_cast<size_t>(field.k) * step] =
                field.book[ReadBits(plan.bytes, start + field.offset, field.width)];
        }
    }
}

// The widest lanes in force (see DctLaneWidth); 0 until first asked.
std::atomic<int> g_lane_width{0};

int WidestLanes() {
#if defined(LUMO_DCT_LANES16)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl"))
        return 16;
#endif
    return 4;
}

#if defined(LUMO_DCT_LANES16)
typedef float Lanes16 __attribute__((vector_size(64)));

// IdctLanes on 16 lanes, the all-zero column test and the choice of the
// row-0 value done with mask registers (the generic vectors' masks come out
// one lane at a time).
LUMO_AVX512 void IdctLanes16(const Lanes16 block[64], Lanes16 result[64]) {
    Lanes16 work[64];
    const __m512 zero = _mm512_setzero_ps();
    for (int u = 0; u < 8; ++u) {
        const Lanes16* col = block + u;
        Idct8(col, 8, work + u, 8, 1.0f);
        __mmask16 empty = 0xFFFF;
        for (int v = 1; v < 8; ++v)
            empty &= _mm512_cmp_ps_mask((__m512)col[8 * v], zero, _CMP_EQ_OQ);
        for (int y = 0; y < 8; ++y)
            work[8 * y + u] = (Lanes16)_mm512_mask_blend_ps(
                empty, (__m512)work[8 * y + u], (__m512)col[0]);
    }
    for (int y = 0; y < 8; ++y)
        Idct8(work + 8 * y, 1, result + 8 * y, 1, 0.125f);
}

// FloatToByte of v[0..7] as eight bytes: the same double sum, clamp and
// truncation (the masked forms, whose unused sources are given).
LUMO_AVX512 inline __m128i EightToBytes(const float* v) {
    const __mmask8 all = 0xFF;
    __m512d d = _mm512_add_pd(_mm512_maskz_cvtps_pd(all, _mm256_loadu_ps(v)),
                              _mm512_set1_pd(0.5));
    // max(x, 0) gives 0 for NaN, as FloatToByte does.
    d = _mm512_maskz_max_pd(all, d, _mm512_setzero_pd());
    d = _mm512_maskz_min_pd(all, d, _mm512_set1_pd(255.0));
    return _mm256_maskz_cvtepi32_epi8(all, _mm512_maskz_cvttpd_epi32(all, d));
}

// Blocks b, b + step, ..., b + 15 * step, block i in lane i: the indices, the look-up,
// the inverse transform with each lane going through Idct8x8's operations, then to out[16
// * k + i] FloatToByte of value k of block i (kBytes) or the value.
template <bool kBytes>
LUMO_AVX512 void DecodeLanes16(const UnpackPlan& plan, size_t b, size_t step, void* out) {
    Lanes16 in[64];
    for (int z = 0; z < plan.constants; ++z)
        in[plan.constant[z]] = (Lanes16)_mm512_set1_ps(plan.constant_value[z]);
    if (plan.whole_bytes) {
        const size_t per_block = plan.bits_per_block / 8;
        const uint8_t* base = plan.bytes + b * per_block;
        const __m512i lane = _mm512_mullo_epi32(
            _mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0),
            _mm512_set1_epi32(static_cast<int>(step * per_block)));
        // Each 32-bit word from big-endian to the machine's order.
        const __m512i swap =
            _mm512_set4_epi32(0x0c0d0e0f, 0x08090a0b, 0x04050607, 0x00010203);
        // Every lane (the masked forms, whose unused source is given).
        const __mmask16 all = 0xFFFF;
        // The big-endian word at each byte where a field starts, once.
        __m512i words[64];
        for (int w = 0; w < plan.words; ++w) {
            const __m512i at = _mm512_add_epi32(
                lane, _mm512_set1_epi32(static_cast<int>(plan.word_at[w])));
            words[w] = _mm512_shuffle_epi8(
                _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), all, at, base, 1),
                swap);
        }
        for (int f = 0; f < plan.count; ++f) {
            const DctField& field = plan.fields[f];
            const int shift = static_cast<int>(field.offset & 7);
            if (shift + field.width <= 32) {
                __m512i index = _mm512_maskz_sll_epi32(all, words[field.word],
                                                       _mm_cvtsi32_si128(shift));
                index = _mm512_maskz_srl_epi32(all, index,
                                               _mm_cvtsi32_si128(32 - field.width));
                // Codebooks of up to 32 entries are looked up in registers.
                const float* small = plan.small[f];
                __m512 value;
                if (field.width <= 4) {
                    value =
                        _mm512_maskz_permutexvar_ps(all, index, _mm512_load_ps(small));
                } else if (field.width == 5) {
                    value = _mm512_maskz_permutex2var_ps(
                        all, _mm512_load_ps(small), index, _mm512_load_ps(small + 16));
                } else {
                    value = _mm512_mask_i32gather_ps(_mm512_setzero_ps(), all, index,
                                                     field.book, 4);
                }
                in[field.k] = (Lanes16)value;
            } else {
                float* values = reinterpret_cast<float*>(in + field.k);
                for (size_t i = 0; i < 16; ++i)
                    values[i] = field.book[ReadBits(base + i * step * per_block,
                                                    field.offset, field.width)];
            }
        }
    } else {
        float* values = reinterpret_cast<float*>(in);
        for (size_t i = 0; i < 16; ++i)
            Unpack(plan, b + i * step, values + i, 16);
    }
    Lanes16 result[64];
    IdctLanes16(in, result);
    if constexpr (kBytes) {
        uint8_t* bytes = static_cast<uint8_t*>(out);
        const float* values = reinterpret_cast<const float*>(result);
        for (int k = 0; k < 64; ++k) {
            const float* v = values + 16 * k;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + 16 * k),
                             _mm_unpacklo_epi64(EightToBytes(v), EightToBytes(v + 8)));
        }
    } else {
        std::memcpy(out, result, sizeof(result));
    }
}
#endif

// Writes 16 blocks of bytes laid out as DecodeLanes16 gives them (value k of
// block i at in[16 * k + i]) side by side: row y of block i to
// rows[y] + 8 * i, eight bytes.
inline void StoreSixteenBlocks(const uint8_t in[1024], uint8_t* const rows[8]) {
#if defined(__SSE2__)
    for (int y = 0; y < 8; ++y) {
        const uint8_t* r = in + 128 * y;  // values 8y .. 8y + 7, 16 lanes each
        auto load = [&](int x) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + 16 * x));
        };
        const __m128i a0 = _mm_unpacklo_epi8(load(0), load(1));
        const __m128i a1 = _mm_unpackhi_epi8(load(0), load(1));
        const __m128i a2 = _mm_unpacklo_epi8(load(2), load(3));
        const __m128i a3 = _mm_unpackhi_epi8(load(2), load(3));
        const __m128i a4 = _mm_unpacklo_epi8(load(4), load(5));
        const __m128i a5 = _mm_unpackhi_epi8(load(4), load(5));
        const __m128i a6 = _mm_unpacklo_epi8(load(6), load(7));
        const __m128i a7 = _mm_unpackhi_epi8(load(6), load(7));
        const __m128i b0 = _mm_unpacklo_epi16(a0, a2), b1 = _mm_unpackhi_epi16(a0, a2);
        const __m128i b2 = _mm_unpacklo_epi16(a1, a3), b3 = _mm_unpackhi_epi16(a1, a3);
        const __m128i c0 = _mm_unpacklo_epi16(a4, a6), c1 = _mm_unpackhi_epi16(a4, a6);
        const __m128i c2 = _mm_unpacklo_epi16(a5, a7), c3 = _mm_unpackhi_epi16(a5, a7);
        __m128i* dst = reinterpret_cast<__m128i*>(rows[y]);
        _mm_storeu_si128(dst + 0, _mm_unpacklo_epi32(b0, c0));
        _mm_storeu_si128(dst + 1, _mm_unpackhi_epi32(b0, c0));
        _mm_storeu_si128(dst + 2, _mm_unpacklo_epi32(b1, c1));
        _mm_storeu_si128(dst + 3, _mm_unpackhi_epi32(b1, c1));
        _mm_storeu_si128(dst + 4, _mm_unpacklo_epi32(b2, c2));
        _mm_storeu_si128(dst + 5, _mm_unpackhi_epi32(b2, c2));
        _mm_storeu_si128(dst + 6, _mm_unpacklo_epi32(b3, c3));
        _mm_storeu_si128(dst + 7, _mm_unpackhi_epi32(b3, c3));
    }
#else
    for (int y = 0; y < 8; ++y)
        for (int i = 0; i < 16; ++i)
            for (int x = 0; x < 8; ++x)
                rows[y][8 * i + x] = in[16 * (8 * y + x) + i];
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
        if (b % kDctBlocksPerDot == 0) Emit(progress, ".");
    }
    for (size_t b = 0; b < blocks; ++b) {
        const size_t row = b / across, col = b % across;
        for (int y = 0; y < 8; ++y)
            std::memcpy(out + (8 * row + y) * static_cast<size_t>(paddedWidth) + 8 * col,
                        coeff + 64 * b + 8 * y, 8 * sizeof(float));
    }
}

int DctLaneWidth() {
    int lanes = g_lane_width.load(std::memory_order_relaxed);
    if (lanes == 0) {
        lanes = WidestLanes();
        g_lane_width.store(lanes, std::memory_order_relaxed);
    }
    return lanes;
}

int SetDctLaneWidth(int lanes) {
    const int widest = WidestLanes();
    g_lane_width.store(lanes >= 16 && widest >= 16 ? 16 : 4, std::memory_order_relaxed);
    return g_lane_width.load(std::memory_order_relaxed);
}

void FloatToByte(const float* in, uint8_t* out, size_t count) {
    for (size_t i = 0; i < count; ++i)
        out[i] = FloatToByte(in[i]);
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

// `store16(row, col, bytes)` may take 16 blocks at once (kBytes: value k of
// block i at bytes[16 * k + i], blocks col .. col + 15 of block row `row`),
// returning false to have them stored one by one.
template <bool kBytes, class Store, class Tick, class Store16>
void DecodeRange(const DctImage& image, const std::vector<float>* scaled, size_t first,
                 size_t last, const Store& store, const Tick& tick,
                 const Store16& store16) {
    const size_t across = static_cast<size_t>(image.paddedWidth) / 8;

    const UnpackPlan plan(image, scaled);
    auto unpack = [&](size_t blk, float* dst, size_t step) {
        Unpack(plan, blk, dst, step);
    };

    size_t b = first;
#if defined(LUMO_DCT_LANES16)
    // Sixteen blocks at a time where the processor has the lanes.
    if (DctLaneWidth() >= 16 && b + 16 <= last) {
        alignas(64) float out16[1024];
        for (; b + 16 <= last; b += 16) {
            DecodeLanes16<kBytes>(plan, b, 1, out16);
            if constexpr (kBytes) {
                const uint8_t* bytes16 = reinterpret_cast<const uint8_t*>(out16);
                if (!store16(b / across, b % across, bytes16))
                    for (int i = 0; i < 16; ++i)
                        store((b + i) / across, (b + i) % across, bytes16 + i, 16);
            } else {
                for (int i = 0; i < 16; ++i)
                    store((b + i) / across, (b + i) % across, out16 + i, 16);
            }
            if (((b - first) & 1023) == 1008) tick(b + 16 - first);
        }
    }
#endif
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
    if (image.bitsPerBlock % 8 != 0) Emit(warnings, kDctNotByteMultiple);

    std::vector<float> scaled[64];
    ScaleCodebooks(image, scaled);
    const size_t across = static_cast<size_t>(image.paddedWidth) / 8;
    const size_t rows = static_cast<size_t>(image.paddedHeight) / 8;
    const auto none = [](size_t, size_t, const uint8_t*) { return false; };
    // Bands of block rows; the calling thread decodes the first and shows
    // the progress as it goes.
    ParallelForRanges(rows, threads, 16, [&](size_t first, size_t last) {
        const size_t begin = first * across, end = last * across;
        if (first != 0) {
            DecodeRange<kBytes>(
                image, scaled, begin, end, store, [](size_t) {}, none);
            return;
        }
        DecodeRange<kBytes>(
            image, scaled, begin, end, store,
            [&](size_t done) { show(end == 0 ? spread : 1 + (spread - 1) * done / end); },
            none);
    });
    show(spread);
}

}  // namespace

Status DctImage::DecodeTo(std::vector<float>& image, int32_t& w, int32_t& h,
                          const MessageSink& progress, const MessageSink& warnings,
                          int threads) const {
    if (!ready) return Status::Error(kNotReady);
    if (!TryAssign(image, static_cast<size_t>(width) * static_cast<size_t>(height)))
        return Status::Error(unpadded ? kNoPadded : kDctNoCropped);
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

UnpackPlan::UnpackPlan(const DctImage& image, const std::vector<float>* scaled)
    : bytes(image.packed.data()),
      bits_per_block(static_cast<uint64_t>(image.bitsPerBlock)),
      whole_bytes(image.bitsPerBlock % 8 == 0) {
    uint32_t offset = 0;
    for (int k = 0; k < 64; ++k) {
        const int w = image.bitWidth[k];
        if (w > 0) {
            // Fields start at increasing bytes: a new word where the byte
            // changes.
            const uint32_t byte = offset >> 3;
            if (words == 0 || word_at[words - 1] != byte) word_at[words++] = byte;
            if (w <= 5) std::copy(scaled[k].begin(), scaled[k].end(), small[count]);
            fields[count++] = DctField{k, offset, w, scaled[k].data(), words - 1};
        } else {
            constant[constants] = k;
            constant_value[constants++] = scaled[k][0];
        }
        offset += static_cast<uint32_t>(w);
    }
}

DctBandDecoder::DctBandDecoder(const DctImage& image) : image_(image) {
    ScaleCodebooks(image, scaled_);
    plan_ = std::make_unique<UnpackPlan>(image, scaled_);
}

bool DctBandDecoder::Sixteen(size_t first, size_t step, uint8_t out[1024]) const {
#if defined(LUMO_DCT_LANES16)
    if (DctLaneWidth() < 16) return false;
    DecodeLanes16<true>(*plan_, first, step, out);
    return true;
#else
    (void)first;
    (void)step;
    (void)out;
    return false;
#endif
}

void DctBandDecoder::Rows(size_t first, size_t last, uint8_t* out, size_t stride) const {
    const size_t across = static_cast<size_t>(image_.paddedWidth) / 8;
    const size_t width = static_cast<size_t>(image_.width);
    const size_t height = static_cast<size_t>(image_.height);
    const auto store = [&](size_t row, size_t col, const uint8_t* block, size_t step) {
        const size_t x0 = 8 * col;
        const size_t n = std::min<size_t>(8, width - x0);
        for (size_t y = 0; y < 8; ++y) {
            const size_t yy = 8 * row + y;
            if (yy >= height) break;
            uint8_t* dst = out + (yy - 8 * first) * stride + x0;
            for (size_t x = 0; x < n; ++x)
                dst[x] = block[(8 * y + x) * step];
        }
    };
    // Sixteen blocks of one block row, wholly inside the image, at once.
    const auto store16 = [&](size_t row, size_t col, const uint8_t* bytes) {
        if (col + 16 > across || 8 * (col + 16) > width || 8 * row + 8 > height)
            return false;
        uint8_t* rows[8];
        for (size_t y = 0; y < 8; ++y)
            rows[y] = out + (8 * (row - first) + y) * stride + 8 * col;
        StoreSixteenBlocks(bytes, rows);
        return true;
    };
    DecodeRange<true>(
        image_, scaled_, first * across, last * across, store, [](size_t) {}, store16);
}

void DctImage::DecodeOrExit(std::vector<float>& image, int32_t& w, int32_t& h) const {
    FatalIfError(DecodeTo(image, w, h, WriteToStdout, WriteToStderr, 0));
}

}  // namespace lumo
