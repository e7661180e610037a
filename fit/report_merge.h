// Joining the report parts of a sharded fit ("fit-report.I-J.json", one per
// `--cameras I-J` run) into the report one run over every camera writes.
#pragma once

#include <string>

#include "base/status.h"
#include "fit/capture.h"

namespace lumo {

// Reads every "fit-report.I-J.json" in `outdir`, checks that together they
// cover each camera of `capture` exactly once and agree on the fit's
// settings, and writes "fit-report.json" (under a temporary name, renamed
// when complete): the cameras in index order and the overall figures pooled
// from their squared errors. Failures: "[MergeFitReports]: %s: %s\n" with the
// part and the reason, or with the folder and "no report parts", "camera %d
// is in no part", "camera %d is in two parts".
Status MergeFitReports(const Capture& capture, const std::string& outdir);

}  // namespace lumo
