#include "cli/picture_format.h"

#include <cstring>
#include <vector>

#include "io/image_file.h"
#include "io/ppm.h"

namespace lumo::tool {

bool ParsePictureFormat(std::string_view text, PictureFormat& format) {
    if (text == "png") {
        format = PictureFormat::kPng;
    } else if (text == "ppm") {
        format = PictureFormat::kPpm;
    } else {
        return false;
    }
    return true;
}

const char* PictureExtension(PictureFormat format) {
    return format == PictureFormat::kPng ? "png" : "ppm";
}

Status WritePicture(const std::string& path, const Photo& photo, PictureFormat format) {
    if (format == PictureFormat::kPpm) return WritePPMFile(path.c_str(), photo, true);
    if (!photo.has_pixels()) return Status::Error("[WritePPM]: image without pixels\n");
    const size_t row = static_cast<size_t>(photo.width) * 3;
    const size_t rows = static_cast<size_t>(photo.height);
    std::vector<uint8_t> top_first(row * rows);
    for (size_t r = 0; r < rows; ++r)
        std::memcpy(&top_first[r * row], &photo.pixels[(rows - 1 - r) * row], row);
    return WritePng8(path, photo.width, photo.height, 3, top_first);
}

}  // namespace lumo::tool
