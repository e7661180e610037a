// What the viewer keeps beside the model: the scene file named on the command
// line, the main view's widget and the texture objects of its context.
#pragma once

#include <string>

#include "display/slab_textures.h"

struct Togl;

namespace lumo {

// The scene file name, whole, as given on the command line.
void SetSceneFileName(const char* name);
const std::string& SceneFileName();

// The main view's widget once it has been created, else null.
Togl* MainViewTogl();
void SetMainViewTogl(Togl* togl);

// The main view's texture table (its GL context's texture objects).
SlabTextures& MainViewTextures();

}  // namespace lumo
