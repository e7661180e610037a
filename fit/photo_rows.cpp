#include "fit/photo_rows.h"

#include "base/str_printf.h"
#include "io/image_file.h"

namespace lumo {
namespace {

class FilePhotoRows final : public PhotoRows {
  public:
    FilePhotoRows(int32_t width, int32_t height) : width_(width), height_(height) {}
    int32_t width() const override { return width_; }
    int32_t height() const override { return height_; }
    size_t count() const override { return readers_.size(); }

    Status Read(size_t k, int32_t y0, int32_t y1, float* rgb) override {
        Status s = ReadRgb(k, y0, y1, rgb);
        if (!s.ok()) return s;
        // One value that is not a number would turn its camera's errors to NaN
        // (only pictures of floats can hold one).
        if (readers_[k].integer_samples()) return Status::Ok();
        NonFiniteValue bad;
        const size_t n = static_cast<size_t>(y1 - y0) * static_cast<size_t>(width_) * 3;
        if (FindNonFinite(std::span<const float>(rgb, n), width_, 3, y0, bad)) {
            return Status::Error(StrPrintf(
                "[FitCapture]: %s: the value at x %d, y %d is not a finite number\n",
                paths_[k].c_str(), bad.x, bad.y));
        }
        return Status::Ok();
    }

    std::vector<ImageReader> readers_;
    std::vector<std::string> paths_;

  private:
    Status ReadRgb(size_t k, int32_t y0, int32_t y1, float* rgb) {
        ImageReader& r = readers_[k];
        const size_t ch = static_cast<size_t>(r.size().channels);
        const size_t n = static_cast<size_t>(y1 - y0) * static_cast<size_t>(width_);
        if (ch == 3) return r.ReadRows(y0, y1, rgb);
        // One strip buffer per thread, reused from photograph to photograph.
        thread_local std::vector<float> raw;
        raw.resize(n * ch);
        const Status s = r.ReadRows(y0, y1, raw.data());
        if (!s.ok()) return s;
        const float* in = raw.data();
        for (size_t i = 0; i < n; ++i, in += ch, rgb += 3) {
            rgb[0] = in[0];
            rgb[1] = in[ch >= 3 ? 1 : 0];
            rgb[2] = in[ch >= 3 ? 2 : 0];
        }
        return Status::Ok();
    }

    int32_t width_;
    int32_t height_;
};

}  // namespace

Status OpenPhotoRows(const std::vector<std::string>& paths, int32_t width, int32_t height,
                     std::unique_ptr<PhotoRows>& out) {
    auto rows = std::make_unique<FilePhotoRows>(width, height);
    for (const std::string& path : paths) {
        ImageReader r;
        Status s = r.Open(path);
        if (!s.ok()) return s;
        if (r.size().width != width || r.size().height != height) {
            return Status::Error(
                StrPrintf("[FitCapture]: %s is %d x %d, the capture's photographs "
                          "are %d x %d\n",
                          path.c_str(), r.size().width, r.size().height, width, height));
        }
        rows->readers_.push_back(std::move(r));
        rows->paths_.push_back(path);
    }
    out = std::move(rows);
    return Status::Ok();
}

}  // namespace lumo
