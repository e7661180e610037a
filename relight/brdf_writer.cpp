#include "relight/brdf_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "base/file_ptr.h"
#include "base/str_printf.h"
#include "io/checked_io.h"

namespace lumo {
namespace {

// "[WriteBrdfFile]: cannot write NAME: REASON\n" for a write the stream refused.
Status BrdfWriteFailed(const std::string& name, int error) {
    return Status::Error(StrPrintf("[WriteBrdfFile]: cannot write %s: %s\n",
                                   name.empty() ? "the stream" : name.c_str(),
                                   error != 0 ? std::strerror(error) : "write error"));
}

}  // namespace

ShCoeffImage::ShCoeffImage(int32_t width, int32_t height, int32_t lcnt, int32_t harcnt)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      lcnt_(lcnt),
      harcnt_(harcnt < 0 ? std::max(lcnt, 0) * std::max(lcnt, 0) : harcnt) {
    const size_t pixels = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    for (int ch = 0; ch < 3; ++ch) {
        present_[ch].assign(pixels, 0);
        coeff_[ch].assign(pixels * static_cast<size_t>(harcnt_), 0.0f);
    }
}

void ShCoeffImage::Set(int channel, int32_t x, int32_t y,
                       std::span<const float> coefficients) {
    if (!Inside(channel, x, y)) return;
    const size_t e = Index(x, y);
    float* dst = coeff_[channel].data() + e * static_cast<size_t>(harcnt_);
    const size_t n = std::min(coefficients.size(), static_cast<size_t>(harcnt_));
    std::copy_n(coefficients.begin(), n, dst);
    std::fill(dst + n, dst + harcnt_, 0.0f);
    present_[channel][e] = 1;
}

void ShCoeffImage::Clear(int channel, int32_t x, int32_t y) {
    if (!Inside(channel, x, y)) return;
    const size_t e = Index(x, y);
    present_[channel][e] = 0;
    float* dst = coeff_[channel].data() + e * static_cast<size_t>(harcnt_);
    std::fill(dst, dst + harcnt_, 0.0f);
}

bool ShCoeffImage::Present(int channel, int32_t x, int32_t y) const {
    return Inside(channel, x, y) && present_[channel][Index(x, y)] != 0;
}

std::span<const float> ShCoeffImage::Coefficients(int channel, int32_t x,
                                                  int32_t y) const {
    if (!Inside(channel, x, y)) return {};
    return std::span<const float>(coeff_[channel])
        .subspan(Index(x, y) * static_cast<size_t>(harcnt_),
                 static_cast<size_t>(harcnt_));
}

BrdfFileData ShCoeffImage::ToFileData() const {
    BrdfFileData data;
    data.width = width_;
    data.height = height_;
    data.lcnt = lcnt_;
    data.harcnt = harcnt_;
    const size_t B = data.BitmapBytes();
    const size_t pixels = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    for (int ch = 0; ch < 3; ++ch) {
        data.bitmap[ch].assign(B, 0);
        for (size_t e = 0; e < pixels; ++e) {
            if (!present_[ch][e]) continue;
            data.bitmap[ch][e / 8] |= static_cast<uint8_t>(0x80u >> (e % 8));
            const float* src = coeff_[ch].data() + e * static_cast<size_t>(harcnt_);
            data.CC[ch].insert(data.CC[ch].end(), src, src + harcnt_);
            ++data.count[ch];
        }
    }
    return data;
}

Status WriteBrdfStream(std::FILE* stream, const BrdfFileData& data,
                       const std::string& name) {
    const size_t B = data.BitmapBytes();
    for (int ch = 0; ch < 3; ++ch) {
        if (B == 0 || data.harcnt < 0 || data.count[ch] < 0 ||
            data.bitmap[ch].size() != B ||
            data.CC[ch].size() !=
                static_cast<size_t>(data.harcnt) * static_cast<size_t>(data.count[ch]))
            return Status::Error("[WriteBrdfFile]: inconsistent coefficient data\n");
    }
    const auto write_error = [&name] { return BrdfWriteFailed(name, errno); };
    if (std::fprintf(stream, "BRDF\n%d %d %d %d\n%d %d %d\n", data.width, data.height,
                     data.lcnt, data.harcnt, data.count[0], data.count[1],
                     data.count[2]) < 0)
        return write_error();
    for (int ch = 0; ch < 3; ++ch) {
        if (std::fwrite(data.bitmap[ch].data(), 1, B, stream) != B) return write_error();
    }
    for (int ch = 0; ch < 3; ++ch) {
        std::vector<float> block = data.CC[ch];  // cp_fwrite swaps in place
        if (!block.empty() &&
            cp_fwrite(block.data(), 4, block.size(), stream) != block.size())
            return write_error();
    }
    return std::fflush(stream) == 0 ? Status::Ok() : write_error();
}

Status WriteBrdfFile(const char* path, const BrdfFileData& data) {
    FilePtr file = OpenFile(path, "wb");
    if (!file)
        return Status::Error(std::string("[WriteBrdfFile]: cannot create ") + path +
                             "\n");
    Status s = WriteBrdfStream(file.get(), data, path);
    if (!s.ok()) return s;
    if (std::fclose(file.release()) != 0) return BrdfWriteFailed(path, errno);
    return Status::Ok();
}

Status WriteBrdfFile(const char* path, const ShCoeffImage& image) {
    return WriteBrdfFile(path, image.ToFileData());
}

Status BuildBrdfImage(const ShCoeffImage& image, BrdfImage& out, bool half) {
    return AssembleBrdfImage(image.ToFileData(), out, half);
}

}  // namespace lumo
