// The fit as it was before it streamed: every photograph of a camera decoded
// whole into one matrix, the coefficients of all pixels kept in memory and
// the coefficient file written at the end. Kept only as the reference the
// streaming fit (fit/strip_fit.h) is checked against, byte for byte; it
// takes the options as given (bands and holdout fixed, nothing chosen).
#pragma once

#include <string>

#include "base/status.h"
#include "fit/capture.h"
#include "fit/fit_capture.h"

namespace lumo::testing {

// FitCapture's files and summary for captures that fit in memory, from the
// whole-image path: NAME.A.B.urdf.sh per camera, NAME.lid and the report.
Status WholeImageFitCapture(const Capture& capture, const std::string& outdir,
                            const FitOptions& options, const MessageSink& progress,
                            FitSummary& summary);

}  // namespace lumo::testing
