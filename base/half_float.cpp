#include "base/half_float.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define LUMO_HALF_X86 1
#else
#define LUMO_HALF_X86 0
#endif

namespace lumo {
namespace {

#if LUMO_HALF_X86
__attribute__((target("avx,f16c"))) void FloatsToHalvesF16c(const float* in,
                                                            uint16_t* out, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m128i h =
            _mm256_cvtps_ph(_mm256_loadu_ps(in + i), _MM_FROUND_TO_NEAREST_INT);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), h);
    }
    for (; i < n; ++i) {
        const __m128i h = _mm_cvtps_ph(_mm_set_ss(in[i]), _MM_FROUND_TO_NEAREST_INT);
        out[i] = static_cast<uint16_t>(_mm_extract_epi16(h, 0));
    }
}

__attribute__((target("avx,f16c"))) void HalvesToFloatsF16c(const uint16_t* in,
                                                            float* out, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8)
        _mm256_storeu_ps(
            out + i,
            _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i))));
    for (; i < n; ++i)
        out[i] = HalfToFloat(in[i]);
}
#endif

}  // namespace

bool HalfHardwareAvailable() {
#if LUMO_HALF_X86
    // F16C from CPUID directly: clang's __builtin_cpu_supports has no name
    // for it.
    static const bool available = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
        return __builtin_cpu_supports("avx") && (c & bit_F16C) != 0;
    }();
    return available;
#else
    return false;
#endif
}

void FloatsToHalves(const float* in, uint16_t* out, size_t n, bool hardware) {
#if LUMO_HALF_X86
    if (hardware && HalfHardwareAvailable()) {
        FloatsToHalvesF16c(in, out, n);
        return;
    }
#endif
    (void)hardware;
    for (size_t i = 0; i < n; ++i)
        out[i] = FloatToHalf(in[i]);
}

void HalvesToFloats(const uint16_t* in, float* out, size_t n, bool hardware) {
#if LUMO_HALF_X86
    if (hardware && HalfHardwareAvailable()) {
        HalvesToFloatsF16c(in, out, n);
        return;
    }
#endif
    (void)hardware;
    for (size_t i = 0; i < n; ++i)
        out[i] = HalfToFloat(in[i]);
}

}  // namespace lumo
