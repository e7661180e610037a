// Where the model writes what it reports while it works: model set-up (the
// files it reads, the coefficient files' headers), the reconstruction's lines
// and the depth maps' reports.
//
// The viewer keeps the standard streams. `lumotool ... --quiet` empties `out`
// and `reports`: nothing then reaches standard output, and standard error
// carries only warnings and the errors that end a command (those are returned
// as a Status or end the program; they never pass through here).
#pragma once

#include "base/message_sink.h"

namespace lumo {

struct ModelConsole {
    // The console lines on standard output: reference image names, the
    // coefficient files' header lines, "Reconstructing image ...", the windows.
    MessageSink out = WriteToStdout;
    // Reports on standard error that are no fault: "Reading BRDF file ...",
    // depth-map headers, matrices and depth ranges.
    MessageSink reports = WriteToStderr;
    // Something the user should know that does not stop the work (a depth map
    // that is missing); repeated warnings are said once with a count.
    MessageSink warnings = WriteToStderr;

    // Silences `out` and `reports`.
    void Quiet() {
        out = {};
        reports = {};
    }
};

}  // namespace lumo
