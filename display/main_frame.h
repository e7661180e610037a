// The main view's frame: its OpenGL state, its size and the drawing of the
// relit light field under the current view rotation and zoom.
//
// Every frame reconstructs the reference images first when a light change
// asked for it. In centre mode with a QR grid and several lights, each light
// is drawn as its own pass and the passes add up; the sum of all lights but
// the one being edited is kept as an image, so that editing one light redraws
// only that light.
#pragma once

#include <cstdint>

#include "display/slab_textures.h"
#include "model/model.h"

namespace lumo {

// OpenGL state of the main view, set once when it is created.
void InitGLState(Model& model);
// Sets the GL state of the current drawslabmode and clears the frame buffer.
void ApplyDrawSlabMode(const Options& options);
// The view's new size: the window fields, the "window size : W x H" line on
// standard output, the viewport and the multi-light cache (emptied).
void ResizeMainFrame(MainView& view, int32_t width, int32_t height);
// Draws the current frame into the back buffer (everything a redisplay does
// but the swap and the frame-rate meter), with the view's texture table. A
// requested reconstruction runs first, with the current light's arcball
// updated and the light following it.
void DrawMainFrame(Model& model, SlabTextures& textures);
// Hands the frame's drawing commands to the GL before a swap.
void FlushFrame();

}  // namespace lumo
