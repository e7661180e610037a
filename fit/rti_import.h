// `lumotool import`: a PTM, HSH or plane-set picture becomes a relightable
// 1 x 1 slab with the geometry of a single-camera fit (fit/capture.h).
//
// The source's model (fit/rti_model.h) is projected onto the engine's basis
// by least squares over a dense set of directions of the upper hemisphere:
// with S the N x K source functions and B the N x T engine basis at those
// directions, P = (B^T B)^-1 B^T S (fit/sh_fit.h's solver, no penalty) maps
// a pixel's K source coefficients to its T = L^2 engine coefficients, one
// matrix for every pixel. A PTM (a biquadratic in the direction's x and y)
// lies in the span of three bands, so from three bands up the projection is
// exact and relights as the PTM evaluates (to the byte, as for `fit`, half a
// byte is added to the constant term so that the engine's truncation
// rounds). The conversion error reported is the RMS over the hemisphere's
// directions and every pixel and channel of the source model minus the
// projected one, in the 8-bit scale: with R = S - B P and G = R^T R / N, a
// pixel's mean squared error is a^T G a, computed exactly for each pixel.
#pragma once

#include <string>

#include "base/message_sink.h"
#include "base/status.h"

namespace lumo {

struct ImportOptions {
    int bands = 4;
    std::string name = "scene";  // base name of the files written
    int directions = 4096;       // of the upper hemisphere, for the projection
};

struct ImportSummary {
    std::string kind;  // the source's format
    int width = 0;
    int height = 0;
    double rms = 0.0;   // conversion error, 8-bit scale
    double psnr = 0.0;  // its PSNR
    std::string report;
};

// The report's name in OUTDIR.
inline constexpr const char* kImportReportName = "import-report.json";

// Converts `source` into `outdir` (created if missing): NAME.lid,
// NAME.0.0.urdf.sh and import-report.json, each written under a temporary
// name and renamed when complete. The source is read whole before anything is
// written; on any failure no file of this run is left (and `outdir` is
// removed again when this run created it). Messages are the readers' (one
// line naming the file), "[ImportRti]: %d bands cannot be fitted over the
// hemisphere\n" and "[ImportRti]: cannot write %s\n". `progress` gets one
// line before the conversion.
Status ImportRti(const std::string& source, const std::string& outdir,
                 const ImportOptions& options, const MessageSink& progress,
                 ImportSummary& summary);

}  // namespace lumo
