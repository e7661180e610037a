#include "base/half_float.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace lumo {
namespace {

uint32_t Bits(float f) {
    return std::bit_cast<uint32_t>(f);
}
float FromBits(uint32_t b) {
    return std::bit_cast<float>(b);
}

TEST(HalfFloat, RoundsKnownValues) {
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float in;
        uint16_t half;
    };
    const Case cases[] = {
        {0.0f, 0x0000},
        {-0.0f, 0x8000},
        {1.0f, 0x3C00},
        {-2.0f, 0xC000},
        {65504.0f, 0x7BFF},   // largest half
        {65520.0f, 0x7C00},   // halfway to the next: ties to even, infinity
        {65519.99f, 0x7BFF},  // just below the halfway point
        {1e10f, 0x7C00},      // overflow
        {inf, 0x7C00},
        {-inf, 0xFC00},
        {1.0f + 1.0f / 2048, 0x3C00},        // tie between 0x3C00 and 0x3C01: even
        {1.0f + 3.0f / 2048, 0x3C02},        // tie between 0x3C01 and 0x3C02: even
        {std::ldexp(1.0f, -24), 0x0001},     // smallest subnormal
        {std::ldexp(1.0f, -25), 0x0000},     // its half: tie to even zero
        {std::ldexp(1.5f, -25), 0x0001},     // above the tie
        {std::ldexp(3.0f, -25), 0x0002},     // 1.5 subnormal units: tie to even 2
        {std::ldexp(1.0f, -14), 0x0400},     // smallest normal
        {std::ldexp(1023.5f, -24), 0x0400},  // rounds up into the normals
        {std::numeric_limits<float>::denorm_min(), 0x0000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.half, FloatToHalf(c.in)) << c.in;
        uint16_t bulk = 0;
        FloatsToHalves(&c.in, &bulk, 1);
        EXPECT_EQ(c.half, bulk) << c.in;
    }
    // Not-a-number stays one, quiet, with the payload's top bits.
    EXPECT_EQ(0x7E00, FloatToHalf(FromBits(0x7FC00000u)));
    EXPECT_EQ(0xFE00 | 0x155, FloatToHalf(FromBits(0xFFC00000u | (0x155u << 13))));
    EXPECT_EQ(0x7E01, FloatToHalf(FromBits(0x7F802000u)));  // signalling: quieted
}

// Every half widens exactly and rounds back to itself (not-a-number to its
// quiet form).
TEST(HalfFloat, WideningIsExactForEveryHalf) {
    for (uint32_t h = 0; h < 0x10000u; ++h) {
        const float f = HalfToFloat(static_cast<uint16_t>(h));
        const bool nan = (h & 0x7C00u) == 0x7C00u && (h & 0x3FFu) != 0;
        if (nan) {
            EXPECT_TRUE(std::isnan(f)) << h;
            EXPECT_EQ(h | 0x200u, FloatToHalf(f)) << h;
            continue;
        }
        EXPECT_EQ(h, FloatToHalf(f)) << h;
        if ((h & 0x7FFFu) != 0 && (h & 0x7C00u) != 0x7C00u) {
            // The value itself: (-1)^s * 2^(e - 15) * (1 + m / 1024), or the subnormal.
            const int e = static_cast<int>((h >> 10) & 0x1F);
            const double m = h & 0x3FF;
            const double v =
                e == 0 ? std::ldexp(m, -24) : std::ldexp(1.0 + m / 1024.0, e - 15);
            EXPECT_EQ((h & 0x8000u) ? -v : v, static_cast<double>(f)) << h;
        }
    }
}

// The portable rounding gives the processor's halves: at every rounding
// boundary of every half (the midpoint and its neighbours) and over a sweep
// of all float exponents.
TEST(HalfFloat, PortableMatchesHardware) {
    if (!HalfHardwareAvailable()) GTEST_SKIP() << "no F16C on this processor";
    std::vector<float> in;
    for (uint32_t h = 0; h < 0x7C00u; ++h) {
        const uint32_t lo = Bits(HalfToFloat(static_cast<uint16_t>(h)));
        const uint32_t hi = Bits(HalfToFloat(static_cast<uint16_t>(h + 1)));
        const uint32_t mid = lo + (hi - lo) / 2;
        for (uint32_t b : {lo, lo + 1, mid - 1, mid, mid + 1, hi - 1}) {
            in.push_back(FromBits(b));
            in.push_back(FromBits(b | 0x80000000u));
        }
    }
    for (uint64_t b = 0; b < 0x100000000ull; b += 0x3F1Bull)
        in.push_back(FromBits(static_cast<uint32_t>(b)));
    std::vector<uint16_t> hw(in.size()), sw(in.size());
    FloatsToHalves(in.data(), hw.data(), in.size(), true);
    FloatsToHalves(in.data(), sw.data(), in.size(), false);
    size_t differ = 0;
    for (size_t i = 0; i < in.size(); ++i) {
        if (hw[i] != sw[i] && ++differ < 10)
            ADD_FAILURE() << std::hex << Bits(in[i]) << ": F16C " << hw[i]
                          << ", portable " << sw[i];
    }
    EXPECT_EQ(0u, differ);
}

}  // namespace
}  // namespace lumo
