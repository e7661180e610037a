// IEEE 754 half-precision floats (binary16) kept as their 16 bits.
//
// Rounding a float to half is round-to-nearest-even, with overflow to
// infinity, gradual underflow to the half subnormals, and not-a-number kept
// (quieted, its payload's top bits kept), exactly as the processor's F16C
// conversion does it; widening a half to float is exact. The bulk rounding
// uses F16C where the processor has it and the bit-exact portable code
// elsewhere, so the halves never depend on the machine.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace lumo {

// The half nearest to f (ties to even).
inline uint16_t FloatToHalf(float f) {
    const uint32_t x = std::bit_cast<uint32_t>(f);
    const uint16_t sign = static_cast<uint16_t>((x >> 16) & 0x8000u);
    const uint32_t exp = (x >> 23) & 0xFFu;
    const uint32_t mant = x & 0x7FFFFFu;
    if (exp == 0xFFu) {
        if (mant == 0) return static_cast<uint16_t>(sign | 0x7C00u);
        return static_cast<uint16_t>(sign | 0x7E00u | (mant >> 13));
    }
    // The value's exponent in the half's bias (15).
    const int32_t e = static_cast<int32_t>(exp) - 127 + 15;
    if (e >= 31) return static_cast<uint16_t>(sign | 0x7C00u);
    if (e <= 0) {
        // Subnormal half (or zero): the significand with its leading one,
        // shifted right by 14 - e places (24-bit significand to 10 bits at
        // exponent -14), rounded to nearest even.
        if (e < -10) return sign;  // below half the smallest subnormal
        const uint32_t m = mant | (exp != 0 ? 0x800000u : 0u);
        const uint32_t shift = static_cast<uint32_t>(14 - e);
        uint32_t h = m >> shift;
        const uint32_t rest = m & ((1u << shift) - 1u);
        const uint32_t halfway = 1u << (shift - 1);
        if (rest > halfway || (rest == halfway && (h & 1u) != 0)) ++h;
        return static_cast<uint16_t>(sign | h);
    }
    uint32_t h = (static_cast<uint32_t>(e) << 10) | (mant >> 13);
    const uint32_t rest = mant & 0x1FFFu;
    if (rest > 0x1000u || (rest == 0x1000u && (h & 1u) != 0)) ++h;  // may carry to inf
    return static_cast<uint16_t>(sign | h);
}

// The float equal to half h.
inline float HalfToFloat(uint16_t h) {
    const uint32_t sign = static_cast<uint32_t>(h & 0x8000u) << 16;
    const uint32_t exp = (h >> 10) & 0x1Fu;
    uint32_t mant = h & 0x3FFu;
    if (exp == 0x1Fu) return std::bit_cast<float>(sign | 0x7F800000u | (mant << 13));
    if (exp != 0) return std::bit_cast<float>(sign | ((exp + 112u) << 23) | (mant << 13));
    if (mant == 0) return std::bit_cast<float>(sign);
    // Subnormal: normalise.
    uint32_t e = 113;
    while ((mant & 0x400u) == 0) {
        mant <<= 1;
        --e;
    }
    return std::bit_cast<float>(sign | (e << 23) | ((mant & 0x3FFu) << 13));
}

// Whether this processor converts with F16C.
bool HalfHardwareAvailable();

// out[i] = FloatToHalf(in[i]) for i < n: with F16C when `hardware` and the
// processor has it, else with the portable code (the same halves).
void FloatsToHalves(const float* in, uint16_t* out, size_t n, bool hardware = true);

// out[i] = HalfToFloat(in[i]) for i < n: with F16C when `hardware` and the
// processor has it, else with the portable code (the same floats).
void HalvesToFloats(const uint16_t* in, float* out, size_t n, bool hardware = true);

}  // namespace lumo
