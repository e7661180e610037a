// What `lumotool info` prints about a scene description: JSON whose member
// names are the records' field names, or a text summary for people.
#pragma once

#include <string>

#include "scene/lid_info.h"

namespace lumo::tool {

// One JSON object, indented, ending with a line feed.
std::string SceneInfoJson(const LidInfo& info);

// A readable summary of the scene; `path` names it in the first line.
std::string SceneInfoText(const LidInfo& info, const std::string& path);

}  // namespace lumo::tool
