// sin(acos(c)) of float lanes, bit for bit as LightAngles' scalar library
// calls std::sin(std::acos(c)) (acosf, then sinf) on this system, without a
// library call per lane.
//
// The arccosine is the C library's own single-precision algorithm (glibc's
// acosf, Sun's fdlibm one: "Developed at SunPro, a Sun Microsystems, Inc.
// business. Permission to use, copy, modify, and distribute this software is
// freely granted, provided that this notice is preserved."), operation for
// operation in float lanes: the same constants, the same IEEE operations in
// the same order, so the same bits. That is not the correctly rounded
// arccosine: it is one ulp off for about 1 input in 400.
//
// The sine of that float angle is evaluated in double, far more accurately
// than a float ulp (a relative error below 1e-15), and rounded to float.
// sinf is not correctly rounded either, but its result differs from the
// correctly rounded one only where the exact sine lies within a small part
// of an ulp of a rounding boundary; a lane whose double sine lies within
// kSineMarginUlps of one takes the library's sinf instead.
//
// bench/arccos_sine_check.cpp runs both against the library for every float
// in -1..1 (the clamped dot products LightAngles takes); ArccosSineLanesExact
// makes a quick check of the same on first use, so that a C library whose
// functions are not these keeps its own calls (AnglesLanes asks it).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "relight/lane_types.h"

