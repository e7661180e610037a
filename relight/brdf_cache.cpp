#include "relight/brdf_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <type_traits>

#include "base/atomic_file.h"
#include "base/mapped_file.h"
#include "base/str_printf.h"
#include "relight/sh_basis.h"

namespace lumo {
namespace {

constexpr char kMagic[8] = {'L', 'U', 'M', 'O', 'T', 'I', 'L', 'E'};
constexpr char kTrailerMagic[8] = {'L', 'U', 'M', 'O', '-', 'E', 'N', 'D'};
constexpr uint32_t kByteOrder = 0x01020304u;
constexpr uint64_t kAlign = 64;
constexpr uint64_t kTextAt = 256;  // the header's room
constexpr size_t kEnds = 4096;     // bytes of each end of a block the payload sum takes

struct BrdfCacheHeader {
    char magic[8];
    uint32_t version;
    uint32_t byte_order;
    uint32_t value_bytes;  // 4 float, 2 half
    uint32_t lanes;        // kShLanes
    uint32_t term_stride;  // kShTermStride
    int32_t width;
    int32_t height;
    int32_t lcnt;
    int32_t harcnt;
    int32_t tile_count;
    uint64_t text_bytes;
    uint64_t source_size;
    int64_t source_mtime_ns;
    uint64_t source_sum;
    uint64_t pixel_offset;
    uint64_t mask_offset;
    uint64_t coeff_offset;
    uint64_t coeff_values;
    uint64_t file_size;
    uint64_t payload_sum;
    uint64_t header_sum;  // of every byte before it
};
static_assert(std::is_trivially_copyable_v<BrdfCacheHeader>);
static_assert(sizeof(BrdfCacheHeader) <= kTextAt);

struct Trailer {
    char magic[8];
    uint64_t header_sum;
};

// A fast 64-bit checksum (not cryptographic: it tells a changed or damaged
// file from the one recorded, not a forged one).
uint64_t Sum(uint64_t h, const void* data, size_t n) {
    constexpr uint64_t k = 0x9E3779B97F4A7C15ull;
    const auto* p = static_cast<const uint8_t*>(data);
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        h = (h ^ w) * k;
        h ^= h >> 29;
    }
    uint64_t w = 0;
    if (n > i) std::memcpy(&w, p + i, n - i);
    h = (h ^ w ^ (static_cast<uint64_t>(n) << 40)) * k;
    return h ^ (h >> 32);
}

// The checksum of both ends (kEnds bytes each) of a block.
uint64_t SumEnds(uint64_t h, const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    if (n <= 2 * kEnds) return Sum(h, p, n);
    return Sum(Sum(h, p, kEnds), p + n - kEnds, kEnds);
}

uint64_t RoundUp(uint64_t v) {
    return (v + kAlign - 1) / kAlign * kAlign;
}

// Where the blocks of a cache of these counts lie; false when they overflow.
struct Layout {
    uint64_t pixel = 0, mask = 0, coeff = 0, coeff_values = 0, trailer = 0, size = 0;
};

bool PlanLayout(uint64_t text_bytes, int32_t tile_count, int32_t harcnt,
                uint32_t value_bytes, Layout& l) {
    if (tile_count < 0 || harcnt < 0 || text_bytes > (uint64_t{1} << 20)) return false;
    const uint64_t tiles = static_cast<uint64_t>(tile_count);
    const uint64_t room = static_cast<uint64_t>(std::max<int32_t>(harcnt, 1));
    uint64_t coeff_bytes = 0;
    if (__builtin_mul_overflow(tiles * kShTermStride, room, &l.coeff_values) ||
        __builtin_mul_overflow(l.coeff_values, value_bytes, &coeff_bytes))
        return false;
    l.pixel = RoundUp(kTextAt + text_bytes);
    l.mask = RoundUp(l.pixel + tiles * kShLanes * sizeof(int32_t));
    l.coeff = RoundUp(l.mask + tiles * 3);
    if (__builtin_add_overflow(l.coeff, coeff_bytes, &l.trailer)) return false;
    l.size = l.trailer + sizeof(Trailer);
    return l.size > l.trailer;
}

uint64_t HeaderSum(const BrdfCacheHeader& h) {
    return Sum(0, &h, offsetof(BrdfCacheHeader, header_sum));
}

// The bytes of the pixel and coefficient blocks of a header whose counts
// PlanLayout accepted.
size_t PixelBytes(const BrdfCacheHeader& h) {
    return static_cast<size_t>(h.tile_count) * kShLanes * sizeof(int32_t);
}
size_t CoeffBytes(const BrdfCacheHeader& h) {
    return static_cast<size_t>(h.coeff_values) * h.value_bytes;
}

// The checksum of the text and of both ends of the pixel and coefficient
// blocks, of the sizes the header gives.
uint64_t PayloadSum(const BrdfCacheHeader& h, const char* text, const void* pixels,
                    const void* coeffs) {
    uint64_t sum = Sum(0, text, static_cast<size_t>(h.text_bytes));
    sum = SumEnds(sum, pixels, PixelBytes(h));
    return SumEnds(sum, coeffs, CoeffBytes(h));
}

// Sets the payload's and the header's sums of a header whose other fields are
// set, and the trailer's copy of the header's.
void Seal(BrdfCacheHeader& h, Trailer& trailer, const char* text, const void* pixels,
          const void* coeffs) {
    h.payload_sum = PayloadSum(h, text, pixels, coeffs);
    h.header_sum = HeaderSum(h);
    trailer.header_sum = h.header_sum;
}

// Whether `bytes` bytes from `offset` lie inside a file of `size` bytes.
bool Inside(uint64_t offset, uint64_t bytes, uint64_t size) {
    return offset <= size && bytes <= size - offset;
}

bool ReadAt(int fd, void* out, size_t n, off_t at) {
    auto* p = static_cast<char*>(out);
    while (n > 0) {
        const ssize_t got = pread(fd, p, n, at);
        if (got <= 0) return false;
        p += got;
        n -= static_cast<size_t>(got);
        at += got;
    }
    return true;
}

// The pixel indices of a mapped cache: in order, inside the image, padding
// (-1) only after the last pixel and only in the last tile. Sets the window.
bool CheckPixels(const int32_t* pix, int32_t tile_count, BrdfImage& image) {
    const int64_t pixels = int64_t{image.width} * image.height;
    const size_t lanes = static_cast<size_t>(tile_count) * kShLanes;
    image.xmin = image.width;
    image.xmax = -1;
    image.ymin = image.height;
    image.ymax = -1;
    size_t u = 0;
    int64_t last = -1;
    for (; u < lanes && pix[u] >= 0; ++u) {
        const int64_t e = pix[u];
        if (e <= last || e >= pixels) return false;
        last = e;
        const int32_t x = static_cast<int32_t>(e % image.width);
        const int32_t y = static_cast<int32_t>(e / image.width);
        image.xmin = std::min(image.xmin, x);
        image.xmax = std::max(image.xmax, x);
        image.ymin = std::min(image.ymin, y);
        image.ymax = std::max(image.ymax, y);
    }
    if (tile_count > 0 && u <= lanes - kShLanes) return false;  // a tile of padding
    for (; u < lanes; ++u)
        if (pix[u] != -1) return false;
    return true;
}

}  // namespace

