// The per-camera fit, streamed: the camera's photographs are read in strips
// of rows, all of them open at once; the fit matrix (fit/sh_fit.h) solved
// once for the camera is applied strip by strip, and each strip's
// coefficients go straight into the coefficient file (relight/
// brdf_stream_writer.h). Memory holds a strip of every photograph and its
// coefficients, not the pictures.
//
// The arithmetic does not depend on the strip height or the number of
// threads: the coefficient columns (column 3 * (y * width + x) + c for
// channel c of coefficient pixel (x, y), coefficient row 0 the picture's
// bottom row) are cut into fixed blocks of kFitBlock columns; each block's
// coefficients are one matrix product and its error sums one loop, whatever
// strip brought its values in, and the sums are added in block order at the
// end. A block that spans two strips waits, with the rows it needs, for the
// next strip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "base/status.h"
#include "fit/photo_rows.h"
#include "relight/brdf_stream_writer.h"

namespace lumo {

// Columns per matrix product.
inline constexpr size_t kFitBlock = 2048;

struct StripFitSetup {
    int bands = 0;
    int fitted = 0;  // photographs 0..fitted - 1 are fitted, the rest held out
    // N x T basis rows (row-major, fitted photographs first) and the T x
    // fitted fit matrix (column-major), as fit/sh_fit.h gives them.
    const std::vector<float>* basis = nullptr;
    const std::vector<float>* fit_matrix = nullptr;
    float mask_below = 0.0f;  // pixels never above this in any photograph are absent
    int threads = 0;          // 0: every core
    int strip_rows = 0;       // rows read at a time; 0: about 64 MiB of photographs
};

struct StripFitResult {
    double fit_squared = 0.0;   // over the fitted photographs, in 8-bit units
    double hold_squared = 0.0;  // over the held-out ones
    size_t present = 0;         // pixels with coefficients
};

// Called after each strip with the picture rows done so far.
using StripProgress = std::function<void(int32_t rows_done)>;

// Fits the photographs of `rows` (in the order of the setup's basis rows)
// into `out` (opened for rows->width() x height() and `bands`; not finished
// here). Fails with the reader's or writer's message.
Status FitStrips(const StripFitSetup& setup, PhotoRows& rows, BrdfStreamWriter& out,
                 const StripProgress& progress, StripFitResult& result);

}  // namespace lumo