namespace lumo::kernels {

// Whether the lanes give this C library's bits on a table of telling
// inputs (checked once, on first use: a few milliseconds).
bool ArccosSineLanesExact();

// The arccosine's constants (fdlibm's single-precision ones), as bits.
struct ArccosConstants {
    static constexpr uint32_t kPi = 0x40490fda;
    static constexpr uint32_t kTwoPio2Lo = 0x34222168;
    static constexpr uint32_t kPio2Hi = 0x3fc90fda;
    static constexpr uint32_t kPio2Lo = 0x33a22168;
    static constexpr uint32_t kP[6] = {0x3e2aaaab, 0xbea6b090, 0x3e4e0aa8,
                                       0xbd241146, 0x3a4f7f04, 0x3811ef08};
    static constexpr uint32_t kQ[4] = {0xc019d139, 0x4001572d, 0xbf303361, 0x3d9dc62e};
};

// A float from its bits.
constexpr float FloatBits(uint32_t u) {
    return __builtin_bit_cast(float, u);
}

// How close to a rounding boundary, in ulps of the result, the sine's lanes
// take sinf: glibc's sinf differs from the correctly rounded sine only within
// 0.061 ulp of one (bench/arccos_sine_check.cpp).
constexpr double kSineMarginUlps = 5.0 / 64;

// acosf(x) on every lane whose x is in -1..1 (other lanes: unspecified).
template <class V>
LUMO_KERNEL void ArccosLanes(const V& x, V& out) {
    using I = typename LaneTraits<V>::Int;
    using K = ArccosConstants;
    I hx;
    std::memcpy(&hx, &x, sizeof hx);
    const I ix = hx & 0x7fffffff;
    V ax;
    std::memcpy(&ax, &ix, sizeof ax);
    const I small = ix < 0x3f000000;  // |x| < 0.5
    // |x| < 0.5: z = x * x; otherwise (1 - |x|) * 0.5, which is the library's
    // (1 - x) * 0.5 for x > 0 and (x + 1) * 0.5 for x < 0 (the same sums).
    const V z = small ? x * x : (1.0f - ax) * 0.5f;
    V p = z * FloatBits(K::kP[5]);
    for (int k = 4; k >= 0; --k)
        p = (p + FloatBits(K::kP[k])) * z;
    V q = z * FloatBits(K::kQ[3]);
    for (int k = 2; k >= 0; --k)
        q = (q + FloatBits(K::kQ[k])) * z;
    q = q + 1.0f;
    const V r = p / q;
    const float pio2_hi = FloatBits(K::kPio2Hi);
    const float pio2_lo = FloatBits(K::kPio2Lo);
    // |x| < 0.5.
    const V near_zero = pio2_hi - (x - (pio2_lo - x * r));
    // |x| >= 0.5: s = sqrt(z).
    V s = z;
    SqrtLanes(s);
    // x < -0.5.
    const V w_neg = r * s - pio2_lo;
    const V sw = w_neg + s;
    const V negative = FloatBits(K::kPi) - (sw + sw);
    // x > 0.5: df is s with its low 12 bits cleared.
    I is;
    std::memcpy(&is, &s, sizeof is);
    is &= static_cast<int32_t>(0xfffff000u);
    V df;
    std::memcpy(&df, &is, sizeof df);
    const V c = (z - df * df) / (s + df);
    const V dw = (r * s + c) + df;
    const V positive = dw + dw;
    V result = small ? near_zero : (hx < 0 ? negative : positive);
    // |x| <= 2^-26, and |x| = 1.
    const V tiny = V{} + (pio2_hi + pio2_lo);
    const V minus_one = V{} + (FloatBits(K::kPi) + FloatBits(K::kTwoPio2Lo));
    result = ix <= 0x32800000 ? tiny : result;
    result = ix == 0x3f800000 ? (hx < 0 ? minus_one : V{}) : result;
    out = result;
}

// sin(phi) of float angles phi in 0..pi + 1e-7 (the arccosine's range) in
// double, and the lanes whose result lies within kSineMarginUlps of a float
// rounding boundary (the others are the correctly rounded float sine).
template <class V>
LUMO_KERNEL void SineLanes(const V& phi, V& out, uint32_t& unsure) {
    using D = typename LaneTraits<V>::Double;
    // sin(y) = y + y^3 S(y^2) on 0..pi/2, S fitted to a relative error below
    // 2e-16; above pi/2, sin(phi) = sin(pi - phi), with pi - phi exact in
    // two parts.
    constexpr double kS[7] = {
        -0.1666666666666664803499493,   0.008333333333325932676491115,
        -0.000198412698364690249235395, 2.755731805568578425403267e-6,
        -2.505197292154555159068497e-8, 1.605097224413563477517781e-10,
        -7.408054889542609856792673e-13};
    constexpr double kPiHi = 3.141592653589793116;
    constexpr double kPiLo = 1.2246467991473532e-16;
    const D a = __builtin_convertvector(phi, D);
    const D y = a <= 1.5707963267948966 ? a : (kPiHi - a) + kPiLo;
    const D u = y * y;
    D poly = u * kS[6];
    for (int k = 5; k >= 0; --k)
        poly = (poly + kS[k]) * u;
    const D sine = y + y * poly;
    out = __builtin_convertvector(sine, V);
    // The result's ulp: 2^-23 of the power of two below it (0 for 0).
    using I = typename LaneTraits<V>::Int;
    I bits;
    std::memcpy(&bits, &out, sizeof bits);
    bits &= 0x7f800000;
    V power;
    std::memcpy(&power, &bits, sizeof power);
    const D room = __builtin_convertvector(power, D) * (kSineMarginUlps * 0x1p-23);
    const V lo = __builtin_convertvector(sine - room, V);
    const V hi = __builtin_convertvector(sine + room, V);
    const auto differ = lo != hi;
    unsure = 0;
    for (int lane = 0; lane < kLanesOf<V>; ++lane) {
        if (differ[lane]) unsure |= 1u << lane;
    }
}

// sinf(acosf(c)) on the lanes in `lanes` (the others: unspecified), the
// library's own calls for a lane whose c is outside -1..1 (not a number) and
// for one whose sine SineLanes is unsure of.
template <class V>
LUMO_KERNEL void ArccosSineLanes(const V& c, uint32_t lanes, V& out) {
    V phi;
    ArccosLanes(c, phi);
    uint32_t unsure = 0;
    SineLanes(phi, out, unsure);
    const auto inside = (c >= -1.0f) & (c <= 1.0f);
    for (int lane = 0; lane < kLanesOf<V>; ++lane) {
        if (!inside[lane]) unsure |= 1u << lane;
    }
    unsure &= lanes;
    if (unsure == 0) return;
    float o[kLanesOf<V>];
    std::memcpy(o, &out, sizeof o);
    while (unsure != 0) {
        const int lane = __builtin_ctz(unsure);
        unsure &= unsure - 1;
        o[lane] = inside[lane] ? std::sin(phi[lane]) : std::sin(std::acos(c[lane]));
    }
    std::memcpy(&out, o, sizeof out);
}

}  // namespace lumo::kernels
