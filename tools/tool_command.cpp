#include "tools/tool_command.h"

#include <cstdio>

namespace lumo::tool {

int UsageError(const ToolCommand& command, const std::string& what) {
    std::fprintf(stderr, "lumotool: %.*s: %s\nusage: lumotool %.*s\n",
                 static_cast<int>(command.name.size()), command.name.data(), what.c_str(),
                 static_cast<int>(command.usage.size()), command.usage.data());
    return 2;
}

}  // namespace lumo::tool
