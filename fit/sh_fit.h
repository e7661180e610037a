// The least-squares fit of a pixel's spherical-harmonic coefficients to its
// values under known lights.
//
// All pixels of one camera share the light directions, so the fit is one
// linear map: with B the N x T matrix of the engine's basis functions at the
// N directions (T = L^2 for L bands, the normalisation the reconstruction
// uses, without its clamp), a pixel's coefficients are
//
//     c = (B^T B / N + lambda D)^-1 B^T v / N,
//
// v the pixel's N values and D the diagonal l (l + 1) of each coefficient's
// degree l. The penalty is a smoothness prior: it leaves the constant term
// alone and damps a degree the more it oscillates, so a capture whose lights
// cover only part of the sphere (the upper hemisphere of a dome) does not
// send the unconstrained combinations of high degrees to large values.
// Dividing by N makes lambda independent of the number of photographs.
#pragma once

#include <vector>

#include "base/status.h"
#include "scene/slab_record.h"

namespace lumo {

// The default lambda (FitOptions in fit/fit_capture.h gives the figures
// behind it).
inline constexpr double kDefaultFitLambda = 1e-4;

// The basis at each unit direction towards a light, given in the slab frame
// (x along s, y along t, z along n): row k of the N x T result (row-major)
// holds Y_i at direction k, measured against the frame of `record` as the
// reconstruction measures a light and evaluated as the engine evaluates it.
// Builds the engine's basis tables for `bands` bands when needed; call it
// from one thread.
std::vector<float> BasisRows(const SlabRecord& record,
                             const std::vector<const double*>& directions, int bands);

// The T x N fit matrix (column-major: entry (i, k) at k * T + i) that maps N
// values to T coefficients, from the N x T basis rows. Fails with
// "[FitCapture]: the light directions do not determine %d bands; raise
// --lambda\n" when the normal equations are singular (the fitter adds the
// light-position file's name before the line feed).
Status SolveFit(const std::vector<float>& basis, int count, int bands, double lambda,
                std::vector<float>& fit_matrix);

}  // namespace lumo