bool StampBrdfSource(const std::string& path, BrdfSourceStamp& stamp) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        stamp.size = static_cast<uint64_t>(st.st_size);
        stamp.mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 +
                         static_cast<int64_t>(st.st_mtim.tv_nsec);
        // The header and bitmaps (the first 64 KiB), and 16 blocks spread over
        // the coefficients.
        std::unique_ptr<char[]> buffer(new char[size_t{64} << 10]);
        uint64_t h = Sum(0, &stamp.size, sizeof stamp.size);
        const size_t head = static_cast<size_t>(std::min<uint64_t>(stamp.size, 64 << 10));
        ok = ReadAt(fd, buffer.get(), head, 0);
        h = Sum(h, buffer.get(), head);
        for (uint64_t i = 1; ok && i <= 16 && stamp.size > (64 << 10); ++i) {
            const uint64_t at = stamp.size * i / 17 / 4096 * 4096;
            const size_t n =
                static_cast<size_t>(std::min<uint64_t>(4096, stamp.size - at));
            ok = ReadAt(fd, buffer.get(), n, static_cast<off_t>(at));
            h = Sum(h, buffer.get(), n);
        }
        stamp.sum = h;
    }
    close(fd);
    return ok;
}

Status WriteBrdfCache(const std::string& path, const BrdfImage& image,
                      const std::string& text, const BrdfSourceStamp& stamp) {
    const uint32_t value_bytes = image.half ? 2 : 4;
    Layout l;
    if (!PlanLayout(text.size(), image.tile_count, image.harcnt, value_bytes, l))
        return Status::Error(
            StrPrintf("[WriteFile]: cannot write %s: too large\n", path.c_str()));
    const size_t tiles = static_cast<size_t>(image.tile_count);
    const void* coeffs = image.half ? static_cast<const void*>(image.coeff_half.data())
                                    : static_cast<const void*>(image.coeff.data());
    const size_t coeff_bytes = static_cast<size_t>(l.coeff_values) * value_bytes;
    const size_t have = image.half ? image.coeff_half.size() : image.coeff.size();
    if (have != l.coeff_values || image.tile_pixel.size() != tiles * kShLanes ||
        image.tile_mask.size() != tiles * 3)
        return Status::Error(StrPrintf(
            "[WriteFile]: cannot write %s: not a loaded image\n", path.c_str()));

    BrdfCacheHeader h{};
    std::memcpy(h.magic, kMagic, sizeof kMagic);
    h.version = kBrdfCacheVersion;
    h.byte_order = kByteOrder;
    h.value_bytes = value_bytes;
    h.lanes = kShLanes;
    h.term_stride = kShTermStride;
    h.width = image.width;
    h.height = image.height;
    h.lcnt = image.lcnt;
    h.harcnt = image.harcnt;
    h.tile_count = image.tile_count;
    h.text_bytes = text.size();
    h.source_size = stamp.size;
    h.source_mtime_ns = stamp.mtime_ns;
    h.source_sum = stamp.sum;
    h.pixel_offset = l.pixel;
    h.mask_offset = l.mask;
    h.coeff_offset = l.coeff;
    h.coeff_values = l.coeff_values;
    h.file_size = l.size;
    Trailer trailer{};
    std::memcpy(trailer.magic, kTrailerMagic, sizeof kTrailerMagic);
    Seal(h, trailer, text.data(), image.tile_pixel.data(), coeffs);

    return WriteFileAtomically(path, [&](std::FILE* f) {
        uint64_t at = 0;
        bool ok = true;
        auto put = [&](uint64_t offset, const void* data, size_t n) {
            static const char zeros[kAlign] = {};
            while (ok && at < offset) {
                const size_t pad =
                    static_cast<size_t>(std::min<uint64_t>(offset - at, kAlign));
                ok = std::fwrite(zeros, 1, pad, f) == pad;
                at += pad;
            }
            if (ok && n > 0) ok = std::fwrite(data, 1, n, f) == n;
            at += n;
        };
        put(0, &h, sizeof h);
        put(kTextAt, text.data(), text.size());
        put(l.pixel, image.tile_pixel.data(), tiles * kShLanes * sizeof(int32_t));
        put(l.mask, image.tile_mask.data(), tiles * 3);
        put(l.coeff, coeffs, coeff_bytes);
        put(l.trailer, &trailer, sizeof trailer);
        if (!ok)
            return Status::Error(
                StrPrintf("[WriteFile]: cannot write %s: short write\n", path.c_str()));
        return Status::Ok();
    });
}

