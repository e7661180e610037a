// Writing a coefficient file (".urdf.sh", relight/brdf_file.h) piece by
// piece, for coefficients that never fit in memory at once: a fitter hands
// over rows of pixels in any order, and the file is complete after Finish.
//
//   BrdfStreamWriter w;
//   Status s = w.Open(path, width, height, lcnt);
//   s = w.WriteRows(channel, y0, y1, coefficients, present);  // any order
//   s = w.Finish();
//
// Layout: where a channel's block starts depends on how many pixels of the
// channels before it are present, which is known only at the end. The file is
// therefore laid out as if every pixel were present (each pixel's vector at
// a fixed place, so rows go straight to their place); Finish writes the
// bitmaps and, only when some pixel is absent, compacts the blocks in place
// (one pass reading forwards and writing behind the read) and rewrites the
// header with the real counts, then cuts the file to its length. A file
// whose pixels are all present is written once; the bytes are always those
// WriteBrdfFile writes for the same coefficients.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"

namespace lumo {

class BrdfStreamWriter {
  public:
    BrdfStreamWriter() = default;
    ~BrdfStreamWriter();
    BrdfStreamWriter(const BrdfStreamWriter&) = delete;
    BrdfStreamWriter& operator=(const BrdfStreamWriter&) = delete;

    // Creates `path` for a width x height image of lcnt bands (lcnt^2 floats
    // per pixel). Fails with "[WriteBrdfFile]: cannot create %s\n".
    Status Open(const std::string& path, int32_t width, int32_t height, int32_t lcnt);

    // Rows y0..y1 - 1 of `channel`: `coefficients` holds (y1 - y0) * width
    // vectors of harcnt floats in pixel order, `present` one flag per pixel
    // (the vectors of absent pixels are not kept). Calls for different
    // channels may run at once on different threads. Fails with
    // "[WriteBrdfFile]: cannot write\n".
    Status WriteRows(int channel, int32_t y0, int32_t y1, const float* coefficients,
                     const uint8_t* present);

    // Writes the bitmaps, compacts the blocks when a pixel is absent and
    // closes the file. Fails with "[WriteBrdfFile]: cannot write\n".
    Status Finish();

    int32_t harcnt() const { return harcnt_; }
    // Present pixels written so far in `channel`.
    int64_t count(int channel) const { return count_[channel]; }

  private:
    std::string Header(const int64_t counts[3]) const;
    uint64_t FullOffset(int channel, uint64_t pixel) const;

    int fd_ = -1;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t lcnt_ = 0;
    int32_t harcnt_ = 0;
    uint64_t pixels_ = 0;
    uint64_t data_start_ = 0;  // the first block's offset in the full layout
    std::vector<uint8_t> bitmap_[3];
    int64_t count_[3] = {0, 0, 0};
    std::vector<uint8_t> scratch_[3];  // per channel
};

}  // namespace lumo
