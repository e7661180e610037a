// The lights a subcommand takes: `--light SPEC`... or `--rig FILE`.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/tool_command.h"
#include "model/light_rig.h"

namespace lumo::tool {

// Reads the lights of `command`'s line into `rig`: every `--light` text, or
// the rig file. Returns 0, or the exit status after reporting: 2 for a usage
// error (both forms, more than 30 lights, a malformed SPEC), 1 for a rig
// that cannot be read or a file a light names that cannot be read
// ("lumotool: NAME: --light 'SPEC': WHAT", WHAT naming the file). `rig` is
// left empty when neither form is given. Each environment map is read once,
// however many lights name it; the maps read are kept in `maps` (when
// given), so that a path read with the same cache does not read them again.
int ReadLightArgs(const ToolCommand& command, const std::vector<std::string>& lights,
                  const std::string& rig_path, std::optional<LightRig>& rig,
                  MapFileCache* maps = nullptr);

}  // namespace lumo::tool
