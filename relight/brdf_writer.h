// Writing spherical-harmonic coefficient files (".urdf.sh").
//
// Code that has per-pixel coefficient vectors (a scene baker, a test) fills an
// ShCoeffImage pixel by pixel and writes it:
//
//   ShCoeffImage img(64, 64, /*lcnt=*/3);           // harcnt = 9
//   img.Set(0, x, y, red_coefficients);            // channel 0 = red
//   Status s = WriteBrdfFile("obj.0.0.urdf.sh", img);
//
// Pixels never Set stay absent in their channel. The file is exactly what
// ReadBrdfPath reads back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "base/status.h"
#include "relight/brdf_file.h"
#include "scene/brdf_image.h"

namespace lumo {

// One reference image's coefficients, dense: every pixel of every channel has
// room for harcnt floats and a present flag.
class ShCoeffImage {
  public:
    // An image whose pixels are all absent. harcnt < 0 means lcnt * lcnt.
    // Negative sizes count as 0.
    ShCoeffImage(int32_t width, int32_t height, int32_t lcnt, int32_t harcnt = -1);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    int32_t lcnt() const { return lcnt_; }
    int32_t harcnt() const { return harcnt_; }

    // Makes pixel (x, y) present in `channel` (0 red, 1 green, 2 blue) with the
    // given coefficients; fewer than harcnt values are padded with 0, more are
    // cut. Out-of-range channels or pixels are ignored.
    void Set(int channel, int32_t x, int32_t y, std::span<const float> coefficients);
    // Makes pixel (x, y) absent in `channel`.
    void Clear(int channel, int32_t x, int32_t y);

    bool Present(int channel, int32_t x, int32_t y) const;
    // The pixel's harcnt coefficients (zeros when absent).
    std::span<const float> Coefficients(int channel, int32_t x, int32_t y) const;

    // The file contents: bitmaps, counts and coefficient blocks in file order.
    BrdfFileData ToFileData() const;

  private:
    size_t Index(int32_t x, int32_t y) const {
        return static_cast<size_t>(y) * static_cast<size_t>(width_) +
               static_cast<size_t>(x);
    }
    bool Inside(int channel, int32_t x, int32_t y) const {
        return channel >= 0 && channel < 3 && x >= 0 && y >= 0 && x < width_ &&
               y < height_;
    }

    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t lcnt_ = 0;
    int32_t harcnt_ = 0;
    std::vector<uint8_t> present_[3];
    std::vector<float> coeff_[3];
};

// Writes `data` to `stream` as a coefficient file. Fails with
// "[WriteBrdfFile]: inconsistent coefficient data\n" when the bitmaps or
// blocks do not have the sizes the header fields give, or with
// "[WriteBrdfFile]: cannot write NAME: REASON\n" when the stream refuses the
// bytes (NAME is `name`, or "the stream" when it is empty).
Status WriteBrdfStream(std::FILE* stream, const BrdfFileData& data,
                       const std::string& name = "");

// Writes a coefficient file at `path` ("[WriteBrdfFile]: cannot create %s\n"
// when it cannot be created).
Status WriteBrdfFile(const char* path, const BrdfFileData& data);
Status WriteBrdfFile(const char* path, const ShCoeffImage& image);

// Builds the BrdfImage that reading the file written from `image` gives,
// without a file (same side effects on the basis tables and harmonic counts);
// with `half`, the one read with half-float coefficients.
Status BuildBrdfImage(const ShCoeffImage& image, BrdfImage& out, bool half = false);

}  // namespace lumo
