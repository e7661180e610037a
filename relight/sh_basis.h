// The real spherical-harmonic basis and its process-wide tables.
//
// Coefficients and basis values are indexed by degree l (0..L-1 for L bands)
// and order m (-l..l) at l*l + l + m. The basis is the real one with the
// Condon-Shortley phase: negative orders carry sin(|m| phi), positive orders
// cos(m phi), and Y(l, m) = K(l, |m|) P(l, |m|)(cos theta) times that factor,
// where K(l, 0) = sqrt((2l + 1) / 4pi) and K(l, m > 0) is sqrt(2) times the
// usual orthonormal constant.
//
// InitCoeffArr builds the constant tables for L bands (recurrence factors and
// normalisation); EvalShBasis writes the basis for one direction into the
// caller's storage; EvalShPixel dots one pixel's coefficients with such a
// basis. The constant tables depend only on (l, m), never on L, so a larger
// table agrees with a smaller one on every shared entry. Nothing here holds a
// setting or a scratch of its own: how many terms a program applies belongs to
// its model (model/model.h, RelightSettings).
//
// Arithmetic is single precision, in the order the comments state. The basis
// recurrence (relight/sh_recurrence.h) is one template that the vectorised
// kernels instantiate on eight lanes, so they repeat exactly these operations;
// EvalShPixel's sum is repeated in relight/recon_sums.h, so change both
// together.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/status.h"
#include "scene/brdf_image.h"

namespace lumo {

// Bands whose normalisation stays finite: the float factorials reach 34!.
inline constexpr int32_t kMaxShBands = 18;

// Room for the basis of every band count the tables can be built for.
inline constexpr int32_t kMaxShTerms = kMaxShBands * kMaxShBands;

// The process-wide constant tables. Index (l, m) is l*l + l + m.
struct ShTables {
    int32_t L = 0;                     // bands the tables are built for
    std::vector<int32_t> ShIndexBase;  // L entries: l*l
    std::vector<float> C1;             // L entries: 1 - 2l
    std::vector<float> C2;             // L entries: 2l + 1
    std::vector<float> CC3;     // L*L: (2l - 1)/(l - m) for 0 <= m <= l - 2, else 0
    std::vector<float> CC4;     // L*L: (l + m - 1)/(l - m) for 0 <= m <= l - 2, else 0
    std::vector<float> ShNorm;  // L*L: K(l, m) for 0 <= m <= l, 0 at m < 0
};

// The process-wide instance.
ShTables& ShBasisTables();

// n! as a float, memoised for n < 50 in a process-wide table (entries 0 and 1
// preset to 1). A new value multiplies downwards from n until it meets a known
// entry. Returns 1 for n < 2.
float Factorial(int32_t n);

// Rebuilds every table for L bands (0 <= L <= kMaxShBands). Fails with
// "[InitCoeffArr]: No memory for C1, C2, CC3, CC4\n" when a table cannot be
// allocated or L is out of range.
Status InitCoeffArr(int32_t L);
// Rebuilds the tables for `bands` bands when they are built for fewer.
Status EnsureShBands(int32_t bands);

// Writes Y(l, m) for degrees 0..lmax into basis[0 .. (lmax + 1)^2 - 1] from
// cos theta (angle to the reference normal) and cos phi, sin phi (azimuth);
// touches nothing else, so several threads may call it at once. sin theta is
// sqrt(1 - cos^2 theta), taken as 0 where rounding makes the square negative.
// The tables must already be built for more than lmax bands (EnsureShBands);
// lmax < 0, or lmax beyond the tables, writes nothing.
void EvalShBasis(float cost, float cosp, float sinp, int32_t lmax, float* basis);

// The light a pixel transports for the direction whose basis is `basis`: 0 for
// a pixel without coefficients; otherwise the sum over the first `terms`
// indices (none for terms <= 0, at most basis.size()) of basis[i] * a[i], each
// product and the running sum rounded to float, then 0 if the sum is negative.
// The caller keeps `terms` within the pixel's image's
// BrdfImage::stored_terms(): a pixel never sums coefficients it does not store.
float EvalShPixel(std::span<const float> basis, const ShPixel& pixel, int32_t terms);

}  // namespace lumo
