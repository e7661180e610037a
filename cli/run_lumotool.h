// lumotool's command line: the subcommand table, `help`, and the dispatch to
// the chosen subcommand.
#pragma once

namespace lumo::tool {

// Parses argv and runs the chosen subcommand; returns the exit status (0
// success, 1 a file or data error, 2 a usage error).
int RunLumotool(int argc, char** argv);

}  // namespace lumo::tool
