// `lumotool fit`: photographs under known lights become a relightable slab.
//
// For every camera of the capture (or of a shard of it) the photographs are
// decoded into one matrix (one row per photograph, one column per pixel and
// channel), the fit matrix of fit/sh_fit.h is solved once for the camera's
// light directions and applied to all columns as one matrix product, and the
// coefficients are written as "NAME.A.B.urdf.sh". Then "NAME.lid" and the
// report are written. Every file is written under a temporary name and
// renamed when complete.
//
// Rows: a picture's top row is the image plane's last row (coefficient row
// H - 1), so that relighting, which writes its images upright, gives the
// picture back in its own orientation.
//
// Memory: one camera's photographs (N x W x H x 3 floats) plus its
// coefficients. The result is the same bytes for any number of threads: the
// product runs over fixed blocks of columns, each block one matrix product.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "base/message_sink.h"
#include "base/status.h"
#include "fit/capture.h"
#include "fit/sh_fit.h"

namespace lumo {

struct FitOptions {
    int bands = 0;  // 0: chosen by held-out error (fit/band_choice.h)
    // Tikhonov weight of the smoothness penalty (fit/sh_fit.h). On the demo
    // captured with 64 lights per camera at 4 bands, 1e-4 gives the best
    // held-out error of a dome (29.9 dB, against 29.2 dB without a penalty and
    // 28.4 dB at 1e-3) and changes a full sphere's by under 0.01 dB.
    // Negative: chosen with the bands when they are, else kDefaultFitLambda.
    double lambda = -1.0;
    // Photographs per camera left out of the fit and measured; negative: one
    // in ten (fit/holdout.h).
    int holdout = -1;
    std::string name = "scene";  // base name of the files written
    int first_camera = 0;        // the row-major range of cameras fitted
    int last_camera = -1;        // -1: the last camera
    float mask_below = 0.0f;     // pixels never above this (0..1 scale) stay absent
    int threads = 0;             // 0: every core
    int strip_rows = 0;          // picture rows read at a time; 0: automatic
};

// What one run fitted, for the summary line.
struct FitSummary {
    int cameras = 0;
    int photographs = 0;  // over the cameras fitted
    int width = 0;
    int height = 0;
    double fit_rms = 0.0, fit_psnr = 0.0;
    double holdout_rms = 0.0, holdout_psnr = 0.0;  // 0 when nothing is held out
    bool held_out = false;
    int bands = 0;        // as fitted (chosen or given)
    double lambda = 0.0;  // as fitted
    std::string choice;   // why these bands, when they were chosen
    std::string warning;  // one line (with its line feed) or empty
    std::string report;   // the report's path
};

// The report's file name: "fit-report.json", or "fit-report.I-J.json" for a
// run over cameras I..J of a larger capture.
std::string FitReportName(const Capture& capture, const FitOptions& options);

// Fits `capture` into `outdir` (created if missing), reporting progress
// lines to `progress`. Everything is checked before anything is written: the
// light-position files, the photographs' headers (present, readable, all one
// size), the counts against the bands and the holdout, and that `outdir`
// takes files. Messages name the file: the readers' messages, "[FitCapture]:
// %s is %d x %d, the capture's photographs are %d x %d\n", "[FitCapture]:
// %s: %d photographs, %d held out, leave fewer than the %d coefficients of
// %d bands\n", "[FitCapture]: cameras %d-%d outside the capture's %d
// cameras\n", "[FitCapture]: cannot write into %s\n". The new files are
// written into a staging folder in `outdir` and moved to their names only
// when all are written, NAME.lid last (the old one removed before the first
// move): a failure leaves no file of this run under its final name and an
// earlier fit in `outdir` as it was, and a run killed while moving leaves no
// scene description rather than one naming old and new files.
Status FitCapture(const Capture& capture, const std::string& outdir,
                  const FitOptions& options, const MessageSink& progress,
                  FitSummary& summary);

}  // namespace lumo
