// Writing a file under a temporary name and renaming it when complete, for
// the outputs of `lumotool import` and `lumotool normals`: an interrupted or
// failed run never leaves a partial file under a final name.
#pragma once

#include <functional>
#include <string>

#include "base/status.h"

namespace lumo {

// Calls `write` with a temporary name beside `path` (".part" before the
// extension: "normals.0.0.part.png", whose end still names the format), then
// renames that file to `path`. On a failure of either step the temporary
// file is removed; a failed rename gives "[%s]: cannot write %s\n" with
// `who` and `path`.
Status PublishFile(const std::string& path, const char* who,
                   const std::function<Status(const std::string& tmp)>& write);

// PublishFile of `text` ("[%s]: cannot write %s\n" when it cannot be written).
Status PublishText(const std::string& path, const char* who, const std::string& text);

}  // namespace lumo
