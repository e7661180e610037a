// Runs the lumotool under test as a child process, for tests at the process
// boundary. The test's target defines LUMOTOOL_PATH (the built program).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tests/support/run_process.h"

#ifndef LUMOTOOL_PATH
#error "the test target defines LUMOTOOL_PATH, the lumotool under test"
#endif

namespace lumo::testing {

// lumotool with `args` in directory `cwd` (the current one when empty); a run
// still going after `timeout_seconds` is killed (see RunProcess).
inline ProcessResult Lumotool(const std::string& cwd, std::vector<std::string> args,
                              int timeout_seconds = 300) {
    args.insert(args.begin(), LUMOTOOL_PATH);
    return RunProcess(args, cwd, "", timeout_seconds);
}

}  // namespace lumo::testing
