// What the viewer keeps beside the model: the scene file named on the command
// line and the main view's widget, and the checks every command makes before
// it touches a light.
#pragma once

#include <string>

#include "scene/model.h"

struct Togl;

namespace lumo {

// The scene file name, whole, as given on the command line.
void SetSceneFileName(const char* name);
const std::string& SceneFileName();

// The main view's widget once it has been created, else null.
Togl* MainViewTogl();
void SetMainViewTogl(Togl* togl);

// lightcnt kept within 0..MAX_LIGHTS (a script may write any integer to it);
// returns the number of lights in use.
int32_t LightsInUse(Model& model);

// The light being edited, or null when no light is in use or currlight does
// not name a light of the table.
LightSrc* CurrentLight(Model& model);

}  // namespace lumo
