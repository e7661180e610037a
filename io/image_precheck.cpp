#include "io/image_precheck.h"

#include <cstring>
#include <string_view>

#include "base/str_printf.h"

namespace lumo {
namespace {

constexpr uint8_t kExrMagic[4] = {0x76, 0x2f, 0x31, 0x01};
constexpr uint32_t kExrMultipart = 0x1000;
// An attribute's name and type are at most 255 characters each (with long
// names; 31 without), then comes its 4-byte size.
constexpr size_t kExrAttributeHead = 2 * 256 + 4;

uint32_t Little32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
           uint32_t{p[3]} << 24;
}

std::string ExrRefusal(const ReadBytesAt& read, uint64_t file_bytes, uint32_t flags) {
    uint64_t pos = 8;
    uint8_t head[kExrAttributeHead];
    for (;;) {
        // One header: attributes up to an empty name.
        for (;;) {
            const size_t got = read(pos, head, sizeof head);
            if (got == 0) return "";
            const auto* name_end = static_cast<const uint8_t*>(std::memchr(head, 0, got));
            if (name_end == nullptr) return "";
            if (name_end == head) {
                ++pos;
                break;
            }
            const size_t type_at = static_cast<size_t>(name_end - head) + 1;
            if (type_at >= got) return "";
            const auto* type_end = static_cast<const uint8_t*>(
                std::memchr(head + type_at, 0, got - type_at));
            if (type_end == nullptr) return "";
            const size_t size_at = static_cast<size_t>(type_end - head) + 1;
            if (size_at + 4 > got) return "";
            const int32_t size = static_cast<int32_t>(Little32(head + size_at));
            const uint64_t value_at = pos + size_at + 4;
            if (size < 0 || value_at > file_bytes ||
                static_cast<uint64_t>(size) > file_bytes - value_at) {
                return StrPrintf(
                    "an attribute of its header claims %d bytes, more than its "
                    "%llu bytes hold",
                    size, static_cast<unsigned long long>(file_bytes));
            }
            const std::string_view type(reinterpret_cast<const char*>(head + type_at),
                                        static_cast<size_t>(type_end - head) - type_at);
            if (type == "preview" && size >= 8) {
                // The library allocates width x height RGBA pixels first.
                uint8_t wh[8];
                if (read(value_at, wh, sizeof wh) != sizeof wh) return "";
                const uint64_t pixels =
                    uint64_t{Little32(wh)} * uint64_t{Little32(wh + 4)};
                if (pixels * 4 > file_bytes) {
                    return StrPrintf(
                        "its preview claims %u x %u pixels, more than its %llu "
                        "bytes hold",
                        Little32(wh), Little32(wh + 4),
                        static_cast<unsigned long long>(file_bytes));
                }
            }
            if (type == "chlist") {
                // The library reads a channel list up to its empty name,
                // whatever size the attribute claims: so does this walk.
                uint64_t at = value_at;
                for (;;) {
                    uint8_t entry[kExrAttributeHead];
                    const size_t n = read(at, entry, sizeof entry);
                    const auto* end =
                        static_cast<const uint8_t*>(std::memchr(entry, 0, n));
                    if (end == nullptr) return "";
                    at += static_cast<uint64_t>(end - entry) + 1;
                    if (end == entry) break;
                    at += 16;  // type, linear flag, reserved, x and y sampling
                }
                pos = at;
            } else {
                pos = value_at + static_cast<uint64_t>(size);
            }
        }
        if ((flags & kExrMultipart) == 0) return "";
        // Several parts: their headers follow each other up to an empty one.
        uint8_t next = 0;
        if (read(pos, &next, 1) != 1 || next == 0) return "";
    }
}

}  // namespace

std::string PictureBytesRefusal(const ReadBytesAt& read, uint64_t file_bytes) {
    uint8_t start[8];
    if (read(0, start, sizeof start) != sizeof start) return "";
    if (std::memcmp(start, kExrMagic, sizeof kExrMagic) == 0)
        return ExrRefusal(read, file_bytes, Little32(start + 4));
    return "";
}

}  // namespace lumo
