// The spherical-harmonic basis recurrence, written once for one direction
// (float) and for 8 or 16 directions at a time (kernels::V8, kernels::V16).
//
// EvalShBasis instantiates it on float; the reconstruction's tile kernels on
// V8. Every lane does exactly the scalar operations in the same order (no
// reassociation, no fused multiply-add: the build has -ffp-contract=off), so
// both give the same bits for the same direction. A scalar in a vector
// expression stands for that value in every lane.
#pragma once

#include <cmath>
#include <cstdint>

#include "relight/lane_types.h"
#include "relight/sh_basis.h"

namespace lumo {
namespace sh_recurrence {

// v in every lane.
LUMO_KERNEL void Splat(float& out, float v) {
    out = v;
}
LUMO_KERNEL void Splat(kernels::V8& out, float v) {
    kernels::Broadcast(out, v);
}
LUMO_KERNEL void Splat(kernels::V16& out, float v) {
    kernels::Broadcast(out, v);
}

// sin theta = sqrt(1 - x^2), 0 where rounding made the square negative.
LUMO_KERNEL void SinTheta(const float& x, float& s) {
    const float ss = 1.0f - x * x;
    s = ss > 0.0f ? std::sqrt(ss) : 0.0f;
}
template <class V>
LUMO_KERNEL void SinTheta(const V& x, V& s) {
    const V ss = 1.0f - x * x;
    s = ss > 0.0f ? ss : V{};
    kernels::SqrtLanes(s);
}

}  // namespace sh_recurrence

// Y(l, m) for degrees 0..lmax of the direction(s) x = cos theta, cosp, sinp,
// from the constant tables t (built for more than lmax bands). The scratch
// cosm, sinm (lmax + 1 entries, element 0 untouched) and P ((lmax + 1)^2) and
// the result Y ((lmax + 1)^2) are the caller's. T is float, kernels::V8 or
// kernels::V16.
template <class T>
LUMO_KERNEL void ShBasisRecurrence(const ShTables& t, const T& x, const T& cosp,
                                   const T& sinp, int32_t lmax, T* cosm, T* sinm, T* P,
                                   T* Y) {
    // Multiple angles by recurrence: no trigonometric call.
    if (lmax >= 1) {
        cosm[1] = cosp;
        sinm[1] = sinp;
    }
    for (int32_t m = 2; m <= lmax; ++m) {
        const int32_t h = m / 2;
        if (m % 2 == 1) {
            cosm[m] = cosm[h] * cosm[h + 1] - sinm[h] * sinm[h + 1];
            sinm[m] = cosm[h] * sinm[h + 1] + sinm[h] * cosm[h + 1];
        } else {
            cosm[m] = cosm[h] * cosm[h] - sinm[h] * sinm[h];
            sinm[m] = 2.0f * cosm[h] * sinm[h];
        }
    }

    // Associated Legendre values, Condon-Shortley phase included.
    T s;
    sh_recurrence::SinTheta(x, s);
    sh_recurrence::Splat(P[0], 1.0f);
    for (int32_t l = 1; l <= lmax; ++l) {
        for (int32_t m = 0; m <= l; ++m) {
            const int32_t i = l * l + l + m;
            if (m == l) {
                P[i] = t.C1[l] * s * P[(l - 1) * (l - 1) + 2 * (l - 1)];
            } else if (l == m + 1) {
                P[i] = x * t.C2[m] * P[m * m + 2 * m];
            } else {
                P[i] = x * t.CC3[i] * P[(l - 1) * (l - 1) + (l - 1) + m] -
                       t.CC4[i] * P[(l - 2) * (l - 2) + (l - 2) + m];
            }
        }
    }

    // The basis: sin for negative orders, cos for positive ones.
    for (int32_t l = 0; l <= lmax; ++l) {
        const int32_t c = l * l + l;
        for (int32_t m = 1; m <= l; ++m)
            Y[c - m] = sinm[m] * t.ShNorm[c + m] * P[c + m];
        Y[c] = t.ShNorm[c] * P[c];
        for (int32_t m = 1; m <= l; ++m)
            Y[c + m] = cosm[m] * t.ShNorm[c + m] * P[c + m];
    }
}

}  // namespace lumo
