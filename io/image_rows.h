// Reading a picture in strips of rows, so that many large pictures can be
// open at once without holding any of them whole (the fitter reads all of a
// camera's photographs side by side). Values are normalised as
// ReadImageFile normalises them (io/image_file.h): an 8-bit channel as
// value / 255, a 16-bit one as value / 65535, floating point as stored; rows
// run top first, the channels of a pixel interleaved.
//
// JPEG and PNG decode in order, so rows are read from the top down; asking
// for rows above the last ones read reopens the picture.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/status.h"

namespace lumo {

class ImageRowReader {
  public:
    ~ImageRowReader();
    ImageRowReader(const ImageRowReader&) = delete;
    ImageRowReader& operator=(const ImageRowReader&) = delete;

    // Opens `path` (its header only). Fails as ReadImageSize does:
    // "[ReadImage]: cannot read %s: %s\n".
    static Status Open(const std::string& path, std::unique_ptr<ImageRowReader>& out);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    int32_t channels() const { return channels_; }

    // Reads rows y0..y1 - 1 (0 <= y0 < y1 <= height) into `out`, which holds
    // (y1 - y0) * width * channels floats. Fails with "[ReadImage]: cannot
    // read %s: %s\n".
    Status ReadRows(int32_t y0, int32_t y1, float* out);

  private:
    struct Input;
    explicit ImageRowReader(std::string path);

    std::string path_;
    std::unique_ptr<Input> in_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t channels_ = 0;
    std::vector<unsigned char> raw_;
};

}  // namespace lumo
