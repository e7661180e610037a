// The picture formats lumotool writes (`--format png|ppm`), and writing one
// upright RGB picture in either.
#pragma once

#include <string>
#include <string_view>

#include "base/status.h"
#include "io/photo.h"

namespace lumo::tool {

enum class PictureFormat { kPpm, kPng };

// "png" or "ppm"; false for anything else.
bool ParsePictureFormat(std::string_view text, PictureFormat& format);
// The file name extension, without the dot.
const char* PictureExtension(PictureFormat format);

// Writes `photo` (rows bottom first, as the readers and the GL keep them) to
// `path` upright: binary PPM as WritePPMFile does, or an 8-bit RGB PNG of the
// same pixels.
Status WritePicture(const std::string& path, const Photo& photo, PictureFormat format);

}  // namespace lumo::tool
