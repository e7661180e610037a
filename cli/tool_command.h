// One lumotool subcommand: its usage text and how it is parsed and run.
//
// lumotool's main parses the command line with CLI11. Each subcommand adds
// its options and positionals to its own CLI::App and returns the function
// that runs it once the whole line has parsed; that function returns the exit
// status (0 success, 1 a file or data error, which the readers report in their
// own words). Usage errors never reach it: main reports them with status 2.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace CLI {
class App;
}

namespace lumo::tool {

using Runner = std::function<int()>;

struct ToolCommand {
    std::string_view name;     // "info"
    std::string_view usage;    // "info [--json] SCENE.lid"
    std::string_view summary;  // one line for `lumotool help`
    std::string_view details;  // the rest of `lumotool NAME --help`
    Runner (*configure)(CLI::App& sub);
};

// Reports a usage error: the line "lumotool: WHAT" and the usage of `command`
// (or, without one, the hint to `lumotool help`) on standard error. Returns 2,
// the exit status of usage errors.
int ReportUsageError(const ToolCommand* command, const std::string& what);

// A usage error found after parsing (a malformed value), reported with the
// command's name before `what`.
int UsageError(const ToolCommand& command, const std::string& what);

const ToolCommand& InfoCommand();
const ToolCommand& RelightCommand();
const ToolCommand& PackCommand();
const ToolCommand& UnpackCommand();
const ToolCommand& BakeCommand();
const ToolCommand& FitCommand();
const ToolCommand& RenderCommand();
const ToolCommand& ImportCommand();
const ToolCommand& NormalsCommand();
const ToolCommand& CacheCommand();

}  // namespace lumo::tool
