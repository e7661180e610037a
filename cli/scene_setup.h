// Model set-up for a subcommand: the viewer's set-up, and a hint after a data
// file that cannot be found.
#pragma once

#include <string>

#include "base/status.h"
#include "model/model.h"

namespace lumo::tool {

// The set-up's failure message, then, when it is about a data file the scene
// names that cannot be opened (a coefficient file, an image set), the line
// "lumotool: data files are found from the current folder (CWD)\n", which
// adds ", not from the scene's (DIR): run lumotool from DIR" when `scene`
// lies in another folder.
std::string ModelFailureText(const Status& failure, const std::string& scene,
                             const std::string& cwd);

// InitModel; a failure ends the program with ModelFailureText on standard
// error and status 1.
void InitModelOrExitWithHint(Model& model, const std::string& scene);

}  // namespace lumo::tool
