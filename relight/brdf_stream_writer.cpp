#include "relight/brdf_stream_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include "base/str_printf.h"

namespace lumo {
namespace {

Status WriteError() {
    return Status::Error("[WriteBrdfFile]: cannot write\n");
}

bool WriteAt(int fd, const void* data, size_t size, uint64_t offset) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

bool ReadAt(int fd, void* data, size_t size, uint64_t offset) {
    auto* p = static_cast<unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::pread(fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {  // a hole at the end: the vectors never written
            std::memset(p, 0, size);
            return true;
        }
        p += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

// Big-endian IEEE floats, as the file stores them.
void ToBigEndian(const float* in, size_t count, unsigned char* out) {
    for (size_t i = 0; i < count; ++i) {
        uint32_t v;
        std::memcpy(&v, in + i, 4);
        if constexpr (std::endian::native == std::endian::little)
            v = __builtin_bswap32(v);
        std::memcpy(out + 4 * i, &v, 4);
    }
}

}  // namespace

BrdfStreamWriter::~BrdfStreamWriter() {
    if (fd_ >= 0) ::close(fd_);
}

std::string BrdfStreamWriter::Header(const int64_t counts[3]) const {
    return StrPrintf("BRDF\n%d %d %d %d\n%lld %lld %lld\n", width_, height_, lcnt_,
                     harcnt_, static_cast<long long>(counts[0]),
                     static_cast<long long>(counts[1]),
                     static_cast<long long>(counts[2]));
}

uint64_t BrdfStreamWriter::FullOffset(int channel, uint64_t pixel) const {
    return data_start_ + (static_cast<uint64_t>(channel) * pixels_ + pixel) *
                             static_cast<uint64_t>(harcnt_) * 4u;
}

Status BrdfStreamWriter::Open(const std::string& path, int32_t width, int32_t height,
                              int32_t lcnt) {
    width_ = width;
    height_ = height;
    lcnt_ = lcnt;
    harcnt_ = lcnt * lcnt;
    pixels_ = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) return Status::Error("[WriteBrdfFile]: cannot create " + path + "\n");
    const size_t bitmap_bytes = static_cast<size_t>(pixels_ / 8 + 1);
    for (auto& b : bitmap_)
        b.assign(bitmap_bytes, 0);
    const int64_t all = static_cast<int64_t>(pixels_);
    const int64_t full[3] = {all, all, all};
    const std::string header = Header(full);
    data_start_ = header.size() + 3 * bitmap_bytes;
    if (!WriteAt(fd_, header.data(), header.size(), 0)) return WriteError();
    return Status::Ok();
}

Status BrdfStreamWriter::WriteRows(int channel, int32_t y0, int32_t y1,
                                   const float* coefficients, const uint8_t* present) {
    if (fd_ < 0 || channel < 0 || channel > 2 || y0 < 0 || y1 > height_ || y0 > y1)
        return WriteError();
    const uint64_t first = static_cast<uint64_t>(y0) * static_cast<uint64_t>(width_);
    const size_t n = static_cast<size_t>(y1 - y0) * static_cast<size_t>(width_);
    const size_t floats = n * static_cast<size_t>(harcnt_);
    std::vector<uint8_t>& scratch = scratch_[channel];
    scratch.resize(floats * 4);
    ToBigEndian(coefficients, floats, scratch.data());
    if (!WriteAt(fd_, scratch.data(), scratch.size(), FullOffset(channel, first)))
        return WriteError();
    std::vector<uint8_t>& bits = bitmap_[channel];
    for (size_t i = 0; i < n; ++i) {
        if (!present[i]) continue;
        const uint64_t e = first + i;
        const uint8_t bit = static_cast<uint8_t>(0x80u >> (e % 8));
        if ((bits[e / 8] & bit) == 0) ++count_[channel];
        bits[e / 8] |= bit;
    }
    return Status::Ok();
}

Status BrdfStreamWriter::Finish() {
    if (fd_ < 0) return WriteError();
    const size_t bitmap_bytes = bitmap_[0].size();
    const std::string header = Header(count_);
    uint64_t end = data_start_ + 3 * pixels_ * static_cast<uint64_t>(harcnt_) * 4u;
    const bool compact = count_[0] != static_cast<int64_t>(pixels_) ||
                         count_[1] != static_cast<int64_t>(pixels_) ||
                         count_[2] != static_cast<int64_t>(pixels_);
    if (compact) {
        // Present vectors move towards the start; the write position never
        // passes the read position, so nothing is overwritten before it is read.
        const size_t vec = static_cast<size_t>(harcnt_) * 4u;
        const uint64_t chunk = std::max<uint64_t>(1, (size_t{4} << 20) / vec);
        std::vector<unsigned char> buf;
        uint64_t out = header.size() + 3 * bitmap_bytes;
        for (int ch = 0; ch < 3; ++ch) {
            for (uint64_t p0 = 0; p0 < pixels_; p0 += chunk) {
                const uint64_t p1 = std::min(pixels_, p0 + chunk);
                buf.resize(static_cast<size_t>(p1 - p0) * vec);
                if (!ReadAt(fd_, buf.data(), buf.size(), FullOffset(ch, p0)))
                    return WriteError();
                size_t kept = 0;
                for (uint64_t e = p0; e < p1; ++e) {
                    if ((bitmap_[ch][e / 8] & (0x80u >> (e % 8))) == 0) continue;
                    if (kept != (e - p0) * vec)
                        std::memmove(buf.data() + kept, buf.data() + (e - p0) * vec, vec);
                    kept += vec;
                }
                if (!WriteAt(fd_, buf.data(), kept, out)) return WriteError();
                out += kept;
            }
        }
        end = out;
        if (!WriteAt(fd_, header.data(), header.size(), 0)) return WriteError();
    }
    for (int ch = 0; ch < 3; ++ch) {
        if (!WriteAt(fd_, bitmap_[ch].data(), bitmap_bytes,
                     header.size() + static_cast<uint64_t>(ch) * bitmap_bytes))
            return WriteError();
    }
    const bool cut = ::ftruncate(fd_, static_cast<off_t>(end)) == 0;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    return cut && closed ? Status::Ok() : WriteError();
}

}  // namespace lumo
