// What the viewer keeps beside the model: the scene file named on the command
// line and the main view's widget.
#pragma once

#include <string>

struct Togl;

namespace lumo {

// The scene file name, whole, as given on the command line.
void SetSceneFileName(const char* name);
const std::string& SceneFileName();

// The main view's widget once it has been created, else null.
Togl* MainViewTogl();
void SetMainViewTogl(Togl* togl);

}  // namespace lumo
