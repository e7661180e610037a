#include "io/dct_image.h"
#include "io/dct_pvt.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/alloc.h"
#include "base/fatal.h"
#include "io/checked_io.h"
#include "io/deflate_container.h"
#include "io/stream_bytes.h"
#include "io/text_line.h"

namespace lumo {
namespace {

constexpr const char* kSignature = "[DctImage::ReadDCTBits]: Signature not matching\n";
constexpr const char* kBadSize = "[DctImage::ReadDCTBits]: image size out of range\n";
constexpr const char* kBitmap = "[DctImage::ReadDCTBits]: Error writing bitmap\n";
constexpr const char* kCodebookShort =
    "[DctImage::ReadDCTBits]: Error reading codebook\n";
constexpr const char* kAltered = "[DctImage::ReadDCTBits]: The packedbit is altered!!\n";

// The line buffer of the stream's text lines holds 10000 characters.
constexpr TextLineOptions kDctLine{.max_chars = 9999, .drop_cr = false};

constexpr size_t kCoefficientsPerDot = 400000;

size_t Dots(size_t count, size_t per_dot) {
    return count == 0 ? 0 : (count - 1) / per_dot + 1;
}

}  // namespace

Status DctImage::ReadDCTBits(std::FILE* stream, const DctReadOptions& options) {
    std::string line;
    bool at_eof = false;
    if (!ReadTextLine(stream, kDctLine, line, at_eof) || line.compare(0, 3, "DCT") != 0)
        return Status::Error(kSignature);
    int w = 0, h = 0;
    if (!ReadTextLine(stream, kDctLine, line, at_eof) ||
        std::sscanf(line.c_str(), "%d %d", &w, &h) != 2 || w < 0 || h < 0)
        return Status::Error(kBadSize);
    const int64_t pw = int64_t{w} / 8 * 8 + (w % 8 != 0 ? 8 : 0);
    const int64_t ph = int64_t{h} / 8 * 8 + (h % 8 != 0 ? 8 : 0);
    if (pw > INT32_MAX || ph > INT32_MAX || pw * ph > options.max_pixels)
        return Status::Error(kBadSize);
    width = w;
    height = h;
    paddedWidth = static_cast<int32_t>(pw);
    paddedHeight = static_cast<int32_t>(ph);

    if (cp_fread(bitWidth, 4, 64, stream) != 64) return Status::Error(kBitmap);
    uint64_t entries = 0;
    for (int32_t bits : bitWidth) {
        if (bits < 0 || bits > 31) return Status::Error(kBitmap);
        entries += uint64_t{1} << bits;
    }
    // Every codebook entry must be in the file before it is allocated.
    const long left = StreamBytesLeft(stream);
    if (left >= 0 && 4 * entries > static_cast<uint64_t>(left))
        return Status::Error(kCodebookShort);
    try {
        codebook.assign(64, {});
    } catch (const std::exception&) {
        return Status::Error("[DctImage::ReadDCTBits]: No memory for codebook\n");
    }
    bitsPerBlock = 0;
    for (int k = 0; k < 64; ++k) {
        if (!TryAssign(codebook[k], size_t{1} << bitWidth[k]))
            return Status::Error("[DctImage::ReadDCTBits]: No memory for codebook[i]\n");
        bitsPerBlock += bitWidth[k];
    }
    for (int k = 0; k < 64; ++k) {
        if (cp_fread(codebook[k].data(), 4, codebook[k].size(), stream) !=
            codebook[k].size())
            return Status::Error(kCodebookShort);
    }

    if (Status s = ReadDeflateZip(stream, packed, packedSize, options.chunk_errors,
                                  options.threads);
        !s.ok())
        return s;
    const uint64_t across = static_cast<uint64_t>(pw) / 8;
    const uint64_t down = static_cast<uint64_t>(ph) / 8;
    const uint64_t expected = across * (static_cast<uint64_t>(bitsPerBlock) / 8) * down;
    if (packedSize != expected) return Status::Error(kAltered);
    // Room for every block's bits (those past the decoded bytes read as 0)
    // and for the 8-byte reads of the bit reader.
    const uint64_t needed = (across * down * static_cast<uint64_t>(bitsPerBlock) + 7) / 8;
    try {
        packed.resize(std::max<uint64_t>(needed, packedSize) + 8, uint8_t{0});
    } catch (const std::exception&) {
        return Status::Error("[ReadDeflateZip]: No memory for outbuf\n");
    }
    return Status::Ok();
}

Status DctImage::Read(std::FILE* stream, const DctReadOptions& options) {
    if (Status s = ReadDCTBits(stream, options); !s.ok()) return s;
    if (width != paddedWidth || height != paddedHeight) unpadded = false;
    ready = true;
    return Status::Ok();
}

void DctImage::ReadOrExit(std::FILE* stream) {
    DctReadOptions options;
    options.chunk_errors = WriteToStderr;
    FatalIfError(Read(stream, options));
}

std::string DctImage::ProgressText() const {
    const size_t n = static_cast<size_t>(std::max(paddedWidth, 0)) *
                     static_cast<size_t>(std::max(paddedHeight, 0));
    const size_t coefficient_dots = Dots(n, kCoefficientsPerDot);
    std::string text = "1";
    text.append(coefficient_dots, '.');
    text += "2";
    text.append(coefficient_dots, '.');
    text += "3";
    text.append(Dots(n / 64, kDctBlocksPerDot), '.');
    text += "4 ok\n";
    return text;
}

Status DctImage::UnPackBit(std::vector<int32_t>& index, const MessageSink& progress,
                           const MessageSink& warnings) const {
    if (bitsPerBlock % 8 != 0) Emit(warnings, kDctNotByteMultiple);
    const size_t n = static_cast<size_t>(paddedWidth) * static_cast<size_t>(paddedHeight);
    if (!TryAssign(index, n))
        return Status::Error("[DctImage::UnPackBit]: No memory for index\n");
    const uint64_t total_bits = uint64_t{packedSize} * 8;
    uint64_t bit = 0;
    for (size_t i = 0; i < n; ++i) {
        const int w = bitWidth[i % 64];
        uint32_t value = 0;
        for (int b = 0; b < w; ++b, ++bit) {
            const uint32_t next =
                bit < total_bits ? (packed[bit >> 3] >> (7 - (bit & 7))) & 1 : 0;
            value = value << 1 | next;
        }
        index[i] = static_cast<int32_t>(value);
        if (i % kCoefficientsPerDot == 0) Emit(progress, ".");
    }
    return Status::Ok();
}

Status DctImage::RecoverDCTCoeff(const std::vector<int32_t>& index,
                                 std::vector<float>& coeff,
                                 const MessageSink& progress) const {
    const size_t n = index.size();
    if (!TryAssign(coeff, n))
        return Status::Error("[DctImage::RecoverDCTCoeff]: No memory for dctcoeff\n");
    for (size_t i = 0; i < n; ++i) {
        coeff[i] = codebook[i % 64][static_cast<size_t>(index[i])];
        if (i % kCoefficientsPerDot == 0) Emit(progress, ".");
    }
    return Status::Ok();
}

Status DctImage::ImgDimAdjust(const std::vector<float>& padded,
                              std::vector<float>& out) const {
    const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
    if (!TryAssign(out, w * h)) return Status::Error(kDctNoCropped);
    if (width == paddedWidth) {
        std::copy(padded.begin(), padded.begin() + static_cast<ptrdiff_t>(w * h),
                  out.begin());
    } else {
        for (size_t y = 0; y < h; ++y)
            std::copy_n(padded.begin() + static_cast<ptrdiff_t>(y * paddedWidth), w,
                        out.begin() + static_cast<ptrdiff_t>(y * w));
    }
    return Status::Ok();
}

}  // namespace lumo
