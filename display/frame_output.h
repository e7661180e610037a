// Keeping what the main view shows: screen grabs (binary PPM, top row first)
// and a text dump of the current transformation ("transfrm.txt"), both
// written into the current directory.
#pragma once

#include <string>

#include "base/status.h"
#include "io/photo.h"
#include "model/model.h"

namespace lumo {

// Writes the main view's frame (window_width x window_height, read from the
// back buffer of the current context) to `path` as a PPM with the top row
// first, whole or not at all (a temporary file renamed). Prints the viewport
// and the window size on standard error. Fails with "[SaveRGBImage]: cannot
// write image file\n" when the file cannot be made, "Error writing ppm
// file\n" when it cannot be written (any earlier file at `path` is then as
// it was), or with the photo's allocation message.
Status SaveFramePpm(const MainView& view, const char* path);

// Reads the main view's frame (window_width x window_height) from the back
// buffer of the current context into `photo`, rows bottom first as the GL
// gives them. Fails with the photo's allocation message.
Status ReadMainFrame(const MainView& view, Photo& photo);

// Writes a frame read with ReadMainFrame to `path` as an 8-bit RGB PNG, top
// row first (turning `frame` upside down); the same pixels a grab writes.
// Fails with the image writer's message.
Status SaveFramePng(Photo& frame, const std::string& path);

// Writes the modelview and projection matrices, the viewport and the depth
// range to "transfrm.txt" (whole or not at all: a temporary file renamed)
// and clears dump_request. A file that cannot be written is reported and the
// request is dropped; the redraw goes on.
void WriteTransformDump(MainView& view);

// Waits until the GL has finished drawing, before a read-back.
void FinishFrame();

}  // namespace lumo
