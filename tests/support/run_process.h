// Runs a program and collects what it wrote and how it ended, for tests at
// the process boundary (exact messages and exit statuses).
#pragma once

#include <string>
#include <vector>

namespace lumo::testing {

struct ProcessResult {
    int exit_code = -1;  // the exit status, or 128 + signal number
    std::string out;     // standard output
    std::string err;     // standard error
};

// Runs `argv` (argv[0] is the program's path) in directory `cwd` (the current
// one when empty), with `input` on standard input. A program still running
// after `timeout_seconds` (0: no limit) is killed: its exit code is then
// 128 + SIGKILL and "[killed after the timeout]" ends its standard error.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::string& cwd = "", const std::string& input = "",
                         int timeout_seconds = 0);

}  // namespace lumo::testing
