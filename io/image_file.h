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
//
// The library lives in a module of its own, loaded the first time a picture is
// read or written (io/image_module_loader.h says where it is looked for); a
// module that cannot be loaded fails that read or write with the usual line.
//
// Hostile files: only regular files are opened (a directory, FIFO, device or
// socket is refused, without blocking and without reading it), and a header
// claiming more than a picture may hold, or more than its file's bytes can
// hold, is refused before any pixel is decoded (io/image_limits.h). Pixels
// decode in strips, so memory is committed only as they arrive. Running out of
// memory is a failure naming the file, never an exception.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
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
// exist, "not a regular file (a FIFO)" and the like, the refusals of
// io/image_limits.h, else the library's words).
Status ReadImageSize(const std::string& path, ImageSize& size);

// Reads the first subimage of `path` into `image`, normalised as above.
// Fails as ReadImageSize does.
Status ReadImageFile(const std::string& path, FloatImage& image);

// An open picture read in strips of rows, so that memory does not grow with
// the picture: several may be open at once (one per photograph of a camera),
// each holding the decoder's state and at most a row of tiles.
class ImageReader {
  public:
    ImageReader();
    ~ImageReader();
    ImageReader(ImageReader&&) noexcept;
    ImageReader& operator=(ImageReader&&) noexcept;

    // Opens `path` and checks its header. Fails as ReadImageSize does.
    Status Open(const std::string& path);
    // The same for a picture held in memory: `name` gives its format by its
    // extension (as a file name would) and names it in messages; `bytes` must
    // outlive the reader.
    Status OpenBytes(const std::string& name, std::span<const uint8_t> bytes);
    bool is_open() const;
    // The open picture's size (zero when none is open).
    const ImageSize& size() const;
    // Whether the open picture stores 8- or 16-bit integers (every value
    // ReadRows gives is then finite).
    bool integer_samples() const;
    // Reads rows [y0, y1) (0 <= y0 <= y1 <= height) into `out`, width *
    // channels * (y1 - y0) floats normalised as ReadImageFile's, the same
    // values it gives. Top to bottom, each row decodes once; a row above the
    // last one read decodes the picture again from its start. Fails with
    // "[ReadImage]: cannot read %s: %s\n".
    Status ReadRows(int32_t y0, int32_t y1, float* out);
    void Close();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Reads `path` top to bottom in strips of `strip_rows` rows (the last may be
// shorter), handing each to `consume` with its first row, its row count and
// its values as ImageReader::ReadRows gives them, without holding more than a
// strip: for consumers that fold a picture as it decodes (an environment
// map's projection). Stops at the first failure, of the reading or of
// `consume`, and returns it.
using ImageStripConsumer = std::function<Status(
    const ImageSize& size, int32_t y0, int32_t rows, std::span<const float> values)>;
Status ReadImageStrips(const std::string& path, int32_t strip_rows,
                       const ImageStripConsumer& consume);

// Where a picture holds a NaN or an infinite value; callers that cannot use
// such values refuse the picture naming this place.
struct NonFiniteValue {
    int32_t x = 0;
    int32_t y = 0;  // counted from the top, as rows are
    int32_t channel = 0;
    float value = 0.0f;
};

// The first non-finite value, in row order, of rows of `width` pixels of
// `channels` values whose first row is row `y0`; false when all are finite.
bool FindNonFinite(std::span<const float> rows, int32_t width, int32_t channels,
                   int32_t y0, NonFiniteValue& found);
bool FindNonFinite(const FloatImage& image, NonFiniteValue& found);

// How WriteImageFile stores values.
enum class ImageBits {
    k8,      // 8-bit unsigned: round(clamp(v, 0, 1) * 255)
    k16,     // 16-bit unsigned: round(clamp(v, 0, 1) * 65535)
    kFloat,  // 32-bit float (formats that have it: OpenEXR, TIFF, HDR)
};

// Writes `image` (rows top first) to `path` in the format its extension
// names, with `bits` per channel; `tile` > 0 stores square tiles of that size
// where the format has tiles (TIFF, OpenEXR). Fails with "[WriteImage]:
// cannot write %s: %s\n".
Status WriteImageFile(const std::string& path, const FloatImage& image, ImageBits bits,
                      int32_t tile = 0);

// Pictures held in memory (a JPEG stream inside another file): `name` says
// which file and where in it, for messages, and its extension which format
// the bytes are ("plane3.jpg"). DecodeImageSize reads only the header.
// Checked as files are; failures: "[ReadImage]: cannot read %s: %s\n" with
// `name`.
Status DecodeImageSize(std::span<const uint8_t> bytes, const std::string& name,
                       ImageSize& size);
Status DecodeImageBytes(std::span<const uint8_t> bytes, const std::string& name,
                        FloatImage& image);

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
