#include "cli/tool_command.h"

#include <cstdio>

namespace lumo::tool {

int ReportUsageError(const ToolCommand* command, const std::string& what) {
    std::fprintf(stderr, "lumotool: %s\n", what.c_str());
    if (command != nullptr) {
        std::fprintf(stderr, "usage: lumotool %.*s\n",
                     static_cast<int>(command->usage.size()), command->usage.data());
    } else {
        std::fprintf(stderr,
                     "usage: lumotool SUBCOMMAND [ARGS...]; see 'lumotool help'\n");
    }
    return 2;
}

int UsageError(const ToolCommand& command, const std::string& what) {
    return ReportUsageError(&command, std::string(command.name) + ": " + what);
}

}  // namespace lumo::tool