void SealBrdfCache(uint8_t* bytes, size_t size) {
    if (size < sizeof(BrdfCacheHeader)) return;
    BrdfCacheHeader h;
    std::memcpy(&h, bytes, sizeof h);
    Trailer trailer{};
    const bool trailer_inside = h.file_size == size && size >= sizeof h + sizeof trailer;
    uint8_t* const trailer_at = bytes + size - sizeof trailer;
    if (trailer_inside) std::memcpy(&trailer, trailer_at, sizeof trailer);
    uint64_t pixel_bytes = 0, coeff_bytes = 0;
    const bool payload_inside =
        h.tile_count >= 0 &&
        !__builtin_mul_overflow(static_cast<uint64_t>(h.tile_count),
                                kShLanes * sizeof(int32_t), &pixel_bytes) &&
        !__builtin_mul_overflow(h.coeff_values, uint64_t{h.value_bytes}, &coeff_bytes) &&
        Inside(kTextAt, h.text_bytes, size) &&
        Inside(h.pixel_offset, pixel_bytes, size) &&
        Inside(h.coeff_offset, coeff_bytes, size);
    if (payload_inside) {
        Seal(h, trailer, reinterpret_cast<const char*>(bytes + kTextAt),
             bytes + h.pixel_offset, bytes + h.coeff_offset);
    } else {
        h.header_sum = HeaderSum(h);
        trailer.header_sum = h.header_sum;
    }
    std::memcpy(bytes, &h, sizeof h);
    if (trailer_inside) std::memcpy(trailer_at, &trailer, sizeof trailer);
}

