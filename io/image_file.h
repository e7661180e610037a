// Picture files in the common interchange formats, through OpenImageIO: PNG
// (8 and 16 bit), JPEG, TIFF, OpenEXR and Radiance HDR are read; 8-bit PNG is
// written. This is the program's one wrapper around an image library: photo
// captures, rendered frames and environment maps all go through it.
//
// OpenImageIO is the field's standard image library: one dependency gives
// every format above, with one API and well-tested decoders.
//
// Values are normalised to floats as the fitter and the renderers want them:
// an 8-bit channel as value / 255, a 16-bit channel as value / 65535, floating
// point as stored. Rows run top first (row 0 is the picture's top row), the
// channels of a pixel interleaved.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/status.h"

namespace lumo {

struct FloatImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;
    std::vector<float> pixels;  // width * height * channels, top row first

    // Channel c of pixel (x, y) (y counted from the top).
    float At(int32_t x, int32_t y, int32_t c) const {
        return pixels[(static_cast<size_t>(y) * static_cast<size_t>(width) +
                       static_cast<size_t>(x)) *
                          static_cast<size_t>(channels) +
                      static_cast<size_t>(c)];
    }
};

// The size of a picture as its header gives it, without decoding the pixels.
struct ImageSize {
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;
};

// Reads the header of `path`. Fails with "[ReadImage]: cannot read %s: %s\n"
// (the file and the reason, on one line: "no such file" when it does not
// exist, else the library's words).
Status ReadImageSize(const std::string& path, ImageSize& size);

// Reads the first subimage of `path` into `image`, normalised as above.
// Fails as ReadImageSize does.
Status ReadImageFile(const std::string& path, FloatImage& image);

// Pictures held in memory (a JPEG stream inside another file): `name` says
// which file and where in it, for messages, and its extension which format
// the bytes are ("plane3.jpg"). DecodeImageSize reads only the header.
// Failures: "[ReadImage]: cannot read %s: %s\n" with `name`.
Status DecodeImageSize(std::span<const uint8_t> bytes, const std::string& name,
                       ImageSize& size);
Status DecodeImageBytes(std::span<const uint8_t> bytes, const std::string& name,
                        FloatImage& image);

// How WriteImageFile stores values.
enum class ImageBits {
    k8,      // 8-bit unsigned: round(clamp(v, 0, 1) * 255)
    k16,     // 16-bit unsigned: round(clamp(v, 0, 1) * 65535)
    kFloat,  // 32-bit float (formats that have it: OpenEXR, TIFF, HDR)
};

// Writes `image` (rows top first) to `path` in the format its extension
// names, with `bits` per channel. Fails with "[WriteImage]: cannot write %s:
// %s\n".
Status WriteImageFile(const std::string& path, const FloatImage& image, ImageBits bits);

// Encodes `image` as WriteImageFile would write it to a file named `name`
// (whose extension gives the format), into `bytes`; `quality` (1..100) is the
// JPEG quality where it applies, 0 the library's default.
Status EncodeImageBytes(const FloatImage& image, ImageBits bits, const std::string& name,
                        std::vector<uint8_t>& bytes, int quality = 0);

// Writes an 8-bit PNG of `width` x `height` pixels of `channels` (1 grey, 3
// RGB, 4 RGBA) bytes each, rows top first. Fails with
// "[WriteImage]: cannot write %s: %s\n".
Status WritePng8(const std::string& path, int32_t width, int32_t height, int32_t channels,
                 std::span<const uint8_t> pixels);

}  // namespace lumo
