#include "cli/light_args.h"

#include <cstdio>

#include "base/str_printf.h"
#include "model/light_spec.h"

namespace lumo::tool {

int ReadLightArgs(const ToolCommand& command, const std::vector<std::string>& lights,
                  const std::string& rig_path, std::optional<LightRig>& rig,
                  MapFileCache* maps) {
    rig.reset();
    MapFileCache own;  // several --light flags naming one map read it once
    if (maps == nullptr) maps = &own;
    if (!rig_path.empty() && !lights.empty())
        return UsageError(command, "give --light or --rig, not both");
    if (lights.size() > static_cast<size_t>(MAX_LIGHTS))
        return UsageError(command, StrPrintf("at most %d lights", MAX_LIGHTS));
    if (!rig_path.empty()) {
        rig.emplace();
        if (Status s = ReadLightRig(rig_path, *rig, maps); !s.ok()) {
            std::fputs(s.message().c_str(), stderr);
            return 1;
        }
        return 0;
    }
    if (lights.empty()) return 0;
    rig.emplace();
    rig->lights.resize(lights.size());
    for (size_t i = 0; i < lights.size(); ++i) {
        std::string error;
        if (!ParseLightSpec(lights[i], rig->lights[i], error))
            return UsageError(command, "--light '" + lights[i] + "': " + error);
    }
    for (size_t i = 0; i < lights.size(); ++i) {
        if (Status s = ResolveLightSpec(rig->lights[i], maps); !s.ok()) {
            std::string line = "lumotool: ";
            line += command.name;
            line += ": --light '";
            line += lights[i];
            line += "': ";
            line += s.message();
            line += '\n';
            std::fputs(line.c_str(), stderr);
            return 1;
        }
    }
    return 0;
}

}  // namespace lumo::tool