bool MapBrdfCache(const std::string& path, const BrdfSourceStamp& stamp, bool half,
                  BrdfImage& image, std::string& text) {
    text.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    BrdfCacheHeader h{};
    Layout l;
    const uint32_t value_bytes = half ? 2 : 4;
    const bool header_ok =
        fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<uint64_t>(st.st_size) >= kTextAt && ReadAt(fd, &h, sizeof h, 0) &&
        std::memcmp(h.magic, kMagic, sizeof kMagic) == 0 &&
        h.version == kBrdfCacheVersion && h.byte_order == kByteOrder &&
        h.header_sum == HeaderSum(h) && h.value_bytes == value_bytes &&
        h.lanes == static_cast<uint32_t>(kShLanes) &&
        h.term_stride == static_cast<uint32_t>(kShTermStride) &&
        h.source_size == stamp.size && h.source_mtime_ns == stamp.mtime_ns &&
        h.source_sum == stamp.sum && h.width >= 0 && h.height >= 0 &&
        int64_t{h.width} * h.height <= INT32_MAX && h.lcnt >= 1 &&
        h.lcnt <= kMaxShBands && h.harcnt >= 0 &&
        PlanLayout(h.text_bytes, h.tile_count, h.harcnt, value_bytes, l) &&
        static_cast<uint64_t>(h.tile_count) * kShLanes <=
            static_cast<uint64_t>(int64_t{h.width} * h.height) + kShLanes - 1 &&
        h.pixel_offset == l.pixel && h.mask_offset == l.mask &&
        h.coeff_offset == l.coeff && h.coeff_values == l.coeff_values &&
        h.file_size == l.size && static_cast<uint64_t>(st.st_size) == l.size;
    if (!header_ok) {
        close(fd);
        return false;
    }
    std::shared_ptr<const MappedFile> map = MappedFile::Map(fd, l.size);
    close(fd);
    if (!map) return false;
    const uint8_t* base = map->data();
    Trailer trailer;
    std::memcpy(&trailer, base + l.trailer, sizeof trailer);
    const size_t tiles = static_cast<size_t>(h.tile_count);
    const auto* text_at = reinterpret_cast<const char*>(base + kTextAt);
    const auto* pixels = reinterpret_cast<const int32_t*>(base + l.pixel);
    if (std::memcmp(trailer.magic, kTrailerMagic, sizeof kTrailerMagic) != 0 ||
        trailer.header_sum != h.header_sum ||
        h.payload_sum != PayloadSum(h, text_at, pixels, base + l.coeff))
        return false;

    image.Reset();
    image.width = h.width;
    image.height = h.height;
    image.lcnt = h.lcnt;
    image.harcnt = h.harcnt;
    image.tile_count = h.tile_count;
    image.half = half;
    if (!CheckPixels(pixels, h.tile_count, image)) {
        image.Reset();
        return false;
    }
    image.tile_pixel.View(pixels, tiles * kShLanes, map);
    image.tile_mask.View(base + l.mask, tiles * 3, map);
    if (half) {
        image.coeff_half.View(reinterpret_cast<const uint16_t*>(base + l.coeff),
                              l.coeff_values, map);
    } else {
        image.coeff.View(reinterpret_cast<const float*>(base + l.coeff), l.coeff_values,
                         map);
    }
    text.assign(text_at, h.text_bytes);
    return true;
}

}  // namespace lumo
