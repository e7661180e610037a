// The main view's frame: its OpenGL state, its size and the drawing of the
// relit light field under the current view rotation and zoom.
//
// Drawing shows the model as it is: the caller steers the lights and
// reconstructs the reference images first (the viewer's display callback,
// lumotool render). In centre mode with a QR grid and several lights, each
// light is drawn as its own pass and the passes add up; the sum of all lights
// but the one being edited is kept as an image, so that editing one light
// redraws only that light.
#pragma once

#include <cstdint>

#include "base/message_sink.h"
#include "base/status.h"
#include "display/slab_textures.h"
#include "model/model.h"

namespace lumo {

// The main view's vertical field of view in degrees (its projection is square:
// a non-square window stretches it); the eye looks at the origin from
// (0, 0, kMainViewEyeDistance).
inline constexpr double kMainViewFovYDegrees = 3.0;
inline constexpr double kMainViewEyeDistance = 30.0;

// OpenGL state of the main view, set once when it is created.
void InitGLState(Model& model);
// Sets the GL state of the current drawslabmode and clears the frame buffer.
void ApplyDrawSlabMode(const Options& options);
// The view's new size: the window fields, the "window size : W x H" line to
// `out` (standard output unless told), the viewport and the multi-light cache (emptied).
// Fails with "No memory for string memory allocation\n" when the cache cannot be
// allocated.
Status ResizeMainFrame(MainView& view, int32_t width, int32_t height,
                       const MessageSink& out = WriteToStdout);
// Draws the current frame into the back buffer (everything a redisplay does
// but the swap and the frame-rate meter), with the view's texture table, and
// writes "transfrm.txt" when the view asks for it. Changes only the view's
// drawing state (the multi-light cache), never the lights or the images.
// Fails with the slab geometry's message (slab/slab_geometry.h) when a slab's
// per-frame geometry cannot be allocated; the frame is then incomplete.
Status DrawMainFrame(Model& model, SlabTextures& textures);
// The inspection magnification at which the first visible slab's images
// show one image pixel per window pixel along their rows, under the current
// context's projection and the view's turn and zoom; 0 when no image is in
// front of the eye.
float ActualPixelsScale(const Model& model);
// Hands the frame's drawing commands to the GL before a swap.
void FlushFrame();

}  // namespace lumo
