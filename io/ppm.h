// Binary PPM images ("P6\n%d %d\n255\n", then rows of RGB bytes), the format
// of screen grabs and of the images lumotool writes.
#pragma once

#include <cstdio>
#include <string>

#include "base/status.h"
#include "io/photo.h"

namespace lumo {

// Writes `photo` as binary PPM to `stream`. With `upright` the photo's last
// row is written first (a photo's row 0 is the bottom row of the picture,
// as OpenGL reads frames and SGI files store them; PPM starts at the top),
// otherwise row 0 first, and flushed. Fails with "[WritePPM]: image without
// pixels\n" or "[WritePPM]: cannot write NAME: REASON\n" (NAME is `name`, or
// "the stream" when it is empty; REASON the system's words).
Status WritePPM(std::FILE* stream, const Photo& photo, bool upright,
                const std::string& name = "");

// WritePPM into the file `path`, atomically (an interrupted or failed write
// leaves the old file): "[WritePPM]: cannot open %s for writing\n" when the
// temporary cannot be made, "[WritePPM]: cannot write %s: REASON\n" when a
// write, the close or the rename fails or `path` is not a regular file.
Status WritePPMFile(const char* path, const Photo& photo, bool upright);

// Reads a binary PPM with a largest value of 255 (comments allowed in the
// header) into `photo`, the file's first row becoming row 0, or its last row
// with `upright` (the inverse of WritePPM). Window 0..width-1, 0..height-1.
// Fails with "[ReadPPM]: cannot open %s\n" or "[ReadPPM]: %s is not a binary
// PPM image\n".
Status ReadPPMFile(const char* path, Photo& photo, bool upright);

}  // namespace lumo
