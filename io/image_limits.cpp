#include "io/image_limits.h"

#include <string_view>

#include "base/str_printf.h"

namespace lumo {
namespace {

// The largest expansion of a format's coding, and whether each row carries a
// filter byte (PNG).
struct Expansion {
    std::string_view format;
    std::string_view compression;  // "*": any
    uint64_t ratio;
    bool row_byte;
};

constexpr Expansion kExpansions[] = {
    {"png", "*", 1032, true},        {"tiff", "none", 1, false},
    {"tiff", "packbits", 64, false}, {"tiff", "zip", 1032, false},
    {"openexr", "none", 1, false},   {"openexr", "rle", 64, false},
    {"openexr", "zip", 1032, false}, {"openexr", "zips", 1032, false},
    {"pnm", "*", 1, false},
};

}  // namespace

std::string ImageHeaderRefusal(const image_module::Header& h, uint64_t file_bytes) {
    if (h.width < 1 || h.height < 1 || h.channels < 1 || h.depth != 1)
        return "not a two-dimensional picture";
    // Each factor is below 2^31 (the library's sizes are ints): no product
    // below overflows 64 bits before it is compared.
    const uint64_t w = static_cast<uint64_t>(h.width);
    const uint64_t hh = static_cast<uint64_t>(h.height);
    const uint64_t c = static_cast<uint64_t>(h.channels);
    if (w >= (uint64_t{1} << 31) || hh >= (uint64_t{1} << 31) ||
        c >= (uint64_t{1} << 31) || w * hh > kMaxImageSamples ||
        w * hh * c > kMaxImageSamples) {
        return StrPrintf(
            "%lld x %lld pixels of %lld channels are more than the %llu values "
            "a picture may have",
            static_cast<long long>(h.width), static_cast<long long>(h.height),
            static_cast<long long>(h.channels),
            static_cast<unsigned long long>(kMaxImageSamples));
    }
    // Radiance HDR stores 4 bytes (RGBE) per pixel whatever its channels.
    uint64_t need = 0;
    uint64_t ratio = 0;
    if (h.format == "hdr") {
        need = w * hh * 4;
        ratio = 64;
    } else {
        for (const Expansion& e : kExpansions) {
            if (e.format != h.format ||
                (e.compression != "*" && e.compression != h.compression))
                continue;
            const uint64_t bits =
                static_cast<uint64_t>(h.file_bits > 0 ? h.file_bits : 1);
            need = hh * ((w * c * bits + 7) / 8 + (e.row_byte ? 1 : 0));
            ratio = e.ratio;
            break;
        }
    }
    if (ratio != 0 && need / ratio > file_bytes) {
        return StrPrintf(
            "its header claims %lld x %lld pixels of %lld channels, more than its "
            "%llu bytes can hold",
            static_cast<long long>(h.width), static_cast<long long>(h.height),
            static_cast<long long>(h.channels),
            static_cast<unsigned long long>(file_bytes));
    }
    return "";
}

}  // namespace lumo
